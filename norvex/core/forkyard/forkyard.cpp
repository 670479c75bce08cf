// The worker-subprocess manager.
#include "norvex/core/forkyard/forkyard.hpp"

#include "norvex/common/clock.hpp"
#include "norvex/common/error_text.hpp"
#include "norvex/common/errors.hpp"
#include "norvex/common/logging.hpp"
#include "norvex/common/py_round.hpp"
#include "norvex/common/pyjson.hpp"
#include "norvex/common/truthy.hpp"
#include "norvex/core/forkyard/worker_scripts.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include <unistd.h>

namespace asio = boost::asio;

namespace norvex::forkyard {
namespace {

std::shared_ptr<spdlog::logger> log() {
    static auto logger = logging::get("norvex.subprocess");
    return logger;
}

// A new private folder "norvex_workers_XXXXXX" in the system's temporary location.
std::string make_private_temp_dir() {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string pattern = (base / "norvex_workers_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::system_error(errno, std::generic_category(),
                                "cannot create the manager's temporary folder in " + base.string());
    return pattern;
}

std::string error_text(const std::exception_ptr& e) { return exception_text(e).value_or("unknown error"); }

bool is_standard_exception(const std::exception_ptr& e) { return exception_text(e).has_value(); }

// One of the manager's max_workers slots, held by a spawn from its limit
// check until its child has been reaped.
class Slot {
public:
    explicit Slot(std::shared_ptr<std::size_t> taken) : taken_(std::move(taken)) { ++*taken_; }
    ~Slot() { release(); }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    void release() noexcept {
        if (taken_) --*taken_;
        taken_.reset();
    }

private:
    std::shared_ptr<std::size_t> taken_;
};

}  // namespace

const std::filesystem::path Forkyard::WORKER_SCRIPTS_DIR = find_worker_scripts_dir();

Forkyard::Forkyard(asio::any_io_executor executor, ForkyardOptions options)
    : max_workers(options.max_workers),
      default_timeout(options.default_timeout),
      temp_dir(options.temp_dir && !options.temp_dir->empty() ? *options.temp_dir : make_private_temp_dir()),
      workers_dir(options.workers_dir ? *options.workers_dir : WORKER_SCRIPTS_DIR),
      max_answer_bytes(options.max_answer_bytes),
      own_temp_dir_(options.temp_dir && !options.temp_dir->empty() ? std::string() : temp_dir),
      executor_(executor),
      _lock(executor, 1) {}

Forkyard::~Forkyard() {
    // A host that makes a manager per command would otherwise fill the
    // temporary folder with empty ones. rmdir leaves a folder that holds
    // anything: what is in it may still be wanted.
    if (own_temp_dir_.empty()) return;
    if (::rmdir(own_temp_dir_.c_str()) == 0) return;
    const int err = errno;
    if (err != ENOENT) log()->debug("Kept the manager's temporary folder {}: {}", own_temp_dir_, std::strerror(err));
}

std::optional<std::filesystem::path> Forkyard::_resolve_worker_script(const std::string& worker_type) const {
    auto name = worker_program_name(worker_type);
    if (!name) return std::nullopt;
    std::filesystem::path native = workers_dir / std::string(*name);
    std::filesystem::path script = workers_dir / (std::string(*name) + ".py");
    std::error_code ec;
    if (std::filesystem::exists(native, ec)) return native;
    if (std::filesystem::exists(script, ec)) return script;
    log()->error("Worker script not found: {}", native.string());
    return std::nullopt;
}

void Forkyard::forget_worker(const std::string& task_id, const std::shared_ptr<WorkerProcess>& worker) {
    // A later task may have taken over the id meanwhile; its worker stays.
    if (auto* registered = _workers.find(task_id); registered != nullptr && *registered == worker)
        _workers.erase(task_id);
}

asio::awaitable<void> Forkyard::_notify(const SubprocessResult& result) {
    // By index: a listener may register another one while being called.
    for (std::size_t i = 0; i < _callbacks.size(); ++i) {
        Listener listener = _callbacks[i];
        std::exception_ptr failure;
        try {
            if (listener.plain) listener.plain(result);
            else co_await listener.awaited(result);
        } catch (...) {
            failure = std::current_exception();
        }
        if (!failure) continue;
        if (cancelled(co_await asio::this_coro::cancellation_state) || !is_standard_exception(failure))
            std::rethrow_exception(failure);
        log()->warn("Result callback error: {}", error_text(failure));
    }
}

asio::awaitable<SubprocessResult> Forkyard::spawn(SubprocessTask task) {
    const double started = wall_seconds();

    auto script = _resolve_worker_script(task.worker_type);
    if (!script) {
        SubprocessResult refused{task.id, WorkerStatus::FAILED};
        refused.error = "Unknown worker type: " + task.worker_type;
        co_await _notify(refused);
        co_return refused;
    }

    std::optional<Slot> slot;
    {
        auto held = co_await _lock.scoped_acquire();
        // Checking and taking the slot is one step with nothing awaited in
        // between, so the check sees every spawn that passed it before, even
        // those whose child is not launched yet.
        if (static_cast<long long>(*slots_taken_) >= max_workers) {
            SubprocessResult refused{task.id, WorkerStatus::FAILED};
            refused.error = fmt::format("Worker limit reached ({}). Try again later.", max_workers);
            co_await _notify(refused);
            co_return refused;
        }
        slot.emplace(slots_taken_);
    }

    auto worker = std::make_shared<WorkerProcess>(
        executor_, task.id, script->string(),
        WorkerProcessOptions{task.working_dir, task.env, task.timeout != 0.0 ? task.timeout : default_timeout,
                             max_answer_bytes});

    SubprocessResult result{task.id, WorkerStatus::FAILED};
    std::exception_ptr failure;
    try {
        co_await worker->start();
        _workers.assign(task.id, worker);
        auto answer = co_await worker->send_command(task.command);
        if (!answer) throw std::runtime_error(fmt::format("Worker {} answered null instead of a JSON object", task.id));
        result.duration = wall_seconds() - started;
        const auto* success = answer->if_contains("success");
        result.status = success && truthy(*success) ? WorkerStatus::COMPLETED : WorkerStatus::FAILED;
        if (const auto* output = answer->if_contains("result")) result.output = *output;
        if (const auto* error = answer->if_contains("error"); error && !error->is_null())
            result.error = error->is_string() ? std::string(error->get_string()) : pyjson::dumps(*error);
        result.pid = worker->pid();
    } catch (...) {
        failure = std::current_exception();
    }

    const bool interrupted =
        cancelled(co_await asio::this_coro::cancellation_state) || (failure && !is_standard_exception(failure));
    if (failure && !interrupted) {
        result = SubprocessResult{task.id, WorkerStatus::FAILED};
        try {
            std::rethrow_exception(failure);
        } catch (const TimeoutError&) {
            result.status = WorkerStatus::TIMEOUT;
        } catch (...) {
        }
        result.error = error_text(failure);
        result.duration = wall_seconds() - started;
        result.pid = worker->pid();
    }

    if (interrupted) {
        // The worker is stopped even when the caller gave up on the task.
        co_await asio::this_coro::reset_cancellation_state();
    }
    co_await worker->stop();
    // A child that exited by itself is not running any more, whatever the
    // stop found. Its child reaped, the worker frees its slot and is
    // forgotten, so nothing of it stays behind for later tasks to walk.
    if (worker->status == WorkerStatus::RUNNING) worker->status = WorkerStatus::COMPLETED;
    slot->release();
    forget_worker(task.id, worker);

    if (interrupted) {
        // The cancellation asio raised names the header it came from; the
        // caller may well print what it gets.
        if (failure) rethrow_with_plain_text(failure);
        throw SystemError(asio::error::operation_aborted, "spawn cancelled");
    }

    _results.assign(task.id, result);
    co_await _notify(result);
    co_return result;
}

asio::awaitable<std::vector<SubprocessResult>> Forkyard::spawn_many(std::vector<SubprocessTask> tasks) {
    struct Gathering {
        std::vector<std::optional<SubprocessResult>> results;
        std::vector<asio::cancellation_signal> signals;
        std::size_t pending = 0;
        std::exception_ptr first_error;
        asio::steady_timer wake;
        explicit Gathering(asio::any_io_executor ex, std::size_t n)
            : results(n), signals(n), pending(n), wake(ex, asio::steady_timer::time_point::max()) {}
    };
    auto ex = co_await asio::this_coro::executor;
    auto gathering = std::make_shared<Gathering>(ex, tasks.size());

    for (std::size_t i = 0; i < tasks.size(); ++i) {
        asio::co_spawn(ex, spawn(std::move(tasks[i])),
                       asio::bind_cancellation_slot(
                           gathering->signals[i].slot(),
                           [gathering, i](std::exception_ptr error, SubprocessResult result) {
                               if (error) {
                                   if (!gathering->first_error) gathering->first_error = error;
                               } else {
                                   gathering->results[i] = std::move(result);
                               }
                               --gathering->pending;
                               gathering->wake.cancel();
                           }));
    }

    // Wait for every spawn, or for the first that ends with an error (the
    // others then go on by themselves).
    while (gathering->pending > 0 && !gathering->first_error) {
        co_await gathering->wake.async_wait(asio::as_tuple(asio::use_awaitable));
        if (cancelled(co_await asio::this_coro::cancellation_state)) {
            for (auto& signal : gathering->signals) signal.emit(asio::cancellation_type::terminal);
            throw SystemError(asio::error::operation_aborted, "spawn_many cancelled");
        }
    }
    if (gathering->first_error) std::rethrow_exception(gathering->first_error);

    std::vector<SubprocessResult> out;
    out.reserve(gathering->results.size());
    for (auto& r : gathering->results) out.push_back(std::move(*r));
    co_return out;
}

std::optional<SubprocessResult> Forkyard::get_result(const std::string& task_id) const {
    if (const auto* r = _results.find(task_id)) return *r;
    return std::nullopt;
}

std::vector<boost::json::object> Forkyard::list_active() const {
    std::vector<boost::json::object> out;
    for (const auto& [id, worker] : _workers) {
        if (worker->status != WorkerStatus::RUNNING) continue;
        boost::json::object entry;
        entry["id"] = id;
        entry["pid"] = worker->pid() ? boost::json::value(*worker->pid()) : boost::json::value(nullptr);
        entry["status"] = to_string(worker->status);
        entry["elapsed"] = py_round(worker->elapsed(), 2);
        out.push_back(std::move(entry));
    }
    return out;
}

std::vector<boost::json::object> Forkyard::list_results(int limit) const {
    std::vector<const SubprocessResult*> sorted;
    for (const auto& entry : _results) sorted.push_back(&entry.second);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const SubprocessResult* a, const SubprocessResult* b) { return a->duration > b->duration; });
    const long long n = static_cast<long long>(sorted.size());
    const long long keep = limit >= 0 ? std::min<long long>(limit, n) : std::max<long long>(0, n + limit);
    std::vector<boost::json::object> out;
    out.reserve(static_cast<std::size_t>(keep));
    for (long long i = 0; i < keep; ++i) out.push_back(sorted[static_cast<std::size_t>(i)]->to_dict());
    return out;
}

