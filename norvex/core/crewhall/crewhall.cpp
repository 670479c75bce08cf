// The agent worker pool: construction, submission and the life of one worker.
#include "norvex/core/crewhall/crewhall.hpp"
#include "norvex/core/crewhall/crewhall_jobs.hpp"

#include "norvex/common/clock.hpp"
#include "norvex/common/coro_support.hpp"
#include "norvex/common/error_text.hpp"
#include "norvex/common/logging.hpp"

#include <boost/asio/async_result.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <type_traits>

namespace asio = boost::asio;

namespace norvex::crewhall {
namespace {

constexpr int MIN_WORKERS = 1;
constexpr int MAX_WORKERS = 20;
constexpr std::size_t HISTORY_LIMIT = 200;
constexpr std::size_t HISTORY_KEPT = 100;

spdlog::logger& log() {
    static const auto logger = logging::get("norvex.crewhall");
    return *logger;
}

// what() of a standard exception; empty for anything else, which the final
// step reports as "Unknown error".
std::string error_text(const std::exception_ptr& e) { return exception_text(e).value_or(""); }

std::size_t semaphore_slots(int max_workers) {
    if (max_workers < 0)
        throw std::invalid_argument("max_workers must be >= 0, got " + std::to_string(max_workers));
    return static_cast<std::size_t>(max_workers);
}

// A job's escape other than its cancellation is a fault of this pool or
// of a callback; it is logged and the runner goes on with the next job.
void log_job_error(const std::string& id, const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const boost::system::system_error& e) {
        if (e.code() == asio::error::operation_aborted) return;  // cancelled: cancel() saw to it
        log().error("Job worker-{} ended with an error: {}", id, error_message(e));
    } catch (const std::exception& e) {
        log().error("Job worker-{} ended with an error: {}", id, error_message(e));
    } catch (...) {
        log().error("Job worker-{} ended with an unknown error", id);
    }
}

}  // namespace

asio::awaitable<void> StatusCallback::operator()(const WorkerStatus& status) const {
    if (auto pending = start(status)) co_await std::move(*pending);
}

std::optional<asio::awaitable<void>> StatusCallback::start(const WorkerStatus& status) const {
    if (plain_) {
        plain_(status);
        return std::nullopt;
    }
    if (awaited_) return awaited_(status);
    return std::nullopt;
}

Crewhall::Crewhall(asio::any_io_executor executor, CrewhallOptions options)
    : executor_(std::move(executor)),
      _max_workers(options.max_workers),
      _executor(std::move(options.executor)),
      _on_status_change(std::move(options.on_status_change)),
      _update([this](std::shared_ptr<WorkerStatus> s) { return _update_status(std::move(s)); }),
      _slots(std::make_shared<SlotGroup>(executor_, semaphore_slots(options.max_workers))) {}

// Idle runners exist only while work is under way, which the pool must
// outlive; any left are ended all the same rather than leaked.
Crewhall::~Crewhall() { _retire_idle(); }

void Crewhall::set_max_workers(int value) {
    _max_workers = std::clamp(value, MIN_WORKERS, MAX_WORKERS);
    log().info("Max workers updated to {}", _max_workers);
    _slots = std::make_shared<SlotGroup>(executor_, static_cast<std::size_t>(_max_workers));
}

void Crewhall::set_executor(WorkerExecutor executor) { _executor = std::move(executor); }

asio::awaitable<std::shared_ptr<WorkerStatus>> Crewhall::submit(WorkerTask submitted) {
    if (!_executor) throw std::runtime_error("No executor set \u2014 call set_executor() first");

    ++_total_submitted;
    // One block holds the task, its status and its job's state.
    auto record = std::make_shared<Record>(std::move(submitted));
    const WorkerTask& task = record->task;
    _all_tasks.emplace_back(record, &record->task);

    std::shared_ptr<WorkerStatus> status(record, &record->status);
    status->task_id = task.id;
    status->state = WorkerState::QUEUED;
    if (task.name.empty()) status->name = "Worker-" + task.id.substr(0, 6);
    else status->name = task.name;  // assigned straight, without a temporary copy
    record->entry = &_tasks.set_active(task.id, status);

    if (auto pending = _notify(*status)) co_await std::move(*pending);

    record->entry = &_tasks.set_job(task.id, record, record->entry);
    log().info("Worker submitted: {} ({})", task.name, task.id);
    _schedule_start(std::move(record));
    co_return status;
}

asio::awaitable<std::vector<std::shared_ptr<WorkerStatus>>> Crewhall::submit_many(std::vector<WorkerTask> tasks) {
    std::vector<std::shared_ptr<WorkerStatus>> statuses;
    statuses.reserve(tasks.size());
    for (auto& task : tasks) statuses.push_back(co_await submit(std::move(task)));
    co_return statuses;
}

