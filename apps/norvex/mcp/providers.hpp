// The tool families the norvex MCP server can offer, one factory each.
#pragma once

#include "tool_provider.hpp"

#include "norvex/core/forkyard/forkyard.hpp"
#include "norvex/skills/creator/skill_creator.hpp"

#include <memory>

namespace norvex::mcp {

// "sourcelens": code analysis in astprobe workers on the shared manager.
std::unique_ptr<ToolProvider> make_sourcelens_provider(forkyard::Forkyard& yard);

// "skill_create", "skill_list", "skill_show", "skill_delete", "skill_log",
// "skill_stats": the skill creator's operations, results as indent-2 JSON text.
std::unique_ptr<ToolProvider> make_skills_provider(std::unique_ptr<skills::creator::SkillCreator> creator);

}  // namespace norvex::mcp
