// The self-improvement log: kept in memory, mirrored whole to its file, and counted.
#include "norvex/skills/creator/skill_creator.hpp"

#include "norvex/common/atomic_file.hpp"
#include "norvex/common/pyjson.hpp"
#include "norvex/skills/creator/creator_internal.hpp"
#include "norvex/skills/creator/skill_files.hpp"

#include <boost/json/array.hpp>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>

namespace norvex::skills::creator {

namespace json = boost::json;

void SkillCreator::_log_improvement(ImprovementEntry entry) {
    // Other processes add to the same file: under the folder's lock, the
    // entries they saved since this creator last looked are read back first,
    // so rewriting the whole log keeps theirs as well as this one.
    std::optional<FileLock> lock;
    try {
        make_dirs(improvement_log_path_.parent_path());
        lock.emplace(log_lock_path());
    } catch (const std::exception&) {
        // No lock where none can be made: the save below fails for the same
        // reason and says so, or the file system has no locks to take.
    }
    const bool may_save = _refresh_improvement_log();
    _improvement_log.push_back(std::move(entry));
    if (may_save) _save_improvement_log();
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

namespace {

// The stored log as read from its file.
struct StoredLog {
    enum class Outcome {
        missing,
        loaded,            // entries holds the log
        unusable_content,  // read, but not a log: bytes holds what was read
        unreadable,        // the file could not be read at all
    };
    Outcome outcome = Outcome::missing;
    std::vector<ImprovementEntry> entries{};
    std::string bytes{};
    std::string problem{};  // why it is not loaded, for the warning
    struct stat st {};      // of what stands at the path, when anything does
};

StoredLog read_stored_log(const std::filesystem::path& path) {
    StoredLog stored;
    if (::lstat(path.c_str(), &stored.st) != 0) {
        if (errno == ENOENT) return stored;
        stored.st = {};
    }
    try {
        stored.bytes = read_whole_file(path);
    } catch (const std::exception& e) {
        const auto* os = dynamic_cast<const OsError*>(&e);
        if (os && os->error_number() == ENOENT) return stored;  // removed since the look above
        stored.outcome = StoredLog::Outcome::unreadable;
        stored.problem = e.what();
        return stored;
    }
    try {
        const json::value value = pyjson::parse(stored.bytes);
        const json::array* items = value.if_array();
        if (!items) {
            throw std::invalid_argument("the log holds a " + std::string(pyjson::type_name(value)) +
                                        ", not a JSON list of entries");
        }
        stored.entries.reserve(items->size());
        for (const json::value& item : *items) stored.entries.push_back(ImprovementEntry::from_dict(item));
        stored.outcome = StoredLog::Outcome::loaded;
    } catch (const std::exception& e) {
        // All or nothing: a log with one bad entry is not trusted at all.
        stored.outcome = StoredLog::Outcome::unusable_content;
        stored.problem = e.what();
        stored.entries.clear();
    }
    return stored;
}

// Tells one state of a file from another: a file replaced or rewritten since differs.
std::string stamp_of(const struct stat& st) {
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
           std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
}

}  // namespace

std::filesystem::path SkillCreator::log_lock_path() const {
    std::filesystem::path lock = improvement_log_path_;
    lock += ".lock";
    return lock;
}

void SkillCreator::_load_improvement_log() {
    StoredLog stored = read_stored_log(improvement_log_path_);
    switch (stored.outcome) {
        case StoredLog::Outcome::missing: return;
        case StoredLog::Outcome::loaded: _improvement_log = std::move(stored.entries); return;
        case StoredLog::Outcome::unusable_content:
        case StoredLog::Outcome::unreadable:
            // Only read here: the file is kept aside by the first save that would replace it.
            detail::log()->warn("Failed to load improvement log: {}", stored.problem);
            reported_load_problem_ = stored.problem;
            _improvement_log.clear();
            return;
    }
}

bool SkillCreator::_refresh_improvement_log() {
    StoredLog stored = read_stored_log(improvement_log_path_);
    if (stored.outcome == StoredLog::Outcome::missing) return true;
    if (stored.outcome == StoredLog::Outcome::loaded) {
        _improvement_log = std::move(stored.entries);
        reported_load_problem_.clear();
        return true;
    }
    // What this creator holds stays its log (at first the fresh, empty one);
    // the file's bytes are kept beside it before the save replaces them.
    if (stored.problem != reported_load_problem_) {
        detail::log()->warn("Failed to load improvement log: {}", stored.problem);
        reported_load_problem_ = stored.problem;
    }
    // A folder there fails the save by itself; a pipe or device holds no entries.
    if (!S_ISREG(stored.st.st_mode)) return true;
    const std::string stamp = stamp_of(stored.st);
    if (stamp == kept_aside_stamp_) return true;
    try {
        const bool read = stored.outcome == StoredLog::Outcome::unusable_content;
        const std::filesystem::path copy =
            detail::keep_aside(improvement_log_path_, read ? &stored.bytes : nullptr, options_.clock());
        kept_aside_stamp_ = stamp;
        detail::log()->warn("Kept the unreadable improvement log as {} and started a new log in {} (the entries "
                            "it held can be recovered from the copy)",
                            copy.string(), improvement_log_path_.string());
        return true;
    } catch (const std::exception& e) {
        detail::log()->warn("Failed to save improvement log: {} could not be read and could not be kept aside "
                            "({}), so it is left as it is and the new entry is kept in memory only (move the file "
                            "away or make it readable)",
                            improvement_log_path_.string(), e.what());
        return false;
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
