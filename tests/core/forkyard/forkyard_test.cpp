// The manager against real worker processes.
#include "worker_fixture.hpp"

#include "../../support/process_census.hpp"
#include "norvex/common/log_capture.hpp"
#include "norvex/common/pyjson.hpp"
#include "norvex/core/forkyard/forkyard.hpp"

#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <gmock/gmock.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <vector>

using namespace norvex::forkyard;
using namespace norvex::testing;
namespace asio = boost::asio;
namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

asio::awaitable<void> sleep_for(double seconds) {
    asio::steady_timer t(co_await asio::this_coro::executor,
                         std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                             std::chrono::duration<double>(seconds)));
    co_await t.async_wait(asio::use_awaitable);
}

class ForkyardTest : public AsyncTest {
protected:
    void SetUp() override { scratch = fs::temp_directory_path() / ("forkyard_test_" + norvex::new_task_id()); fs::create_directories(scratch); }
    void TearDown() override { fs::remove_all(scratch); }

    ForkyardOptions options(int max_workers = 5) {
        return ForkyardOptions{.max_workers = max_workers, .temp_dir = scratch.string(), .workers_dir = WORKERS_DIR};
    }

    static SubprocessTask task(EnvVars env, double timeout = 10.0, std::string id = norvex::new_task_id()) {
        return SubprocessTask{.id = std::move(id), .worker_type = "shell", .command = {{"action", "x"}},
                              .timeout = timeout, .env = std::move(env)};
    }

    // Starts a spawn in the background; its result lands in `out`.
    void start_spawn(Forkyard& yard, SubprocessTask t, std::optional<SubprocessResult>& out) {
        asio::co_spawn(io, yard.spawn(std::move(t)), [&out](std::exception_ptr e, SubprocessResult r) {
            if (!e) out = std::move(r);
        });
    }

    // Waits until `n` workers are running.
    void wait_running(Forkyard& yard, std::size_t n) {
        run([&]() -> asio::awaitable<void> {
            while (yard.list_active().size() < n) co_await sleep_for(0.01);
        }());
    }

    fs::path scratch;
};

}  // namespace

TEST_F(ForkyardTest, UnknownTypesAndMissingPrograms) {
    norvex::logging::LogCapture logs("norvex.subprocess");
    Forkyard yard(io.get_executor(), options());
    std::vector<std::string> heard;
    yard.on_result([&](const SubprocessResult& r) { heard.push_back(*r.error); });

    auto unknown = run(yard.spawn(SubprocessTask{.id = "t1", .worker_type = "painter"}));
    EXPECT_EQ(unknown.status, WorkerStatus::FAILED);
    EXPECT_EQ(unknown.error, "Unknown worker type: painter");
    EXPECT_EQ(unknown.duration, 0.0);
    EXPECT_FALSE(unknown.pid);
    EXPECT_FALSE(yard.get_result("t1"));
    EXPECT_TRUE(logs.messages(spdlog::level::err).empty());

    Forkyard empty(io.get_executor(), ForkyardOptions{.temp_dir = scratch.string(), .workers_dir = scratch});
    empty.on_result([&](const SubprocessResult& r) { heard.push_back(*r.error); });
    auto missing = run(empty.spawn(SubprocessTask{.id = "t2", .worker_type = "file_edit"}));
    EXPECT_EQ(missing.error, "Unknown worker type: file_edit");
    EXPECT_EQ(logs.messages(spdlog::level::err),
              std::vector<std::string>{"Worker script not found: " + (scratch / "quillbox").string()});
    EXPECT_EQ(heard, (std::vector<std::string>{"Unknown worker type: painter", "Unknown worker type: file_edit"}));
}

