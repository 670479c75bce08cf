// Value types of the worker-subprocess manager: tasks, results, states, priorities.
#pragma once

#include "norvex/common/clock.hpp"
#include "norvex/common/ids.hpp"

#include <boost/json/object.hpp>
#include <boost/json/value.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace norvex::forkyard {

// States of a worker process; each serialises as its text value.
enum class WorkerStatus { IDLE, RUNNING, COMPLETED, FAILED, TIMEOUT, CANCELLED };

// "idle", "running", "completed", "failed", "timeout", "cancelled".
std::string_view to_string(WorkerStatus status) noexcept;

// Carried in a task and reported; nothing orders or schedules by it.
enum class TaskPriority : int { LOW = 0, NORMAL = 1, HIGH = 2, CRITICAL = 3 };

// Environment variables laid over the parent's, in the caller's order; a name
// given twice counts once, with its last value.
using EnvVars = std::vector<std::pair<std::string, std::string>>;

// A task to be executed by a worker subprocess.
struct SubprocessTask {
    std::string id = new_task_id();
    std::string worker_type = "shell";
    boost::json::object command{};  // the one JSON object sent to the worker
    TaskPriority priority = TaskPriority::NORMAL;
    double timeout = 60.0;  // seconds to wait for the answer; 0 means the manager's default
    std::optional<std::string> working_dir{};
    EnvVars env{};
    double created_at = wall_seconds();

    // Keys in this order: id, worker_type, command, priority (its integer),
    // timeout, working_dir (null when unset), env, created_at.
    boost::json::object to_dict() const;
};

// Result from a worker subprocess.
struct SubprocessResult {
    std::string task_id;
    WorkerStatus status = WorkerStatus::FAILED;
    boost::json::value output{};          // the answer's "result"; null when absent
    std::optional<std::string> error{};   // why the task failed, or the answer's "error"
    double duration = 0.0;                // seconds from the start of spawn to the outcome
    std::optional<int> pid{};             // none when no process was started

    // Keys in this order: task_id, status (its text), output, error, duration, pid.
    boost::json::object to_dict() const;
};

}  // namespace norvex::forkyard
