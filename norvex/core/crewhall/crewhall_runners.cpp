// The agent worker pool: starting submitted jobs, handing out slots and the runners that carry the jobs out.
#include "norvex/core/crewhall/crewhall.hpp"
#include "norvex/core/crewhall/crewhall_jobs.hpp"

#include "norvex/common/coro_support.hpp"
#include "norvex/common/logging.hpp"

#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/post.hpp>

#include <exception>

namespace asio = boost::asio;

namespace norvex::crewhall {
namespace {

spdlog::logger& log() {
    static const auto logger = logging::get("norvex.crewhall");
    return *logger;
}

}  // namespace

void Crewhall::_schedule_start(std::shared_ptr<Record> record) {
    _pending_starts.push_back(std::move(record));
    if (_start_posted) return;
    _start_posted = true;
    asio::post(executor_, [this] { _start_pending(); });
}

void Crewhall::_start_pending() {
    _start_posted = false;
    // Jobs queued by the jobs started here wait for the next turn of the
    // loop, as a freshly submitted job always does.
    _batch_left = _pending_starts.size();
    _in_batch = true;
    while (std::shared_ptr<Record> record = _next_start()) _run_on_runner(std::move(record));
    _in_batch = false;
    _batch_runner = nullptr;
    if (_busy == 0 && _pending_starts.empty()) _retire_idle();
}

std::shared_ptr<Crewhall::Record> Crewhall::_next_start() {
    while (_batch_left > 0 && !_pending_starts.empty()) {
        --_batch_left;
        std::shared_ptr<Record> record = std::move(_pending_starts.front());
        _pending_starts.pop_front();
        if (record->cancelled) continue;  // cancelled before it began: it ends without touching the record
        Tasks::Entry* entry = _tasks.find(record->task.id, record->entry);
        if (entry == nullptr || !entry->active) continue;  // removed (cleanup) before the job first ran
        record->entry = entry;
        if (entry->active.get() != &record->status) record->foreign = entry->active;

        // The slots of this moment: a later change of max_workers does not
        // take the slot away from under this worker.
        // A free slot means nobody waits (a freed slot goes to a waiter first).
        if (_slots->free > 0) {
            --_slots->free;
            record->slots = _slots;
            return record;
        }
        _slots->add_waiter(std::move(record));
    }
    _batch_left = 0;
    return nullptr;
}

void Crewhall::_run_on_runner(std::shared_ptr<Record> record) {
    ++_busy;
    if (!_idle.empty()) {
        std::shared_ptr<Runner> runner = std::move(_idle.back());
        _idle.pop_back();
        record->runner = runner.get();
        runner->job = std::move(record);
        _batch_runner = runner.get();
        Runner::Wake wake = std::move(*runner->wake);
        runner->wake.reset();
        wake();
        return;
    }
    auto runner = std::make_shared<Runner>();
    record->runner = runner.get();
    runner->job = std::move(record);
    _batch_runner = runner.get();
    // co_spawn runs the runner inline up to its first wait. The handler
    // holds the runner, whose signal the coroutine's cancellation hangs on.
    auto slot = runner->signal.slot();
    asio::co_spawn(executor_, _runner_loop(runner),
                   asio::bind_cancellation_slot(slot, [runner](std::exception_ptr error) {
                       // Jobs' own failures are caught inside; this is the runner's.
                       if (error) log().error("A worker runner ended with an error: {}", exception_text(error).value_or("unknown"));
                   }));
}

std::shared_ptr<Crewhall::Record> Crewhall::_release_slot(const std::shared_ptr<SlotGroup>& slots) {
    while (!slots->waiting.empty()) {
        std::shared_ptr<Record> next = std::move(slots->waiting.front());
        slots->waiting.pop_front();
        next->queued_in = nullptr;
        if (next->cancelled) continue;
        slots->forget_waiter();
        next->slots = slots;
        return next;
    }
    ++slots->free;
    return nullptr;
}

void Crewhall::_retire_idle() {
    for (auto& runner : _idle) {
        runner->retire = true;
        asio::post(executor_, std::move(*runner->wake));
        runner->wake.reset();
    }
    _idle.clear();
}

}  // namespace norvex::crewhall
