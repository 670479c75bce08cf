// Reading JSON-RPC 2.0 messages off one transport line and building the server's replies.
#include "jsonrpc.hpp"

#include "norvex/common/pyjson.hpp"

#include <boost/json/serialize.hpp>

namespace norvex::mcp {

namespace json = boost::json;

namespace {

bool valid_id(const json::value& id) {
    // The protocol allows strings and integers; null ids are refused outright.
    return id.is_string() || id.is_int64() || id.is_uint64();
}

// The params of a request or notification: absent means empty; only an
// object carries the named arguments every method of the protocol takes.
std::optional<json::object> params_of(const json::object& message, std::string& problem) {
    const json::value* params = message.if_contains("params");
    if (params == nullptr || params->is_null()) return json::object{};
    if (params->is_object()) return params->as_object();
    problem = params->is_array() ? "\"params\" must be an object of named arguments, not an array"
                                 : "\"params\" must be an object";
    return std::nullopt;
}

}  // namespace

Incoming classify(std::string_view line) {
    json::value parsed;
    try {
        // Python's reader keeps a lone surrogate escape ("\udce9"), the form
        // in which a client sends a file name that is not UTF-8; Boost's
        // would refuse the whole message.
        parsed = pyjson::parse(line);
    } catch (const pyjson::NestingError&) {
        return Invalid{nullptr, INVALID_REQUEST,
                       "Invalid Request: the message nests arrays and objects more than " +
                           std::to_string(pyjson::MAX_NESTING) + " levels deep, the most this server reads; "
                           "send a flatter message"};
    } catch (const std::exception& e) {
        return Invalid{nullptr, PARSE_ERROR,
                       std::string("Parse error: the line is not valid JSON (") + e.what() +
                           "); send one JSON message per line"};
    }
    if (parsed.is_array()) {
        return Invalid{nullptr, INVALID_REQUEST,
                       "Invalid Request: JSON-RPC batches are not supported; send one message per line"};
    }
    if (!parsed.is_object()) {
        return Invalid{nullptr, INVALID_REQUEST, "Invalid Request: a message must be a JSON object"};
    }
    const json::object& message = parsed.as_object();

    const json::value* id = message.if_contains("id");
    const json::value reply_id = (id != nullptr && valid_id(*id)) ? *id : json::value(nullptr);
    const json::value* version = message.if_contains("jsonrpc");
    if (version == nullptr || !version->is_string() || version->as_string() != "2.0") {
        return Invalid{reply_id, INVALID_REQUEST, "Invalid Request: \"jsonrpc\" must be \"2.0\""};
    }

    const json::value* method = message.if_contains("method");
    if (method == nullptr) {
        if (id != nullptr && (message.contains("result") || message.contains("error"))) {
            return ClientResponse{*id};
        }
        return Invalid{reply_id, INVALID_REQUEST, "Invalid Request: the message has no \"method\""};
    }
    if (!method->is_string()) {
        return Invalid{reply_id, INVALID_REQUEST, "Invalid Request: \"method\" must be a string"};
    }
    if (id != nullptr && !valid_id(*id)) {
        return Invalid{nullptr, INVALID_REQUEST, "Invalid Request: \"id\" must be a string or an integer"};
    }

    std::string problem;
    std::optional<json::object> params = params_of(message, problem);
    if (id == nullptr) {
        // A notification is never answered, not even a malformed one.
        if (!params) return Notification{std::string(method->as_string()), {}};
        return Notification{std::string(method->as_string()), std::move(*params)};
    }
    if (!params) return Invalid{*id, INVALID_PARAMS, "Invalid params: " + problem};
    return Request{*id, std::string(method->as_string()), std::move(*params)};
}

json::object make_result(const json::value& id, json::value result) {
    json::object out;
    out["jsonrpc"] = "2.0";
    out["id"] = id;
    out["result"] = std::move(result);
    return out;
}

json::object make_error(const json::value& id, int code, std::string_view message) {
    json::object error;
    error["code"] = code;
    error["message"] = message;
    json::object out;
    out["jsonrpc"] = "2.0";
    out["id"] = id;
    out["error"] = std::move(error);
    return out;
}

// ASCII with \u escapes: a lone surrogate (a file name that is not UTF-8,
// in a tool's error text) goes out as its escape, never as bytes that are
// not UTF-8, which the client's reader would replace or refuse.
std::string serialize(const json::object& message) { return pyjson::dumps(message); }

std::string id_key(const json::value& id) {
    if (id.is_string()) return "s:" + std::string(id.as_string());
    return "n:" + json::serialize(id);
}

}  // namespace norvex::mcp
