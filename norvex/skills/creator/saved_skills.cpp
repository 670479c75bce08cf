// Saved skills: loading them back, listing, showing and deleting them.
#include "norvex/skills/creator/skill_creator.hpp"

#include "norvex/common/atomic_file.hpp"
#include "norvex/common/pyjson.hpp"
#include "norvex/common/pystr.hpp"
#include "norvex/skills/creator/creator_internal.hpp"
#include "norvex/skills/creator/py_str.hpp"
#include "norvex/skills/creator/skill_files.hpp"

#include <cerrno>
#include <stdexcept>
#include <unistd.h>

namespace norvex::skills::creator {

namespace json = boost::json;

std::vector<std::shared_ptr<DynamicSkill>> SkillCreator::load_saved_skills() const {
    std::vector<std::shared_ptr<DynamicSkill>> skills;
    for (const std::filesystem::path& file : detail::skill_files_in(skills_dir_)) {
        try {
            auto skill = std::make_shared<DynamicSkill>(detail::load_skill_file(file));
            detail::log()->info("Loaded saved skill: {} v{}", skill->name, skill->blueprint().version);
            skills.push_back(std::move(skill));
        } catch (const FileRefused& e) {
            detail::log()->warn("Failed to load skill from {}: {}{}", file.string(), e.what(),
                                detail::refusal_advice(e));
        } catch (const std::exception& e) {
            detail::log()->warn("Failed to load skill from {}: {}", file.string(), e.what());
        }
    }
    return skills;
}

std::int64_t SkillCreator::load_into_registry(engine::SkillRegistry& registry) const {
    const auto skills = load_saved_skills();
    for (const auto& skill : skills) registry.register_skill(skill);
    return static_cast<std::int64_t>(skills.size());
}

DeleteResult SkillCreator::delete_skill(std::string_view name, engine::SkillRegistry* registry) {
    // Only names creation could have produced: "../improvement_log" must
    // never reach a file outside the skills folder.
    if (!is_plain_skill_name(name)) {
        return {false, "Invalid skill name " + py_repr(name) +
                           ": a skill name has only letters, digits and underscores; nothing was deleted"};
    }
    const std::filesystem::path path = skill_file(name, ".json");
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return {false, "Skill '" + std::string(name) + "' not found"};
    // unlink, not remove: a folder standing at the file's place is an error, as in Python.
    if (::unlink(path.c_str()) != 0) return {false, std::string("Failed to delete: ") + OsError(errno, path).what()};

    if (registry) {
        if (engine::SkillTable* table = registry->skills_table()) {
            if (const auto it = table->find(name); it != table->end()) table->erase(it);
        }
    }
    _log_improvement({
        .timestamp = now_text(),
        .action = "deleted",
        .skill_name = std::string(name),
        .reason = "Skill deleted by agent or user",
    });
    return {true, "Deleted skill '" + std::string(name) + "'"};
}

std::vector<json::object> SkillCreator::list_saved_skills() const {
    std::vector<json::object> listing;
    for (const std::filesystem::path& file : detail::skill_files_in(skills_dir_)) {
        try {
            const json::object data = detail::read_skill_file(file);
            auto value = [&](std::string_view key, json::value fallback) -> json::value {
                const json::value* found = data.if_contains(key);
                return found ? *found : fallback;
            };
            std::size_t steps_count = 0;
            if (const json::value* steps = data.if_contains("steps")) {
                if (const auto* a = steps->if_array()) steps_count = a->size();
                else if (const auto* o = steps->if_object()) steps_count = o->size();
                else if (const auto* s = steps->if_string()) steps_count = pystr::length(*s);
                else throw std::invalid_argument("object of type '" + std::string(pyjson::type_name(*steps)) +
                                                 "' has no len()");
            }
            json::object entry;
            entry.reserve(9);
            entry["name"] = value("name", json::string(detail::stem_of(file)));
            entry["description"] = value("description", "");
            entry["app"] = value("app", "");
            entry["category"] = value("category", "custom");
            entry["version"] = value("version", 1);
            entry["triggers"] = value("triggers", json::array{});
            entry["steps_count"] = static_cast<std::int64_t>(steps_count);
            entry["reason"] = value("reason", "");
            entry["file"] = detail::path_text(file);
            listing.push_back(std::move(entry));
        } catch (const FileRefused& e) {
            // Not a skill file at all, and nothing loading would report
            // differently: whoever looks at the list should hear of it.
            detail::log()->warn("Skipped {} in the listing: {}{}", file.string(), e.what(), detail::refusal_advice(e));
        } catch (const std::exception&) {
            // A listing shows what can be read; broken files are load_saved_skills' to report.
        }
    }
    return listing;
}

std::optional<json::object> SkillCreator::get_skill_source(std::string_view name) const {
    if (!is_plain_skill_name(name)) return std::nullopt;  // never a path outside the skills folder
    const std::filesystem::path path = skill_file(name, ".json");
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return std::nullopt;
    try {
        return detail::read_skill_file(path);
    } catch (const FileRefused& e) {
        detail::log()->warn("Not showing skill '{}': {}{}", name, e.what(), detail::refusal_advice(e));
        return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace norvex::skills::creator
