// The MCP protocol revisions this server speaks, and the choice of one at initialize.
#pragma once

#include <array>
#include <string_view>

namespace norvex::mcp {

// Oldest first; the last is the newest.
inline constexpr std::array<std::string_view, 3> SUPPORTED_PROTOCOL_VERSIONS{
    "2025-06-18",
    "2025-11-25",
    "2026-07-28",
};

// The revision the server answers initialize with: the client's own when the
// server speaks it, else the newest the server speaks (the client then
// decides whether it can go on).
std::string_view negotiate_protocol_version(std::string_view requested);

}  // namespace norvex::mcp
