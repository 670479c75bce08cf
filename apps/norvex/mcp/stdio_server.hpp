// The MCP server on a pair of file descriptors: asynchronous reads, serialized writes, overlapping calls.
#pragma once

#include "session.hpp"
#include "tool_catalog.hpp"

#include "norvex/common/line_framer.hpp"

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/steady_timer.hpp>

#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace norvex::mcp {

struct StdioServerOptions {
    int input_fd = 0;
    int output_fd = 1;
    // Longest message accepted, in bytes; longer lines are dropped and answered with an error.
    std::size_t max_message_bytes = 64 * 1024 * 1024;
    // Answers written but not yet taken by the client, in bytes, past which
    // no more requests are read until the client catches up. Calls already
    // running still add theirs, and one answer larger than this is still sent whole.
    std::size_t max_pending_output_bytes = 1024 * 1024;
};

// Reads messages from input_fd until it ends, each tools/call running as its
// own coroutine so calls overlap; answers are written whole, one per line,
// in the order they are ready. When the input ends, the calls still running
// finish and are answered before run() returns. When output_fd fails or its
// reader goes away, or stop() is called, the server reads no more, cancels
// the running calls, abandons their work and drops the answers not yet
// written; run() returns once the calls have unwound. The descriptors are
// borrowed: the server never closes them.
class StdioServer {
public:
    StdioServer(boost::asio::any_io_executor executor, Session& session, ToolCatalog& catalog,
                StdioServerOptions options = {});
    ~StdioServer();
    StdioServer(const StdioServer&) = delete;
    StdioServer& operator=(const StdioServer&) = delete;

    boost::asio::awaitable<void> run();

    // Ends the serving at once (a signal): see the class comment. Safe to call more than once.
    void stop();

private:
    struct RunningCall {
        boost::asio::cancellation_signal signal;
        bool cancelled = false;
    };

    // Handles the lines the framer has completed, in order, each once there is room for its answer; none after a stop.
    boost::asio::awaitable<void> handle_all(LineFramer& framer);
    void handle(const FramedLine& line);
    void start_call(StartCall call);
    void cancel_call(const CancelCall& cancel);
    boost::asio::awaitable<void> serve_call(StartCall call, std::shared_ptr<RunningCall> running);
    void send(const boost::json::object& message);
    boost::asio::awaitable<void> write_pending();
    boost::asio::awaitable<void> watch_output();
    boost::asio::awaitable<void> room_for_output();
    boost::asio::awaitable<void> next_change();
    void give_up();

    boost::asio::any_io_executor executor_;
    Session& session_;
    ToolCatalog& catalog_;
    StdioServerOptions options_;
    boost::asio::posix::stream_descriptor input_;
    boost::asio::posix::stream_descriptor output_;
    std::map<std::string, std::shared_ptr<RunningCall>> calls_;  // by id_key
    boost::asio::steady_timer changed_;  // woken whenever a call ends, an answer is written or serving stops
    std::deque<std::string> outbox_;
    std::size_t pending_bytes_ = 0;  // answers queued or being written
    bool writing_ = false;
    bool stopping_ = false;  // no more reading, answering or waiting for calls
};

}  // namespace norvex::mcp
