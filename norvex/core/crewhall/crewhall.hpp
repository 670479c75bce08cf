// The agent worker pool: runs agent tasks through the host's executor under a limit.
#pragma once

#include "norvex/core/crewhall/records.hpp"

#include "norvex/common/async_semaphore.hpp"
#include "norvex/common/coro_support.hpp"
#include "norvex/common/ordered_map.hpp"

#include <boost/asio/any_io_executor.hpp>

#include <boost/asio/awaitable.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/json/object.hpp>

#include <concepts>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace norvex::crewhall {

// The pool's progress operation as the executor receives it: pass a status
// record (normally the pool's own, from get_status, with its fields
// changed) to make it the task's live record and broadcast it.
using UpdateStatus = std::function<boost::asio::awaitable<void>(std::shared_ptr<WorkerStatus>)>;

// The host's executor: carries out one agent task and gives its result text.
// `deadline` is wall-clock seconds since the epoch (now + task.timeout when
// the worker starts); honouring it is the executor's business, the pool
// never interrupts an executor for lack of time. `task` stays alive until
// the returned awaitable has finished. A thrown exception fails the worker
// with its what() as the error text; cancelling the worker (Crewhall::cancel)
// cancels whatever asio operation the executor is waiting on.
using WorkerExecutor =
    std::function<boost::asio::awaitable<std::string>(const WorkerTask& task, UpdateStatus update_status,
                                                      double deadline)>;

// The status callback: a plain callable taking `const WorkerStatus&`, or one
// returning boost::asio::awaitable<T>, which is awaited. Empty by default.
class StatusCallback {
public:
    StatusCallback() = default;

    template <typename F>
        requires(!std::same_as<std::remove_cvref_t<F>, StatusCallback> &&
                 std::invocable<std::remove_cvref_t<F>&, const WorkerStatus&>)
    StatusCallback(F&& callback) {  // NOLINT(google-explicit-constructor): assigned from lambdas
        using Fn = std::remove_cvref_t<F>;
        using Returned = std::invoke_result_t<Fn&, const WorkerStatus&>;
        // Callables of the exact shapes are stored as they are: a wrapper
        // would cost a call and, for the asynchronous kind, a coroutine frame
        // per notification.
        if constexpr (std::is_same_v<Returned, boost::asio::awaitable<void>>) {
            awaited_ = Fn(std::forward<F>(callback));
        } else if constexpr (is_awaitable_v<Returned>) {
            awaited_ = [fn = Fn(std::forward<F>(callback))](const WorkerStatus& s) mutable
                -> boost::asio::awaitable<void> { co_await fn(s); };
        } else if constexpr (std::is_void_v<Returned>) {
            plain_ = Fn(std::forward<F>(callback));
        } else {
            plain_ = [fn = Fn(std::forward<F>(callback))](const WorkerStatus& s) mutable { (void)fn(s); };
        }
    }

    explicit operator bool() const noexcept { return plain_ || awaited_; }

    // Calls a plain callback inline, or awaits an asynchronous one.
    boost::asio::awaitable<void> operator()(const WorkerStatus& status) const;

    // Calls a plain callback now and leaves nothing to await, or gives the
    // asynchronous callback's awaitable (nothing either when there is no
    // callback). The pool notifies three times per task; this spares it a
    // coroutine frame each time.
    std::optional<boost::asio::awaitable<void>> start(const WorkerStatus& status) const;

private:
    std::function<void(const WorkerStatus&)> plain_;
    std::function<boost::asio::awaitable<void>(const WorkerStatus&)> awaited_;
};

// How wait_for() and wait_all() tell time: `now` reads a monotonic clock in
// seconds, `sleep` pauses the waiting coroutine for so many seconds. Either
// left empty is the real one (monotonic_seconds(), a steady_timer); a test
// puts a clock of its own here so that waiting takes no real time.
struct PollClock {
    std::function<double()> now{};
    std::function<boost::asio::awaitable<void>(double seconds)> sleep{};
};

struct CrewhallOptions {
    // Executors running at once. Taken as given here (negative is refused);
    // set_max_workers() bounds later changes to 1..20.
    int max_workers = 3;
    WorkerExecutor executor{};          // none until set here or with set_executor()
    StatusCallback on_status_change{};  // told of every status change
    PollClock poll_clock{};             // the real clock unless set
};

// Manages a pool of concurrent agent workers.
//
// Each submitted task gets a live WorkerStatus and a background job that
// waits for one of max_workers slots, runs the executor and moves the
// status to a history (the newest 100 to 200 records) when it ends. The
// status callback hears of every change: queued, running, each progress
// report, and the final state.
//
// An executor, here one that reports halfway and honours its deadline:
//
//     Crewhall pool{io.get_executor(), {.max_workers = 2,
//                   .on_status_change = [](const WorkerStatus& s) { show(s.to_dict()); }}};
//     pool.set_executor([&pool](const WorkerTask& task, UpdateStatus update,
//                               double deadline) -> asio::awaitable<std::string> {
//         auto status = pool.get_status(task.id);
//         status->current_step = "Thinking";
//         status->progress_pct = 50.0;
//         co_await update(status);
//         co_return co_await ask_model(task.prompt, deadline);
//     });
//     auto status = co_await pool.submit(WorkerTask{.name = "docs", .prompt = "Summarise the README"});
//     co_await pool.wait_for(status->task_id);   // `status` itself has been kept up to date
//
// An asynchronous callback is written the same way, returning
// asio::awaitable<void>. Everything runs on the executor given to the
// constructor, one thread, no locks. Keep the pool alive until its workers
// have ended (cleanup() cancels them; let the io_context run on until their
// jobs have finished).
class Crewhall {
public:
    explicit Crewhall(boost::asio::any_io_executor executor, CrewhallOptions options = {});
    ~Crewhall();
    Crewhall(const Crewhall&) = delete;
    Crewhall& operator=(const Crewhall&) = delete;