asio::awaitable<void> Crewhall::_runner_loop(std::shared_ptr<Runner> self) {
    Runner& runner = *self;
    for (;;) {
        std::shared_ptr<Record> record = runner.job;
        // The life of one worker, from RUNNING to the history. It is written
        // out here rather than awaited as a coroutine of its own: that
        // frame and its await cost more than the rest of a no-op worker's
        // run. What escapes (a cancellation while announcing RUNNING, or a
        // fault) ends only this job.
        try {
            const WorkerTask& task = record->task;
            const std::string& id = task.id;
            // The record's own status unless another took its place under the id.
            WorkerStatus* const status = record->foreign ? record->foreign.get() : &record->status;

            status->state = WorkerState::RUNNING;
            status->started_at = wall_seconds();
            const double deadline = status->started_at + task.timeout;

            enum class Ending { returned, cancelled, failed };
            Ending ending = Ending::failed;
            std::string result;
            std::string failure_text;

            std::exception_ptr announce_failure;
            try {
                if (auto pending = _notify(*status)) co_await std::move(*pending);
            } catch (...) {
                announce_failure = std::current_exception();
            }
            if (announce_failure) {
                // Cancelled while announcing: cancel() has ended the record already.
                if (cancelled(co_await asio::this_coro::cancellation_state)) std::rethrow_exception(announce_failure);
                // A callback that cannot take the RUNNING record would otherwise
                // leave it running for ever: the worker fails without its executor.
                failure_text = error_text(announce_failure);
            } else {
                // A copy, so replacing the executor meanwhile cannot free the one running.
                WorkerExecutor executor = _executor;
                std::exception_ptr failure;
                try {
                    result = co_await executor(task, _update, deadline);
                    ending = Ending::returned;
                } catch (...) {
                    failure = std::current_exception();
                }
                const bool was_cancelled = cancelled(co_await asio::this_coro::cancellation_state);
                if (failure) {
                    // An executor may turn the aborted wait into an error of its own;
                    // the worker was still cancelled.
                    ending = was_cancelled ? Ending::cancelled : Ending::failed;
                    failure_text = error_text(failure);
                }
                // The cancellation ends here: the final steps below still await.
                if (was_cancelled) co_await asio::this_coro::reset_cancellation_state();
            }

            switch (ending) {
                case Ending::returned:
                    status->state = WorkerState::COMPLETED;
                    status->result = std::move(result);
                    ++_total_completed;
                    break;
                case Ending::cancelled:
                    status->state = WorkerState::CANCELLED;
                    status->error = "Cancelled by user";
                    ++_total_failed;
                    log().info("Worker {} was cancelled by user", id);
                    break;
                case Ending::failed:
                    status->state = WorkerState::FAILED;
                    status->error = failure_text;
                    ++_total_failed;
                    log().error("Worker {} failed: {}", id, failure_text);
                    break;
            }

            status->completed_at = wall_seconds();
            status->duration = status->completed_at - status->started_at;
            if (is_terminal(status->state)) {
                status->progress_pct = 100.0;
                switch (status->state) {
                    case WorkerState::COMPLETED: status->current_step = "Done"; break;
                    case WorkerState::FAILED:
                        status->current_step =
                            "Failed: " + (status->error && !status->error->empty() ? *status->error : "Unknown error");
                        break;
                    case WorkerState::TIMEOUT: status->current_step = "Timed out"; break;
                    case WorkerState::CANCELLED: status->current_step = "Cancelled"; break;
                    default: break;
                }
            }

            std::exception_ptr broadcast_failure;
            try {
                if (auto pending = _notify(*status)) co_await std::move(*pending);
            } catch (...) {
                broadcast_failure = std::current_exception();
            }
            if (broadcast_failure) {
                if (cancelled(co_await asio::this_coro::cancellation_state)) {
                    // cancel() arrived during the broadcast and moves the record itself.
                    co_await asio::this_coro::reset_cancellation_state();
                } else {
                    log().error("Failed to broadcast final status for {}: {}", id, error_text(broadcast_failure));
                }
            }
            _move_to_completed(id, record->entry);
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
        // When the batch's current job was this runner's, the batch's next
        // job is this runner's to run, in the batch's order.
        if (!next && _in_batch && _batch_runner == &runner) next = _next_start();
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


asio::awaitable<void> Crewhall::_update_status(std::shared_ptr<WorkerStatus> status) {
    if (!status) throw std::invalid_argument("update_status needs a status record, got nullptr");
    if (Tasks::Entry* entry = _tasks.find(status->task_id); entry != nullptr && entry->active) entry->active = status;
    if (auto pending = _notify(*status)) co_await std::move(*pending);
}

void Crewhall::_move_to_completed(const std::string& task_id, Tasks::Entry* hint) {
    Tasks::Entry* entry = _tasks.find(task_id, hint);
    if (entry == nullptr) return;
    if (std::shared_ptr<WorkerStatus> status = _tasks.remove(*entry)) {
        _completed.push_back(std::move(status));
        if (_completed.size() > HISTORY_LIMIT)
            _completed.erase(_completed.begin(),
                             _completed.end() - static_cast<std::ptrdiff_t>(HISTORY_KEPT));
    }
}

}  // namespace norvex::crewhall
