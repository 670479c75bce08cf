// Dictionary forms of tool declarations and results.
#include "tool_provider.hpp"

namespace norvex::mcp {

namespace json = boost::json;

json::object ToolInfo::to_dict() const {
    json::object out;
    out["name"] = name;
    out["description"] = description;
    out["inputSchema"] = input_schema;
    return out;
}

ToolResult ToolResult::text(std::string text, bool is_error) {
    json::object block;
    block["type"] = "text";
    block["text"] = std::move(text);
    return ToolResult{json::array{std::move(block)}, is_error};
}

ToolResult ToolResult::image(std::string base64_png) {
    json::object block;
    block["type"] = "image";
    block["data"] = std::move(base64_png);
    block["mimeType"] = "image/png";
    return ToolResult{json::array{std::move(block)}, false};
}

json::object ToolResult::to_dict() const {
    json::object out;
    out["content"] = content;
    out["isError"] = is_error;
    return out;
}

}  // namespace norvex::mcp
