// The agent worker pool: starting submitted jobs, handing out slots and the runners that carry the jobs out.
#include "norvex/core/crewhall/crewhall.hpp"
#include "norvex/core/crewhall/crewhall_jobs.hpp"

#include "norvex/common/coro_support.hpp"
#include "norvex/common/logging.hpp"

#include <boost/asio/async_result.hpp>
#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <exception>
#include <type_traits>

namespace asio = boost::asio;

namespace norvex::crewhall {
namespace {

spdlog::logger& log() {
    static const auto logger = logging::get("norvex.crewhall");
    return *logger;
}

// A job's escape other than its cancellation is a fault of this pool or
// of a callback; it is logged and the runner goes on with the next job.
void log_job_error(const std::string& id, const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const boost::system::system_error& e) {
        if (e.code() == asio::error::operation_aborted) return;  // cancelled: cancel() saw to it
        log().error("Job worker-{} ended with an error: {}", id, e.what());
    } catch (const std::exception& e) {
        log().error("Job worker-{} ended with an error: {}", id, e.what());
    } catch (...) {
        log().error("Job worker-{} ended with an unknown error", id);
    }
}

}  // namespace

void Crewhall::_schedule_start(std::shared_ptr<Record> record) {
    _pending_starts.push_back(std::move(record));
    if (_start_posted) return;
    _start_posted = true;
    asio::post(executor_, [this] { _start_pending(); });
}

void Crewhall::_start_pending() {
    _start_posted = false;
    // Jobs queued by the jobs started here wait for the next turn of the
    // loop, as a freshly submitted job always does.
    _batch_left = _pending_starts.size();
    _in_batch = true;
    while (std::shared_ptr<Record> record = _next_start()) _run_on_runner(std::move(record));
    _in_batch = false;
    if (_busy == 0 && _pending_starts.empty()) _retire_idle();
}

std::shared_ptr<Crewhall::Record> Crewhall::_next_start() {
    while (_batch_left > 0 && !_pending_starts.empty()) {
        --_batch_left;
        std::shared_ptr<Record> record = std::move(_pending_starts.front());
        _pending_starts.pop_front();
        if (record->cancelled) continue;  // cancelled before it began: it ends without touching the record
        auto* active = _active.find(record->task.id);
        if (active == nullptr) continue;  // removed (cleanup) before the job first ran
        if (active->get() != &record->status) record->foreign = *active;

        // The slots of this moment: a later change of max_workers does not
        // take the slot away from under this worker.
        // A free slot means nobody waits (a freed slot goes to a waiter first).
        if (_slots->free > 0) {
            --_slots->free;
            record->slots = _slots;
            return record;
        }
        _slots->add_waiter(std::move(record));
    }
    _batch_left = 0;
    return nullptr;
}

void Crewhall::_run_on_runner(std::shared_ptr<Record> record) {
    ++_busy;
    if (!_idle.empty()) {
        std::shared_ptr<Runner> runner = std::move(_idle.back());
        _idle.pop_back();
        record->runner = runner.get();
        runner->job = std::move(record);
        Runner::Wake wake = std::move(*runner->wake);
        runner->wake.reset();
        wake();
        return;
    }
    auto runner = std::make_shared<Runner>();
    record->runner = runner.get();
    runner->job = std::move(record);
    // co_spawn runs the runner inline up to its first wait. The handler
    // holds the runner, whose signal the coroutine's cancellation hangs on.
    auto slot = runner->signal.slot();
    asio::co_spawn(executor_, _runner_loop(runner),
                   asio::bind_cancellation_slot(slot, [runner](std::exception_ptr error) {
                       if (error) log_job_error(runner->job ? runner->job->task.id : std::string("?"), error);
                   }));
}

std::shared_ptr<Crewhall::Record> Crewhall::_release_slot(const std::shared_ptr<SlotGroup>& slots) {
    while (!slots->waiting.empty()) {
        std::shared_ptr<Record> next = std::move(slots->waiting.front());
        slots->waiting.pop_front();
        next->queued_in = nullptr;
        if (next->cancelled) continue;
        slots->forget_waiter();
        next->slots = slots;
        return next;
    }
    ++slots->free;
    return nullptr;
}

void Crewhall::_retire_idle() {
    for (auto& runner : _idle) {
        runner->retire = true;
        asio::post(executor_, std::move(*runner->wake));
        runner->wake.reset();
    }
    _idle.clear();
}

asio::awaitable<void> Crewhall::_runner_loop(std::shared_ptr<Runner> self) {
    Runner& runner = *self;
    for (;;) {
        std::shared_ptr<Record> record = runner.job;
        try {
            co_await _run_worker(*record);
        } catch (...) {
            log_job_error(record->task.id, std::current_exception());
        }
        // A cancellation ends with its job.
        if (cancelled(co_await asio::this_coro::cancellation_state)) co_await asio::this_coro::reset_cancellation_state();
        record->runner = nullptr;
        record->foreign.reset();
        std::shared_ptr<SlotGroup> slots = std::move(record->slots);
        runner.job.reset();
        record.reset();

        // The slot goes to the longest waiter, which starts on its next turn
        // of the loop, as a waiter woken by a semaphore would; one cancelled
        // meanwhile hands it on.
        std::shared_ptr<Record> next = _release_slot(slots);
        while (next) {
            co_await asio::post(executor_, asio::use_awaitable);
            if (!next->cancelled) break;
            next->slots.reset();
            next = _release_slot(slots);
        }
        // Inside a batch (this runner was started or woken by it) the next
        // job of the batch is this runner's to run, in the batch's order.
        if (!next && _in_batch) next = _next_start();
        if (next) {
            next->runner = &runner;
            runner.job = std::move(next);
            continue;
        }

        --_busy;
        if (_busy == 0 && _pending_starts.empty()) {
            _retire_idle();
            co_return;
        }
        // More work is under way: wait to be handed a job.
        _idle.push_back(self);
        co_await asio::async_initiate<const asio::use_awaitable_t<>&, void()>(
            [&runner](auto handler) {
                static_assert(std::is_same_v<decltype(handler), Runner::Wake>,
                              "the runner's wake handler has another type in this Boost version");
                runner.wake.emplace(std::move(handler));
            },
            asio::use_awaitable);
        if (runner.retire) co_return;
    }
}

}  // namespace norvex::crewhall
