// The self-improvement log: kept in memory, mirrored whole to its file, and counted.
#include "norvex/skills/creator/skill_creator.hpp"

#include "norvex/common/atomic_file.hpp"
#include "norvex/common/pyjson.hpp"
#include "norvex/skills/creator/creator_internal.hpp"
#include "norvex/skills/creator/py_str.hpp"
#include "norvex/skills/creator/skill_files.hpp"

#include <boost/json/array.hpp>

#include <algorithm>
#include <stdexcept>

namespace norvex::skills::creator {

namespace json = boost::json;

void SkillCreator::_log_improvement(ImprovementEntry entry) {
    _improvement_log.push_back(std::move(entry));
    _save_improvement_log();
}

void SkillCreator::log_learning(std::string skill_name, std::string reason, json::object details) {
    _log_improvement({
        .timestamp = now_text(),
        .action = "learned",
        .skill_name = std::move(skill_name),
        .reason = std::move(reason),
        .details = std::move(details),
        .success = true,
    });
}

std::vector<json::object> SkillCreator::get_improvement_log(std::int64_t limit) const {
    // log[-limit:]: 0 keeps everything, a negative limit drops that many from the front.
    const auto size = static_cast<std::int64_t>(_improvement_log.size());
    std::int64_t first = 0;
    if (limit > 0) first = std::max<std::int64_t>(0, size - limit);
    else if (limit < 0) first = std::min(size, -limit);
    std::vector<json::object> entries;
    entries.reserve(static_cast<std::size_t>(size - first));
    for (auto i = static_cast<std::size_t>(first); i < _improvement_log.size(); ++i) {
        entries.push_back(_improvement_log[i].to_dict());
    }
    return entries;
}

void SkillCreator::_load_improvement_log() {
    std::error_code ec;
    if (!std::filesystem::exists(improvement_log_path_, ec)) return;
    try {
        const json::value stored = pyjson::parse(read_whole_file(improvement_log_path_));
        const json::array* items = stored.if_array();
        if (!items) {
            throw std::invalid_argument("the log holds a " + std::string(py_type_name(stored)) +
                                        ", not a JSON list of entries");
        }
        std::vector<ImprovementEntry> entries;
        entries.reserve(items->size());
        for (const json::value& item : *items) entries.push_back(ImprovementEntry::from_dict(item));
        _improvement_log = std::move(entries);
    } catch (const std::exception& e) {
        // All or nothing: a log with one bad entry is not trusted at all.
        detail::log()->warn("Failed to load improvement log: {}", e.what());
        _improvement_log.clear();
    }
}

void SkillCreator::_save_improvement_log() const {
    try {
        make_dirs(improvement_log_path_.parent_path());
        json::array entries;
        entries.reserve(_improvement_log.size());
        for (const ImprovementEntry& entry : _improvement_log) entries.push_back(entry.to_dict());
        detail::write_store_file(improvement_log_path_, pyjson::dumps(entries, pyjson::Layout::indent2),
                                 [](std::string_view target) { return target == "improvement_log.json"; });
    } catch (const std::exception& e) {
        detail::log()->warn("Failed to save improvement log: {}", e.what());
    }
}

json::object SkillCreator::get_improvement_stats() const {
    auto count = [&](std::string_view action) {
        return static_cast<std::int64_t>(std::count_if(_improvement_log.begin(), _improvement_log.end(),
                             [&](const ImprovementEntry& entry) { return entry.action == action; }));
    };
    const std::vector<json::object> skills = list_saved_skills();
    json::array categories;
    for (const json::object& skill : skills) {
        const json::value& category = skill.at("category");
        if (std::find(categories.begin(), categories.end(), category) == categories.end()) {
            categories.push_back(category);
        }
    }
    json::object stats;
    stats["total_improvements"] = static_cast<std::int64_t>(_improvement_log.size());
    stats["skills_created"] = count("created");
    stats["skills_updated"] = count("updated");
    stats["skills_deleted"] = count("deleted");
    stats["learnings_recorded"] = count("learned");
    stats["active_custom_skills"] = static_cast<std::int64_t>(skills.size());
    stats["categories_covered"] = std::move(categories);
    return stats;
}

}  // namespace norvex::skills::creator
