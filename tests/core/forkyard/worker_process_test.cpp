// One worker process against real child processes.
#include "worker_fixture.hpp"

#include "norvex/common/errors.hpp"
#include "norvex/common/log_capture.hpp"
#include "norvex/common/pyjson.hpp"
#include "norvex/core/forkyard/child_process.hpp"
#include "norvex/core/forkyard/worker_process.hpp"

#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <gmock/gmock.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace norvex::forkyard;
using namespace norvex::testing;
namespace asio = boost::asio;
using boost::json::object;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

class WorkerProcessTest : public AsyncTest {
protected:
    std::unique_ptr<WorkerProcess> worker(EnvVars env, double timeout = 10.0, WorkerProcessOptions o = {}) {
        o.env = std::move(env);
        o.timeout = timeout;
        return std::make_unique<WorkerProcess>(io.get_executor(), "w1", TEST_WORKER, std::move(o));
    }

    // Starts the worker (unless told not to), sends one command and gives the
    // answer as JSON text, or "error: " and the error text.
    std::string exchange(WorkerProcess& w, object command = {{"action", "x"}}, bool start = true) {
        return run([&]() -> asio::awaitable<std::string> {
            if (start) co_await w.start();
            std::string outcome;
            try {
                auto answer = co_await w.send_command(command);
                outcome = answer ? norvex::pyjson::dumps(*answer) : "null";
            } catch (const std::exception& e) {
                outcome = std::string("error: ") + e.what();
            }
            co_return outcome;
        }());
    }

    void stop(WorkerProcess& w) { run(w.stop()); }
};

}  // namespace

TEST_F(WorkerProcessTest, UnstartedWorker) {
    norvex::logging::LogCapture logs("norvex.subprocess");
    auto w = worker(mode("echo"));
    EXPECT_FALSE(w->pid());
    EXPECT_EQ(w->elapsed(), 0.0);
    EXPECT_EQ(exchange(*w, {{"action", "x"}}, false), "error: Worker w1 is not running");
    stop(*w);
    EXPECT_EQ(w->status, WorkerStatus::IDLE);
    EXPECT_TRUE(logs.records().empty());
}

TEST_F(WorkerProcessTest, AnswerThenStopLogsAndCompletes) {
    norvex::logging::LogCapture logs("norvex.subprocess");
    auto w = worker(mode("echo"));
    EXPECT_EQ(exchange(*w, {{"action", "x"}, {"n", 1.0}}),
              R"({"success": true, "result": {"action": "x", "n": 1.0}})");
    EXPECT_EQ(w->status, WorkerStatus::RUNNING);
    ASSERT_TRUE(w->pid());
    EXPECT_GT(w->start_time, 0.0);
    stop(*w);
    EXPECT_EQ(w->status, WorkerStatus::COMPLETED);
    EXPECT_EQ(w->exit_code(), 0);  // it left on the quit request, not by a kill
    EXPECT_EQ(logs.messages(spdlog::level::debug),
              (std::vector<std::string>{"Worker w1 started (PID: " + std::to_string(*w->pid()) + ")",
                                        "Worker w1 stopped"}));
    double e1 = w->elapsed();
    EXPECT_GT(e1, 0.0);
    EXPECT_GE(w->elapsed(), e1);  // keeps growing after stop
}

