// The pool's runners: jobs handed from one to the next, cancellation kept to its own job, runners ending with the work.
#include "crewhall_fixture.hpp"

#include <gmock/gmock.h>

#include <chrono>
#include <map>

using namespace norvex::crewhall;
using namespace norvex::testing;
namespace asio = boost::asio;
using ::testing::ElementsAre;

namespace {

using CrewhallRunners = CrewhallTest;

// Sleeps for the seconds its task's name maps to (0 when absent) and
// gives the name back; notes the order of starts.
WorkerExecutor timed_by_name(std::map<std::string, double> seconds, std::vector<std::string>& started) {
    return [seconds = std::move(seconds), &started](const WorkerTask& task, UpdateStatus,
                                                    double) -> asio::awaitable<std::string> {
        started.push_back(task.name);
        auto it = seconds.find(task.name);
        if (it != seconds.end()) co_await sleep_for(it->second);
        co_return task.name;
    };
}

}  // namespace

TEST_F(CrewhallRunners, CancellingOneRunningWorkerSparesTheOthersAndTheJobThatTakesItsSlot) {
    // "next" waits for a slot and gets the one the cancelled worker frees,
    // on the same runner: the cancellation must not reach it.
    std::vector<std::string> started;
    auto& pool = make_pool({.max_workers = 3,
                            .executor = timed_by_name({{"a", 0.15}, {"b", 30.0}, {"c", 0.15}, {"next", 0.05}}, started),
                            .on_status_change = recorder()});
    auto statuses = run(pool.submit_many({named("a"), named("b"), named("c"), named("next")}));
    settle(0.03);
    ASSERT_EQ(statuses[3]->state, WorkerState::QUEUED);

    EXPECT_TRUE(run(pool.cancel(statuses[1]->task_id)));
    drain();
    EXPECT_THAT(started, ElementsAre("a", "b", "c", "next"));
    EXPECT_EQ(statuses[0]->state, WorkerState::COMPLETED);
    EXPECT_EQ(statuses[1]->state, WorkerState::CANCELLED);
    EXPECT_EQ(statuses[1]->error, "Cancelled by user");
    EXPECT_EQ(statuses[2]->state, WorkerState::COMPLETED);
    EXPECT_EQ(statuses[3]->state, WorkerState::COMPLETED);
    EXPECT_EQ(statuses[3]->result, "next");
    EXPECT_THAT(states_heard(statuses[3]->task_id),
                ElementsAre(WorkerState::QUEUED, WorkerState::RUNNING, WorkerState::COMPLETED));
    // The freed slot went to the waiter before the others ended.
    EXPECT_LT(statuses[3]->started_at, statuses[0]->completed_at);
    auto stats = pool.stats();
    EXPECT_EQ(stats.at("total_completed").as_int64(), 3);
    EXPECT_EQ(stats.at("total_failed").as_int64(), 1);
}

TEST_F(CrewhallRunners, CancelledWaitersArePassedOverWhenASlotFrees) {
    std::vector<std::string> started;
    auto& pool = make_pool({.max_workers = 1, .executor = timed_by_name({{"first", 0.05}}, started)});
    auto statuses = run(pool.submit_many({named("first"), named("w1"), named("w2"), named("w3")}));
    settle(0.01);
    EXPECT_TRUE(run(pool.cancel(statuses[1]->task_id)));
    EXPECT_TRUE(run(pool.cancel(statuses[2]->task_id)));
    drain();
    EXPECT_THAT(started, ElementsAre("first", "w3"));
    EXPECT_EQ(statuses[3]->state, WorkerState::COMPLETED);
    EXPECT_EQ(statuses[1]->started_at, 0.0);
    EXPECT_EQ(statuses[2]->started_at, 0.0);
}

