// Protocol-revision negotiation.
#include "protocol_versions.hpp"

#include <algorithm>

namespace norvex::mcp {

std::string_view negotiate_protocol_version(std::string_view requested) {
    const auto found = std::find(SUPPORTED_PROTOCOL_VERSIONS.begin(), SUPPORTED_PROTOCOL_VERSIONS.end(), requested);
    if (found != SUPPORTED_PROTOCOL_VERSIONS.end()) return *found;
    return SUPPORTED_PROTOCOL_VERSIONS.back();
}

}  // namespace norvex::mcp
