// Submitting to the worker pool, the life of a worker, progress reports, the limit and the history.
#include "crewhall_fixture.hpp"

#include "norvex/common/clock.hpp"
#include "norvex/common/log_capture.hpp"

#include <gmock/gmock.h>

#include <algorithm>
#include <random>
#include <tuple>

using namespace norvex::crewhall;
using namespace norvex::testing;
namespace asio = boost::asio;
using ::testing::ElementsAre;

namespace {

using CrewhallPool = CrewhallTest;

std::vector<std::string> names_of(const std::vector<boost::json::object>& dicts) {
    std::vector<std::string> out;
    for (const auto& d : dicts) out.emplace_back(d.at("name").as_string());
    return out;
}

}  // namespace

TEST_F(CrewhallPool, SubmitWithoutExecutorFailsAndStoresNothing) {
    auto& pool = make_pool();
    try {
        run(pool.submit(named("a")));
        FAIL() << "submit without an executor succeeded";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "No executor set \xe2\x80\x94 call set_executor() first");
    }
    EXPECT_EQ(pool.stats().at("total_submitted").as_int64(), 0);
    EXPECT_TRUE(pool.list_active().empty());

    pool.set_executor(sleeper(0.01));
    auto status = run(pool.submit(named("a")));
    EXPECT_EQ(pool.stats().at("total_submitted").as_int64(), 1);
    EXPECT_EQ(pool.get_status(status->task_id), status);
}

TEST_F(CrewhallPool, CompletedWorkerSharesItsRecordAndMovesToHistory) {
    norvex::logging::LogCapture logs("norvex.crewhall");
    auto& pool = make_pool({.executor = sleeper(0.08, "ok"), .on_status_change = recorder()});
    WorkerTask task = named("writer");
    const double before = norvex::wall_seconds();

    auto status = run(pool.submit(task));
    ASSERT_TRUE(status);
    EXPECT_EQ(status->task_id, task.id);
    EXPECT_EQ(status->name, "writer");
    EXPECT_EQ(pool.get_status(task.id), status);
    EXPECT_TRUE(logs.contains(spdlog::level::info, "Worker submitted: writer (" + task.id + ")"));

    settle(0.01);
    EXPECT_EQ(status->state, WorkerState::RUNNING);  // the caller's record, updated in place
    EXPECT_GE(status->started_at, before);
    EXPECT_EQ(status->completed_at, 0.0);

    drain();
    EXPECT_EQ(status->state, WorkerState::COMPLETED);
    EXPECT_EQ(status->result, "ok");
    EXPECT_FALSE(status->error);
    EXPECT_EQ(status->progress_pct, 100.0);
    EXPECT_EQ(status->current_step, "Done");
    EXPECT_GT(status->duration, 0.0);
    EXPECT_DOUBLE_EQ(status->duration, status->completed_at - status->started_at);

    EXPECT_TRUE(pool.list_active().empty());
    ASSERT_EQ(pool.list_completed().size(), 1u);
    EXPECT_EQ(pool.list_completed()[0].at("result").as_string(), "ok");
    EXPECT_EQ(pool.get_status(task.id), status);
    EXPECT_THAT(states_heard(task.id),
                ElementsAre(WorkerState::QUEUED, WorkerState::RUNNING, WorkerState::COMPLETED));
    EXPECT_EQ(heard.back().current_step, "Done");

    auto stats = pool.stats();
    EXPECT_EQ(stats.at("total_submitted").as_int64(), 1);
    EXPECT_EQ(stats.at("total_completed").as_int64(), 1);
    EXPECT_EQ(stats.at("total_failed").as_int64(), 0);
    EXPECT_EQ(stats.at("completed_history").as_int64(), 1);
}

