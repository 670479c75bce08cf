// Cancelling, looking up, listing, waiting for and cleaning up the pool's workers.
#include "crewhall_fixture.hpp"

#include "norvex/common/log_capture.hpp"
#include "norvex/common/pyjson.hpp"

#include <gmock/gmock.h>

#include <algorithm>

using namespace norvex::crewhall;
using namespace norvex::testing;
namespace asio = boost::asio;
using ::testing::ElementsAre;

namespace {

using CrewhallControl = CrewhallTest;

std::vector<std::string> ids_of(const std::vector<boost::json::object>& dicts) {
    std::vector<std::string> out;
    for (const auto& d : dicts) out.emplace_back(d.at("task_id").as_string());
    return out;
}

std::size_t times_in_history(Crewhall& pool, const std::string& id) {
    auto history = ids_of(pool.list_completed(1000));
    return static_cast<std::size_t>(std::count(history.begin(), history.end(), id));
}

}  // namespace

TEST_F(CrewhallControl, CancelOfUnknownOrEndedWorkersIsFalseAndSilent) {
    norvex::logging::LogCapture logs("norvex.crewhall");
    auto& pool = make_pool({.executor = sleeper(0.0)});
    EXPECT_FALSE(run(pool.cancel("nosuchworker")));
    auto status = run(pool.submit(named("quick")));
    drain();
    ASSERT_EQ(status->state, WorkerState::COMPLETED);
    EXPECT_FALSE(run(pool.cancel(status->task_id)));
    EXPECT_EQ(status->state, WorkerState::COMPLETED);
    for (const auto& m : logs.messages(spdlog::level::info)) EXPECT_EQ(m.find("Worker cancelled"), std::string::npos);
}

TEST_F(CrewhallControl, CancelledQueuedWorkerNeverRuns) {
    norvex::logging::LogCapture logs("norvex.crewhall");
    int started = 0;
    WorkerExecutor counted = [&started](const WorkerTask&, UpdateStatus, double) -> asio::awaitable<std::string> {
        ++started;
        co_await sleep_for(0.1);
        co_return "ok";
    };
    auto& pool = make_pool({.max_workers = 1, .executor = counted, .on_status_change = recorder()});
    auto running = run(pool.submit(named("running")));
    auto queued = run(pool.submit(named("queued")));
    settle(0.02);
    ASSERT_EQ(queued->state, WorkerState::QUEUED);

    EXPECT_TRUE(run(pool.cancel(queued->task_id)));
    EXPECT_TRUE(logs.contains(spdlog::level::info, "Worker cancelled: " + queued->task_id));
    EXPECT_FALSE(run(pool.cancel(queued->task_id)));  // the job is no longer known
    drain();

    EXPECT_EQ(queued->state, WorkerState::CANCELLED);
    EXPECT_EQ(queued->started_at, 0.0);
    EXPECT_EQ(queued->duration, 0.0);
    EXPECT_GT(queued->completed_at, 0.0);
    EXPECT_FALSE(queued->error);
    EXPECT_EQ(queued->progress_pct, 0.0);
    EXPECT_EQ(queued->current_step, "");
    EXPECT_THAT(states_heard(queued->task_id), ElementsAre(WorkerState::QUEUED, WorkerState::CANCELLED));
    EXPECT_EQ(times_in_history(pool, queued->task_id), 1u);

    EXPECT_EQ(started, 1);
    EXPECT_EQ(running->state, WorkerState::COMPLETED);
    auto stats = pool.stats();
    EXPECT_EQ(stats.at("total_failed").as_int64(), 0);
    EXPECT_EQ(stats.at("total_completed").as_int64(), 1);
}

