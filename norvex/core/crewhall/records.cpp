// Dictionary forms of the agent worker pool's records.
#include "norvex/core/crewhall/records.hpp"

#include "norvex/common/py_round.hpp"
#include "norvex/common/pystr.hpp"

#include <boost/json/array.hpp>
#include <boost/json/value.hpp>

namespace norvex::crewhall {
namespace {

constexpr std::size_t PROMPT_PREVIEW = 200;
constexpr std::size_t RESULT_PREVIEW = 500;

boost::json::value or_null(const std::optional<std::string>& text) {
    return text ? boost::json::value(*text) : boost::json::value(nullptr);
}

}  // namespace

std::string_view to_string(WorkerState state) noexcept {
    switch (state) {
        case WorkerState::QUEUED: return "queued";
        case WorkerState::RUNNING: return "running";
        case WorkerState::COMPLETED: return "completed";
        case WorkerState::FAILED: return "failed";
        case WorkerState::CANCELLED: return "cancelled";
        case WorkerState::TIMEOUT: return "timeout";
    }
    return "unknown";
}

bool is_terminal(WorkerState state) noexcept {
    return state == WorkerState::COMPLETED || state == WorkerState::FAILED || state == WorkerState::CANCELLED ||
           state == WorkerState::TIMEOUT;
}

boost::json::object WorkerTask::to_dict() const {
    std::string shown_prompt(pystr::cut(prompt, PROMPT_PREVIEW));
    // The marker only when something was cut: comparing byte sizes of the
    // cut and the whole avoids counting the code points twice.
    if (shown_prompt.size() < prompt.size()) shown_prompt += "...";

    boost::json::value tool_list = nullptr;
    if (tools) {
        boost::json::array names;
        for (const auto& t : *tools) names.emplace_back(t);
        tool_list = std::move(names);
    }

    boost::json::object d;
    d["id"] = id;
    d["name"] = name;
    d["prompt"] = std::move(shown_prompt);
    d["model_key"] = or_null(model_key);
    d["complexity"] = or_null(complexity);
    d["timeout"] = timeout;
    d["tools"] = std::move(tool_list);
    d["parent_task_id"] = or_null(parent_task_id);
    d["metadata"] = metadata;
    d["created_at"] = created_at;
    return d;
}

boost::json::object WorkerStatus::to_dict() const {
    boost::json::object d;
    d["task_id"] = task_id;
    d["state"] = to_string(state);
    d["name"] = name;
    d["model_used"] = model_used;
    d["current_step"] = current_step;
    d["steps_completed"] = steps_completed;
    d["progress_pct"] = py_round(progress_pct, 1);
    d["result"] = result ? boost::json::value(std::string(pystr::cut(*result, RESULT_PREVIEW)))
                         : boost::json::value(nullptr);
    d["error"] = or_null(error);
    d["started_at"] = started_at;
    d["completed_at"] = completed_at;
    d["duration"] = py_round(duration, 2);
    return d;
}

}  // namespace norvex::crewhall
