// One task's round trip through the worker-subprocess manager, with a trivial native worker.
//
// A round trip is Forkyard::spawn from the call to its result: the child is
// launched, takes one command line, answers one line, gets the quit request
// and exits. Times are wall-clock (UseManualTime); each case also reports
// its own figures as counters (median and p90 in ms, tasks per second), which
// bench/run.sh sets beside the Python asyncio pair's.
#include "../tests/support/scratch_dir.hpp"

#include "norvex/core/forkyard/forkyard.hpp"
#include "norvex/core/forkyard/worker_process.hpp"

#include <benchmark/benchmark.h>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace asio = boost::asio;
namespace fs = std::filesystem;
using norvex::testing::ScratchDir;
using namespace norvex::forkyard;

namespace {

// The echo worker linked against libc alone, and linked with libstdc++ loaded.
const fs::path WORKERS_DIR = NORVEX_BENCH_WORKERS_DIR;
const fs::path CXX_WORKERS_DIR = NORVEX_BENCH_CXX_WORKERS_DIR;
constexpr int SEQUENTIAL_RUNS = 200;
constexpr int WARMUP_RUNS = 5;
constexpr int IN_FLIGHT = 5;
constexpr int THROUGHPUT_TASKS = 200;  // per timed iteration of the throughput cases

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A private scratch folder for the manager, removed afterwards.
ForkyardOptions bench_options(const ScratchDir& scratch, const fs::path& workers_dir = WORKERS_DIR) {
    return ForkyardOptions{.max_workers = IN_FLIGHT, .temp_dir = scratch.path().string(), .workers_dir = workers_dir};
}

SubprocessTask echo_task() {
    return SubprocessTask{.worker_type = "custom", .command = {{"action", "ping"}}, .timeout = 10.0};
}

// Runs the loop until `op` has finished; work left behind (a stderr drain
// seeing its end of file) is picked up by the next call.
template <typename T>
T drive(asio::io_context& io, asio::awaitable<T> op) {
    std::optional<T> value;
    std::exception_ptr error;
    bool done = false;
    asio::co_spawn(io, std::move(op), [&](std::exception_ptr e, T v) {
        error = e;
        if (!e) value = std::move(v);
        done = true;
    });
    io.restart();
    while (!done) {
        if (io.run_one() == 0) throw std::logic_error("the loop ran out of work before the operation finished");
    }
    if (error) std::rethrow_exception(error);
    return std::move(*value);
}

void drive(asio::io_context& io, asio::awaitable<void> op) {
    drive(io, [](asio::awaitable<void> inner) -> asio::awaitable<bool> {
        co_await std::move(inner);
        co_return true;
    }(std::move(op)));
}

std::string describe(const SubprocessResult& r) {
    return std::string(to_string(r.status)) + ": " + r.error.value_or("");
}

bool answered(const SubprocessResult& r) {
    return r.status == WorkerStatus::COMPLETED && r.output.is_string() && r.output.get_string() == "pong";
}

// Median (the mean of the middle two for an even count) and nearest-rank
// percentile, computed the same way in python/roundtrip.py.
double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(v.size())));
    return v[std::max<std::size_t>(rank, 1) - 1];
}

void report_latencies(benchmark::State& state, const std::vector<double>& ms) {
    if (ms.empty()) return;
    state.counters["median_ms"] = median(ms);
    state.counters["p90_ms"] = percentile(ms, 90);
    state.counters["min_ms"] = *std::min_element(ms.begin(), ms.end());
    state.counters["max_ms"] = *std::max_element(ms.begin(), ms.end());
}

