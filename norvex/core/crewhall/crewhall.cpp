// The agent worker pool: construction, submission and the life of one worker.
#include "norvex/core/crewhall/crewhall.hpp"

#include "norvex/common/async_timeout.hpp"
#include "norvex/common/clock.hpp"
#include "norvex/common/coro_support.hpp"
#include "norvex/common/error_text.hpp"
#include "norvex/common/logging.hpp"

#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <algorithm>
#include <exception>
#include <stdexcept>

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

asio::awaitable<void> sleep_seconds(double seconds) {
    asio::steady_timer timer(co_await asio::this_coro::executor, seconds_to_duration(seconds));
    co_await timer.async_wait(asio::use_awaitable);
}

// A job's escape other than its cancellation is a fault of this pool or of
// a callback; it ends that worker alone, so it is logged and left there.
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
      _clock(std::move(options.poll_clock)),
      _update([this](std::shared_ptr<WorkerStatus> s) { return _update_status(std::move(s)); }),
      _semaphore(std::make_shared<AsyncSemaphore>(executor_, semaphore_slots(options.max_workers))) {
    if (!_clock.now) _clock.now = monotonic_seconds;
    if (!_clock.sleep) _clock.sleep = sleep_seconds;
}

Crewhall::~Crewhall() = default;

void Crewhall::set_max_workers(int value) {
    _max_workers = std::clamp(value, MIN_WORKERS, MAX_WORKERS);
    log().info("Max workers updated to {}", _max_workers);
    _semaphore = std::make_shared<AsyncSemaphore>(executor_, static_cast<std::size_t>(_max_workers));
}

void Crewhall::set_executor(WorkerExecutor executor) { _executor = std::move(executor); }

asio::awaitable<std::shared_ptr<WorkerStatus>> Crewhall::submit(WorkerTask submitted) {
    if (!_executor) throw std::runtime_error("No executor set \u2014 call set_executor() first");

    ++_total_submitted;
    auto task = std::make_shared<const WorkerTask>(std::move(submitted));
    _all_tasks.push_back(task);

    auto status = std::make_shared<WorkerStatus>();
    status->task_id = task->id;
    status->name = task->name.empty() ? "Worker-" + task->id.substr(0, 6) : task->name;
    _active.assign(task->id, status);
    if (auto pending = _notify(*status)) co_await std::move(*pending);

    auto job = std::make_shared<Job>();
    _tasks.assign(task->id, job);
    log().info("Worker submitted: {} ({})", task->name, task->id);
    // The handler keeps the job, whose signal the coroutine's cancellation hangs on.
    auto cancellation = job->signal.slot();
    asio::co_spawn(executor_, _run_worker(task, job),
                   asio::bind_cancellation_slot(cancellation, [task, job](std::exception_ptr error) {
                       if (error) log_job_error(task->id, error);
                   }));
    co_return status;
}

asio::awaitable<std::vector<std::shared_ptr<WorkerStatus>>> Crewhall::submit_many(std::vector<WorkerTask> tasks) {
    std::vector<std::shared_ptr<WorkerStatus>> statuses;
    statuses.reserve(tasks.size());
    for (auto& task : tasks) statuses.push_back(co_await submit(std::move(task)));
    co_return statuses;
}

asio::awaitable<void> Crewhall::_run_worker(std::shared_ptr<const WorkerTask> task, std::shared_ptr<Job> job) {
    co_await asio::post(asio::use_awaitable);  // the job begins once its submitter yields
    const std::string& id = task->id;
    const std::shared_ptr<WorkerStatus>* active = _active.find(id);
    if (job->cancelled || active == nullptr) co_return;  // cancelled or cleaned up before it began
    // The id's record of this moment: a later submission under the id has taken over the first's.
    const std::shared_ptr<WorkerStatus> status = *active;

    // The semaphore of this moment stays this worker's when the limit changes.
    const std::shared_ptr<AsyncSemaphore> semaphore = _semaphore;
    co_await semaphore->acquire();
    AsyncSemaphore::Guard slot(*semaphore);

    status->state = WorkerState::RUNNING;
    status->started_at = wall_seconds();
    const double deadline = status->started_at + task->timeout;

    std::exception_ptr failure;
    try {
        if (auto pending = _notify(*status)) co_await std::move(*pending);
    } catch (...) {
        failure = std::current_exception();
    }
    // Cancelled while announcing: cancel() has ended the record already.
    if (failure && cancelled(co_await asio::this_coro::cancellation_state)) std::rethrow_exception(failure);

    // A callback that cannot take the RUNNING record fails the worker without
    // its executor; it would otherwise stay running for ever.
    std::optional<std::string> result;
    if (!failure) {
        WorkerExecutor executor = _executor;  // replacing the executor meanwhile cannot free the one running
        try {
            result = co_await executor(*task, _update, deadline);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    // An executor may turn the aborted wait into an error of its own; the
    // worker was still cancelled. The cancellation ends here, as the final
    // broadcast still awaits.
    const bool was_cancelled = cancelled(co_await asio::this_coro::cancellation_state);
    if (was_cancelled) co_await asio::this_coro::reset_cancellation_state();

    _record_ending(id, *status, std::move(result), was_cancelled, failure);

    failure = nullptr;
    try {
        if (auto pending = _notify(*status)) co_await std::move(*pending);
    } catch (...) {
        failure = std::current_exception();
    }
    // A cancel() that arrived during the broadcast is no failure of it.
    if (failure && !cancelled(co_await asio::this_coro::cancellation_state))
        log().error("Failed to broadcast final status for {}: {}", id, error_text(failure));
    _move_to_completed(id);
}

void Crewhall::_record_ending(const std::string& id, WorkerStatus& status, std::optional<std::string> result,
                              bool was_cancelled, const std::exception_ptr& failure) {
    if (result) {
        status.state = WorkerState::COMPLETED;
        status.result = std::move(*result);
        status.current_step = "Done";
        ++_total_completed;
    } else if (was_cancelled) {
        status.state = WorkerState::CANCELLED;
        status.error = "Cancelled by user";
        status.current_step = "Cancelled";
        ++_total_failed;
        log().info("Worker {} was cancelled by user", id);
    } else {
        status.state = WorkerState::FAILED;
        status.error = error_text(failure);
        status.current_step = "Failed: " + (status.error->empty() ? "Unknown error" : *status.error);
        ++_total_failed;
        log().error("Worker {} failed: {}", id, *status.error);
    }
    status.progress_pct = 100.0;
    status.completed_at = wall_seconds();
    status.duration = status.completed_at - status.started_at;
}

asio::awaitable<void> Crewhall::_update_status(std::shared_ptr<WorkerStatus> status) {
    if (!status) throw std::invalid_argument("update_status needs a status record, got nullptr");
    if (std::shared_ptr<WorkerStatus>* active = _active.find(status->task_id)) *active = status;
    if (auto pending = _notify(*status)) co_await std::move(*pending);
}

void Crewhall::_move_to_completed(const std::string& task_id) {
    if (std::optional<std::shared_ptr<WorkerStatus>> status = _active.take(task_id)) {
        _completed.push_back(std::move(*status));
        if (_completed.size() > HISTORY_LIMIT)
            _completed.erase(_completed.begin(), _completed.end() - static_cast<std::ptrdiff_t>(HISTORY_KEPT));
    }
    _tasks.erase(task_id);
}

}  // namespace norvex::crewhall