TEST_F(CrewhallPool, WorkerStartsOnlyOnceTheSubmitterYields) {
    auto& pool = make_pool({.executor = sleeper(0.01), .on_status_change = recorder()});
    std::vector<WorkerState> right_after_submit;
    run([&]() -> asio::awaitable<void> {
        auto a = co_await pool.submit(named("a"));
        auto b = co_await pool.submit(named("b"));
        right_after_submit = {a->state, b->state};
    }());
    EXPECT_THAT(right_after_submit, ElementsAre(WorkerState::QUEUED, WorkerState::QUEUED));
    drain();
    ASSERT_EQ(heard.size(), 6u);
    EXPECT_EQ(heard[0].state, WorkerState::QUEUED);
    EXPECT_EQ(heard[1].state, WorkerState::QUEUED);
}

TEST_F(CrewhallPool, EmptyNameGetsADisplayName) {
    norvex::logging::LogCapture logs("norvex.crewhall");
    auto& pool = make_pool({.executor = sleeper(0.0)});
    WorkerTask task;
    auto status = run(pool.submit(task));
    EXPECT_EQ(status->name, "Worker-" + task.id.substr(0, 6));
    EXPECT_TRUE(logs.contains(spdlog::level::info, "Worker submitted:  (" + task.id + ")"));
}

TEST_F(CrewhallPool, FailingExecutorsEndFailed) {
    norvex::logging::LogCapture logs("norvex.crewhall");
    auto& pool = make_pool({.executor = failer("model unreachable"), .on_status_change = recorder()});
    auto loud = run(pool.submit(named("loud")));
    pool.set_executor(failer(""));
    auto quiet = run(pool.submit(named("quiet")));
    drain();

    EXPECT_EQ(loud->state, WorkerState::FAILED);
    EXPECT_EQ(loud->error, "model unreachable");
    EXPECT_EQ(loud->current_step, "Failed: model unreachable");
    EXPECT_EQ(loud->progress_pct, 100.0);
    EXPECT_FALSE(loud->result);
    EXPECT_GT(loud->completed_at, 0.0);

    EXPECT_EQ(quiet->state, WorkerState::FAILED);
    EXPECT_EQ(quiet->error, "");
    EXPECT_EQ(quiet->current_step, "Failed: Unknown error");
    EXPECT_EQ(quiet->progress_pct, 100.0);

    EXPECT_TRUE(logs.contains(spdlog::level::err, "Worker " + loud->task_id + " failed: model unreachable"));
    EXPECT_TRUE(logs.contains(spdlog::level::err, "Worker " + quiet->task_id + " failed: "));
    EXPECT_EQ(pool.stats().at("total_failed").as_int64(), 2);
    EXPECT_EQ(pool.stats().at("total_completed").as_int64(), 0);
    EXPECT_THAT(states_heard(loud->task_id),
                ElementsAre(WorkerState::QUEUED, WorkerState::RUNNING, WorkerState::FAILED));
}