    int max_workers() const noexcept { return _max_workers; }
    // Bounds the value to 1..20, logs it and gives later workers a fresh
    // semaphore of that many slots; workers holding or awaiting a slot of
    // the old one keep it, so for a while more may run than the new limit.
    void set_max_workers(int value);

    void set_executor(WorkerExecutor executor);

    // Registers the task as QUEUED, tells the callback, starts its worker
    // job (which runs once the caller next yields) and gives the live
    // status. Throws std::runtime_error without an executor; a failure of
    // the callback reaches the caller, the task then counted and queued but
    // never run.
    boost::asio::awaitable<std::shared_ptr<WorkerStatus>> submit(WorkerTask task);

    // submit() for each task in turn; the first failure ends it, the tasks
    // before it staying submitted.
    boost::asio::awaitable<std::vector<std::shared_ptr<WorkerStatus>>> submit_many(std::vector<WorkerTask> tasks);

    // Cancels the worker job known under the id: a queued worker ends
    // without running, a running one as CANCELLED ("Cancelled by user").
    // False when no job is known for it (never submitted, or already ended).
    boost::asio::awaitable<bool> cancel(std::string task_id);
    // Cancels every known job in submission order; how many were cancelled.
    boost::asio::awaitable<int> cancel_all();

    // The active record for the id, else the oldest record of that id in the
    // history, else nullptr.
    std::shared_ptr<WorkerStatus> get_status(const std::string& task_id) const;

    // Dictionary forms (WorkerStatus::to_dict) of the queued and running
    // workers in submission order, of those running, of those queued.
    std::vector<boost::json::object> list_active() const;
    std::vector<boost::json::object> list_running() const;
    std::vector<boost::json::object> list_queued() const;
    // The last `limit` ended workers, oldest first; none for a limit <= 0.
    std::vector<boost::json::object> list_completed(int limit = 50) const;
    // list_active() followed by list_completed(20).
    std::vector<boost::json::object> list_all() const;

    // max_workers, active_count (running), queued_count, total_submitted,
    // total_completed, total_failed, completed_history, in this order.
    boost::json::object stats() const;

    // Polls (0.5 s, growing by 1.2 to at most 2 s) until the worker has ended
    // or `timeout` seconds have passed on the poll clock (the monotonic clock
    // unless CrewhallOptions::poll_clock says otherwise); then gives its
    // status whatever the state, or nullptr for an unknown id (at once).
    // Nothing is cancelled when the time runs out.
    boost::asio::awaitable<std::shared_ptr<WorkerStatus>> wait_for(std::string task_id, double timeout = 300.0);
    // Waits the same way until no listed worker is queued or running; an
    // empty list means the workers not yet ended. Gives the statuses found,
    // in the order of the ids.
    boost::asio::awaitable<std::vector<std::shared_ptr<WorkerStatus>>> wait_all(
        std::vector<std::string> task_ids = {}, double timeout = 600.0);

    // Cancels every worker and forgets the active ones; the history, the
    // counters, the executor and the callback stay.
    boost::asio::awaitable<void> cleanup();

private:
    // A worker's background job, as cancel() steers it.
    struct Job {
        boost::asio::cancellation_signal signal;
        bool cancelled = false;  // a job that has not begun then never runs
    };

    // One worker's life, from waiting for a slot to the history.
    boost::asio::awaitable<void> _run_worker(std::shared_ptr<const WorkerTask> task, std::shared_ptr<Job> job);
    // The final fields and counters: completed with the executor's result,
    // else cancelled when the job was, else failed with `failure`'s text.
    void _record_ending(const std::string& id, WorkerStatus& status, std::optional<std::string> result,
                        bool was_cancelled, const std::exception_ptr& failure);
    boost::asio::awaitable<void> _update_status(std::shared_ptr<WorkerStatus> status);
    // Moves the id's active record, if any, to the history and forgets its job.
    void _move_to_completed(const std::string& task_id);
    // The callback's pending part for this status, if any (see StatusCallback::start).
    std::optional<boost::asio::awaitable<void>> _notify(const WorkerStatus& status) const {
        return _on_status_change.start(status);
    }
    std::vector<boost::json::object> _list_where(bool (*keep)(const WorkerStatus&)) const;

    boost::asio::any_io_executor executor_;
    int _max_workers;
    WorkerExecutor _executor;
    StatusCallback _on_status_change;
    PollClock _clock;
    UpdateStatus _update;  // what every executor is handed: _update_status of this pool
    // The queued and running workers' records, and the jobs not yet ended, by id.
    OrderedMap<std::string, std::shared_ptr<WorkerStatus>> _active;
    OrderedMap<std::string, std::shared_ptr<Job>> _tasks;
    std::deque<std::shared_ptr<WorkerStatus>> _completed;
    // Every task ever submitted, oldest first, never pruned; nothing looks
    // one up, so a list serves.
    std::vector<std::shared_ptr<const WorkerTask>> _all_tasks;
    std::int64_t _total_submitted = 0;
    std::int64_t _total_completed = 0;
    std::int64_t _total_failed = 0;
    // The slots of this moment. A worker keeps the semaphore it began
    // waiting on, so replacing this one leaves theirs alive.
    std::shared_ptr<AsyncSemaphore> _semaphore;
};

}  // namespace norvex::crewhall
