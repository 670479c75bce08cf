// A counting semaphore for coroutines on one asio executor.
#pragma once

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/asio/steady_timer.hpp>

#include <cstddef>
#include <list>

namespace norvex {

// Waiters are served first come, first served. A waiter whose coroutine is
// cancelled leaves the queue and gets operation_aborted; a slot handed to a
// waiter that was cancelled at the same moment goes back to the semaphore.
// Not thread-safe: every call must come from the executor's own thread.
class AsyncSemaphore {
public:
    AsyncSemaphore(boost::asio::any_io_executor executor, std::size_t slots);
    // Waiters still queued are forgotten (their coroutines are never resumed
    // by this semaphore again).
    ~AsyncSemaphore();
    AsyncSemaphore(const AsyncSemaphore&) = delete;
    AsyncSemaphore& operator=(const AsyncSemaphore&) = delete;

    // Takes a slot, suspending until one is free.
    boost::asio::awaitable<void> acquire();
    // Takes a slot only when one is free now.
    bool try_acquire();
    // Gives a slot back (to the longest waiter, when there is one).
    void release();

    std::size_t available() const noexcept { return slots_; }
    std::size_t waiting() const noexcept { return waiters_.size(); }

    // Releases the slot it holds when it goes out of scope.
    class Guard {
    public:
        explicit Guard(AsyncSemaphore& s) noexcept : sem_(&s) {}
        Guard(Guard&& o) noexcept : sem_(o.sem_) { o.sem_ = nullptr; }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;
        Guard& operator=(Guard&&) = delete;
        ~Guard() { if (sem_) sem_->release(); }

    private:
        AsyncSemaphore* sem_;
    };

    // acquire(), then a guard that releases the slot.
    boost::asio::awaitable<Guard> scoped_acquire();

private:
    // Lives in the waiting coroutine's frame. A frame destroyed while still
    // queued (its io_context shut down) takes itself off the queue.
    struct Waiter {
        boost::asio::steady_timer wake;
        bool granted = false;
        AsyncSemaphore* owner = nullptr;
        std::list<Waiter*>::iterator pos{};
        ~Waiter() {
            if (owner != nullptr) owner->waiters_.erase(pos);
        }
    };

    boost::asio::any_io_executor executor_;
    std::size_t slots_;
    std::list<Waiter*> waiters_;
};

}  // namespace norvex
