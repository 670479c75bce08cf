// JSON-RPC 2.0 as the MCP server reads and writes it: message kinds, error codes, replies.
#pragma once

#include <boost/json/object.hpp>
#include <boost/json/value.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace norvex::mcp {

// The standard JSON-RPC error codes the server answers with.
inline constexpr int PARSE_ERROR = -32700;
inline constexpr int INVALID_REQUEST = -32600;
inline constexpr int METHOD_NOT_FOUND = -32601;
inline constexpr int INVALID_PARAMS = -32602;
inline constexpr int INTERNAL_ERROR = -32603;

// A request: it carries an id (a string or an integer) and wants one answer.
struct Request {
    boost::json::value id;
    std::string method;
    boost::json::object params;  // empty when the message had none
};

// A notification: no id, never answered.
struct Notification {
    std::string method;
    boost::json::object params;
};

// An answer the client sent to a request of ours. The server sends no
// requests, so these are only logged.
struct ClientResponse {
    boost::json::value id;
};

// A line that is not a message the server can act on, with the error
// response it earns. `id` is the request's id when one could be read, else null.
struct Invalid {
    boost::json::value id;
    int code = INVALID_REQUEST;
    std::string message;
};

using Incoming = std::variant<Request, Notification, ClientResponse, Invalid>;

// Reads one line of the transport (without its line feed).
Incoming classify(std::string_view line);

// {"jsonrpc": "2.0", "id": id, "result": result}
boost::json::object make_result(const boost::json::value& id, boost::json::value result);
// {"jsonrpc": "2.0", "id": id, "error": {"code": code, "message": message}}
boost::json::object make_error(const boost::json::value& id, int code, std::string_view message);

// The one-line text of a message, as written to the transport (without the line feed).
std::string serialize(const boost::json::object& message);

// The id as the cancellation map keys it: strings and integers must not meet
// ("1" and 1 are different requests).
std::string id_key(const boost::json::value& id);

}  // namespace norvex::mcp