TEST_F(ForkyardTest, DefaultWorkersFolderIsBesideTheLibrary) {
    Forkyard yard(io.get_executor(), ForkyardOptions{.temp_dir = scratch.string()});
    EXPECT_EQ(yard.workers_dir, Forkyard::WORKER_SCRIPTS_DIR);
    EXPECT_EQ(Forkyard::WORKER_SCRIPTS_DIR.filename(), "workers");
    EXPECT_EQ(Forkyard::WORKER_SCRIPTS_DIR.parent_path().filename(), "norvex");
}

TEST_F(ForkyardTest, PythonScriptRunsUnderTheInterpreter) {
    std::ofstream(scratch / "freerig.py") << "import json, sys\n"
                                             "command = json.loads(sys.stdin.readline())\n"
                                             "print(json.dumps({'success': True, 'result': command['n'] * 2}), flush=True)\n"
                                             "sys.stdin.readline()\n";
    Forkyard yard(io.get_executor(), ForkyardOptions{.temp_dir = scratch.string(), .workers_dir = scratch});
    auto r = run(yard.spawn(SubprocessTask{.worker_type = "custom", .command = {{"n", 21}}, .timeout = 30.0}));
    EXPECT_EQ(r.status, WorkerStatus::COMPLETED) << r.error.value_or("");
    EXPECT_EQ(r.output, 42);
}

TEST_F(ForkyardTest, AnswersBecomeResults) {
    Forkyard yard(io.get_executor(), options());
    auto answered = [&](std::string_view answer) {
        return run(yard.spawn(task(mode("raw", {{"NORVEX_TEST_HEX", hex(answer)}}))));
    };
    auto ok = answered("{\"success\": true, \"result\": 5}\n");
    EXPECT_EQ(ok.status, WorkerStatus::COMPLETED);
    EXPECT_EQ(ok.output, 5);
    EXPECT_FALSE(ok.error);
    EXPECT_TRUE(ok.pid);
    EXPECT_GT(ok.duration, 0.0);

    auto refused = answered("{\"success\": false, \"error\": \"no such file\"}\n");
    EXPECT_EQ(refused.status, WorkerStatus::FAILED);
    EXPECT_EQ(refused.error, "no such file");
    EXPECT_TRUE(refused.output.is_null());

    EXPECT_EQ(answered("{\"result\": [1]}\n").status, WorkerStatus::FAILED);
    EXPECT_EQ(answered("{\"success\": 1}\n").status, WorkerStatus::COMPLETED);
    EXPECT_EQ(answered("{\"success\": \"\"}\n").status, WorkerStatus::FAILED);
    EXPECT_EQ(answered("{\"success\": false, \"error\": {\"code\": 7}}\n").error, "{\"code\": 7}");

    auto null_answer = run(yard.spawn(task(mode("raw", {{"NORVEX_TEST_HEX", hex("null\n")}}), 10.0, "nul")));
    EXPECT_EQ(null_answer.status, WorkerStatus::FAILED);
    EXPECT_EQ(null_answer.error, "Worker nul answered null instead of a JSON object");
    EXPECT_TRUE(null_answer.pid);
    EXPECT_EQ(yard.get_result("nul")->error, null_answer.error);
}

TEST_F(ForkyardTest, FailuresBecomeResults) {
    Forkyard yard(io.get_executor(), options());
    auto silent = run(yard.spawn(task(mode("exit_silent"), 10.0, "s1")));
    EXPECT_EQ(silent.status, WorkerStatus::FAILED);
    EXPECT_EQ(silent.error, "Worker s1 closed stdout. stderr: boom\n");

    auto bad_dir = task(mode("echo"));
    bad_dir.working_dir = (scratch / "missing").string();
    auto launch = run(yard.spawn(bad_dir));
    EXPECT_EQ(launch.status, WorkerStatus::FAILED);
    EXPECT_EQ(launch.error, "[Errno 2] No such file or directory: '" + (scratch / "missing").string() + "'");
    EXPECT_FALSE(launch.pid);
    EXPECT_TRUE(yard.get_result(bad_dir.id));
}