TEST_F(CrewhallControl, CancelledRunningWorkerEndsCancelledAndFreesItsSlot) {
    norvex::logging::LogCapture logs("norvex.crewhall");
    auto& pool = make_pool({.max_workers = 1, .executor = sleeper(30.0), .on_status_change = recorder()});
    auto victim = run(pool.submit(named("victim")));
    settle(0.02);
    ASSERT_EQ(victim->state, WorkerState::RUNNING);
    pool.set_executor(sleeper(0.01, "next"));
    auto next = run(pool.submit(named("next")));

    EXPECT_TRUE(run(pool.cancel(victim->task_id)));
    drain();  // would hang for 30 s if the executor were not interrupted

    EXPECT_EQ(victim->state, WorkerState::CANCELLED);
    EXPECT_EQ(victim->error, "Cancelled by user");
    EXPECT_EQ(victim->current_step, "Cancelled");
    EXPECT_EQ(victim->progress_pct, 100.0);
    EXPECT_GT(victim->duration, 0.0);
    EXPECT_FALSE(victim->result);
    EXPECT_TRUE(logs.contains(spdlog::level::info, "Worker " + victim->task_id + " was cancelled by user"));
    EXPECT_TRUE(logs.contains(spdlog::level::info, "Worker cancelled: " + victim->task_id));
    EXPECT_EQ(times_in_history(pool, victim->task_id), 1u);
    // Announced as cancelled by cancel(), then once more by the worker's own ending.
    EXPECT_THAT(states_heard(victim->task_id), ElementsAre(WorkerState::QUEUED, WorkerState::RUNNING,
                                                           WorkerState::CANCELLED, WorkerState::CANCELLED));

    EXPECT_EQ(next->state, WorkerState::COMPLETED);
    EXPECT_EQ(next->result, "next");
    EXPECT_EQ(pool.stats().at("total_failed").as_int64(), 1);
    EXPECT_FALSE(run(pool.cancel(victim->task_id)));
}

TEST_F(CrewhallControl, ExecutorThatTurnsTheAbortIntoItsOwnErrorIsStillCancelled) {
    WorkerExecutor rewrapping = [](const WorkerTask&, UpdateStatus, double) -> asio::awaitable<std::string> {
        try {
            co_await sleep_for(30.0);
        } catch (const boost::system::system_error&) {
            throw std::runtime_error("model call interrupted");
        }
        co_return "unreachable";
    };
    auto& pool = make_pool({.executor = rewrapping});
    auto status = run(pool.submit(named("x")));
    settle(0.02);
    EXPECT_TRUE(run(pool.cancel(status->task_id)));
    drain();
    EXPECT_EQ(status->state, WorkerState::CANCELLED);
    EXPECT_EQ(status->error, "Cancelled by user");
}

TEST_F(CrewhallControl, CancelAllCountsEveryKnownJob) {
    auto& pool = make_pool({.max_workers = 1, .executor = sleeper(30.0)});
    std::vector<WorkerTask> tasks{named("a"), named("b"), named("c")};
    auto statuses = run(pool.submit_many(tasks));
    settle(0.02);
    auto stats = pool.stats();
    EXPECT_EQ(stats.at("active_count").as_int64(), 1);
    EXPECT_EQ(stats.at("queued_count").as_int64(), 2);

    EXPECT_EQ(run(pool.cancel_all()), 3);
    drain();
    for (auto& s : statuses) EXPECT_EQ(s->state, WorkerState::CANCELLED);
    EXPECT_EQ(ids_of(pool.list_completed()), (std::vector<std::string>{tasks[0].id, tasks[1].id, tasks[2].id}));
    EXPECT_EQ(pool.stats().at("total_failed").as_int64(), 1);  // only the one that was running
    EXPECT_EQ(run(pool.cancel_all()), 0);
}

TEST_F(CrewhallControl, StatsOfANewPool) {
    auto& pool = make_pool();
    EXPECT_EQ(norvex::pyjson::dumps(pool.stats()),
              R"({"max_workers": 3, "active_count": 0, "queued_count": 0, "total_submitted": 0, )"
              R"("total_completed": 0, "total_failed": 0, "completed_history": 0})");
    EXPECT_FALSE(pool.get_status("x"));
    EXPECT_TRUE(pool.list_all().empty());
}

