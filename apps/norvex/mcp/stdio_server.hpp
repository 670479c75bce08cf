// The MCP server on a pair of file descriptors: asynchronous reads, serialized writes, overlapping calls.
#pragma once

#include "line_framer.hpp"
#include "session.hpp"
#include "tool_catalog.hpp"

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

namespace norvex::mcp {

struct StdioServerOptions {
    int input_fd = 0;
    int output_fd = 1;
    // Longest message accepted, in bytes; longer lines are dropped and answered with an error.
    std::size_t max_message_bytes = 64 * 1024 * 1024;
};

// Reads messages from input_fd until it ends, each tools/call running as its
// own coroutine so calls overlap; answers are written whole, one per line,
// in the order they are ready. When the input ends, the calls still running
// finish and are answered before run() returns. The descriptors are
// borrowed: the server never closes them.
class StdioServer {
public:
    StdioServer(boost::asio::any_io_executor executor, Session& session, ToolCatalog& catalog,
                StdioServerOptions options = {});
    ~StdioServer();
    StdioServer(const StdioServer&) = delete;
    StdioServer& operator=(const StdioServer&) = delete;

    boost::asio::awaitable<void> run();

private:
    struct RunningCall {
        boost::asio::cancellation_signal signal;
        bool cancelled = false;
    };

    void handle(const FramedLine& line);
    void start_call(StartCall call);
    void cancel_call(const CancelCall& cancel);
    boost::asio::awaitable<void> serve_call(StartCall call, std::shared_ptr<RunningCall> running);
    void send(const boost::json::object& message);
    boost::asio::awaitable<void> write_pending();

    boost::asio::any_io_executor executor_;
    Session& session_;
    ToolCatalog& catalog_;
    StdioServerOptions options_;
    boost::asio::posix::stream_descriptor input_;
    boost::asio::posix::stream_descriptor output_;
    std::map<std::string, std::shared_ptr<RunningCall>> calls_;  // by id_key
    boost::asio::steady_timer calls_changed_;  // woken whenever a call ends
    std::deque<std::string> outbox_;
    bool writing_ = false;
    bool output_broken_ = false;
};

}  // namespace norvex::mcp
