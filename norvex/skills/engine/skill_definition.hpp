// The host skill engine's skill: descriptive attributes, its steps for one run, its dictionary form.
#pragma once

#include "norvex/skills/engine/skill_step.hpp"

#include <boost/json/object.hpp>

#include <string>
#include <vector>

namespace norvex::skills::engine {

class SkillDefinition {
public:
    virtual ~SkillDefinition() = default;

    std::string name{};         // the key under which the engine registers the skill
    std::string description{};
    std::string app{};          // the application the skill works with
    std::string category{};
    std::vector<std::string> triggers{};  // keywords that select the skill
    std::vector<std::string> required_params{};
    std::vector<std::string> optional_params{};

    // The steps of one run, given the run's arguments (parameter name → value).
    virtual std::vector<SkillStep> build_steps(const boost::json::object& params) const = 0;

    // The engine's description of the skill: "name", "description", "app",
    // "category", "triggers", "required_params", "optional_params", in this
    // order. Skills may add keys of their own.
    virtual boost::json::object to_dict() const;

protected:
    SkillDefinition() = default;
    SkillDefinition(const SkillDefinition&) = default;
    SkillDefinition& operator=(const SkillDefinition&) = default;
};

}  // namespace norvex::skills::engine