// One spawn at a time: the latency of a single task.
void BM_ForkyardRoundTrip(benchmark::State& state, const fs::path& workers_dir) {
    asio::io_context io;
    ScratchDir scratch{"norvex_bench_"};
    Forkyard yard(io.get_executor(), bench_options(scratch, workers_dir));
    for (int i = 0; i < WARMUP_RUNS; ++i) {
        auto r = drive(io, yard.spawn(echo_task()));
        if (!answered(r)) {
            state.SkipWithError(("warm-up task failed: " + describe(r)).c_str());
            return;
        }
    }

    std::vector<double> ms;
    ms.reserve(SEQUENTIAL_RUNS);
    for (auto _ : state) {
        SubprocessTask task = echo_task();
        const auto start = Clock::now();
        SubprocessResult r = drive(io, yard.spawn(std::move(task)));
        const double took = seconds_since(start);
        if (!answered(r)) {
            state.SkipWithError(("task failed: " + describe(r)).c_str());
            break;
        }
        state.SetIterationTime(took);
        ms.push_back(took * 1e3);
    }
    report_latencies(state, ms);
    drive(io, yard.cleanup());
}
BENCHMARK_CAPTURE(BM_ForkyardRoundTrip, libc_worker, WORKERS_DIR)
    ->Iterations(SEQUENTIAL_RUNS)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ForkyardRoundTrip, libstdcxx_worker, CXX_WORKERS_DIR)
    ->Iterations(SEQUENTIAL_RUNS)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// IN_FLIGHT lanes each spawning task after task until THROUGHPUT_TASKS are
// done, so IN_FLIGHT workers are live nearly all the time.
void BM_ForkyardInFlight(benchmark::State& state) {
    asio::io_context io;
    ScratchDir scratch{"norvex_bench_"};
    Forkyard yard(io.get_executor(), bench_options(scratch));
    drive(io, yard.spawn(echo_task()));

    double total_seconds = 0;
    long long total_tasks = 0;
    for (auto _ : state) {
        int started = 0;
        int failed = 0;
        std::string first_failure;
        auto lane = [&]() -> asio::awaitable<void> {
            while (started < THROUGHPUT_TASKS) {
                ++started;
                SubprocessResult r = co_await yard.spawn(echo_task());
                if (!answered(r) && failed++ == 0) first_failure = describe(r);
            }
        };
        const auto start = Clock::now();
        drive(io, [&]() -> asio::awaitable<void> {
            auto ex = co_await asio::this_coro::executor;
            int lanes_left = IN_FLIGHT;
            std::exception_ptr lane_error;
            asio::steady_timer all_done(ex, asio::steady_timer::time_point::max());
            for (int i = 0; i < IN_FLIGHT; ++i)
                asio::co_spawn(ex, lane(), [&](std::exception_ptr e) {
                    if (e && !lane_error) lane_error = e;
                    if (--lanes_left == 0) all_done.cancel();
                });
            while (lanes_left > 0) co_await all_done.async_wait(asio::as_tuple(asio::use_awaitable));
            if (lane_error) std::rethrow_exception(lane_error);
        }());
        const double took = seconds_since(start);
        if (failed) {
            state.SkipWithError((std::to_string(failed) + " tasks failed, first: " + first_failure).c_str());
            break;
        }
        state.SetIterationTime(took);
        total_seconds += took;
        total_tasks += THROUGHPUT_TASKS;
    }
    if (total_seconds > 0) state.counters["tasks_per_s"] = static_cast<double>(total_tasks) / total_seconds;
    drive(io, yard.cleanup());
}
BENCHMARK(BM_ForkyardInFlight)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// spawn_many in batches of IN_FLIGHT: every batch waits for its slowest task.
void BM_ForkyardSpawnMany(benchmark::State& state) {
    asio::io_context io;
    ScratchDir scratch{"norvex_bench_"};
    Forkyard yard(io.get_executor(), bench_options(scratch));
    drive(io, yard.spawn(echo_task()));

    double total_seconds = 0;
    long long total_tasks = 0;
    for (auto _ : state) {
        std::vector<SubprocessTask> batch;
        for (int i = 0; i < IN_FLIGHT; ++i) batch.push_back(echo_task());
        const auto start = Clock::now();
        auto results = drive(io, yard.spawn_many(std::move(batch)));
        const double took = seconds_since(start);
        auto bad = std::find_if(results.begin(), results.end(), [](const auto& r) { return !answered(r); });
        if (bad != results.end()) {
            state.SkipWithError(("task failed: " + describe(*bad)).c_str());
            break;
        }
        state.SetIterationTime(took);
        total_seconds += took;
        total_tasks += IN_FLIGHT;
    }
    if (total_seconds > 0) state.counters["tasks_per_s"] = static_cast<double>(total_tasks) / total_seconds;
    drive(io, yard.cleanup());
}
BENCHMARK(BM_ForkyardSpawnMany)
    ->Iterations(THROUGHPUT_TASKS / IN_FLIGHT)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The same round trip one layer down, on a WorkerProcess without the manager,
