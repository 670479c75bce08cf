// Workers that leave on their own free their slot; a vanished reader never kills the host.
#include "worker_fixture.hpp"

#include "../../support/process_census.hpp"
#include "norvex/core/forkyard/forkyard.hpp"

#include <gmock/gmock.h>

#include <csignal>

using namespace norvex::forkyard;
using namespace norvex::testing;
using ::testing::StartsWith;

namespace {

class ForkyardMends : public AsyncTest {
protected:
    Forkyard yard{io.get_executor(), ForkyardOptions{.max_workers = 2, .workers_dir = WORKERS_DIR}};

    SubprocessResult spawn(EnvVars env, boost::json::object command = {{"action", "x"}}) {
        return run(yard.spawn(SubprocessTask{.worker_type = "shell", .command = std::move(command), .timeout = 10.0,
                                             .env = std::move(env)}));
    }
};

}  // namespace

TEST_F(ForkyardMends, WorkersThatExitByThemselvesFreeTheirSlot) {
    for (int i = 0; i < 20; ++i) {
        auto r = spawn(mode("exit_after_answer"));
        ASSERT_EQ(r.status, WorkerStatus::COMPLETED) << "task " << i << ": " << r.error.value_or("");
    }
    for (int i = 0; i < 20; ++i) {
        auto r = spawn(mode("crash"));
        ASSERT_EQ(r.status, WorkerStatus::FAILED);
        ASSERT_THAT(*r.error, StartsWith("Worker " + r.task_id + " closed stdout. stderr: ")) << "task " << i;
    }
    EXPECT_TRUE(yard.list_active().empty());
    EXPECT_TRUE(has_no_children());
}

TEST_F(ForkyardMends, CommandToAWorkerThatLeftFailsTheTaskOnly) {
    // A command larger than a pipe holds is still being written when the
    // worker leaves without reading it.
    auto r = spawn(mode("exit_at_once"), {{"blob", std::string(1 << 20, 'b')}});
    EXPECT_EQ(r.status, WorkerStatus::FAILED);
    EXPECT_EQ(r.error, "Worker " + r.task_id + " did not take the command: [Errno 32] Broken pipe. stderr: boom\n");
    EXPECT_TRUE(yard.list_active().empty());

    // The host's own SIGPIPE handling is as it was: default, unblocked, nothing pending.
    struct sigaction action;
    sigaction(SIGPIPE, nullptr, &action);
    EXPECT_EQ(action.sa_handler, SIG_DFL);
    sigset_t pending;
    sigpending(&pending);
    EXPECT_FALSE(sigismember(&pending, SIGPIPE));

    // And the next task runs as usual.
    EXPECT_EQ(spawn(mode("echo")).status, WorkerStatus::COMPLETED);
}

TEST_F(ForkyardMends, QuitRequestToAnExitingWorkerGoesOnToTheKill) {
    // The worker answers the quit request and leaves; whatever the timing,
    // the stop ends with the child reaped.
    for (int i = 0; i < 10; ++i) EXPECT_EQ(spawn(mode("answer_quit")).status, WorkerStatus::COMPLETED);
    EXPECT_TRUE(has_no_children());
}
