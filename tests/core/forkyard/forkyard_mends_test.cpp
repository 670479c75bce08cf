// Workers that leave on their own free their slot; a vanished reader never kills the host; failure texts
// name no build path.
#include "worker_fixture.hpp"

#include "../../support/plain_text.hpp"
#include "../../support/process_census.hpp"
#include "norvex/common/log_capture.hpp"
#include "norvex/core/forkyard/forkyard.hpp"

#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <gmock/gmock.h>

#include <chrono>
#include <csignal>

using namespace norvex::forkyard;
using namespace norvex::testing;
namespace asio = boost::asio;
using ::testing::StartsWith;

namespace {

class ForkyardMends : public AsyncTest {
protected:
    Forkyard yard{io.get_executor(), ForkyardOptions{.max_workers = 2, .workers_dir = WORKERS_DIR}};

    SubprocessResult spawn(EnvVars env, boost::json::object command = {{"action", "x"}}) {
        return run(yard.spawn(SubprocessTask{.worker_type = "shell", .command = std::move(command), .timeout = 10.0,
                                             .env = std::move(env)}));
    }

    // Runs a spawn until its worker is running, then cancels it as its
    // caller would; gives what the caller then gets.
    std::exception_ptr cancel_running_spawn(SubprocessTask task) {
        asio::cancellation_signal cancel;
        std::exception_ptr ended;
        bool finished = false;
        asio::co_spawn(io, yard.spawn(std::move(task)),
                       asio::bind_cancellation_slot(cancel.slot(), [&](std::exception_ptr e, SubprocessResult) {
                           ended = e;
                           finished = true;
                       }));
        run([&]() -> asio::awaitable<void> {
            while (yard.list_active().empty() && !finished) co_await pause(std::chrono::milliseconds(10));
            // A little longer, so that the task waits on its pipe when the cancellation comes.
            co_await pause(std::chrono::milliseconds(50));
        }());
        cancel.emit(asio::cancellation_type::terminal);
        run([&]() -> asio::awaitable<void> {
            while (!finished) co_await pause(std::chrono::milliseconds(10));
        }());
        return ended;
    }

    static asio::awaitable<void> pause(std::chrono::milliseconds length) {
        asio::steady_timer timer(co_await asio::this_coro::executor, length);
        co_await timer.async_wait(asio::use_awaitable);
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


// Every way these tasks fail reaches a host as text: the exception a
// cancelled spawn throws, a failed result's error, the records.
TEST_F(ForkyardMends, FailureTextsNameNoBuildPath) {
    norvex::logging::LogCapture logs("norvex.subprocess");
    const std::vector<std::pair<std::string, SubprocessTask>> cancelled{
        // waiting for an answer that never comes
        {"reading", SubprocessTask{.worker_type = "shell", .command = {{"action", "x"}}, .timeout = 30.0,
                                   .env = mode("hang")}},
        // writing a command larger than a pipe holds to a worker that reads nothing
        {"writing", SubprocessTask{.worker_type = "shell", .command = {{"blob", std::string(1 << 20, 'b')}},
                                   .timeout = 30.0, .env = mode("deaf")}},
    };
    for (const auto& [when, task] : cancelled) {
        SCOPED_TRACE("cancelled while " + when);
        const std::exception_ptr ended = cancel_running_spawn(task);
        ASSERT_TRUE(ended);
        try {
            std::rethrow_exception(ended);
        } catch (const boost::system::system_error& e) {  // still the type callers test for
            EXPECT_EQ(e.code(), asio::error::operation_aborted);
            EXPECT_THAT(std::string(e.what()), CarriesNoSourceLocation());
            EXPECT_THAT(std::string(e.what()), ::testing::EndsWith(e.code().message()));
        }
    }

    // A worker whose stdin breaks while the command is written.
    const auto broken = spawn(mode("exit_at_once"), {{"blob", std::string(1 << 20, 'b')}});
    ASSERT_EQ(broken.status, WorkerStatus::FAILED);
    EXPECT_THAT(*broken.error, CarriesNoSourceLocation());

    for (const auto& record : logs.records()) EXPECT_THAT(record.message, CarriesNoSourceLocation());
    EXPECT_TRUE(yard.list_active().empty());
    EXPECT_TRUE(has_no_children());
}
