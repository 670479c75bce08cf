// Counting semaphore: one parked timer per waiter, woken by release().
#include "norvex/common/async_semaphore.hpp"

#include "norvex/common/coro_support.hpp"
#include "norvex/common/error_text.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <algorithm>

namespace asio = boost::asio;

namespace norvex {

AsyncSemaphore::AsyncSemaphore(asio::any_io_executor executor, std::size_t slots)
    : executor_(std::move(executor)), slots_(slots) {}

AsyncSemaphore::~AsyncSemaphore() {
    for (Waiter* w : waiters_) w->owner = nullptr;
}

bool AsyncSemaphore::try_acquire() {
    if (slots_ == 0 || !waiters_.empty()) return false;
    --slots_;
    return true;
}

asio::awaitable<void> AsyncSemaphore::acquire() {
    if (try_acquire()) co_return;

    Waiter waiter{asio::steady_timer(executor_, asio::steady_timer::time_point::max())};
    waiter.pos = waiters_.insert(waiters_.end(), &waiter);
    waiter.owner = this;
    co_await waiter.wake.async_wait(asio::as_tuple(asio::use_awaitable));

    if (!waiter.granted) {
        // Woken by the caller's cancellation, not by release().
        if (waiter.owner != nullptr) waiters_.erase(waiter.pos);
        waiter.owner = nullptr;
        throw SystemError(asio::error::operation_aborted, "semaphore acquire cancelled");
    }
    if (cancelled(co_await asio::this_coro::cancellation_state)) {
        release();
        throw SystemError(asio::error::operation_aborted, "semaphore acquire cancelled");
    }
}

asio::awaitable<AsyncSemaphore::Guard> AsyncSemaphore::scoped_acquire() {
    co_await acquire();
    co_return Guard(*this);
}

void AsyncSemaphore::release() {
    if (waiters_.empty()) {
        ++slots_;
        return;
    }
    // The slot passes straight to the first waiter, so a newcomer calling
    // try_acquire() between now and the waiter's resumption cannot take it.
    Waiter* next = waiters_.front();
    waiters_.pop_front();
    next->owner = nullptr;
    next->granted = true;
    next->wake.cancel();
}

}  // namespace norvex
