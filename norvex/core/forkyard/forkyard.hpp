// The worker-subprocess manager: runs tasks in fresh worker processes under a limit.
#pragma once

#include "norvex/common/async_semaphore.hpp"
#include "norvex/common/coro_support.hpp"
#include "norvex/common/ordered_map.hpp"
#include "norvex/core/forkyard/line_protocol.hpp"
#include "norvex/core/forkyard/records.hpp"
#include "norvex/core/forkyard/worker_process.hpp"

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/json/object.hpp>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace norvex::forkyard {

struct ForkyardOptions {
    int max_workers = 5;               // running workers allowed at once
    double default_timeout = 60.0;     // answer timeout of tasks whose timeout is 0
    // Scratch folder. Unset or empty: a new private one, which the manager
    // removes when it is destroyed if nothing was left in it; a folder given
    // here is never removed.
    std::optional<std::string> temp_dir{};
    // Where worker programs are looked up; Forkyard::WORKER_SCRIPTS_DIR when unset.
    std::optional<std::filesystem::path> workers_dir{};
    // Longest answer line accepted from a worker, in bytes.
    std::size_t max_answer_bytes = DEFAULT_MAX_ANSWER_BYTES;
};

// Orchestrates worker subprocesses: one fresh WorkerProcess per task.
//
// A worker type names a program in the workers folder ("sourcelens" ->
// astprobe); the program runs as it is, or under Python when only
// "<name>.py" exists. At most max_workers children exist at any moment: a
// spawn takes its slot in the same step as it checks the limit and gives it
// back once its child has been reaped, so spawns started together cannot all
// pass the check. A task that finds every slot taken fails at once with
// "Worker limit reached (N). Try again later."; nothing is queued. The check
// costs the same however many tasks ran before, and a finished worker is
// forgotten (its buffers freed) as soon as its task ends.
//
// Every child is told the manager's process id (WORKER_PARENT_VARIABLE in
// norvex/common/worker_parent.hpp); a worker program that calls
// end_with_parent() is killed by the kernel when the thread that started it
// ends, so it never outlives its host, whatever ends the host. The flip side:
// run the loop that spawns only on a thread that lives as long as the
// process (the main thread, or one joined at the very end). Workers started
// from a thread that ends early are killed with it, though the host goes on.
// The manager itself installs no signal handler.
//
// Result listeners are plain callables taking the result, or callables
// returning boost::asio::awaitable<T>, which are awaited in turn:
//
//     yard.on_result([](const SubprocessResult& r) { std::cout << r.task_id; });
//     yard.on_result([&](const SubprocessResult& r) -> asio::awaitable<void> {
//         co_await publish(r);
//     });
//
// Everything runs on the executor given to the constructor, one thread; keep
// the manager alive until its operations have finished.
class Forkyard {
public:
    // lib/norvex/workers beside the folder holding this library.
    static const std::filesystem::path WORKER_SCRIPTS_DIR;

    using ResultListener = std::function<void(const SubprocessResult&)>;
    using AsyncResultListener = std::function<boost::asio::awaitable<void>(const SubprocessResult&)>;

    explicit Forkyard(boost::asio::any_io_executor executor, ForkyardOptions options = {});
    ~Forkyard();
    Forkyard(const Forkyard&) = delete;
    Forkyard& operator=(const Forkyard&) = delete;

    int max_workers;
    double default_timeout;
    std::string temp_dir;
    std::filesystem::path workers_dir;
    std::size_t max_answer_bytes;

    // Adds a result listener (called once per registration, in order).
    template <typename F>
    void on_result(F&& callback);

    // Runs one task: resolve its worker, check the limit, start the worker,
    // send the command, wait for the answer, stop the worker, store the
    // result and tell the listeners. Failures come back as results; only the
    // caller's own cancellation propagates (after the worker is stopped).
    boost::asio::awaitable<SubprocessResult> spawn(SubprocessTask task);

    // Runs the tasks at the same time; results in the order of `tasks`.
    boost::asio::awaitable<std::vector<SubprocessResult>> spawn_many(std::vector<SubprocessTask> tasks);

    std::optional<SubprocessResult> get_result(const std::string& task_id) const;

    // {"id", "pid", "status", "elapsed"} of each running worker, in registration order.
    std::vector<boost::json::object> list_active() const;

    // Stored results by duration, longest first; `limit` as a Python slice end.
    std::vector<boost::json::object> list_results(int limit = 20) const;

    // Stops a running worker and records it as cancelled; false when there is
    // no running worker under that id.
    boost::asio::awaitable<bool> cancel(std::string task_id);

    // Stops every running worker and forgets all workers (results stay).
    boost::asio::awaitable<void> cleanup();

    // Kills every worker's child now (SIGKILL), without the quit request and
    // its grace period: for a host that must stop at once, such as a program
    // told to end by a signal, where a busy worker would otherwise hold each
    // stop for the whole grace. Each task then ends as its own spawn finds
    // it: a failed result (closed stdout), or the caller's cancellation.
    // Cancel the tasks first, so that no new task starts a worker after.
    void kill_all();

private:
    std::optional<std::filesystem::path> _resolve_worker_script(const std::string& worker_type) const;
    boost::asio::awaitable<void> _notify(const SubprocessResult& result);
    void forget_worker(const std::string& task_id, const std::shared_ptr<WorkerProcess>& worker);

    struct Listener {
        ResultListener plain;
        AsyncResultListener awaited;
    };

    // The private folder this manager made (empty when it was given one):
    // its destructor removes it if empty, whatever temp_dir says by then.
    std::string own_temp_dir_;
    boost::asio::any_io_executor executor_;
    // Slots taken: children that exist or are being launched. Shared with the
    // spawns' slot guards, so a guard destroyed with its suspended spawn after
    // the manager (a loop torn down late) touches no freed memory.
    std::shared_ptr<std::size_t> slots_taken_ = std::make_shared<std::size_t>(0);
    // The workers whose tasks are under way, in registration order.
    OrderedMap<std::string, std::shared_ptr<WorkerProcess>> _workers;
    OrderedMap<std::string, SubprocessResult> _results;
    std::vector<Listener> _callbacks;
    AsyncSemaphore _lock;
};

template <typename F>
void Forkyard::on_result(F&& callback) {
    using Returned = std::invoke_result_t<F&, const SubprocessResult&>;
    if constexpr (is_awaitable_v<Returned>) {
        _callbacks.push_back(Listener{{}, [fn = std::forward<F>(callback)](const SubprocessResult& r)
                                              -> boost::asio::awaitable<void> { co_await fn(r); }});
    } else {
        _callbacks.push_back(Listener{[fn = std::forward<F>(callback)](const SubprocessResult& r) { (void)fn(r); }, {}});
    }
}

}  // namespace norvex::forkyard
