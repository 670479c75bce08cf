// The agent worker pool: cancelling, looking up, listing, waiting, counting, cleaning up.
#include "norvex/core/crewhall/crewhall.hpp"

#include "norvex/common/clock.hpp"
#include "norvex/common/logging.hpp"

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

bool pending(const std::shared_ptr<WorkerStatus>& status) {
    return status && (status->state == WorkerState::QUEUED || status->state == WorkerState::RUNNING);
}

}  // namespace

asio::awaitable<bool> Crewhall::cancel(std::string task_id) {
    const std::shared_ptr<Job>* found = _tasks.find(task_id);
    if (found == nullptr) co_return false;
    // A job that has not begun never runs; one waiting for a slot or running
    // sees its wait aborted (the executor's, for a running one).
    const std::shared_ptr<Job> job = *found;
    job->cancelled = true;
    job->signal.emit(asio::cancellation_type::terminal);

    if (const std::shared_ptr<WorkerStatus>* active = _active.find(task_id)) {
        const std::shared_ptr<WorkerStatus> status = *active;
        status->state = WorkerState::CANCELLED;
        status->completed_at = wall_seconds();
        // The worker's own final handling may run during this wait; the
        // move below then finds the record gone and only drops the job.
        if (auto pending = _notify(*status)) co_await std::move(*pending);
        _move_to_completed(task_id);
    }
    log().info("Worker cancelled: {}", task_id);
    co_return true;
}

asio::awaitable<int> Crewhall::cancel_all() {
    std::vector<std::string> ids;
    ids.reserve(_tasks.size());
    for (const auto& [id, job] : _tasks) ids.push_back(id);
    int count = 0;
    for (auto& id : ids)
        if (co_await cancel(std::move(id))) ++count;
    co_return count;
}

std::shared_ptr<WorkerStatus> Crewhall::get_status(const std::string& task_id) const {
    if (const std::shared_ptr<WorkerStatus>* active = _active.find(task_id)) return *active;
    auto it = std::find_if(_completed.begin(), _completed.end(),
                           [&](const std::shared_ptr<WorkerStatus>& s) { return s->task_id == task_id; });
    return it == _completed.end() ? nullptr : *it;
}

std::vector<boost::json::object> Crewhall::_list_where(bool (*keep)(const WorkerStatus&)) const {
    std::vector<boost::json::object> out;
    for (const auto& [id, status] : _active)
        if (keep(*status)) out.push_back(status->to_dict());
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
    for (const auto& [id, status] : _active) {
        if (status->state == WorkerState::RUNNING) ++running;
        else if (status->state == WorkerState::QUEUED) ++queued;
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
    const double deadline = _clock.now() + timeout;
    double poll = FIRST_POLL;
    while (_clock.now() < deadline) {
        auto status = get_status(task_id);
        if (!status) co_return nullptr;
        if (is_terminal(status->state)) co_return status;
        co_await _clock.sleep(poll);
        poll = std::min(poll * POLL_GROWTH, LONGEST_POLL);
    }
    co_return get_status(task_id);
}

asio::awaitable<std::vector<std::shared_ptr<WorkerStatus>>> Crewhall::wait_all(std::vector<std::string> task_ids,
                                                                              double timeout) {
    if (task_ids.empty())
        for (const auto& [id, job] : _tasks) task_ids.push_back(id);

    const double deadline = _clock.now() + timeout;
    double poll = FIRST_POLL;
    while (_clock.now() < deadline) {
        const bool any_pending = std::any_of(task_ids.begin(), task_ids.end(),
                                             [&](const std::string& id) { return pending(get_status(id)); });
        if (!any_pending) break;
        co_await _clock.sleep(poll);
        poll = std::min(poll * POLL_GROWTH, LONGEST_POLL);
    }

    std::vector<std::shared_ptr<WorkerStatus>> out;
    for (const auto& id : task_ids)
        if (auto status = get_status(id)) out.push_back(std::move(status));
    co_return out;
}

asio::awaitable<void> Crewhall::cleanup() {
    co_await cancel_all();
    _active.clear();
    _tasks.clear();
    log().info("Crewhall cleaned up");
}

}  // namespace norvex::crewhall
