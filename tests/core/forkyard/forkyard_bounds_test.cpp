// The manager's bounds against real children: workers at once, memory kept per task.
#include "worker_fixture.hpp"

#include "../../support/process_census.hpp"
#include "norvex/core/forkyard/forkyard.hpp"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>

#include <gmock/gmock.h>

using namespace norvex::forkyard;
using namespace norvex::testing;
namespace asio = boost::asio;

namespace {

SubprocessTask shell_task(EnvVars env, double timeout = 60.0) {
    return SubprocessTask{.worker_type = "shell", .command = {{"action", "x"}}, .timeout = timeout, .env = std::move(env)};
}

class ForkyardBounds : public AsyncTest {};

}  // namespace

TEST_F(ForkyardBounds, BurstOfSpawnsNeverHasMoreChildrenThanTheLimit) {
    constexpr int LIMIT = 5;
    constexpr int BURST = 200;
    Forkyard yard(io.get_executor(), ForkyardOptions{.max_workers = LIMIT, .workers_dir = WORKERS_DIR});
    std::vector<SubprocessResult> ended;
    for (int i = 0; i < BURST; ++i) {
        // Admitted workers never answer: they hold their slots until the stop below.
        asio::co_spawn(io, yard.spawn(shell_task(mode("hang"))), [&](std::exception_ptr e, SubprocessResult r) {
            if (e) std::rethrow_exception(e);
            ended.push_back(std::move(r));
        });
    }
    // Children are launched and reaped only inside the loop's handlers, and
    // at most one per handler, so counting after each handler sees every
    // moment's number.
    std::size_t most = 0;
    bool stopping = false;
    while (ended.size() < BURST && io.run_one() > 0) {
        most = std::max(most, child_pids().size());
        // Every spawn admitted or refused: stop the admitted ones.
        if (!stopping && ended.size() + yard.list_active().size() == BURST) {
            stopping = true;
            asio::co_spawn(io, yard.cleanup(), asio::detached);
        }
    }
    io.restart();
    io.poll();

    EXPECT_EQ(most, static_cast<std::size_t>(LIMIT));
    std::size_t refused = 0;
    for (const auto& r : ended) refused += r.error == "Worker limit reached (5). Try again later.";
    EXPECT_EQ(refused, static_cast<std::size_t>(BURST - LIMIT));
    EXPECT_TRUE(has_no_children());
}

TEST_F(ForkyardBounds, FinishedWorkersKeepNoStderrBuffer) {
    Forkyard yard(io.get_executor(), ForkyardOptions{.workers_dir = WORKERS_DIR});
    auto flood_task = [] { return shell_task(mode("stderr_flood", {{"NORVEX_TEST_SIZE", std::to_string(3 << 19)}})); };
    run(yard.spawn(flood_task()));  // first-use allocations (loggers, reactor) out of the count
    const std::size_t before = heap_in_use();
    constexpr int TASKS = 16;
    for (int i = 0; i < TASKS; ++i) ASSERT_EQ(run(yard.spawn(flood_task())).status, WorkerStatus::COMPLETED);
    io.restart();
    io.poll();
    // Each worker had all of its 1.5 MiB of stderr in its buffer.
    const std::size_t kept = heap_in_use() - std::min(before, heap_in_use());
    EXPECT_LT(kept, std::size_t{TASKS} << 18) << kept << " bytes still held after " << TASKS << " tasks";
}
