// Background stderr reader with a bounded buffer.
#include "norvex/core/forkyard/stderr_drain.hpp"

#include "norvex/common/async_timeout.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/use_awaitable.hpp>

namespace asio = boost::asio;

namespace norvex::forkyard {

StderrDrain::StderrDrain(asio::posix::stream_descriptor pipe)
    : pipe_(std::move(pipe)), end_signal_(pipe_.get_executor(), asio::steady_timer::time_point::max()) {}

std::shared_ptr<StderrDrain> StderrDrain::start(asio::posix::stream_descriptor pipe) {
    auto drain = std::make_shared<StderrDrain>(std::move(pipe));
    asio::co_spawn(drain->pipe_.get_executor(), [drain]() { return drain->run(); }, asio::detached);
    return drain;
}

asio::awaitable<void> StderrDrain::run() {
    auto self = shared_from_this();
    char chunk[16384];
    while (pipe_.is_open()) {
        auto [ec, n] = co_await pipe_.async_read_some(asio::buffer(chunk), asio::as_tuple(asio::use_awaitable));
        if (n > 0) {
            buffer_.append(chunk, n);
            // Trim in large steps so the cost per byte stays constant.
            if (buffer_.size() > 2 * KEEP_BYTES) buffer_.erase(0, buffer_.size() - KEEP_BYTES);
        }
        if (ec) break;
    }
    ended_ = true;
    boost::system::error_code ignored;
    pipe_.close(ignored);
    end_signal_.cancel();
}

asio::awaitable<bool> StderrDrain::wait_for_end(double seconds) {
    if (ended_) co_return true;
    auto self = shared_from_this();
    auto wait_end = [this]() -> asio::awaitable<void> {
        while (!ended_) co_await end_signal_.async_wait(asio::as_tuple(asio::use_awaitable));
    };
    co_return co_await with_timeout(wait_end(), seconds);
}

std::string StderrDrain::text() const {
    if (buffer_.size() <= KEEP_BYTES) return buffer_;
    return buffer_.substr(buffer_.size() - KEEP_BYTES);
}

void StderrDrain::close() {
    boost::system::error_code ignored;
    pipe_.close(ignored);
}

}  // namespace norvex::forkyard
