// The agent worker pool: cancelling, looking up, listing, waiting, counting, cleaning up.
#include "norvex/core/crewhall/crewhall.hpp"
#include "norvex/core/crewhall/crewhall_jobs.hpp"

#include "norvex/common/async_timeout.hpp"
#include "norvex/common/clock.hpp"
#include "norvex/common/logging.hpp"

#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <algorithm>

namespace asio = boost::asio;

namespace norvex::crewhall {
namespace {

constexpr double FIRST_POLL = 0.5;
constexpr double POLL_GROWTH = 1.2;
constexpr double LONGEST_POLL = 2.0;

spdlog::logger& log() {
    static const auto logger = logging::get("norvex.crewhall");
    return *logger;
}

asio::awaitable<void> sleep_seconds(double seconds) {
    asio::steady_timer timer(co_await asio::this_coro::executor, seconds_to_duration(seconds));
    co_await timer.async_wait(asio::use_awaitable);
}

bool pending(const std::shared_ptr<WorkerStatus>& status) {
    return status && (status->state == WorkerState::QUEUED || status->state == WorkerState::RUNNING);
}

}  // namespace

asio::awaitable<bool> Crewhall::cancel(std::string task_id) {
    Tasks::Entry* entry = _tasks.find(task_id);
    if (entry == nullptr || !entry->job) co_return false;
    // A job not yet running never runs (a queued one is passed over when a
    // slot frees); a running one takes it when it next waits: the
    // executor sees its wait aborted.
    Record& record = *entry->job;
    if (!record.cancelled && record.queued_in != nullptr) record.queued_in->forget_waiter();
    record.cancelled = true;
    if (record.runner != nullptr) record.runner->signal.emit(asio::cancellation_type::terminal);

    if (entry->active) {
        std::shared_ptr<WorkerStatus> status = entry->active;
        status->state = WorkerState::CANCELLED;
        status->completed_at = wall_seconds();
        // The worker's own final handling may run during this wait; the
        // move below then finds the record gone and only drops the handle.
        if (auto pending = _notify(*status)) co_await std::move(*pending);
        _move_to_completed(task_id, entry);
    }
    log().info("Worker cancelled: {}", task_id);
    co_return true;
}

asio::awaitable<int> Crewhall::cancel_all() {
    std::vector<std::string> ids;
    ids.reserve(_tasks.job_count());
    for (const auto& entry : _tasks.jobs()) ids.push_back(entry.key());
    int count = 0;
    for (auto& id : ids)
        if (co_await cancel(std::move(id))) ++count;
    co_return count;
}

std::shared_ptr<WorkerStatus> Crewhall::get_status(const std::string& task_id) const {
    if (const Tasks::Entry* entry = _tasks.find(task_id); entry != nullptr && entry->active) return entry->active;
    auto it = std::find_if(_completed.begin(), _completed.end(),
                           [&](const std::shared_ptr<WorkerStatus>& s) { return s->task_id == task_id; });
    return it == _completed.end() ? nullptr : *it;
}

std::vector<boost::json::object> Crewhall::_list_where(bool (*keep)(const WorkerStatus&)) const {
    std::vector<boost::json::object> out;
    for (const auto& entry : _tasks.actives())
        if (keep(*entry.active)) out.push_back(entry.active->to_dict());
    return out;
}

std::vector<boost::json::object> Crewhall::list_active() const {
    return _list_where([](const WorkerStatus&) { return true; });
}

std::vector<boost::json::object> Crewhall::list_running() const {
    return _list_where([](const WorkerStatus& s) { return s.state == WorkerState::RUNNING; });
}

std::vector<boost::json::object> Crewhall::list_queued() const {
    return _list_where([](const WorkerStatus& s) { return s.state == WorkerState::QUEUED; });
}

std::vector<boost::json::object> Crewhall::list_completed(int limit) const {
    std::vector<boost::json::object> out;
    if (limit <= 0) return out;
    const std::size_t keep = std::min(static_cast<std::size_t>(limit), _completed.size());
    out.reserve(keep);
    for (auto it = _completed.end() - static_cast<std::ptrdiff_t>(keep); it != _completed.end(); ++it)
        out.push_back((*it)->to_dict());
    return out;
}

std::vector<boost::json::object> Crewhall::list_all() const {
    auto out = list_active();
    auto ended = list_completed(20);
    out.insert(out.end(), std::make_move_iterator(ended.begin()), std::make_move_iterator(ended.end()));
    return out;
}

boost::json::object Crewhall::stats() const {
    std::int64_t running = 0;
    std::int64_t queued = 0;
    for (const auto& entry : _tasks.actives()) {
        if (entry.active->state == WorkerState::RUNNING) ++running;
        else if (entry.active->state == WorkerState::QUEUED) ++queued;
    }
    boost::json::object d;
    d["max_workers"] = _max_workers;
    d["active_count"] = running;
    d["queued_count"] = queued;
    d["total_submitted"] = _total_submitted;
    d["total_completed"] = _total_completed;
    d["total_failed"] = _total_failed;
    d["completed_history"] = static_cast<std::int64_t>(_completed.size());
    return d;
}

asio::awaitable<std::shared_ptr<WorkerStatus>> Crewhall::wait_for(std::string task_id, double timeout) {
    const double deadline = monotonic_seconds() + timeout;
    double poll = FIRST_POLL;
    while (monotonic_seconds() < deadline) {
        auto status = get_status(task_id);
        if (!status) co_return nullptr;
        if (is_terminal(status->state)) co_return status;
        co_await sleep_seconds(poll);
        poll = std::min(poll * POLL_GROWTH, LONGEST_POLL);
    }
    co_return get_status(task_id);
}

asio::awaitable<std::vector<std::shared_ptr<WorkerStatus>>> Crewhall::wait_all(std::vector<std::string> task_ids,
                                                                              double timeout) {
    if (task_ids.empty())
        for (const auto& entry : _tasks.jobs()) task_ids.push_back(entry.key());

    const double deadline = monotonic_seconds() + timeout;
    double poll = FIRST_POLL;
    while (monotonic_seconds() < deadline) {
        const bool any_pending = std::any_of(task_ids.begin(), task_ids.end(),
                                             [&](const std::string& id) { return pending(get_status(id)); });
        if (!any_pending) break;
        co_await sleep_seconds(poll);
        poll = std::min(poll * POLL_GROWTH, LONGEST_POLL);
    }

    std::vector<std::shared_ptr<WorkerStatus>> out;
    for (const auto& id : task_ids)
        if (auto status = get_status(id)) out.push_back(std::move(status));
    co_return out;
}

asio::awaitable<void> Crewhall::cleanup() {
    co_await cancel_all();
    _tasks.clear();
    log().info("Crewhall cleaned up");
}

}  // namespace norvex::crewhall