TEST_F(CrewhallPool, LimitQueuesWorkersUntilASlotFrees) {
    auto& pool = make_pool({.max_workers = 2, .executor = sleeper(0.15)});
    std::vector<WorkerTask> tasks{named("a"), named("b"), named("c")};
    auto statuses = run(pool.submit_many(tasks));
    ASSERT_EQ(statuses.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(statuses[i]->task_id, tasks[i].id);

    settle(0.03);
    EXPECT_EQ(statuses[0]->state, WorkerState::RUNNING);
    EXPECT_EQ(statuses[1]->state, WorkerState::RUNNING);
    EXPECT_EQ(statuses[2]->state, WorkerState::QUEUED);
    EXPECT_EQ(statuses[2]->started_at, 0.0);
    auto stats = pool.stats();
    EXPECT_EQ(stats.at("active_count").as_int64(), 2);
    EXPECT_EQ(stats.at("queued_count").as_int64(), 1);
    ASSERT_EQ(pool.list_running().size(), 2u);
    ASSERT_EQ(pool.list_queued().size(), 1u);
    EXPECT_EQ(pool.list_queued()[0].at("task_id").as_string(), tasks[2].id);
    ASSERT_EQ(pool.list_active().size(), 3u);
    EXPECT_EQ(pool.list_active()[2].at("state").as_string(), "queued");

    // The third starts as one of the first two ends, not before.
    settle(0.05);
    EXPECT_EQ(statuses[2]->state, WorkerState::QUEUED);
    settle(0.12);
    EXPECT_EQ(statuses[2]->state, WorkerState::RUNNING);
    EXPECT_GE(statuses[2]->started_at, statuses[0]->completed_at);

    drain();
    for (auto& s : statuses) EXPECT_EQ(s->state, WorkerState::COMPLETED);
    EXPECT_EQ(pool.stats().at("total_completed").as_int64(), 3);
}

TEST_F(CrewhallPool, MaxWorkersIsBoundedOnlyWhenChanged) {
    norvex::logging::LogCapture logs("norvex.crewhall");
    auto& pool = make_pool({.max_workers = 50, .executor = sleeper(0.0)});
    EXPECT_EQ(pool.max_workers(), 50);
    EXPECT_EQ(pool.stats().at("max_workers").as_int64(), 50);

    pool.set_max_workers(0);
    EXPECT_EQ(pool.max_workers(), 1);
    pool.set_max_workers(50);
    EXPECT_EQ(pool.max_workers(), 20);
    pool.set_max_workers(-3);
    EXPECT_EQ(pool.max_workers(), 1);
    pool.set_max_workers(7);
    EXPECT_EQ(pool.max_workers(), 7);
    EXPECT_EQ(logs.messages(spdlog::level::info),
              (std::vector<std::string>{"Max workers updated to 1", "Max workers updated to 20",
                                        "Max workers updated to 1", "Max workers updated to 7"}));

    EXPECT_THROW(Crewhall(io.get_executor(), {.max_workers = -1}), std::invalid_argument);
}

TEST_F(CrewhallPool, NewLimitAppliesToWorkersThatWaitAfterTheChange) {
    auto& pool = make_pool({.max_workers = 1, .executor = sleeper(0.1)});
    auto first = run(pool.submit(named("first")));
    auto second = run(pool.submit(named("second")));  // waits on the old semaphore
    settle(0.02);
    ASSERT_EQ(first->state, WorkerState::RUNNING);
    ASSERT_EQ(second->state, WorkerState::QUEUED);

    pool.set_max_workers(2);
    auto third = run(pool.submit(named("third")));  // a fresh semaphore with two free slots
    settle(0.02);
    EXPECT_EQ(first->state, WorkerState::RUNNING);
    EXPECT_EQ(second->state, WorkerState::QUEUED);
    EXPECT_EQ(third->state, WorkerState::RUNNING);

    drain();
    EXPECT_EQ(second->state, WorkerState::COMPLETED);
    EXPECT_GE(second->started_at, first->completed_at);
}

TEST_F(CrewhallPool, ProgressReportsUpdateThePoolsRecord) {
    std::unique_ptr<Crewhall>* holder = &pool_;
    std::vector<double> seen_by_caller;
    WorkerExecutor reporter = [holder](const WorkerTask& task, UpdateStatus update,
                                       double) -> asio::awaitable<std::string> {
        for (int step = 1; step <= 2; ++step) {
            auto status = (*holder)->get_status(task.id);
            status->current_step = "Step " + std::to_string(step);
            status->steps_completed = step;
            status->progress_pct = 50.0 * step - 10.0;
            status->model_used = "small";
            co_await update(status);
            co_await sleep_for(0.05);
        }
        co_return "reported";
    };
    auto& pool = make_pool({.executor = reporter, .on_status_change = recorder()});
    auto status = run(pool.submit(named("r")));
    settle(0.07);
    EXPECT_EQ(status->current_step, "Step 2");
    EXPECT_EQ(status->steps_completed, 2);
    EXPECT_EQ(status->state, WorkerState::RUNNING);
    drain();

    ASSERT_EQ(heard.size(), 5u);
    EXPECT_EQ(heard[2].current_step, "Step 1");
    EXPECT_EQ(heard[2].progress_pct, 40.0);
    EXPECT_EQ(heard[3].current_step, "Step 2");
    EXPECT_EQ(heard[3].state, WorkerState::RUNNING);
    EXPECT_EQ(heard[4].state, WorkerState::COMPLETED);
    EXPECT_EQ(status->model_used, "small");
    EXPECT_EQ(status->steps_completed, 2);
    EXPECT_EQ(status->progress_pct, 100.0);
    EXPECT_EQ(status->current_step, "Done");
}

TEST_F(CrewhallPool, AnotherRecordPassedBackReplacesTheActiveOne) {
    auto replacement = std::make_shared<WorkerStatus>();
    WorkerExecutor swapper = [replacement](const WorkerTask& task, UpdateStatus update,
                                           double) -> asio::awaitable<std::string> {
        replacement->task_id = task.id;
        replacement->state = WorkerState::RUNNING;
        replacement->current_step = "my own record";
        co_await update(replacement);
        co_await sleep_for(0.08);
        co_return "swapped";
    };
    auto& pool = make_pool({.executor = swapper, .on_status_change = recorder()});
    auto original = run(pool.submit(named("s")));
    settle(0.01);
    EXPECT_EQ(pool.get_status(original->task_id), replacement);
    EXPECT_EQ(pool.list_active()[0].at("current_step").as_string(), "my own record");
    drain();

    // The final steps land on the submitted record; the history keeps what
    // the active table held.
    EXPECT_EQ(original->state, WorkerState::COMPLETED);
    EXPECT_EQ(original->result, "swapped");
    EXPECT_EQ(original->current_step, "Done");
    EXPECT_EQ(heard.back().state, WorkerState::COMPLETED);
    EXPECT_EQ(heard[2].current_step, "my own record");
    EXPECT_EQ(pool.get_status(original->task_id), replacement);
    EXPECT_EQ(replacement->state, WorkerState::RUNNING);
    EXPECT_TRUE(pool.list_active().empty());
    EXPECT_EQ(pool.list_completed().size(), 1u);
}

TEST_F(CrewhallPool, DeadlineIsHandedOverButNotEnforced) {
    double deadline = 0.0;
    WorkerExecutor late = [&deadline](const WorkerTask&, UpdateStatus, double d) -> asio::awaitable<std::string> {
        deadline = d;
        co_await sleep_for(0.06);  // well past its deadline
        co_return "late but done";
    };
    auto& pool = make_pool({.executor = late});
    auto status = run(pool.submit(named("slow", 0.02)));
    drain();
    EXPECT_EQ(status->state, WorkerState::COMPLETED);
    EXPECT_EQ(status->result, "late but done");
    EXPECT_NEAR(deadline - status->started_at, 0.02, 0.01);
    EXPECT_GT(status->completed_at, deadline);
}

TEST_F(CrewhallPool, AsynchronousCallbackIsAwaitedInLine) {
    std::vector<std::string> order;
    StatusCallback slow = [&order](const WorkerStatus& s) -> asio::awaitable<void> {
        order.push_back(std::string(to_string(s.state)) + " begins");
        co_await sleep_for(0.02);
        order.push_back(std::string(to_string(s.state)) + " ends");
    };
    auto& pool = make_pool({.executor = sleeper(0.0), .on_status_change = slow});
    run([&]() -> asio::awaitable<void> {
        co_await pool.submit(named("a"));
        order.push_back("submit returned");
    }());
    drain();
    EXPECT_THAT(order, ElementsAre("queued begins", "queued ends", "submit returned", "running begins",
                                   "running ends", "completed begins", "completed ends"));
}

TEST_F(CrewhallPool, SubmissionCallbackFailureReachesTheCaller) {
    StatusCallback picky = [](const WorkerStatus& s) {
        if (s.name == "bad") throw std::runtime_error("rejected " + s.name);
    };
    auto& pool = make_pool({.executor = sleeper(0.0), .on_status_change = picky});
    std::vector<WorkerTask> tasks{named("good"), named("bad"), named("never")};
    try {
        run(pool.submit_many(tasks));
        FAIL() << "submit_many hid the callback's failure";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "rejected bad");
    }
    drain();
    EXPECT_EQ(pool.get_status(tasks[0].id)->state, WorkerState::COMPLETED);
    // Counted and stored, but no job runs it; the one after it was never submitted.
    EXPECT_EQ(pool.get_status(tasks[1].id)->state, WorkerState::QUEUED);
    EXPECT_FALSE(pool.get_status(tasks[2].id));
    EXPECT_EQ(pool.stats().at("total_submitted").as_int64(), 2);
    EXPECT_FALSE(run(pool.cancel(tasks[1].id)));
}

