// Reads a child's stderr all the time, keeping the latest part of it.
#pragma once

#include <boost/asio/awaitable.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/steady_timer.hpp>

#include <cstddef>
#include <memory>
#include <string>

namespace norvex::forkyard {

class StderrDrain : public std::enable_shared_from_this<StderrDrain> {
public:
    static constexpr std::size_t KEEP_BYTES = 1024 * 1024;

    // Starts draining `pipe` in the background; the drain keeps itself alive
    // until the end of the stream or close().
    static std::shared_ptr<StderrDrain> start(boost::asio::posix::stream_descriptor pipe);

    explicit StderrDrain(boost::asio::posix::stream_descriptor pipe);

    // Waits up to `seconds` for the end of the stream; true when it came.
    boost::asio::awaitable<bool> wait_for_end(double seconds);
    bool ended() const noexcept { return ended_; }
    // The latest KEEP_BYTES bytes read (raw, possibly cut inside a character).
    std::string text() const;
    // Stops reading and closes the pipe.
    void close();

private:
    boost::asio::awaitable<void> run();

    boost::asio::posix::stream_descriptor pipe_;
    boost::asio::steady_timer end_signal_;
    std::string buffer_;
    bool ended_ = false;
};

}  // namespace norvex::forkyard
