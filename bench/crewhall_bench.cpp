// What the agent worker pool itself costs per task: 10,000 no-op tasks through Crewhall on one io_context.
//
// One round: a fresh io_context and pool, 10,000 tasks made beforehand
// (untimed), then the clock runs from the first submit until the io_context
// has nothing left to do, i.e. every worker has ended and moved to the
// history. The executor returns "ok" at once and the status callback counts
// its calls, so all that is timed is the pool: submission, the QUEUED,
// RUNNING and final notifications, the semaphore, the worker jobs and the
// history. Wall-clock and CPU time are both reported per task: on a busy
// machine the wall clock also counts other processes' turns on the CPU.
// bench/run_crewhall.sh sets the per-task figure beside the same
// pool written in asyncio (bench/python/crewhall_asyncio.py).
#include "norvex/core/crewhall/crewhall.hpp"

#include <benchmark/benchmark.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <time.h>

namespace asio = boost::asio;
using namespace norvex::crewhall;

namespace {

constexpr int TASKS = 10'000;
constexpr int ROUNDS = 10;

using Clock = std::chrono::steady_clock;

// CPU time of this process in seconds: on a shared machine the wall clock
// also counts the time other processes held the CPU.
double cpu_seconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

enum class Callback { none, plain, awaited };

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

void BM_CrewhallNoopTasks(benchmark::State& state, Callback callback, int max_workers) {
    std::vector<double> us_per_task;
    std::vector<double> cpu_us_per_task;
    for (auto _ : state) {
        asio::io_context io;
        std::int64_t notified = 0;
        CrewhallOptions options;
        options.max_workers = max_workers;
        options.executor = [](const WorkerTask&, UpdateStatus, double) -> asio::awaitable<std::string> {
            co_return "ok";
        };
        switch (callback) {
            case Callback::none: break;
            case Callback::plain: options.on_status_change = [&notified](const WorkerStatus&) { ++notified; }; break;
            case Callback::awaited:
                options.on_status_change = [&notified](const WorkerStatus&) -> asio::awaitable<void> {
                    ++notified;
                    co_return;
                };
                break;
        }
        Crewhall pool(io.get_executor(), std::move(options));
        std::vector<WorkerTask> tasks(TASKS);
        for (int i = 0; i < TASKS; ++i) tasks[static_cast<std::size_t>(i)].name = "t" + std::to_string(i);

        const double cpu_start = cpu_seconds();
        const auto start = Clock::now();
        asio::co_spawn(
            io,
            [&]() -> asio::awaitable<void> {
                for (auto& task : tasks) co_await pool.submit(std::move(task));
            },
            [](std::exception_ptr e) {
                if (e) std::rethrow_exception(e);
            });
        io.run();
        const double took = std::chrono::duration<double>(Clock::now() - start).count();
        const double cpu = cpu_seconds() - cpu_start;
        state.SetIterationTime(took);
        us_per_task.push_back(took / TASKS * 1e6);
        cpu_us_per_task.push_back(cpu / TASKS * 1e6);

        const auto stats = pool.stats();
        if (stats.at("total_completed").as_int64() != TASKS ||
            notified != (callback == Callback::none ? 0 : 3 * TASKS)) {
            state.SkipWithError("a round did not complete every task with three notifications each");
            return;
        }
    }
    state.counters["tasks"] = TASKS;
    state.counters["best_us_per_task"] = *std::min_element(us_per_task.begin(), us_per_task.end());
    state.counters["median_us_per_task"] = median(us_per_task);
    state.counters["best_cpu_us_per_task"] = *std::min_element(cpu_us_per_task.begin(), cpu_us_per_task.end());
    state.counters["median_cpu_us_per_task"] = median(cpu_us_per_task);
}

}  // namespace

BENCHMARK_CAPTURE(BM_CrewhallNoopTasks, async_callback/max_workers_3, Callback::awaited, 3)
    ->Iterations(ROUNDS)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CrewhallNoopTasks, plain_callback/max_workers_3, Callback::plain, 3)
    ->Iterations(ROUNDS)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CrewhallNoopTasks, no_callback/max_workers_3, Callback::none, 3)
    ->Iterations(ROUNDS)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CrewhallNoopTasks, async_callback/max_workers_20, Callback::awaited, 20)
    ->Iterations(ROUNDS)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
