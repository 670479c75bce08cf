// What the MCP server needs of a family of tools: their declarations and a way to call them.
#pragma once

#include <boost/asio/awaitable.hpp>
#include <boost/json/array.hpp>
#include <boost/json/object.hpp>

#include <string>
#include <vector>

namespace norvex::mcp {

// One entry of tools/list.
struct ToolInfo {
    std::string name;
    std::string description;
    boost::json::object input_schema;  // a JSON Schema object

    boost::json::object to_dict() const;  // {"name", "description", "inputSchema"}
};

// The result of tools/call: content blocks, and whether the tool failed.
struct ToolResult {
    boost::json::array content;
    bool is_error = false;

    static ToolResult text(std::string text, bool is_error = false);
    static ToolResult image(std::string base64_png);
    boost::json::object to_dict() const;  // {"content": [...], "isError": bool}
};

// A family of tools (sourcelens, the computer, skills) behind one interface.
// Calls may overlap and are cancelled with asio's per-operation cancellation;
// a provider whose work cannot stop midway may finish it and let the server
// drop the answer. Failures of the tool itself come back as results with
// is_error set; an exception is a fault of the provider.
class ToolProvider {
public:
    virtual ~ToolProvider() = default;
    virtual std::vector<ToolInfo> tools() const = 0;
    virtual boost::asio::awaitable<ToolResult> call(std::string name, boost::json::object arguments) = 0;

    // The server is going away (a signal, or a client that closed the
    // server's stdout) and has cancelled every running call: end their work now,
    // without the grace a single cancellation may take. Nothing by default,
    // for providers whose cancellation already stops at once.
    virtual void abandon() {}
};

}  // namespace norvex::mcp