TEST_F(CrewhallPool, FinalBroadcastFailureIsLoggedAndTheWorkerStillEnds) {
    norvex::logging::LogCapture logs("norvex.crewhall");
    StatusCallback fragile = [](const WorkerStatus& s) {
        if (is_terminal(s.state)) throw std::runtime_error("ui gone");
    };
    auto& pool = make_pool({.executor = sleeper(0.01), .on_status_change = fragile});
    auto status = run(pool.submit(named("x")));
    drain();
    EXPECT_EQ(status->state, WorkerState::COMPLETED);
    EXPECT_TRUE(pool.list_active().empty());
    EXPECT_EQ(pool.list_completed().size(), 1u);
    EXPECT_TRUE(logs.contains(spdlog::level::err, "Failed to broadcast final status for " + status->task_id + ": ui gone"));
    EXPECT_EQ(pool.stats().at("total_completed").as_int64(), 1);
}

TEST_F(CrewhallPool, RunningCallbackFailureFailsTheWorkerAndFreesItsSlot) {
    norvex::logging::LogCapture logs("norvex.crewhall");
    int executor_runs = 0;
    WorkerExecutor counted = [&executor_runs](const WorkerTask&, UpdateStatus,
                                              double) -> asio::awaitable<std::string> {
        ++executor_runs;
        co_await sleep_for(0.01);
        co_return "ran";
    };
    int running_calls = 0;
    std::vector<WorkerState> finals;
    StatusCallback refuses_running = [&](const WorkerStatus& s) {
        if (s.state == WorkerState::RUNNING && ++running_calls == 1) throw std::runtime_error("socket closed");
        if (is_terminal(s.state)) finals.push_back(s.state);
    };
    auto& pool = make_pool({.max_workers = 1, .executor = counted, .on_status_change = refuses_running});
    auto first = run(pool.submit(named("first")));
    auto second = run(pool.submit(named("second")));

    auto waited = run(pool.wait_for(first->task_id, 5.0));
    EXPECT_EQ(waited, first);
    EXPECT_EQ(first->state, WorkerState::FAILED);
    EXPECT_EQ(first->error, "socket closed");
    EXPECT_EQ(first->current_step, "Failed: socket closed");
    EXPECT_EQ(first->progress_pct, 100.0);
    EXPECT_GT(first->started_at, 0.0);
    EXPECT_GE(first->completed_at, first->started_at);
    EXPECT_DOUBLE_EQ(first->duration, first->completed_at - first->started_at);
    EXPECT_FALSE(first->result);
    EXPECT_TRUE(logs.contains(spdlog::level::err, "Worker " + first->task_id + " failed: socket closed"));

    // The slot went on to the next worker.
    drain();
    EXPECT_EQ(second->state, WorkerState::COMPLETED);
    EXPECT_EQ(executor_runs, 1);
    EXPECT_THAT(finals, ElementsAre(WorkerState::FAILED, WorkerState::COMPLETED));
    auto stats = pool.stats();
    EXPECT_EQ(stats.at("total_failed").as_int64(), 1);
    EXPECT_EQ(stats.at("total_completed").as_int64(), 1);
    EXPECT_EQ(stats.at("completed_history").as_int64(), 2);
    EXPECT_TRUE(pool.list_active().empty());
}