TEST_F(ForkyardTest, TimeoutZeroWaitsTheDefault) {
    auto o = options();
    o.default_timeout = 0.3;
    Forkyard yard(io.get_executor(), o);
    auto r = run(yard.spawn(task(mode("late", {{"NORVEX_TEST_DELAY", "1"}}), 0.0, "slow")));
    EXPECT_EQ(r.status, WorkerStatus::TIMEOUT);
    EXPECT_EQ(r.error, "Worker slow timed out after 0.3s");
    EXPECT_GE(r.duration, 0.3);
    EXPECT_TRUE(r.pid);
    EXPECT_EQ(yard.get_result("slow")->status, WorkerStatus::TIMEOUT);
}

TEST_F(ForkyardTest, WorkerLimit) {
    Forkyard none(io.get_executor(), options(0));
    auto refused = run(none.spawn(task(mode("echo"), 10.0, "z")));
    EXPECT_EQ(refused.status, WorkerStatus::FAILED);
    EXPECT_EQ(refused.error, "Worker limit reached (0). Try again later.");
    EXPECT_FALSE(none.get_result("z"));

    Forkyard one(io.get_executor(), options(1));
    std::optional<SubprocessResult> first;
    start_spawn(one, task(mode("hang"), 0.5, "first"), first);
    wait_running(one, 1);
    auto second = run(one.spawn(task(mode("echo"))));
    EXPECT_EQ(second.error, "Worker limit reached (1). Try again later.");
    run([&]() -> asio::awaitable<void> { while (!first) co_await sleep_for(0.01); }());
    EXPECT_EQ(first->status, WorkerStatus::TIMEOUT);

    // Spawns started together are checked against each other too.
    auto both = run(one.spawn_many({task(mode("echo")), task(mode("echo"))}));
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[0].status, WorkerStatus::COMPLETED);
    EXPECT_EQ(both[1].error, "Worker limit reached (1). Try again later.");
}

TEST_F(ForkyardTest, SpawnManyKeepsTaskOrder) {
    Forkyard yard(io.get_executor(), options());
    std::vector<SubprocessTask> tasks;
    for (int i = 0; i < 4; ++i) {
        auto t = task(mode("late", {{"NORVEX_TEST_DELAY", i % 2 ? "0.05" : "0.3"}}));
        t.command = {{"i", i}};
        tasks.push_back(t);
    }
    auto results = run(yard.spawn_many(tasks));
    ASSERT_EQ(results.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(results[i].task_id, tasks[i].id);
        EXPECT_EQ(results[i].output, (boost::json::object{{"i", i}}));
    }
}

TEST_F(ForkyardTest, ListResultsLongestFirst) {
    Forkyard yard(io.get_executor(), options());
    for (const char* delay : {"0.1", "0.3", "0.2"})
        run(yard.spawn(task(mode("late", {{"NORVEX_TEST_DELAY", delay}}), 10.0, std::string("d") + delay)));
    auto ids = [](const std::vector<boost::json::object>& rows) {
        std::vector<std::string> out;
        for (const auto& r : rows) out.emplace_back(r.at("task_id").as_string());
        return out;
    };
    EXPECT_EQ(ids(yard.list_results()), (std::vector<std::string>{"d0.3", "d0.2", "d0.1"}));
    EXPECT_EQ(ids(yard.list_results(2)), (std::vector<std::string>{"d0.3", "d0.2"}));
    EXPECT_TRUE(yard.list_results(0).empty());
    EXPECT_EQ(ids(yard.list_results(-1)), (std::vector<std::string>{"d0.3", "d0.2"}));
    EXPECT_TRUE(yard.list_results(-5).empty());
    EXPECT_EQ(norvex::pyjson::dumps(yard.list_results(1)[0].at("status")), "\"completed\"");
}

