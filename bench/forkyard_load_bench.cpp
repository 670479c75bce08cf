// The manager under load: live children in a burst of spawns, and its own CPU as tasks pile up.
//
//   forkyard_load_bench burst [TASKS [MAX_WORKERS]]   (default 200 spawns, limit 5)
//       starts TASKS spawns at once and counts this process's children after
//       every handler the loop runs (children are launched and reaped only
//       inside handlers, so no moment is missed); prints the largest count
//       and how many tasks ran and how many were refused.
//   forkyard_load_bench cpu [TASKS [BLOCK]]           (default 100000 tasks, blocks of 1000)
//       runs TASKS tasks, 5 in flight, on one manager that is never cleaned
//       up, and prints the manager's own CPU time (user + system of this
//       process, children excluded) for each block of BLOCK tasks at 1, 2, 5,
//       10, 20, 50 and 100 thousand tasks.
//
// The worker is the round-trip benchmark's echo worker (bench/workers), which
// answers at once: the figures are the manager's, not a worker's.
#include "../tests/support/scratch_dir.hpp"

#include "norvex/core/forkyard/forkyard.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <fmt/format.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <system_error>

#include <sys/resource.h>
#include <unistd.h>

namespace asio = boost::asio;
namespace fs = std::filesystem;
using norvex::testing::ScratchDir;
using namespace norvex::forkyard;

namespace {

const fs::path WORKERS_DIR = NORVEX_BENCH_WORKERS_DIR;
constexpr int IN_FLIGHT = 5;

// This process's children, zombies included, from every thread's list.
std::size_t live_children() {
    std::set<int> pids;
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        std::ifstream in(task.path() / "children");
        int pid = 0;
        while (in >> pid) pids.insert(pid);
    }
    return pids.size();
}

double cpu_seconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

SubprocessTask echo_task() {
    return SubprocessTask{.worker_type = "custom", .command = {{"action", "ping"}}, .timeout = 30.0};
}

int burst(int tasks, int max_workers) {
    asio::io_context io;
    ScratchDir scratch{"norvex_bench_"};
    Forkyard yard(io.get_executor(), ForkyardOptions{.max_workers = max_workers, .temp_dir = scratch.path().string(),
                                                      .workers_dir = WORKERS_DIR});
    int pending = tasks, completed = 0, refused = 0, other = 0;
    std::string refusal, first_other;
    for (int i = 0; i < tasks; ++i) {
        asio::co_spawn(io, yard.spawn(echo_task()), [&](std::exception_ptr e, SubprocessResult r) {
            --pending;
            if (e) ++other;
            else if (r.status == WorkerStatus::COMPLETED) ++completed;
            else if (r.error && r.error->starts_with("Worker limit reached")) {
                ++refused;
                refusal = *r.error;
            } else if (other++ == 0) first_other = r.error.value_or("");
        });
    }
    std::size_t most = 0;
    while (pending > 0 && io.run_one() > 0) most = std::max(most, live_children());
    io.restart();
    io.poll();  // drains the stderr readers left at their end of file

    fmt::print("{} spawns started together, max_workers {}\n", tasks, max_workers);
    fmt::print("  most live children seen: {}\n", most);
    fmt::print("  completed {}, refused {}{}, other {}{}\n", completed, refused,
               refusal.empty() ? "" : " (\"" + refusal + "\")", other,
               first_other.empty() ? "" : " (first: " + first_other + ")");
    return other == 0 ? 0 : 1;
}

int cpu(long long tasks, long long block) {
    asio::io_context io;
    ScratchDir scratch{"norvex_bench_"};
    Forkyard yard(io.get_executor(),
                  ForkyardOptions{.max_workers = IN_FLIGHT, .temp_dir = scratch.path().string(), .workers_dir = WORKERS_DIR});
    const std::set<long long> reported{1000, 2000, 5000, 10000, 20000, 50000, 100000, 200000, 500000, 1000000};

    long long started = 0, done = 0, failed = 0;
    double block_cpu_start = cpu_seconds();
    std::string first_failure;
    fmt::print("{} tasks, {} in flight, one manager never cleaned up; manager CPU (user + system) per {} tasks:\n",
               tasks, IN_FLIGHT, block);
    auto lane = [&]() -> asio::awaitable<void> {
        while (started < tasks) {
            ++started;
            SubprocessResult r = co_await yard.spawn(echo_task());
            if (r.status != WorkerStatus::COMPLETED && failed++ == 0) first_failure = r.error.value_or("");
            if (++done % block == 0 && (reported.count(done) || done == tasks)) {
                const double now = cpu_seconds();
                fmt::print("  after {:>7} tasks: {:.3f} s\n", done, now - block_cpu_start);
                std::fflush(stdout);
            }
            if (done % block == 0) block_cpu_start = cpu_seconds();
        }
    };
    int lanes = IN_FLIGHT;
    for (int i = 0; i < IN_FLIGHT; ++i)
        asio::co_spawn(io, lane(), [&](std::exception_ptr) { --lanes; });
    while (lanes > 0 && io.run_one() > 0) {
    }
    if (failed) fmt::print("{} tasks failed, first: {}\n", failed, first_failure);
    return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "burst") return burst(argc > 2 ? std::atoi(argv[2]) : 200, argc > 3 ? std::atoi(argv[3]) : 5);
    if (what == "cpu") return cpu(argc > 2 ? std::atoll(argv[2]) : 100000, argc > 3 ? std::atoll(argv[3]) : 1000);
    std::fprintf(stderr, "usage: forkyard_load_bench burst [TASKS [MAX_WORKERS]] | cpu [TASKS [BLOCK]]\n");
    return 2;
}