TEST_F(CrewhallPool, HistoryKeepsTheNewestHundredOnceOverTwoHundred) {
    auto& pool = make_pool({.max_workers = 20, .executor = sleeper(0.0)});
    std::vector<std::string> ids;
    for (int i = 0; i < 200; ++i) ids.push_back(run(pool.submit(WorkerTask{}))->task_id);
    drain();
    EXPECT_EQ(pool.stats().at("completed_history").as_int64(), 200);

    ids.push_back(run(pool.submit(WorkerTask{}))->task_id);
    drain();
    auto stats = pool.stats();
    EXPECT_EQ(stats.at("completed_history").as_int64(), 100);
    EXPECT_EQ(stats.at("total_completed").as_int64(), 201);
    auto kept = pool.list_completed(500);
    ASSERT_EQ(kept.size(), 100u);
    for (std::size_t i = 0; i < kept.size(); ++i) ASSERT_EQ(kept[i].at("task_id").as_string(), ids[101 + i]);
    EXPECT_FALSE(pool.get_status(ids[100]));
    EXPECT_TRUE(pool.get_status(ids[101]));
}

TEST_F(CrewhallPool, WorkersStartInSubmissionOrderAndTheRestKeepItAsOthersEnd) {
    // Short and long workers alternate, so they end out of order; what is
    // left active (and what joins later) keeps the order of submission.
    std::vector<std::string> started;
    auto& pool = make_pool({.max_workers = 4,
                            .executor = [&started](const WorkerTask& task, UpdateStatus,
                                                   double) -> asio::awaitable<std::string> {
                                started.push_back(task.name);
                                co_await sleep_for(task.name == "b" || task.name == "d" ? 0.02 : 0.3);
                                co_return task.name;
                            }});
    std::vector<WorkerTask> tasks{named("a"), named("b"), named("c"), named("d")};
    auto statuses = run(pool.submit_many(tasks));
    settle(0.1);
    EXPECT_THAT(started, ElementsAre("a", "b", "c", "d"));
    auto names = [&pool] {
        std::vector<std::string> out;
        for (const auto& d : pool.list_active()) out.emplace_back(d.at("name").as_string());
        return out;
    };
    EXPECT_THAT(names(), ElementsAre("a", "c"));

    auto e = run(pool.submit(named("e")));
    EXPECT_THAT(names(), ElementsAre("a", "c", "e"));
    EXPECT_TRUE(run(pool.cancel(statuses[2]->task_id)));
    EXPECT_THAT(names(), ElementsAre("a", "e"));
    EXPECT_EQ(pool.get_status(statuses[2]->task_id)->state, WorkerState::CANCELLED);

    drain();
    EXPECT_TRUE(names().empty());
    EXPECT_EQ(pool.stats().at("total_completed").as_int64(), 4);
    EXPECT_EQ(pool.list_completed().size(), 5u);
}