TEST_F(ForkyardTest, ReusedIdReplacesTheEntry) {
    Forkyard yard(io.get_executor(), options());
    auto t = task(mode("echo"), 10.0, "same");
    run(yard.spawn(t));
    t.command = {{"second", true}};
    run(yard.spawn(t));
    EXPECT_EQ(yard.get_result("same")->output, (boost::json::object{{"second", true}}));
    EXPECT_EQ(yard.list_results().size(), 1u);
}

TEST_F(ForkyardTest, ListActiveAndCancel) {
    Forkyard yard(io.get_executor(), options());
    std::vector<SubprocessResult> heard;
    yard.on_result([&](const SubprocessResult& r) { heard.push_back(r); });
    EXPECT_FALSE(run(yard.cancel("nobody")));

    std::optional<SubprocessResult> outcome;
    start_spawn(yard, task(mode("hang"), 30.0, "h1"), outcome);
    wait_running(yard, 1);
    auto active = yard.list_active();
    ASSERT_EQ(active.size(), 1u);
    EXPECT_EQ(active[0].at("id"), "h1");
    EXPECT_TRUE(active[0].at("pid").is_int64());
    EXPECT_EQ(active[0].at("status"), "running");
    EXPECT_GE(active[0].at("elapsed").as_double(), 0.0);
    std::vector<std::string> keys;
    for (const auto& kv : active[0]) keys.emplace_back(kv.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"id", "pid", "status", "elapsed"}));

    EXPECT_TRUE(run(yard.cancel("h1")));
    EXPECT_TRUE(yard.list_active().empty());
    // The spawn goes on to its own ending, which replaces the cancellation record.
    run([&]() -> asio::awaitable<void> { while (!outcome) co_await sleep_for(0.01); }());
    EXPECT_EQ(outcome->status, WorkerStatus::FAILED);
    EXPECT_THAT(*outcome->error, StartsWith("Worker h1 closed stdout."));
    EXPECT_EQ(yard.get_result("h1")->status, WorkerStatus::FAILED);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].task_id, "h1");
    EXPECT_FALSE(run(yard.cancel("h1")));  // no longer running
}

TEST_F(ForkyardTest, CleanupStopsRunningWorkersAndKeepsResults) {
    norvex::logging::LogCapture logs("norvex.subprocess");
    Forkyard yard(io.get_executor(), options());
    run(yard.spawn(task(mode("echo"), 10.0, "done")));
    std::optional<SubprocessResult> a, b;
    start_spawn(yard, task(mode("hang"), 30.0, "a"), a);
    start_spawn(yard, task(mode("hang"), 30.0, "b"), b);
    wait_running(yard, 2);
    run(yard.cleanup());
    EXPECT_TRUE(yard.list_active().empty());
    EXPECT_TRUE(logs.contains(spdlog::level::info, "Forkyard cleaned up"));
    EXPECT_TRUE(yard.get_result("done"));
    run([&]() -> asio::awaitable<void> { while (!a || !b) co_await sleep_for(0.01); }());
    EXPECT_TRUE(has_no_children());
}

TEST_F(ForkyardTest, ListenersRunInOrderAndFailuresAreLogged) {
    norvex::logging::LogCapture logs("norvex.subprocess");
    Forkyard yard(io.get_executor(), options());
    std::vector<std::string> calls;
    auto plain = [&](const SubprocessResult&) { calls.push_back("plain"); };
    yard.on_result([&](const SubprocessResult&) -> int { throw std::runtime_error("listener broke"); });
    yard.on_result([&](const SubprocessResult&) -> asio::awaitable<void> {
        co_await sleep_for(0.05);
        calls.push_back("awaited");
    });
    yard.on_result(plain);
    yard.on_result(plain);
    run(yard.spawn(task(mode("echo"))));
    EXPECT_EQ(calls, (std::vector<std::string>{"awaited", "plain", "plain"}));
    EXPECT_EQ(logs.messages(spdlog::level::warn), std::vector<std::string>{"Result callback error: listener broke"});
}

