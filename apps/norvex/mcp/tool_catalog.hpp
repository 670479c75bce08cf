// The tools the server offers, gathered from their providers, and the call that reaches the right one.
#pragma once

#include "tool_provider.hpp"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace norvex::mcp {

class ToolCatalog {
public:
    // Adds a provider's tools; a name that is already taken throws std::invalid_argument.
    void add(std::unique_ptr<ToolProvider> provider);

    // Every tool, in the order the providers were added.
    std::vector<ToolInfo> tools() const;

    // Calls the named tool; an unknown name throws std::invalid_argument
    // (the session refuses those before a call starts).
    boost::asio::awaitable<ToolResult> call(std::string name, boost::json::object arguments);

    // Every provider's abandon(): the server is going away.
    void abandon();

private:
    std::vector<std::unique_ptr<ToolProvider>> providers_;
    std::map<std::string, ToolProvider*> by_name_;
};

}  // namespace norvex::mcp
