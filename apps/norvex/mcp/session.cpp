// Lifecycle, negotiation and dispatch of MCP messages, without any I/O.
#include "session.hpp"

#include "protocol_versions.hpp"

#include <boost/json/array.hpp>

#include <algorithm>

namespace norvex::mcp {

namespace json = boost::json;

namespace {

Reply error_reply(const json::value& id, int code, std::string_view message) {
    return Reply{make_error(id, code, message)};
}

}  // namespace

Session::Session(ServerInfo info, std::vector<ToolInfo> tools) : info_(std::move(info)), tools_(std::move(tools)) {}

Action Session::on_line(std::string_view line) {
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) return Ignore{"blank line"};
    Incoming incoming = classify(line);
    if (auto* invalid = std::get_if<Invalid>(&incoming)) {
        return error_reply(invalid->id, invalid->code, invalid->message);
    }
    if (auto* response = std::get_if<ClientResponse>(&incoming)) {
        return Ignore{"a response from the client to a request the server never sent (id " + id_key(response->id) + ")"};
    }
    if (auto* notification = std::get_if<Notification>(&incoming)) return on_notification(*notification);
    return on_request(std::get<Request>(std::move(incoming)));
}

Action Session::on_oversized_line(std::size_t limit) const {
    return error_reply(nullptr, INVALID_REQUEST,
                       "Invalid Request: a message longer than " + std::to_string(limit) +
                           " bytes was dropped; send smaller messages");
}

void Session::call_finished(const json::value& id) { running_.erase(id_key(id)); }

Action Session::on_request(Request request) {
    if (request.method == "ping") return Reply{make_result(request.id, json::object{})};
    if (request.method == "initialize") return initialize(request);
    if (!initialized_) {
        return error_reply(request.id, INVALID_REQUEST,
                           "Server not initialized: send \"initialize\" before \"" + request.method + "\"");
    }
    if (request.method == "tools/list") {
        json::array tools;
        for (const ToolInfo& tool : tools_) tools.push_back(tool.to_dict());
        json::object result;
        result["tools"] = std::move(tools);
        return Reply{make_result(request.id, std::move(result))};
    }
    if (request.method == "tools/call") return call_tool(std::move(request));
    return error_reply(request.id, METHOD_NOT_FOUND, "Method not found: " + request.method);
}

Action Session::initialize(const Request& request) {
    if (initialized_) {
        return error_reply(request.id, INVALID_REQUEST,
                           "Invalid Request: the session is already initialized; \"initialize\" is sent once");
    }
    const json::value* requested = request.params.if_contains("protocolVersion");
    if (requested == nullptr || !requested->is_string()) {
        return error_reply(request.id, INVALID_PARAMS,
                           "Invalid params: \"protocolVersion\" must be a string such as \"" +
                               std::string(SUPPORTED_PROTOCOL_VERSIONS.back()) + "\"");
    }
    protocol_version_ = negotiate_protocol_version(requested->as_string());
    initialized_ = true;

    json::object capabilities;
    capabilities["tools"] = json::object{};
    json::object server_info;
    server_info["name"] = info_.name;
    server_info["version"] = info_.version;
    json::object result;
    result["protocolVersion"] = protocol_version_;
    result["capabilities"] = std::move(capabilities);
    result["serverInfo"] = std::move(server_info);
    return Reply{make_result(request.id, std::move(result))};
}

Action Session::call_tool(Request request) {
    const json::value* name = request.params.if_contains("name");
    if (name == nullptr || !name->is_string()) {
        return error_reply(request.id, INVALID_PARAMS, "Invalid params: \"name\" must be the tool's name as a string");
    }
    const json::value* arguments = request.params.if_contains("arguments");
    if (arguments != nullptr && !arguments->is_object() && !arguments->is_null()) {
        return error_reply(request.id, INVALID_PARAMS, "Invalid params: \"arguments\" must be an object");
    }
    const std::string tool(name->as_string());
    const bool known = std::any_of(tools_.begin(), tools_.end(), [&](const ToolInfo& t) { return t.name == tool; });
    if (!known) {
        return error_reply(request.id, INVALID_PARAMS, "Unknown tool: " + tool + "; tools/list names the tools");
    }
    if (!running_.insert(id_key(request.id)).second) {
        return error_reply(request.id, INVALID_REQUEST,
                           "Invalid Request: a call with this id is still running; use a new id for each request");
    }
    json::object args = (arguments != nullptr && arguments->is_object()) ? arguments->as_object() : json::object{};
    return StartCall{std::move(request.id), tool, std::move(args)};
}

Action Session::on_notification(const Notification& notification) {
    if (notification.method == "notifications/initialized") {
        if (!initialized_) return Ignore{"notifications/initialized before initialize"};
        client_ready_ = true;
        return Ignore{"client ready"};
    }
    if (notification.method == "notifications/cancelled") {
        const json::value* id = notification.params.if_contains("requestId");
        if (id == nullptr || !(id->is_string() || id->is_int64() || id->is_uint64())) {
            return Ignore{"notifications/cancelled without a usable requestId"};
        }
        if (!running_.contains(id_key(*id))) {
            return Ignore{"notifications/cancelled for a request that is not running (" + id_key(*id) + ")"};
        }
        const json::value* reason = notification.params.if_contains("reason");
        return CancelCall{*id, (reason != nullptr && reason->is_string()) ? std::string(reason->as_string()) : ""};
    }
    return Ignore{"notification " + notification.method + " is not handled"};
}

}  // namespace norvex::mcp
