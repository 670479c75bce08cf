// The stdio transport of the MCP server on asio: the read loop, the call coroutines, the writer.
#include "stdio_server.hpp"

#include "norvex/common/error_text.hpp"
#include "norvex/common/logging.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>

#include <algorithm>
#include <array>
#include <cerrno>
#include <exception>
#include <system_error>
#include <vector>

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
      changed_(executor, asio::steady_timer::time_point::max()) {}

StdioServer::~StdioServer() = default;

asio::awaitable<void> StdioServer::run() {
    asio::co_spawn(executor_, watch_output(), asio::detached);
    // Messages contain no line feeds; a client that ends lines with "\r\n" is understood too.
    LineFramer framer({.max_bytes = options_.max_message_bytes, .strip_carriage_return = true});
    std::array<char, 64 * 1024> buffer{};
    bool input_open = true;
    while (input_open && !stopping_) {
        auto [ec, n] = co_await input_.async_read_some(asio::buffer(buffer), asio::as_tuple(asio::use_awaitable));
        framer.feed(std::string_view(buffer.data(), n));
        co_await handle_all(framer);
        if (ec) {
            if (ec != asio::error::eof && !stopping_) log()->warn("Reading stdin failed: {}; shutting down", ec.message());
            input_open = false;
        }
    }
    framer.finish();
    co_await handle_all(framer);

    // The client is done sending; the calls it started still get their answers.
    while (!calls_.empty()) co_await next_change();
    while (writing_ && !stopping_) co_await next_change();
    // The watch on stdout is all that is left on the loop.
    boost::system::error_code ignored;
    output_.cancel(ignored);
}

void StdioServer::stop() {
    if (stopping_) return;
    log()->info("Stopping: {} running call(s) cancelled", calls_.size());
    give_up();
}

asio::awaitable<void> StdioServer::handle_all(LineFramer& framer) {
    while (auto line = framer.next()) {
        co_await room_for_output();
        if (stopping_) co_return;
        handle(*line);
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
            const std::string why = error_message(e);
            log()->error("Tool {} failed: {}", call.tool, why);
            result = ToolResult::text("Tool " + call.tool + " failed: " + why, true);
        }
    }
    // Only now is the id free again: a cancelled call has stopped its work by here.
    calls_.erase(id_key(call.id));
    session_.call_finished(call.id);
    changed_.cancel();
    if (running->cancelled) {
        log()->debug("tools/call {} ({}) cancelled; no answer sent", call.tool, id_key(call.id));
        co_return;
    }
    send(make_result(call.id, result.to_dict()));
}

void StdioServer::send(const json::object& message) {
    if (stopping_) return;
    std::string line = serialize(message) + "\n";
    pending_bytes_ += line.size();
    outbox_.push_back(std::move(line));
    if (writing_) return;
    writing_ = true;
    asio::co_spawn(executor_, write_pending(), asio::detached);
}

asio::awaitable<void> StdioServer::write_pending() {
    while (!outbox_.empty() && !stopping_) {
        const std::string line = std::move(outbox_.front());
        outbox_.pop_front();
        auto [ec, n] = co_await asio::async_write(output_, asio::buffer(line), asio::as_tuple(asio::use_awaitable));
        pending_bytes_ -= std::min(pending_bytes_, line.size());
        changed_.cancel();
        if (ec) {
            if (!stopping_) {
                log()->warn("Writing stdout failed: {}; no more answers can be sent, so the running calls are cancelled",
                            ec.message());
                give_up();
            }
            break;
        }
    }
    writing_ = false;
    changed_.cancel();
}

// A pipe whose reader has gone reports an error condition without any write,
// so a client that closed our stdout is noticed while no answer is due, and
// calls that might run for minutes are not waited for.
asio::awaitable<void> StdioServer::watch_output() {
    auto [ec] = co_await output_.async_wait(asio::posix::descriptor_base::wait_error,
                                            asio::as_tuple(asio::use_awaitable));
    // An error code: cancelled at the end, or a descriptor epoll cannot watch (a file), where writes tell instead.
    if (ec || stopping_) co_return;
    log()->warn("The client closed stdout; no more answers can be sent, so the running calls are cancelled");
    give_up();
}

// Requests are read only while the client takes the answers: a client that
// stops reading gets its stdin blocked, not the server's memory filled.
asio::awaitable<void> StdioServer::room_for_output() {
    if (pending_bytes_ <= options_.max_pending_output_bytes) co_return;
    log()->debug("{} bytes of answers wait for the client to read them; reading requests paused", pending_bytes_);
    while (pending_bytes_ > options_.max_pending_output_bytes && !stopping_) co_await next_change();
    if (!stopping_) log()->debug("The client reads again; reading requests resumed");
}

asio::awaitable<void> StdioServer::next_change() {
    co_await changed_.async_wait(asio::as_tuple(asio::use_awaitable));
}

void StdioServer::give_up() {
    stopping_ = true;
    boost::system::error_code ignored;
    input_.cancel(ignored);
    // A write the client may never take would hold the loop for ever.
    output_.cancel(ignored);
    outbox_.clear();
    pending_bytes_ = 0;
    // By copy: a call may end, and leave the map, while the others are told.
    std::vector<std::shared_ptr<RunningCall>> running;
    for (const auto& [key, call] : calls_) {
        if (!call->cancelled) running.push_back(call);
    }
    for (const auto& call : running) {
        call->cancelled = true;
        call->signal.emit(asio::cancellation_type::terminal);
    }
    catalog_.abandon();
    changed_.cancel();
}

}  // namespace norvex::mcp