TEST_F(CrewhallPool, ASecondSubmissionUnderOneIdTakesOverItsPlaceAndRecord) {
    // Ids are the caller's to choose. A second task under a known id becomes
    // the id's active record, in the id's place; both jobs then work on that
    // record, the first record is left as submitted, and the first job to
    // end moves the id to the history, once.
    std::vector<std::string> started;
    auto& pool = make_pool({.executor = [&started](const WorkerTask& task, UpdateStatus,
                                                   double) -> asio::awaitable<std::string> {
        started.push_back(task.name);
        co_await sleep_for(task.name == "first" ? 0.02 : 0.1);
        co_return task.name;
    }});
    auto active_names = [&pool] {
        std::vector<std::string> out;
        for (const auto& d : pool.list_active()) out.emplace_back(d.at("name").as_string());
        return out;
    };
    WorkerTask second = named("second");
    second.id = "shared-id";
    WorkerTask first = named("first");
    first.id = second.id;
    auto [first_status, other_status, second_status] = run([&]() -> asio::awaitable<
                                                               std::tuple<std::shared_ptr<WorkerStatus>,
                                                                          std::shared_ptr<WorkerStatus>,
                                                                          std::shared_ptr<WorkerStatus>>> {
        auto a = co_await pool.submit(std::move(first));
        auto b = co_await pool.submit(named("other"));
        auto c = co_await pool.submit(std::move(second));
        co_return std::tuple{a, b, c};
    }());
    EXPECT_THAT(active_names(), ElementsAre("second", "other"));
    EXPECT_EQ(pool.get_status("shared-id"), second_status);

    settle(0.05);
    EXPECT_THAT(started, ElementsAre("first", "other", "second"));
    EXPECT_EQ(first_status->state, WorkerState::QUEUED);
    EXPECT_EQ(second_status->result, "first");  // the first job to end wrote its result there
    EXPECT_THAT(active_names(), ElementsAre("other"));
    EXPECT_FALSE(run(pool.cancel("shared-id")));  // the id's job entry went with the first ending

    drain();
    EXPECT_EQ(second_status->result, "second");
    EXPECT_EQ(pool.get_status("shared-id"), second_status);
    EXPECT_EQ(pool.list_completed().size(), 2u);
    EXPECT_EQ(pool.stats().at("total_completed").as_int64(), 3);
    EXPECT_EQ(first_status->state, WorkerState::QUEUED);
}

