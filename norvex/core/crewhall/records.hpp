// Value types of the agent worker pool: tasks, live statuses and worker states.
#pragma once

#include "norvex/common/clock.hpp"
#include "norvex/common/ids.hpp"

#include <boost/json/object.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norvex::crewhall {

// Where a worker is in its life; each state serialises as its text value.
enum class WorkerState { QUEUED, RUNNING, COMPLETED, FAILED, CANCELLED, TIMEOUT };

// "queued", "running", "completed", "failed", "cancelled", "timeout".
std::string_view to_string(WorkerState state) noexcept;

// COMPLETED, FAILED, CANCELLED and TIMEOUT: the worker has ended.
bool is_terminal(WorkerState state) noexcept;

// A state compares equal to its text, so `status.state == "running"` reads as it does in JSON.
inline bool operator==(WorkerState state, std::string_view text) noexcept { return to_string(state) == text; }

// A task to be executed by an agent worker.
struct WorkerTask {
    std::string id = new_task_id();
    std::string name{};
    std::string prompt{};
    std::optional<std::string> model_key{};
    std::optional<std::string> complexity{};
    double timeout = 600.0;  // seconds; the pool hands the executor a deadline this far ahead
    std::optional<std::vector<std::string>> tools{};
    std::optional<std::string> parent_task_id{};
    boost::json::object metadata{};  // free-form data for the executor
    double created_at = wall_seconds();

    // Keys in this order: id, name, prompt (200 code points, then "..." when
    // longer), model_key, complexity, timeout, tools, parent_task_id,
    // metadata, created_at; absent values are null.
    boost::json::object to_dict() const;
};

// Real-time status of a worker. The pool shares these records with its
// callers (std::shared_ptr) and keeps updating them in place.
struct WorkerStatus {
    std::string task_id{};
    WorkerState state = WorkerState::QUEUED;
    std::string name{};
    std::string model_used{};
    std::string current_step{};
    std::int64_t steps_completed = 0;
    double progress_pct = 0.0;              // 0 to 100
    std::optional<std::string> result{};    // what the executor returned
    std::optional<std::string> error{};
    double started_at = 0.0;                // wall-clock seconds; 0.0 while queued
    double completed_at = 0.0;              // 0.0 until the worker ends
    double duration = 0.0;                  // completed_at - started_at, set at the end

    // Keys in this order: task_id, state (its text), name, model_used,
    // current_step, steps_completed, progress_pct (1 decimal), result (500
    // code points at most, no marker), error, started_at, completed_at,
    // duration (2 decimals); absent values are null.
    boost::json::object to_dict() const;
};

}  // namespace norvex::crewhall
