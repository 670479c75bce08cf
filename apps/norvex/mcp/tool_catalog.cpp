// Routing tool calls to their providers.
#include "tool_catalog.hpp"

#include <stdexcept>

namespace norvex::mcp {

void ToolCatalog::add(std::unique_ptr<ToolProvider> provider) {
    for (const ToolInfo& tool : provider->tools()) {
        if (!by_name_.emplace(tool.name, provider.get()).second) {
            throw std::invalid_argument("two providers offer a tool named " + tool.name);
        }
    }
    providers_.push_back(std::move(provider));
}

std::vector<ToolInfo> ToolCatalog::tools() const {
    std::vector<ToolInfo> all;
    for (const auto& provider : providers_) {
        for (ToolInfo& tool : provider->tools()) all.push_back(std::move(tool));
    }
    return all;
}

boost::asio::awaitable<ToolResult> ToolCatalog::call(std::string name, boost::json::object arguments) {
    const auto found = by_name_.find(name);
    if (found == by_name_.end()) throw std::invalid_argument("Unknown tool: " + name);
    co_return co_await found->second->call(std::move(name), std::move(arguments));
}

void ToolCatalog::abandon() {
    for (const auto& provider : providers_) provider->abandon();
}

}  // namespace norvex::mcp
