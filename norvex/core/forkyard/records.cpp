// Dictionary forms of the forkyard records.
#include "norvex/core/forkyard/records.hpp"

namespace norvex::forkyard {

std::string_view to_string(WorkerStatus status) noexcept {
    switch (status) {
        case WorkerStatus::IDLE: return "idle";
        case WorkerStatus::RUNNING: return "running";
        case WorkerStatus::COMPLETED: return "completed";
        case WorkerStatus::FAILED: return "failed";
        case WorkerStatus::TIMEOUT: return "timeout";
        case WorkerStatus::CANCELLED: return "cancelled";
    }
    return "unknown";
}

boost::json::object SubprocessTask::to_dict() const {
    boost::json::object env_dict;
    for (const auto& [name, value] : env) env_dict[name] = value;
    boost::json::object d;
    d["id"] = id;
    d["worker_type"] = worker_type;
    d["command"] = command;
    d["priority"] = static_cast<int>(priority);
    d["timeout"] = timeout;
    d["working_dir"] = working_dir ? boost::json::value(*working_dir) : boost::json::value(nullptr);
    d["env"] = std::move(env_dict);
    d["created_at"] = created_at;
    return d;
}

boost::json::object SubprocessResult::to_dict() const {
    boost::json::object d;
    d["task_id"] = task_id;
    d["status"] = to_string(status);
    d["output"] = output;
    d["error"] = error ? boost::json::value(*error) : boost::json::value(nullptr);
    d["duration"] = duration;
    d["pid"] = pid ? boost::json::value(*pid) : boost::json::value(nullptr);
    return d;
}

}  // namespace norvex::forkyard
