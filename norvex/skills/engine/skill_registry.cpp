// The in-memory skill registry.
#include "norvex/skills/engine/skill_registry.hpp"

#include <stdexcept>

namespace norvex::skills::engine {

void InMemorySkillRegistry::register_skill(std::shared_ptr<SkillDefinition> skill) {
    if (!skill) throw std::invalid_argument("register_skill needs a skill, got none");
    std::string name = skill->name;
    skills_.insert_or_assign(std::move(name), std::move(skill));
}

std::shared_ptr<SkillDefinition> InMemorySkillRegistry::find(std::string_view name) const {
    const auto it = skills_.find(name);
    return it == skills_.end() ? nullptr : it->second;
}

}  // namespace norvex::skills::engine