TEST_F(WorkerProcessTest, ClosedStdoutReportsStderrExactly) {
    auto w = worker(mode("exit_silent", {{"NORVEX_TEST_STDERR", "bad \xff thing\nsecond line\n"}}));
    EXPECT_EQ(exchange(*w),
              "error: Worker w1 closed stdout. stderr: bad \xef\xbf\xbd thing\nsecond line\n");
    // Once the child is gone by itself, stop changes nothing. (Its stdout
    // closes a moment before the kernel reports the exit.)
    while (!w->exit_code()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stop(*w);
    EXPECT_EQ(w->status, WorkerStatus::RUNNING);
    EXPECT_EQ(w->exit_code(), 3);
}

TEST_F(WorkerProcessTest, LateAnswerTimesOut) {
    auto w = worker(mode("late", {{"NORVEX_TEST_DELAY", "1.5"}}), 0.5);
    EXPECT_EQ(exchange(*w), "error: Worker w1 timed out after 0.5s");
    EXPECT_EQ(w->status, WorkerStatus::TIMEOUT);
    stop(*w);
    EXPECT_EQ(w->status, WorkerStatus::COMPLETED);

    auto whole = worker(mode("late", {{"NORVEX_TEST_DELAY", "1.5"}}), 0.25);
    EXPECT_THROW(run([&]() -> asio::awaitable<void> {
                     co_await whole->start();
                     co_await whole->send_command(object());
                 }()),
                 norvex::TimeoutError);
    stop(*whole);
}

TEST_F(WorkerProcessTest, WorkerIgnoringQuitIsKilledAfterFiveSeconds) {
    auto w = worker(mode("ignore_quit"));
    EXPECT_THAT(exchange(*w), StartsWith(R"({"success": true)"));
    auto t0 = std::chrono::steady_clock::now();
    stop(*w);
    double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GE(waited, 4.9);
    EXPECT_EQ(w->status, WorkerStatus::COMPLETED);
    EXPECT_EQ(w->exit_code(), -SIGKILL);
}

TEST_F(WorkerProcessTest, AnswerLineEndings) {
    auto crlf = worker(mode("crlf"));
    EXPECT_EQ(exchange(*crlf), R"({"success": true, "result": {"action": "x"}})");
    stop(*crlf);
    auto bare = worker(mode("no_newline"));
    EXPECT_EQ(exchange(*bare), R"({"success": true, "result": {"action": "x"}})");
    stop(*bare);
}

TEST_F(WorkerProcessTest, BadAnswers) {
    auto answer_of = [&](std::string_view bytes) {
        auto w = worker(mode("raw", {{"NORVEX_TEST_HEX", hex(bytes)}}));
        std::string out = exchange(*w);
        stop(*w);
        return out;
    };
    EXPECT_EQ(answer_of("{\"s\": \"\xc3\x28\"}\n"), "error: Worker w1 answered with invalid UTF-8: byte 0xc3 at offset 7");
    EXPECT_EQ(answer_of("hello\n"), "error: Worker w1 answered with invalid JSON: Expecting value: line 1 column 1 (char 0)");
    EXPECT_EQ(answer_of("null\n"), "null");
    EXPECT_EQ(answer_of("[1]\n"), "error: Worker w1 answered with a list instead of a JSON object: [1]");
    EXPECT_EQ(answer_of("\n{}\n"), "error: Worker w1 answered with invalid JSON: Expecting value: line 1 column 1 (char 0)");
}

TEST_F(WorkerProcessTest, LargeAnswersAndTheLineLimit) {
    auto big = worker(mode("big", {{"NORVEX_TEST_SIZE", std::to_string(1 << 20)}}));
    EXPECT_EQ(exchange(*big), R"({"success": true, "result": ")" + std::string(1 << 20, 'x') + "\"}");
    stop(*big);

    WorkerProcessOptions limited;
    limited.max_answer_bytes = 4096;
    // Far more than a pipe holds: the worker is still writing when the limit is hit.
    auto over = worker(mode("big", {{"NORVEX_TEST_SIZE", std::to_string(8 << 20)}}), 10.0, limited);
    EXPECT_EQ(exchange(*over),
              "error: Worker w1 answered more than the limit of 4096 bytes on one line: ask for less in one task "
              "(a narrower operation, or a smaller input), or raise the manager's max_answer_bytes");
    stop(*over);
    // The refused rest broke the worker's pipe; it was not left writing until the stop's kill.
    EXPECT_EQ(over->exit_code(), -SIGPIPE);
}

TEST_F(WorkerProcessTest, StderrFloodDoesNotStallTheWorker) {
    // Far more than a pipe holds; the answer comes after it.
    auto w = worker(mode("stderr_flood", {{"NORVEX_TEST_SIZE", std::to_string(8 << 20)}}), 20.0);
    EXPECT_EQ(exchange(*w), R"({"success": true, "result": {"action": "x"}})");
    stop(*w);
}

TEST_F(WorkerProcessTest, StoppedWorkersLetGoOfTheirStderr) {
    auto flooding = [&] { return worker(mode("stderr_flood", {{"NORVEX_TEST_SIZE", std::to_string(3 << 19)}})); };
    auto first = flooding();  // first-use allocations (loggers, reactor) out of the count
    exchange(*first);
    stop(*first);
    const std::size_t before = heap_in_use();
    std::vector<std::unique_ptr<WorkerProcess>> kept;
    for (int i = 0; i < 16; ++i) {
        kept.push_back(flooding());
        ASSERT_EQ(exchange(*kept.back()), R"({"success": true, "result": {"action": "x"}})");
        stop(*kept.back());
    }
    io.restart();
    io.poll();
    // The workers live on, their exit codes still there; the 1.5 MiB of stderr each had buffered does not.
    const std::size_t held = heap_in_use() - std::min(before, heap_in_use());
    EXPECT_LT(held, std::size_t{16} << 18) << held << " bytes held by 16 stopped workers";
    EXPECT_EQ(kept.back()->exit_code(), 0);
}