TEST_F(CrewhallPool, WorkersEndingInAnyOrderLeaveTheRestListedAndStartedInSubmissionOrder) {
    // Workers end one at a time, picked at random among those running, so
    // records leave the active list from its head, its tail and between.
    // What is left must read as the submissions minus the ended ones, the
    // first five of them running, and the history must hold the endings in
    // their order.
    Gates gates;
    auto& pool = make_pool({.max_workers = 5, .executor = gates.executor()});
    std::vector<WorkerTask> tasks;
    std::vector<std::string> left;
    for (int i = 0; i < 24; ++i) {
        tasks.push_back(named("w" + std::to_string(i)));
        left.push_back(tasks.back().name);
    }
    run(pool.submit_many(tasks));
    turn();

    std::mt19937 pick(20261210);
    std::vector<std::string> ended;
    while (!left.empty()) {
        const std::size_t running = std::min<std::size_t>(5, left.size());
        ASSERT_EQ(names_of(pool.list_running()), std::vector<std::string>(left.begin(), left.begin() + running));
        EXPECT_EQ(pool.stats().at("queued_count").as_int64(), static_cast<std::int64_t>(left.size() - running));

        const std::string name = left[pick() % running];
        gates.open(name);
        turn();
        ended.push_back(name);
        left.erase(std::find(left.begin(), left.end(), name));
        ASSERT_EQ(names_of(pool.list_active()), left);
    }
    EXPECT_EQ(names_of(pool.list_completed(100)), ended);
    EXPECT_EQ(pool.stats().at("total_completed").as_int64(), 24);
}

TEST_F(CrewhallPool, AnIdSubmittedAgainAfterItEndedComesLastAndIsCancelledLast) {
    Gates gates;
    auto& pool = make_pool({.executor = gates.executor()});
    WorkerTask first = named("first");
    auto first_status = run(pool.submit(first));
    auto other = run(pool.submit(named("other")));
    turn();
    gates.open("first");
    turn();
    ASSERT_EQ(first_status->state, WorkerState::COMPLETED);

    WorkerTask again = named("again");
    again.id = first.id;
    auto again_status = run(pool.submit(again));
    turn();
    EXPECT_THAT(names_of(pool.list_active()), ElementsAre("other", "again"));
    EXPECT_EQ(pool.get_status(first.id), again_status);  // the active record before the ended one

    // cancel_all() takes the jobs in the order their ids came (back).
    EXPECT_EQ(run(pool.cancel_all()), 2);
    EXPECT_THAT(names_of(pool.list_completed()), ElementsAre("first", "other", "again"));
    EXPECT_EQ(pool.get_status(first.id), first_status);  // both ended: the oldest wins
    turn();
}
