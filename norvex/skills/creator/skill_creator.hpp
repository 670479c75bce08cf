// Creates, validates, persists, and manages dynamic skills, and keeps the log of self-improvements.
#pragma once

#include "norvex/skills/creator/dynamic_skill.hpp"
#include "norvex/skills/creator/records.hpp"
#include "norvex/skills/engine/skill_registry.hpp"

#include <boost/json/object.hpp>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace norvex::skills::creator {

// The user's data folder: home directory / ".norvex" ($HOME, else the
// password database), worked out on first use.
const std::filesystem::path& default_data_dir();
// SKILLS_DIR and IMPROVEMENT_LOG of the default data folder.
const std::filesystem::path& default_skills_dir();
const std::filesystem::path& default_improvement_log();

// True for a name that creation accepts as a file name: letters and digits
// of any script, and underscores, with at least one letter or digit. Names
// with separators, dots or spaces could reach files outside the skills
// folder, so showing and deleting refuse them.
bool is_plain_skill_name(std::string_view name);

struct SkillCreatorOptions {
    // Holds "skills" (one file set per skill) and "improvement_log.json".
    std::filesystem::path data_dir = default_data_dir();
    // The time log entries carry, written in local time.
    std::function<std::chrono::system_clock::time_point()> clock = [] { return std::chrono::system_clock::now(); };
};

// (success, message, skill): the skill is set only for a simple skill created successfully.
struct CreateResult {
    bool success = false;
    std::string message{};
    std::shared_ptr<DynamicSkill> skill{};
};

// (valid, errors): valid exactly when there are no messages.
struct ValidationResult {
    bool valid = true;
    std::vector<std::string> errors{};
};

struct DeleteResult {
    bool success = false;
    std::string message{};
};

// One caller at a time within a process. Files are written whole and
// atomically, so two processes sharing a data folder never see half a file,
// and each addition to the improvement log re-reads it under a lock on
// "improvement_log.json.lock", so no process's entry is lost to another's.
class SkillCreator {
public:
    // The operations a step may name.
    static const std::set<std::string, std::less<>> VALID_OPERATIONS;
    // The categories a simple skill may have.
    static const std::set<std::string, std::less<>> VALID_CATEGORIES;

    // Creates the skills folder with its parents and loads the stored log.
    // Throws OsError when the skills folder cannot be created.
    explicit SkillCreator(SkillCreatorOptions options = {});

    const std::filesystem::path& skills_dir() const noexcept { return skills_dir_; }
    const std::filesystem::path& improvement_log_path() const noexcept { return improvement_log_path_; }

    // Every problem of the blueprint, in a fixed order; reads nothing else.
    // Throws std::invalid_argument when a step or its "params" is not a dictionary.
    ValidationResult validate_blueprint(const SkillBlueprint& blueprint) const;

    // Creates or updates a simple skill: validates it, takes the stored
    // version plus one when the skill exists, saves name.json, registers the
    // skill when a registry is given (what the registry throws is not
    // caught) and logs "created" or "updated".
    CreateResult create_skill(SkillBlueprint blueprint, engine::SkillRegistry* registry = nullptr);

    // The agent's proposal as a dictionary: "type": "python" makes a Python
    // skill, anything else a simple one (version 1, or the stored one plus
    // one). Nothing is thrown: bad data, and a registry that refuses the
    // skill, come back as "Invalid skill data: ...".
    CreateResult create_from_dict(const boost::json::object& data, engine::SkillRegistry* registry = nullptr);

    // The saved skills, one per readable "*.json" file in name order; a file
    // that cannot be loaded is skipped with a warning.
    std::vector<std::shared_ptr<DynamicSkill>> load_saved_skills() const;
    // Loads the saved skills and registers each; what the registry throws is not caught.
    std::int64_t load_into_registry(engine::SkillRegistry& registry) const;
    // Removes name.json (a Python skill's script stays), takes the name out
    // of the registry's table and logs "deleted". Names that are not plain
    // skill names are refused without touching anything.
    DeleteResult delete_skill(std::string_view name, engine::SkillRegistry* registry = nullptr);
    // One summary per readable skill file: "name", "description", "app",
    // "category", "version", "triggers", "steps_count", "reason", "file".
    std::vector<boost::json::object> list_saved_skills() const;
    // The stored dictionary of a skill; none when it is missing, unreadable,
    // not a dictionary, or the name is not a plain skill name.
    std::optional<boost::json::object> get_skill_source(std::string_view name) const;

    // Records that the agent learned something about a skill; an empty
    // `details` is stored as {}.
    void log_learning(std::string skill_name, std::string reason, boost::json::object details = {});
    // The dictionary forms of the last `limit` entries, oldest first; 0 (or
    // a limit past the log's length) gives the whole log.
    std::vector<boost::json::object> get_improvement_log(std::int64_t limit = 50) const;
    // "total_improvements", "skills_created", "skills_updated",
    // "skills_deleted", "learnings_recorded", "active_custom_skills",
    // "categories_covered".
    boost::json::object get_improvement_stats() const;

private:
    CreateResult _create_python_skill(const boost::json::object& data, engine::SkillRegistry* registry);
    void _log_improvement(ImprovementEntry entry);
    void _load_improvement_log();
    // Under the log's lock: takes the stored log in place of this creator's
    // copy when it loads; otherwise keeps the copy and keeps the file's bytes
    // aside. False when the file must not be replaced (it could be neither
    // read nor kept).
    bool _refresh_improvement_log();
    void _save_improvement_log() const;
    // The lock file beside the log that each addition holds.
    std::filesystem::path log_lock_path() const;
    std::string now_text() const;
    std::filesystem::path skill_file(std::string_view name, std::string_view extension) const;
    // Before a save replaces the skill file at `path`: one that loading would
    // skip is kept aside first, with a warning naming the copy. Throws, saying
    // what to do, when it cannot be kept (and must then not be replaced).
    void keep_unloadable(const std::filesystem::path& path) const;

    SkillCreatorOptions options_;
    std::filesystem::path skills_dir_;
    std::filesystem::path improvement_log_path_;
    std::vector<ImprovementEntry> _improvement_log;
    std::string reported_load_problem_;  // the last load failure warned about, so it is not repeated
    std::string kept_aside_stamp_;       // the state of the unreadable log last kept aside
};

// The one shared creator over the default data folder, made on first use.
SkillCreator& get_skill_creator();

}  // namespace norvex::skills::creator