TEST_F(WorkerProcessTest, EnvironmentIsLaidOverTheParents) {
    ::setenv("NORVEX_TEST_PARENT", "from parent", 1);
    ::setenv("NORVEX_TEST_OVERRIDDEN", "old", 1);
    auto w = worker(mode("environment", {{"NORVEX_TEST_OVERRIDDEN", "new"}, {"NORVEX_TEST_NEW", "added"}}));
    EXPECT_EQ(exchange(*w, {{"names", {"NORVEX_TEST_PARENT", "NORVEX_TEST_OVERRIDDEN", "NORVEX_TEST_NEW", "PATH"}}}),
              R"({"success": true, "result": {"NORVEX_TEST_PARENT": "from parent", "NORVEX_TEST_OVERRIDDEN": "new", )"
              R"("NORVEX_TEST_NEW": "added", "PATH": ")" + std::string(std::getenv("PATH")) + "\"}}");
    stop(*w);
}

TEST_F(WorkerProcessTest, WorkingFolderAndInheritedDescriptors) {
    auto dir = std::filesystem::temp_directory_path();
    WorkerProcessOptions in_tmp;
    in_tmp.working_dir = dir.string();
    auto w = worker(mode("cwd"), 10.0, in_tmp);
    EXPECT_EQ(exchange(*w), R"({"success": true, "result": ")" + std::filesystem::canonical(dir).string() + "\"}");
    stop(*w);

    // The child holds its three pipes and nothing of ours, even a descriptor
    // we opened without close-on-exec.
    int leaky = ::open("/dev/null", O_RDONLY);
    auto fds = worker(mode("fds"));
    std::string listing = exchange(*fds);
    ::close(leaky);
    stop(*fds);
    EXPECT_EQ(listing, R"({"success": true, "result": [0, 1, 2]})");
}

TEST_F(WorkerProcessTest, LaunchFailures) {
    WorkerProcessOptions missing_dir;
    missing_dir.working_dir = "/nonexistent/folder";
    auto w = worker(mode("echo"), 10.0, missing_dir);
    try {
        run(w->start());
        FAIL() << "started in a missing folder";
    } catch (const LaunchError& e) {
        EXPECT_STREQ(e.what(), "[Errno 2] No such file or directory: '/nonexistent/folder'");
    }
    EXPECT_EQ(w->status, WorkerStatus::IDLE);
    EXPECT_FALSE(w->has_process());
    EXPECT_FALSE(w->pid());

    WorkerProcess no_program(io.get_executor(), "w2", "/nonexistent/program");
    EXPECT_THROW(run(no_program.start()), LaunchError);
    EXPECT_EQ(no_program.status, WorkerStatus::IDLE);
}

TEST_F(WorkerProcessTest, CommandToAWorkerThatLeftIsABrokenPipe) {
    // The command is larger than a pipe holds, so the write must still be
    // under way when the worker exits without reading.
    auto w = worker(mode("exit_at_once"));
    std::string outcome = exchange(*w, {{"blob", std::string(1 << 20, 'b')}});
    EXPECT_EQ(outcome, "error: Worker w1 did not take the command: [Errno 32] Broken pipe. stderr: boom\n");
    stop(*w);

    // Nothing of SIGPIPE is left behind: not pending, not blocked.
    sigset_t pending, mask;
    sigpending(&pending);
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    EXPECT_FALSE(sigismember(&pending, SIGPIPE));
    EXPECT_FALSE(sigismember(&mask, SIGPIPE));
}

namespace {

asio::awaitable<void> read_answer(WorkerProcess& w, std::string& error_text) {
    // (A braced list inside co_await trips GCC 12, hence the variable.)
    boost::json::object command{{"action", "x"}};
    try {
        co_await w.send_command(std::move(command));
    } catch (const std::exception& e) {
        error_text = e.what();
    }
}

asio::awaitable<void> stop_after(WorkerProcess& w, std::chrono::milliseconds delay) {
    asio::steady_timer pause(co_await asio::this_coro::executor, delay);
    co_await pause.async_wait(asio::use_awaitable);
    co_await w.stop();
}

}  // namespace

TEST_F(WorkerProcessTest, StopWhileWaitingForTheAnswer) {
    // What a cancellation does: the pending read then sees the end of output.
    using namespace boost::asio::experimental::awaitable_operators;
    auto w = worker(mode("hang"));
    run(w->start());
    std::string outcome;
    run(read_answer(*w, outcome) && stop_after(*w, std::chrono::milliseconds(100)));
    EXPECT_EQ(outcome, "Worker w1 closed stdout. stderr: ");
    EXPECT_EQ(w->status, WorkerStatus::COMPLETED);
    EXPECT_EQ(w->exit_code(), 0);
}
