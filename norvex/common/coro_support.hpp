// Small pieces the coroutine-based components share: awaitable detection,
// cancellation checks and exception texts.
#pragma once

#include "norvex/common/error_text.hpp"

#include <boost/asio/awaitable.hpp>
#include <boost/asio/cancellation_state.hpp>

#include <exception>
#include <optional>
#include <string>
#include <type_traits>

namespace norvex {

// True for boost::asio::awaitable<T, E>: lets an API take a plain callback or
// one returning an awaitable through one template.
template <typename T>
struct is_awaitable : std::false_type {};
template <typename T, typename E>
struct is_awaitable<boost::asio::awaitable<T, E>> : std::true_type {};
template <typename T>
inline constexpr bool is_awaitable_v = is_awaitable<T>::value;

// Whether a coroutine's cancellation state says it was cancelled. Ask it with
// `co_await boost::asio::this_coro::cancellation_state`, which (unlike
// awaiting another coroutine) does not itself throw once cancelled.
inline bool cancelled(const boost::asio::cancellation_state& state) noexcept {
    return state.cancelled() != boost::asio::cancellation_type::none;
}

// error_message() of a standard exception; nothing for any other thrown value.
inline std::optional<std::string> exception_text(const std::exception_ptr& e) {
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& ex) {
        return error_message(ex);
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace norvex
