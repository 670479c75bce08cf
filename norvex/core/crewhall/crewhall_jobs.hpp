// The agent worker pool's own bookkeeping of jobs, slot groups and runners (not part of its interface).
#pragma once

#include "norvex/core/crewhall/crewhall.hpp"

#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>

namespace norvex::crewhall {

// A submission: the task, the status record submit() hands out and the
// state of its job, allocated together. The table of all tasks and the
// status handles alias into it, so it lives as long as any of them.
struct Crewhall::Record {
    explicit Record(WorkerTask&& t) : task(std::move(t)) {}

    WorkerTask task;
    WorkerStatus status;

    // The status the job works on: the active record found when the job
    // started, normally `status` itself (kept apart so the block does not
    // own itself), else another record under the same id.
    std::shared_ptr<WorkerStatus> foreign;
    // The group whose slot the job holds; dropped when it ends.
    std::shared_ptr<SlotGroup> slots;
    // The group whose queue it waits in. Not an owner: the queue owns the
    // record, and a group nobody holds can never free a slot anyway.
    SlotGroup* queued_in = nullptr;
    Runner* runner = nullptr;  // while the job runs on one
    // Where the id's entry in the pool's table was last seen: looking it up
    // through this hint costs no probe of the table's index.
    Tasks::Entry* entry = nullptr;
    bool cancelled = false;  // set by cancel(); a job not yet running then never runs
};

// max_workers slots, first come first served. A slot passes from the job
// that ends straight to the longest waiter, so a newcomer cannot overtake
// it; cancelled waiters stay queued and are passed over then.
struct Crewhall::SlotGroup {
    SlotGroup(boost::asio::any_io_executor executor, std::size_t slots) : executor(std::move(executor)), free(slots) {}
    SlotGroup(const SlotGroup&) = delete;
    SlotGroup& operator=(const SlotGroup&) = delete;
    ~SlotGroup() {
        for (auto& record : waiting) record->queued_in = nullptr;
    }

    boost::asio::any_io_executor executor;
    std::size_t free;
    std::deque<std::shared_ptr<Record>> waiting;
    std::size_t wanted = 0;  // waiters not cancelled
    // Waiters keep the io_context running, as a job parked on a timer would,
    // even when no running job is left to free a slot for them.
    std::optional<boost::asio::executor_work_guard<boost::asio::any_io_executor>> hold;

    void add_waiter(std::shared_ptr<Record> record) {
        record->queued_in = this;
        waiting.push_back(std::move(record));
        if (wanted++ == 0) hold.emplace(executor);
    }
    void forget_waiter() {
        if (--wanted == 0) hold.reset();
    }
};

// One coroutine (one co_spawn) that runs jobs in turn: a job that gets a
// slot is handed to an idle runner, which resumes at once, instead of
// costing a spawned coroutine of its own. Cancelling the job cancels the
// runner's signal; the runner resets its cancellation state between jobs.
struct Crewhall::Runner {
    // How an idle runner's suspended coroutine is resumed: calling it runs
    // the runner inline up to its next wait.
    using Wake = boost::asio::detail::awaitable_handler<boost::asio::any_io_executor>;

    boost::asio::cancellation_signal signal;
    std::shared_ptr<Record> job;  // the job it runs or is about to run
    std::optional<Wake> wake;     // set while idle
    bool retire = false;          // set with the last wake: the coroutine ends
};

}  // namespace norvex::crewhall
