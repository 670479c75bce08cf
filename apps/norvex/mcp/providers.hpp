// The tool families the norvex MCP server can offer, one factory each.
#pragma once

#include "tool_provider.hpp"

#include "norvex/core/forkyard/forkyard.hpp"
#include "norvex/skills/creator/skill_creator.hpp"

#include <boost/asio/any_io_executor.hpp>
#include <boost/json/object.hpp>

#include <filesystem>
#include <memory>

namespace norvex::mcp {

// "sourcelens": code analysis in astprobe workers on the shared manager.
std::unique_ptr<ToolProvider> make_sourcelens_provider(forkyard::Forkyard& yard);

// "skill_create", "skill_list", "skill_show", "skill_delete", "skill_log",
// "skill_stats": the skill creator's operations, results as indent-2 JSON text.
std::unique_ptr<ToolProvider> make_skills_provider(std::unique_ptr<skills::creator::SkillCreator> creator);

// "computer" (deskhand's actions; image results as PNG image content) and
// "computer_info". Actions run one at a time on a thread of the provider's
// own, so the loop keeps serving; `data_dir` empty means ~/.norvex. Offered
// whether or not a desktop opens: without one, it logs a warning naming the
// variables to set, every call answers with that error, and each call tries
// again, so a desktop that appears later is used.
std::unique_ptr<ToolProvider> make_computer_provider(boost::asio::any_io_executor loop, std::filesystem::path data_dir);

// The "computer" tool's input schema: the actions and what each parameter means.
boost::json::object computer_input_schema();

}  // namespace norvex::mcp
