// The MCP server's protocol state, free of I/O: one line in, the action it calls for out.
#pragma once

#include "jsonrpc.hpp"
#include "tool_provider.hpp"

#include <boost/json/object.hpp>
#include <boost/json/value.hpp>

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace norvex::mcp {

// Write this message.
struct Reply {
    boost::json::object message;
};
// Run this tool call; answer with its result unless it is cancelled first.
// The id counts as running until call_finished(id).
struct StartCall {
    boost::json::value id;
    std::string tool;
    boost::json::object arguments;
};
// Stop the running call with this id and send no answer for it.
struct CancelCall {
    boost::json::value id;
    std::string reason;
};
// Nothing to do; `note` says why, for the debug log.
struct Ignore {
    std::string note;
};

using Action = std::variant<Ignore, Reply, StartCall, CancelCall>;

struct ServerInfo {
    std::string name = "norvex";
    std::string version;
};

// Lifecycle and dispatch of one connection.
//
// Before initialize only "initialize" and "ping" are served; any other
// request gets -32600 (Invalid Request) with a message saying to initialize
// first. A second initialize is refused the same way. Notifications are
// never answered; unknown ones are ignored. Tool calls are the only requests
// that outlive the line that carried them, so they are the only ones that
// can be cancelled.
class Session {
public:
    Session(ServerInfo info, std::vector<ToolInfo> tools);

    Action on_line(std::string_view line);
    // A line longer than the transport's limit, already dropped unread.
    Action on_oversized_line(std::size_t limit) const;
    // The call with this id has ended (answered or cancelled): the id is free again.
    void call_finished(const boost::json::value& id);

    bool initialized() const noexcept { return initialized_; }
    // Whether the client has said notifications/initialized.
    bool client_ready() const noexcept { return client_ready_; }
    // The negotiated revision; empty before initialize.
    const std::string& protocol_version() const noexcept { return protocol_version_; }
    std::size_t running_calls() const noexcept { return running_.size(); }

private:
    Action on_request(Request request);
    Action on_notification(const Notification& notification);
    Action initialize(const Request& request);
    Action call_tool(Request request);

    ServerInfo info_;
    std::vector<ToolInfo> tools_;
    bool initialized_ = false;
    bool client_ready_ = false;  // notifications/initialized seen
    std::string protocol_version_;
    std::set<std::string> running_;  // id_key of every running tool call
};

}  // namespace norvex::mcp
