// The "sourcelens" tool over MCP: the tool's own declaration, its text as the result.
#include "providers.hpp"

#include "norvex/tools/sourcelens.hpp"

namespace norvex::mcp {

namespace {

class SourcelensProvider : public ToolProvider {
public:
    explicit SourcelensProvider(forkyard::Forkyard& yard) : tool_(yard) {}

    std::vector<ToolInfo> tools() const override {
        return {ToolInfo{tool_.name(), tool_.description(), tool_.parameters()}};
    }

    boost::asio::awaitable<ToolResult> call(std::string, boost::json::object arguments) override {
        // The tool's failures are text for the model; MCP flags them as well.
        std::string text = co_await tool_.execute(std::move(arguments));
        const bool failed = text.starts_with("[ERROR] ");
        co_return ToolResult::text(std::move(text), failed);
    }

    // A cancelled call's worker gets the quit request and a grace period to
    // take it, but an analysing worker does not read it until it is done.
    void abandon() override { tool_.manager().kill_all(); }

private:
    sourcelens::SourcelensTool tool_;
};

}  // namespace

std::unique_ptr<ToolProvider> make_sourcelens_provider(forkyard::Forkyard& yard) {
    return std::make_unique<SourcelensProvider>(yard);
}

}  // namespace norvex::mcp
