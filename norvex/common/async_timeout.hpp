// Races an awaitable against a timer.
#pragma once

#include <boost/asio/awaitable.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/deferred.hpp>
#include <boost/asio/experimental/parallel_group.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <chrono>
#include <exception>
#include <optional>
#include <type_traits>

namespace norvex {

inline std::chrono::steady_clock::duration seconds_to_duration(double seconds) {
    if (!(seconds > 0)) return std::chrono::steady_clock::duration::zero();
    if (seconds > 1e9) seconds = 1e9;  // a generous "forever" that cannot overflow
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
}

// Runs `op` for at most `seconds`. Gives its value, or nothing when the time
// ran out first; an exception of `op` reaches the caller at once. For void
// operations the result is true when the operation finished in time.
//
// When the time runs out, `op` is cancelled and has finished before this
// returns, so it may safely refer to the caller's locals. (The
// awaitable_operators `||` is no substitute: it waits for the first
// *success*, so a failing operation would sit out the whole timeout.)
template <typename T>
boost::asio::awaitable<std::conditional_t<std::is_void_v<T>, bool, std::optional<T>>>
with_timeout(boost::asio::awaitable<T> op, double seconds) {
    namespace asio = boost::asio;
    auto ex = co_await asio::this_coro::executor;
    asio::steady_timer timer(ex, seconds_to_duration(seconds));
    auto group = asio::experimental::make_parallel_group(asio::co_spawn(ex, std::move(op), asio::deferred),
                                                         timer.async_wait(asio::deferred));
    if constexpr (std::is_void_v<T>) {
        auto [order, op_error, timer_error] =
            co_await group.async_wait(asio::experimental::wait_for_one(), asio::use_awaitable);
        (void)timer_error;
        if (order[0] != 0) co_return false;
        if (op_error) std::rethrow_exception(op_error);
        co_return true;
    } else {
        auto [order, op_error, value, timer_error] =
            co_await group.async_wait(asio::experimental::wait_for_one(), asio::use_awaitable);
        (void)timer_error;
        if (order[0] != 0) co_return std::optional<T>();
        if (op_error) std::rethrow_exception(op_error);
        co_return std::optional<T>(std::move(value));
    }
}

}  // namespace norvex