TEST_F(CrewhallControl, ListAllGivesActiveThenTheLastTwentyEnded) {
    auto& pool = make_pool({.max_workers = 20, .executor = sleeper(0.0)});
    std::vector<std::string> ended;
    for (int i = 0; i < 30; ++i) ended.push_back(run(pool.submit(WorkerTask{}))->task_id);
    drain();
    pool.set_executor(sleeper(30.0));
    auto a = run(pool.submit(named("a")));
    auto b = run(pool.submit(named("b")));

    auto all = ids_of(pool.list_all());
    ASSERT_EQ(all.size(), 22u);
    EXPECT_EQ(all[0], a->task_id);
    EXPECT_EQ(all[1], b->task_id);
    for (std::size_t i = 0; i < 20; ++i) EXPECT_EQ(all[2 + i], ended[10 + i]);

    EXPECT_EQ(ids_of(pool.list_completed(3)), (std::vector<std::string>{ended[27], ended[28], ended[29]}));
    EXPECT_EQ(pool.list_completed().size(), 30u);
    EXPECT_TRUE(pool.list_completed(0).empty());
    EXPECT_TRUE(pool.list_completed(-5).empty());
}

TEST_F(CrewhallControl, GetStatusPrefersTheActiveRecordThenTheOldestEnded) {
    auto& pool = make_pool({.executor = sleeper(0.0)});
    WorkerTask task{.id = "sameid000001", .name = "first"};
    auto first = run(pool.submit(task));
    drain();
    task.name = "second";
    auto second = run(pool.submit(task));
    drain();
    EXPECT_EQ(pool.get_status(task.id), first);  // both ended: the oldest wins

    pool.set_executor(sleeper(30.0));
    task.name = "third";
    auto third = run(pool.submit(task));
    EXPECT_EQ(pool.get_status(task.id), third);
    EXPECT_NE(second, first);
}

TEST_F(CrewhallControl, WaitForUnknownOrWithoutTimeAnswersAtOnce) {
    ManualPollClock clock;
    auto& pool = make_pool({.executor = sleeper(30.0), .poll_clock = clock.clock()});
    EXPECT_FALSE(run(pool.wait_for("nosuchworker", 10.0)));
    auto status = run(pool.submit(named("long")));
    auto now = run(pool.wait_for(status->task_id, 0.0));
    EXPECT_EQ(now, status);
    EXPECT_FALSE(is_terminal(now->state));
    EXPECT_TRUE(clock.sleeps.empty());  // neither call slept a poll interval
}

TEST_F(CrewhallControl, WaitForGivesTheEndedStatus) {
    auto& pool = make_pool({.executor = sleeper(0.05, "waited")});
    auto status = run(pool.submit(named("w")));
    auto ended = run(pool.wait_for(status->task_id, 10.0));
    ASSERT_EQ(ended, status);
    EXPECT_EQ(ended->state, WorkerState::COMPLETED);
    EXPECT_EQ(ended->result, "waited");
}

TEST_F(CrewhallControl, WaitForTimeoutGivesTheCurrentStateAndCancelsNothing) {
    ManualPollClock clock;
    auto& pool = make_pool({.executor = sleeper(30.0), .poll_clock = clock.clock()});
    auto status = run(pool.submit(named("long")));
    auto seen = run(pool.wait_for(status->task_id, 0.1));
    EXPECT_EQ(clock.sleeps, std::vector<double>{0.5});  // one poll, which outlasts the timeout
    ASSERT_EQ(seen, status);
    EXPECT_EQ(seen->state, WorkerState::RUNNING);
    EXPECT_EQ(pool.list_running().size(), 1u);
}

