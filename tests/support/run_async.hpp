// Runs one coroutine on a test's io_context until it has finished.
#pragma once

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/use_future.hpp>

#include <chrono>
#include <future>

namespace norvex::testing {

// Drives `io` until `op` is done (other work may still be pending) and gives
// its value or rethrows its exception.
template <typename T>
T run_async(boost::asio::io_context& io, boost::asio::awaitable<T> op) {
    auto done = boost::asio::co_spawn(io, std::move(op), boost::asio::use_future);
    io.restart();
    while (done.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        if (io.run_one() == 0) io.restart();
    }
    return done.get();
}

}  // namespace norvex::testing
