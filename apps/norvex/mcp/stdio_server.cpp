// The stdio transport of the MCP server on asio: the read loop, the call coroutines, the writer.
#include "stdio_server.hpp"

#include "norvex/common/logging.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>

#include <array>
#include <cerrno>
#include <exception>
#include <system_error>

#include <unistd.h>

namespace norvex::mcp {

namespace asio = boost::asio;
namespace json = boost::json;

namespace {

std::shared_ptr<spdlog::logger> log() { return logging::get("norvex.mcp"); }

// asio closes what it owns; the server only borrows stdin and stdout.
asio::posix::stream_descriptor borrow(const asio::any_io_executor& executor, int fd) {
    asio::posix::stream_descriptor descriptor(executor);
    const int copy = ::dup(fd);
    if (copy < 0) throw std::system_error(errno, std::generic_category(), "cannot use descriptor " + std::to_string(fd));
    descriptor.assign(copy);
    return descriptor;
}

}  // namespace

StdioServer::StdioServer(asio::any_io_executor executor, Session& session, ToolCatalog& catalog,
                         StdioServerOptions options)
    : executor_(executor),
      session_(session),
      catalog_(catalog),
      options_(options),
      input_(borrow(executor, options.input_fd)),
      output_(borrow(executor, options.output_fd)),
      calls_changed_(executor, asio::steady_timer::time_point::max()) {}

StdioServer::~StdioServer() = default;

asio::awaitable<void> StdioServer::run() {
    LineFramer framer(options_.max_message_bytes);
    std::array<char, 64 * 1024> buffer{};
    for (;;) {
        auto [ec, n] = co_await input_.async_read_some(asio::buffer(buffer), asio::as_tuple(asio::use_awaitable));
        for (const FramedLine& line : framer.feed(std::string_view(buffer.data(), n))) handle(line);
        if (ec) {
            if (ec != asio::error::eof) log()->warn("Reading stdin failed: {}; shutting down", ec.message());
            break;
        }
        if (output_broken_) break;
    }
    for (const FramedLine& line : framer.finish()) handle(line);

    // The client is gone or done sending; the calls it started still get their answers.
    while (!calls_.empty()) {
        co_await calls_changed_.async_wait(asio::as_tuple(asio::use_awaitable));
    }
    while (writing_ && !output_broken_) {
        co_await calls_changed_.async_wait(asio::as_tuple(asio::use_awaitable));
    }
}

void StdioServer::handle(const FramedLine& line) {
    Action action = line.too_long ? session_.on_oversized_line(options_.max_message_bytes) : session_.on_line(line.text);
    std::visit(
        [this](auto&& step) {
            using Step = std::decay_t<decltype(step)>;
            if constexpr (std::is_same_v<Step, Reply>) {
                send(step.message);
            } else if constexpr (std::is_same_v<Step, StartCall>) {
                start_call(std::move(step));
            } else if constexpr (std::is_same_v<Step, CancelCall>) {
                cancel_call(step);
            } else {
                log()->debug("Ignored a message: {}", step.note);
            }
        },
        std::move(action));
}

void StdioServer::start_call(StartCall call) {
    auto running = std::make_shared<RunningCall>();
    calls_[id_key(call.id)] = running;
    log()->debug("tools/call {} ({}) started", call.tool, id_key(call.id));
    asio::co_spawn(executor_, serve_call(std::move(call), running),
                   // The handler keeps the signal alive: asio still touches its slot after the coroutine ends.
                   asio::bind_cancellation_slot(running->signal.slot(), [running](std::exception_ptr e) {
                       if (e) log()->error("A tool call ended with an unexpected fault");
                   }));
}

void StdioServer::cancel_call(const CancelCall& cancel) {
    const auto found = calls_.find(id_key(cancel.id));
    if (found == calls_.end() || found->second->cancelled) return;
    log()->info("Cancelling request {}{}{}", id_key(cancel.id), cancel.reason.empty() ? "" : ": ", cancel.reason);
    found->second->cancelled = true;
    found->second->signal.emit(asio::cancellation_type::terminal);
}

asio::awaitable<void> StdioServer::serve_call(StartCall call, std::shared_ptr<RunningCall> running) {
    ToolResult result;
    try {
        result = co_await catalog_.call(call.tool, std::move(call.arguments));
    } catch (const std::exception& e) {
        if (!running->cancelled) {
            log()->error("Tool {} failed: {}", call.tool, e.what());
            result = ToolResult::text("Tool " + call.tool + " failed: " + e.what(), true);
        }
    }
    // Only now is the id free again: a cancelled call has stopped its work by here.
    calls_.erase(id_key(call.id));
    session_.call_finished(call.id);
    calls_changed_.cancel();
    if (running->cancelled) {
        log()->debug("tools/call {} ({}) cancelled; no answer sent", call.tool, id_key(call.id));
        co_return;
    }
    send(make_result(call.id, result.to_dict()));
}

void StdioServer::send(const json::object& message) {
    if (output_broken_) return;
    outbox_.push_back(serialize(message) + "\n");
    if (writing_) return;
    writing_ = true;
    asio::co_spawn(executor_, write_pending(), asio::detached);
}

asio::awaitable<void> StdioServer::write_pending() {
    while (!outbox_.empty()) {
        const std::string line = std::move(outbox_.front());
        outbox_.pop_front();
        auto [ec, n] = co_await asio::async_write(output_, asio::buffer(line), asio::as_tuple(asio::use_awaitable));
        if (ec) {
            log()->warn("Writing stdout failed: {}; no more answers can be sent", ec.message());
            output_broken_ = true;
            outbox_.clear();
            // The reader waits on stdin; without a reader of our answers there is no point serving.
            input_.cancel();
            break;
        }
    }
    writing_ = false;
    calls_changed_.cancel();
}

}  // namespace norvex::mcp
