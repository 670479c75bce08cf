// The manager's bounds against real children: workers at once, memory kept per task, workers' lifetime past the host's.
#include "worker_fixture.hpp"

#include "../../support/killed_host.hpp"
#include "../../support/process_census.hpp"
#include "../../support/scratch_dir.hpp"
#include "norvex/common/pyjson.hpp"
#include "norvex/common/worker_parent.hpp"
#include "norvex/core/forkyard/forkyard.hpp"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>

#include <gmock/gmock.h>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>


using namespace norvex::forkyard;
using namespace norvex::testing;
namespace asio = boost::asio;

namespace {

// The id of a child that has been started and reaped.
pid_t pid_of_ended_process() {
    pid_t pid = -1;
    char* argv[] = {const_cast<char*>("/bin/true"), nullptr};
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) throw std::runtime_error("no /bin/true");
    ::waitpid(pid, nullptr, 0);
    return pid;
}

SubprocessTask shell_task(EnvVars env, double timeout = 60.0) {
    return SubprocessTask{.worker_type = "shell", .command = {{"action", "x"}}, .timeout = timeout, .env = std::move(env)};
}

class ForkyardBounds : public AsyncTest {
protected:
    ForkyardOptions options(int max_workers = 5) {
        return ForkyardOptions{.max_workers = max_workers, .temp_dir = scratch.path().string(), .workers_dir = WORKERS_DIR};
    }
    ScratchDir scratch{"forkyard_bounds_"};
};

}  // namespace

TEST_F(ForkyardBounds, BurstOfSpawnsNeverHasMoreChildrenThanTheLimit) {
    constexpr int LIMIT = 5;
    constexpr int BURST = 200;
    Forkyard yard(io.get_executor(), options(LIMIT));
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
    Forkyard yard(io.get_executor(), options());
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

TEST_F(ForkyardBounds, WorkersAreToldTheManagerOverAnyOtherParent) {
    // A value inherited from further up, or set by a task, naming a process
    // that has ended would make the worker take itself for an orphan.
    const std::string ended = std::to_string(pid_of_ended_process());
    Forkyard yard(io.get_executor(), options());
    ::setenv(norvex::WORKER_PARENT_VARIABLE, ended.c_str(), 1);
    auto r = run(yard.spawn(shell_task(mode("echo", {{norvex::WORKER_PARENT_VARIABLE, ended}}))));
    ::unsetenv(norvex::WORKER_PARENT_VARIABLE);
    EXPECT_EQ(r.status, WorkerStatus::COMPLETED) << r.error.value_or("");
}

// A worker blocked opening a FIFO that nobody writes to and one spinning
// for ever read neither "quit" nor the end of their input: only the kernel
// can take them along when their host is killed.
TEST(ForkyardOrphans, WorkersEndWithTheirHostKilledMidTask) {
    ScratchDir scratch{"forkyard_orphans_"};
    const std::string fifo = (scratch.path() / "never_written").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto task = [](const std::string& mode_name, boost::json::object command) {
        return norvex::pyjson::dumps(boost::json::object{
            {"worker_type", "shell"}, {"command", std::move(command)}, {"env", {{"NORVEX_TEST_MODE", mode_name}}}});
    };
    const auto fates = kill_host_and_watch_workers(
        {FORKYARD_TEST_HOST, WORKERS_DIR, task("read_fifo", {{"path", fifo}}), task("spin", {{"action", "x"}})}, 20.0);
    ASSERT_EQ(fates.size(), 2u);
    for (const auto& fate : fates) {
        EXPECT_TRUE(fate.ended_in_time) << "worker " << fate.pid << " outlived its host";
        EXPECT_TRUE(WIFSIGNALED(fate.status) && WTERMSIG(fate.status) == SIGKILL)
            << "worker " << fate.pid << " ended with wait status " << fate.status;
    }
    EXPECT_TRUE(has_no_children());
}