TEST_F(CrewhallControl, WaitAll) {
    ManualPollClock clock;
    auto& pool = make_pool({.max_workers = 2, .executor = sleeper(0.0), .poll_clock = clock.clock()});

    // Nothing pending, with no list or an empty one: at once.
    EXPECT_TRUE(run(pool.wait_all()).empty());
    std::vector<std::string> none;
    EXPECT_TRUE(run(pool.wait_all(none, 10.0)).empty());
    EXPECT_TRUE(clock.sleeps.empty());

    std::vector<WorkerTask> tasks{named("a"), named("b"), named("c")};
    run(pool.submit_many(tasks));
    auto all = run(pool.wait_all());
    ASSERT_EQ(all.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(all[i]->task_id, tasks[i].id);
        EXPECT_EQ(all[i]->state, WorkerState::COMPLETED);
    }

    // Explicit ids keep their order; unknown ones are left out.
    std::vector<std::string> picked{tasks[2].id, "nosuchworker", tasks[0].id};
    auto some = run(pool.wait_all(picked, 1.0));
    ASSERT_EQ(some.size(), 2u);
    EXPECT_EQ(some[0]->task_id, tasks[2].id);
    EXPECT_EQ(some[1]->task_id, tasks[0].id);
}

TEST_F(CrewhallControl, PollsStartAtHalfASecondAndGrowByAFifthUpToTwo) {
    ManualPollClock clock;
    auto& pool = make_pool({.executor = sleeper(30.0), .poll_clock = clock.clock()});
    auto status = run(pool.submit(named("long")));

    // The intervals the waits must sleep until `timeout` has passed.
    auto schedule = [](double timeout) {
        std::vector<double> out;
        double slept = 0.0;
        for (double poll = 0.5; slept < timeout; poll = std::min(poll * 1.2, 2.0)) {
            out.push_back(poll);
            slept += poll;
        }
        return out;
    };
    auto seen = run(pool.wait_for(status->task_id, 12.0));
    EXPECT_EQ(seen->state, WorkerState::RUNNING);
    const auto expected = schedule(12.0);
    ASSERT_EQ(clock.sleeps.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_DOUBLE_EQ(clock.sleeps[i], expected[i]) << "poll " << i;
    EXPECT_EQ(clock.sleeps.back(), 2.0);  // the longest interval was reached

    // wait_all keeps the same pace, from the start again.
    clock.sleeps.clear();
    auto all = run(pool.wait_all({}, 3.0));
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0]->state, WorkerState::RUNNING);
    const auto expected_all = schedule(3.0);
    ASSERT_EQ(clock.sleeps.size(), expected_all.size());
    for (std::size_t i = 0; i < expected_all.size(); ++i) EXPECT_DOUBLE_EQ(clock.sleeps[i], expected_all[i]);
    EXPECT_EQ(pool.stats().at("total_failed").as_int64(), 0);  // nothing was cancelled for lack of time
}

TEST_F(CrewhallControl, WaitAllTimeoutGivesWhateverStateTheWorkersAreIn) {
    auto& pool = make_pool({.max_workers = 1, .executor = sleeper(30.0)});
    auto a = run(pool.submit(named("a")));
    auto b = run(pool.submit(named("b")));
    auto seen = run(pool.wait_all({}, 0.1));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0]->state, WorkerState::RUNNING);
    EXPECT_EQ(seen[1]->state, WorkerState::QUEUED);
    EXPECT_EQ(pool.stats().at("queued_count").as_int64(), 1);
}

TEST_F(CrewhallControl, CleanupCancelsAndForgetsActiveWorkersOnly) {
    norvex::logging::LogCapture logs("norvex.crewhall");
    auto& pool = make_pool({.max_workers = 1, .executor = sleeper(0.0)});
    auto done = run(pool.submit(named("done")));
    drain();
    pool.set_executor(sleeper(30.0));
    auto running = run(pool.submit(named("running")));
    auto queued = run(pool.submit(named("queued")));
    settle(0.02);

    run(pool.cleanup());
    EXPECT_TRUE(pool.list_active().empty());
    EXPECT_TRUE(logs.contains(spdlog::level::info, "Crewhall cleaned up"));
    drain();

    EXPECT_EQ(running->state, WorkerState::CANCELLED);
    EXPECT_EQ(queued->state, WorkerState::CANCELLED);
    EXPECT_EQ(ids_of(pool.list_completed()),
              (std::vector<std::string>{done->task_id, running->task_id, queued->task_id}));
    auto stats = pool.stats();
    EXPECT_EQ(stats.at("total_submitted").as_int64(), 3);
    EXPECT_EQ(stats.at("total_completed").as_int64(), 1);
    EXPECT_EQ(stats.at("total_failed").as_int64(), 1);
    EXPECT_EQ(stats.at("active_count").as_int64(), 0);

    // The executor stays: the pool takes work again.
    pool.set_executor(sleeper(0.0, "again"));
    auto again = run(pool.submit(named("again")));
    drain();
    EXPECT_EQ(again->result, "again");
}