TEST_F(ForkyardTest, CancelledSpawnStopsItsWorkerAndStoresNothing) {
    Forkyard yard(io.get_executor(), options());
    bool heard = false;
    yard.on_result([&](const SubprocessResult&) { heard = true; });
    asio::cancellation_signal cancel;
    std::exception_ptr ended;
    bool finished = false;
    asio::co_spawn(io, yard.spawn(task(mode("hang"), 30.0, "c1")),
                   asio::bind_cancellation_slot(cancel.slot(), [&](std::exception_ptr e, SubprocessResult) {
                       ended = e;
                       finished = true;
                   }));
    wait_running(yard, 1);
    cancel.emit(asio::cancellation_type::terminal);
    run([&]() -> asio::awaitable<void> { while (!finished) co_await sleep_for(0.01); }());
    ASSERT_TRUE(ended);
    EXPECT_THROW(std::rethrow_exception(ended), boost::system::system_error);
    EXPECT_FALSE(yard.get_result("c1"));
    EXPECT_FALSE(heard);
    EXPECT_TRUE(yard.list_active().empty());
    EXPECT_TRUE(has_no_children());
}

TEST_F(ForkyardTest, PrivateTemporaryFolder) {
    Forkyard given(io.get_executor(), options());
    EXPECT_EQ(given.temp_dir, scratch.string());

    Forkyard own(io.get_executor());
    fs::path dir(own.temp_dir);
    EXPECT_THAT(dir.filename().string(), StartsWith("norvex_workers_"));
    struct stat st;
    ASSERT_EQ(::stat(own.temp_dir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    fs::remove(dir);
}

// A host that makes a manager per command must not fill the temporary
// folder: the private folder goes with its manager, but only while nothing
// is in it, and a folder the host gave is the host's.
TEST_F(ForkyardTest, PrivateTemporaryFolderGoesWithItsManagerWhenEmpty) {
    std::vector<std::string> own;
    {
        Forkyard unused(io.get_executor());
        Forkyard used(io.get_executor(), ForkyardOptions{.workers_dir = WORKERS_DIR});
        EXPECT_EQ(run(used.spawn(task(mode("echo")))).status, WorkerStatus::COMPLETED);
        own = {unused.temp_dir, used.temp_dir};
        ASSERT_TRUE(fs::is_directory(own[0]) && fs::is_directory(own[1]));
    }
    for (const auto& dir : own) EXPECT_FALSE(fs::exists(dir)) << dir << " was left behind";

    ASSERT_TRUE(fs::is_empty(scratch));
    { Forkyard given(io.get_executor(), options()); }
    EXPECT_TRUE(fs::is_directory(scratch)) << "a folder the host gave was removed";

    std::string kept;
    {
        Forkyard yard(io.get_executor());
        kept = yard.temp_dir;
        std::ofstream(fs::path(kept) / "notes.txt") << "a worker's output\n";
    }
    EXPECT_TRUE(fs::exists(fs::path(kept) / "notes.txt")) << "a folder with a file in it lost it";
    fs::remove_all(kept);
}

TEST_F(ForkyardTest, ThousandSpawnsLeaveNoChildrenAndNoDescriptors) {
    Forkyard yard(io.get_executor(), options());
    run(yard.spawn(task(mode("echo"))));  // first-use allocations (loggers, reactor) out of the count
    const int fds_before = open_fd_count();
    int completed = 0;
    for (int batch = 0; batch < 200; ++batch) {
        std::vector<SubprocessTask> tasks;
        for (int i = 0; i < 5; ++i) tasks.push_back(task(mode("echo")));
        for (const auto& r : run(yard.spawn_many(tasks))) completed += r.status == WorkerStatus::COMPLETED;
    }
    EXPECT_EQ(completed, 1000);
    EXPECT_EQ(open_fd_count(), fds_before);
    EXPECT_TRUE(has_no_children());
}
