// The host skill engine's live registry, as the skill creator sees it, and a plain in-memory one.
#pragma once

#include "norvex/skills/engine/skill_definition.hpp"

#include <map>
#include <memory>
#include <string>

namespace norvex::skills::engine {

// Registered skills by name.
using SkillTable = std::map<std::string, std::shared_ptr<SkillDefinition>, std::less<>>;

class SkillRegistry {
public:
    virtual ~SkillRegistry() = default;

    // Makes the skill available to the engine. Whatever it throws reaches the
    // caller of the creator's operation that registered the skill.
    virtual void register_skill(std::shared_ptr<SkillDefinition> skill) = 0;

    // The registry's name → skill table, when it keeps one (deleting a skill
    // takes its name out of it); null when it has none.
    virtual SkillTable* skills_table() { return nullptr; }
};

// A registry that only keeps the table: for hosts without an engine of their
// own, and for tests. Registering a name again replaces the skill.
class InMemorySkillRegistry : public SkillRegistry {
public:
    void register_skill(std::shared_ptr<SkillDefinition> skill) override;
    SkillTable* skills_table() override { return &skills_; }

    const SkillTable& skills() const noexcept { return skills_; }
    // The skill registered under `name`, or null.
    std::shared_ptr<SkillDefinition> find(std::string_view name) const;

private:
    SkillTable skills_;
};

}  // namespace norvex::skills::engine
