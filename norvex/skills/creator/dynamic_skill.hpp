// A skill created at runtime from a JSON blueprint.
#pragma once

#include "norvex/skills/creator/records.hpp"
#include "norvex/skills/engine/skill_definition.hpp"

namespace norvex::skills::creator {

class DynamicSkill : public engine::SkillDefinition {
public:
    // Takes the descriptive attributes from the blueprint and keeps the
    // blueprint, whose steps stay as written (placeholders included).
    explicit DynamicSkill(SkillBlueprint blueprint);

    // One engine step per stored step, in order, with {{name}} placeholders
    // in the description and in text parameter values replaced by the run's
    // arguments as Python's str() writes them (3, 2.5, True, None). Arguments
    // are applied one after another in their order, each to the result of
    // the previous; unknown placeholders, and text nested in lists or
    // dictionaries, stay as they are. Missing keys take the step defaults
    // (wait 1.0, no retry, 2 retries, not optional). Throws
    // std::invalid_argument, naming the step from 1, when a step is not a
    // dictionary or one of its values cannot be what the engine step holds.
    std::vector<engine::SkillStep> build_steps(const boost::json::object& params) const override;

    // The engine's dictionary, then "dynamic": true, "version", "reason" and
    // the raw "steps".
    boost::json::object to_dict() const override;

    const SkillBlueprint& blueprint() const noexcept { return _blueprint; }
    const boost::json::array& raw_steps() const noexcept { return _blueprint.steps; }

private:
    SkillBlueprint _blueprint;
};

}  // namespace norvex::skills::creator