asio::awaitable<bool> Forkyard::cancel(std::string task_id) {
    auto* registered = _workers.find(task_id);
    if (registered == nullptr || (*registered)->status != WorkerStatus::RUNNING) co_return false;
    std::shared_ptr<WorkerProcess> worker = *registered;
    // The cancellation record goes in before the stop: the task's own spawn
    // stores its result once the stop has ended its wait for the answer, and
    // that result must replace this one whichever coroutine resumes first.
    SubprocessResult cancelled_result{task_id, WorkerStatus::CANCELLED};
    cancelled_result.pid = worker->pid();
    _results.assign(task_id, std::move(cancelled_result));
    co_await worker->stop();
    worker->status = WorkerStatus::CANCELLED;
    co_return true;
}

void Forkyard::kill_all() {
    // Status alone does not tell: a timed-out worker is no longer RUNNING but its child may still be there.
    std::size_t killed = 0;
    for (const auto& [id, worker] : _workers) killed += worker->kill() ? 1 : 0;
    if (killed > 0) log()->info("Killed {} worker(s)", killed);
}

asio::awaitable<void> Forkyard::cleanup() {
    std::vector<std::shared_ptr<WorkerProcess>> running;
    for (const auto& [id, worker] : _workers)
        if (worker->status == WorkerStatus::RUNNING) running.push_back(worker);
    for (auto& worker : running) co_await worker->stop();
    _workers.clear();
    log()->info("Forkyard cleaned up");
}

}  // namespace norvex::forkyard
