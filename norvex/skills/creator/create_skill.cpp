// Creating simple skills: from a blueprint or from the agent's dictionary.
#include "norvex/skills/creator/skill_creator.hpp"

#include "norvex/skills/creator/creator_internal.hpp"
#include "norvex/skills/creator/skill_files.hpp"

#include <boost/json/array.hpp>

namespace norvex::skills::creator {

namespace json = boost::json;

using detail::log;
using detail::validation_failed;

CreateResult SkillCreator::create_skill(SkillBlueprint blueprint, engine::SkillRegistry* registry) {
    if (auto [valid, errors] = validate_blueprint(blueprint); !valid) return {false, validation_failed(errors), nullptr};

    const std::filesystem::path path = skill_file(blueprint.name, ".json");
    if (const auto stored = detail::stored_version(path)) {
        blueprint.version = *stored + 1;
        log()->info("Updating existing skill {} to v{}", blueprint.name, blueprint.version);
    }

    auto skill = std::make_shared<DynamicSkill>(blueprint);
    try {
        keep_unloadable(path);
        detail::write_json_file(path, blueprint.to_dict());
    } catch (const std::exception& e) {
        return {false, std::string("Failed to save skill: ") + e.what(), nullptr};
    }
    log()->info("Saved skill to {}", path.string());

    if (registry) {
        registry->register_skill(skill);
        log()->info("Hot-loaded skill {} into live registry", blueprint.name);
    }

    const std::int64_t version = blueprint.version;
    const auto step_count = static_cast<std::int64_t>(blueprint.steps.size());
    json::array triggers;
    for (const std::string& trigger : blueprint.triggers) triggers.emplace_back(trigger);
    _log_improvement({
        .timestamp = now_text(),
        .action = version == 1 ? "created" : "updated",
        .skill_name = blueprint.name,
        .reason = blueprint.reason.empty() ? "Agent decided to create this skill" : blueprint.reason,
        .details = {{"version", version},
                    {"steps", step_count},
                    {"category", blueprint.category},
                    {"app", blueprint.app},
                    {"triggers", std::move(triggers)}},
    });

    const char* label = version > 1 ? "Updated" : "Created";
    return {true,
            std::string(label) + " skill '" + blueprint.name + "' v" + std::to_string(version) + " (" +
                std::to_string(step_count) + " steps, category: " + blueprint.category +
                "). It's now available for use.",
            std::move(skill)};
}

CreateResult SkillCreator::create_from_dict(const json::object& data, engine::SkillRegistry* registry) {
    // Data the agent wrote may be wrong in any way; it answers as a result,
    // never as an exception (the Python path included).
    try {
        const json::value* type = data.if_contains("type");
        if (type && type->is_string() && type->get_string() == "python") return _create_python_skill(data, registry);
        return create_skill(blueprint_from_dict(data, {}), registry);
    } catch (const std::exception& e) {
        return {false, std::string("Invalid skill data: ") + e.what(), nullptr};
    }
}

}  // namespace norvex::skills::creator