TEST_F(CrewhallRunners, ShrinkingTheLimitLetsTheOldSlotsDrainAndTheLoopRunOut) {
    std::vector<std::string> started;
    auto& pool = make_pool({.max_workers = 3,
                            .executor = timed_by_name({{"o1", 0.1}, {"o2", 0.1}, {"o3", 0.1}, {"n1", 0.05},
                                                       {"n2", 0.05}},
                                                      started)});
    auto old = run(pool.submit_many({named("o1"), named("o2"), named("o3")}));
    settle(0.02);
    pool.set_max_workers(1);
    auto fresh = run(pool.submit_many({named("n1"), named("n2")}));
    settle(0.02);
    // The old group keeps its three; the new one runs one at a time.
    for (const auto& s : old) EXPECT_EQ(s->state, WorkerState::RUNNING);
    EXPECT_EQ(fresh[0]->state, WorkerState::RUNNING);
    EXPECT_EQ(fresh[1]->state, WorkerState::QUEUED);

    // Every runner ends with the work: the loop runs out on its own.
    io.restart();
    io.run_for(std::chrono::seconds(5));
    EXPECT_TRUE(io.stopped());
    EXPECT_GE(fresh[1]->started_at, fresh[0]->completed_at);
    EXPECT_EQ(pool.stats().at("total_completed").as_int64(), 5);

    // Runners come back for later work, under the new limit.
    auto later = run(pool.submit_many({named("l1"), named("l2")}));
    io.restart();
    io.run_for(std::chrono::seconds(5));
    EXPECT_TRUE(io.stopped());
    EXPECT_EQ(later[0]->state, WorkerState::COMPLETED);
    EXPECT_EQ(later[1]->state, WorkerState::COMPLETED);
}

TEST_F(CrewhallRunners, WorkersThatEndAtOnceStillStartInOrderAndEachHoldsASlot) {
    // Executors that never wait end within their start, so one runner
    // carries them all; those with a wait keep a slot each meanwhile.
    std::vector<std::string> started;
    int peak = 0;
    int running = 0;
    WorkerExecutor mixed = [&](const WorkerTask& task, UpdateStatus, double) -> asio::awaitable<std::string> {
        started.push_back(task.name);
        peak = std::max(peak, ++running);
        if (task.name.starts_with("slow")) co_await sleep_for(0.03);
        --running;
        co_return task.name;
    };
    auto& pool = make_pool({.max_workers = 2, .executor = mixed});
    std::vector<WorkerTask> tasks;
    for (const char* name : {"q1", "slow1", "q2", "slow2", "q3", "slow3", "q4"}) tasks.push_back(named(name));
    auto statuses = run(pool.submit_many(std::move(tasks)));
    drain();
    EXPECT_THAT(started, ElementsAre("q1", "slow1", "q2", "slow2", "q3", "slow3", "q4"));
    EXPECT_EQ(peak, 2);
    for (const auto& s : statuses) EXPECT_EQ(s->state, WorkerState::COMPLETED) << s->name;
    EXPECT_EQ(pool.stats().at("completed_history").as_int64(), 7);
}

TEST_F(CrewhallRunners, WaitersWithoutAnySlotKeepTheLoopBusyUntilCancelled) {
    auto& pool = make_pool({.max_workers = 0, .executor = sleeper(0.0)});
    auto status = run(pool.submit(named("never")));
    io.restart();
    io.run_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(io.stopped());
    EXPECT_EQ(status->state, WorkerState::QUEUED);

    EXPECT_TRUE(run(pool.cancel(status->task_id)));
    io.restart();
    io.run_for(std::chrono::seconds(5));
    EXPECT_TRUE(io.stopped());
    EXPECT_EQ(status->state, WorkerState::CANCELLED);
    EXPECT_EQ(status->started_at, 0.0);
}

TEST_F(CrewhallRunners, ALimitChangedWhileABatchStartsAppliesToTheRestOfThatBatch) {
    // All three start in one batch; "a" raises the limit as it announces
    // RUNNING, so "b" and "c", which begin waiting after that, take slots of
    // the new group while "a" keeps the only slot of the old one.
    Crewhall* pool_ptr = nullptr;
    StatusCallback raise_on_a = [&pool_ptr](const WorkerStatus& s) {
        if (s.state == WorkerState::RUNNING && s.name == "a") pool_ptr->set_max_workers(3);
    };
    auto& pool = make_pool({.max_workers = 1, .executor = sleeper(0.1), .on_status_change = raise_on_a});
    pool_ptr = &pool;
    auto statuses = run(pool.submit_many({named("a"), named("b"), named("c")}));
    settle(0.03);
    for (const auto& s : statuses) EXPECT_EQ(s->state, WorkerState::RUNNING) << s->name;
    drain();
    for (const auto& s : statuses) EXPECT_EQ(s->state, WorkerState::COMPLETED) << s->name;
    EXPECT_EQ(pool.max_workers(), 3);
}