TEST_F(CrewhallControl, CancelBeforeTheJobFirstRunsEndsItUnstarted) {
    int started = 0;
    WorkerExecutor counted = [&started](const WorkerTask&, UpdateStatus, double) -> asio::awaitable<std::string> {
        ++started;
        co_return "ran";
    };
    auto& pool = make_pool({.executor = counted, .on_status_change = recorder()});
    std::shared_ptr<WorkerStatus> status;
    bool cancelled = false;
    run([&]() -> asio::awaitable<void> {
        status = co_await pool.submit(named("short-lived"));
        cancelled = co_await pool.cancel(status->task_id);
    }());
    drain();
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(started, 0);
    EXPECT_EQ(status->state, WorkerState::CANCELLED);
    EXPECT_EQ(status->started_at, 0.0);
    EXPECT_THAT(states_heard(status->task_id), ElementsAre(WorkerState::QUEUED, WorkerState::CANCELLED));
    EXPECT_EQ(pool.stats().at("total_failed").as_int64(), 0);
    EXPECT_EQ(times_in_history(pool, status->task_id), 1u);
}

TEST_F(CrewhallControl, SlowCallbackDuringCancelStillLeavesOneHistoryRecord) {
    std::vector<WorkerState> seen;
    StatusCallback slow = [&seen](const WorkerStatus& s) -> asio::awaitable<void> {
        seen.push_back(s.state);
        if (s.state == WorkerState::CANCELLED) co_await sleep_for(0.03);  // the worker ends meanwhile
    };
    auto& pool = make_pool({.executor = sleeper(30.0), .on_status_change = slow});
    auto status = run(pool.submit(named("x")));
    settle(0.02);
    EXPECT_TRUE(run(pool.cancel(status->task_id)));
    drain();
    EXPECT_EQ(status->error, "Cancelled by user");
    EXPECT_EQ(status->current_step, "Cancelled");
    EXPECT_EQ(times_in_history(pool, status->task_id), 1u);
    EXPECT_TRUE(pool.list_active().empty());
    EXPECT_THAT(seen, ElementsAre(WorkerState::QUEUED, WorkerState::RUNNING, WorkerState::CANCELLED,
                                  WorkerState::CANCELLED));
}

TEST_F(CrewhallControl, ExecutorThatShrugsOffTheCancellationCompletes) {
    WorkerExecutor stubborn = [](const WorkerTask&, UpdateStatus, double) -> asio::awaitable<std::string> {
        bool interrupted = false;
        try {
            co_await sleep_for(30.0);
        } catch (const boost::system::system_error&) {
            interrupted = true;
        }
        co_return interrupted ? "finished anyway" : "slept";
    };
    auto& pool = make_pool({.executor = stubborn, .on_status_change = recorder()});
    auto status = run(pool.submit(named("x")));
    settle(0.02);
    EXPECT_TRUE(run(pool.cancel(status->task_id)));
    drain();
    // Its value counts, and the final broadcast still went out.
    EXPECT_EQ(status->state, WorkerState::COMPLETED);
    EXPECT_EQ(status->result, "finished anyway");
    EXPECT_EQ(heard.back().state, WorkerState::COMPLETED);
    EXPECT_EQ(times_in_history(pool, status->task_id), 1u);
    EXPECT_EQ(pool.stats().at("total_completed").as_int64(), 1);
}