// timed phase by phase: where the manager's time goes.
void BM_WorkerProcessRoundTrip(benchmark::State& state) {
    asio::io_context io;
    const std::string program = (WORKERS_DIR / "freerig").string();
    const boost::json::object command{{"action", "ping"}};
    std::vector<double> start_ms, command_ms, stop_ms, total_ms;

    auto once = [&](bool timed) -> bool {
        WorkerProcess worker(io.get_executor(), "bench", program, WorkerProcessOptions{.timeout = 10.0});
        const auto t0 = Clock::now();
        drive(io, worker.start());
        const auto t1 = Clock::now();
        auto answer = drive(io, worker.send_command(command));
        const auto t2 = Clock::now();
        drive(io, worker.stop());
        const auto t3 = Clock::now();
        if (!answer || worker.exit_code() != 0) return false;
        if (timed) {
            auto ms = [](Clock::time_point a, Clock::time_point b) {
                return std::chrono::duration<double, std::milli>(b - a).count();
            };
            start_ms.push_back(ms(t0, t1));
            command_ms.push_back(ms(t1, t2));
            stop_ms.push_back(ms(t2, t3));
            total_ms.push_back(ms(t0, t3));
            state.SetIterationTime(std::chrono::duration<double>(t3 - t0).count());
        }
        return true;
    };

    for (int i = 0; i < WARMUP_RUNS; ++i) once(false);
    for (auto _ : state) {
        if (!once(true)) {
            state.SkipWithError("worker round trip failed");
            break;
        }
    }
    report_latencies(state, total_ms);
    if (!total_ms.empty()) {
        state.counters["start_median_ms"] = median(start_ms);
        state.counters["command_median_ms"] = median(command_ms);
        state.counters["stop_median_ms"] = median(stop_ms);
    }
}
BENCHMARK(BM_WorkerProcessRoundTrip)->Iterations(SEQUENTIAL_RUNS)->UseManualTime()->Unit(benchmark::kMillisecond);

// The floor under the manager: the same exchange with bare posix_spawn,
// blocking pipes and waitpid, no event loop. What is left of the round trip
// above this is the manager's own cost.
void BM_BareSpawnFloor(benchmark::State& state) {
    const std::string program = (WORKERS_DIR / "freerig").string();
    const std::string request = "{\"action\": \"ping\"}\n";
    const std::string quit = "{\"action\": \"quit\"}\n";
    std::vector<double> ms;
    ms.reserve(SEQUENTIAL_RUNS);

    auto once = [&]() -> bool {
        int in[2], out[2], err[2];
        if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC)) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        pid_t pid = -1;
        int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        bool ok = rc == 0 && ::write(in[1], request.data(), request.size()) == static_cast<ssize_t>(request.size());
        char answer[256];
        ok = ok && ::read(out[0], answer, sizeof answer) > 0;
        ok = ok && ::write(in[1], quit.data(), quit.size()) == static_cast<ssize_t>(quit.size());
        int status = 0;
        if (rc == 0) ::waitpid(pid, &status, 0);
        ::close(in[1]);
        ::close(out[0]);
        ::close(err[0]);
        return ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };

    for (int i = 0; i < WARMUP_RUNS; ++i) once();
    for (auto _ : state) {
        const auto start = Clock::now();
        const bool ok = once();
        const double took = seconds_since(start);
        if (!ok) {
            state.SkipWithError("bare round trip failed");
            break;
        }
        state.SetIterationTime(took);
        ms.push_back(took * 1e3);
    }
    report_latencies(state, ms);
}
BENCHMARK(BM_BareSpawnFloor)->Iterations(SEQUENTIAL_RUNS)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
