// The skill tools over MCP: create, list, show and delete saved skills, read the improvement log and its counts.
#include "providers.hpp"

#include "norvex/common/pyjson.hpp"

#include <boost/json/parse.hpp>

#include <functional>
#include <map>

namespace norvex::mcp {

namespace json = boost::json;
using skills::creator::SkillCreator;

namespace {

std::string indent2(const json::value& value) { return pyjson::dumps(value, pyjson::Layout::indent2); }

json::object schema(std::string_view text) { return json::parse(text).as_object(); }

json::array as_array(const std::vector<json::object>& items) {
    json::array out;
    for (const auto& item : items) out.push_back(item);
    return out;
}

// The name argument of show and delete; nothing when it is missing or not text.
std::optional<std::string> name_argument(const json::object& arguments) {
    const json::value* name = arguments.if_contains("name");
    if (name == nullptr || !name->is_string() || name->as_string().empty()) return std::nullopt;
    return std::string(name->as_string());
}

const char* NAME_ONLY_SCHEMA = R"({"type": "object", "properties": {"name": {"type": "string",
    "description": "The skill's name, as skill_list shows it."}}, "required": ["name"]})";

const char* CREATE_SCHEMA = R"({"type": "object", "properties": {
    "type": {"type": "string", "enum": ["simple", "python"],
             "description": "\"simple\" (default): steps of desktop/browser operations; \"python\": a script defining async run(ctx, params)."},
    "name": {"type": "string", "description": "Letters, digits and underscores; the skill's file name."},
    "description": {"type": "string", "description": "What the skill does."},
    "app": {"type": "string", "description": "The application the skill works with."},
    "category": {"type": "string", "description": "The skill's category (default \"custom\")."},
    "triggers": {"type": "array", "items": {"type": "string"}, "description": "Phrases that start the skill."},
    "required_params": {"type": "array", "items": {"type": "string"}},
    "optional_params": {"type": "array", "items": {"type": "string"}},
    "steps": {"type": "array", "items": {"type": "object"},
              "description": "Simple skills: steps with \"description\", \"operation\", \"params\" (text may hold {{param}} placeholders), \"wait_after\", \"retry_on_fail\", \"max_retries\", \"optional\"."},
    "code": {"type": "string", "description": "Python skills: the script text."},
    "reason": {"type": "string", "description": "Why the skill is being created."}},
  "required": ["name"]})";

class SkillsProvider : public ToolProvider {
public:
    explicit SkillsProvider(std::unique_ptr<SkillCreator> creator) : creator_(std::move(creator)) {}

    std::vector<ToolInfo> tools() const override {
        return {
            {"skill_create", "Create or update a skill from its blueprint; the skill is validated and saved.",
             schema(CREATE_SCHEMA)},
            {"skill_list", "List the saved skills with their category, version, triggers and step count.",
             schema(R"({"type": "object", "properties": {}})")},
            {"skill_show", "Show the stored definition of one saved skill.", schema(NAME_ONLY_SCHEMA)},
            {"skill_delete", "Delete a saved skill.", schema(NAME_ONLY_SCHEMA)},
            {"skill_log", "The latest entries of the self-improvement log, oldest first.",
             schema(R"({"type": "object", "properties": {"limit": {"type": "integer", "minimum": 0,
                 "description": "How many entries (default 50; 0 for all)."}}})")},
            {"skill_stats", "Counts of the self-improvement log and of the saved skills by category.",
             schema(R"({"type": "object", "properties": {}})")},
        };
    }

    // The creator works on files and returns at once; it runs on the loop's thread.
    boost::asio::awaitable<ToolResult> call(std::string name, json::object arguments) override {
        if (name == "skill_create") co_return create(arguments);
        if (name == "skill_list") co_return ToolResult::text(indent2(as_array(creator_->list_saved_skills())));
        if (name == "skill_show") co_return show(arguments);
        if (name == "skill_delete") co_return remove(arguments);
        if (name == "skill_log") co_return log(arguments);
        co_return ToolResult::text(indent2(creator_->get_improvement_stats()));
    }

private:
    ToolResult create(const json::object& arguments) {
        const auto made = creator_->create_from_dict(arguments);
        json::object out;
        out["success"] = made.success;
        out["message"] = made.message;
        out["skill"] = made.skill ? json::value(made.skill->to_dict()) : json::value(nullptr);
        return ToolResult::text(indent2(out), !made.success);
    }

    ToolResult show(const json::object& arguments) {
        const auto name = name_argument(arguments);
        if (!name) return ToolResult::text("\"name\" must be the skill's name; skill_list shows them", true);
        const auto source = creator_->get_skill_source(*name);
        if (!source) return ToolResult::text("Skill '" + *name + "' not found; skill_list shows the saved skills", true);
        return ToolResult::text(indent2(*source));
    }

    ToolResult remove(const json::object& arguments) {
        const auto name = name_argument(arguments);
        if (!name) return ToolResult::text("\"name\" must be the skill's name; skill_list shows them", true);
        const auto deleted = creator_->delete_skill(*name);
        json::object out;
        out["success"] = deleted.success;
        out["message"] = deleted.message;
        return ToolResult::text(indent2(out), !deleted.success);
    }

    ToolResult log(const json::object& arguments) {
        std::int64_t limit = 50;
        if (const json::value* given = arguments.if_contains("limit"); given != nullptr && !given->is_null()) {
            if (!given->is_int64() || given->as_int64() < 0) {
                return ToolResult::text("\"limit\" must be a whole number of entries, 0 or more", true);
            }
            limit = given->as_int64();
        }
        return ToolResult::text(indent2(as_array(creator_->get_improvement_log(limit))));
    }

    std::unique_ptr<SkillCreator> creator_;
};

}  // namespace

std::unique_ptr<ToolProvider> make_skills_provider(std::unique_ptr<skills::creator::SkillCreator> creator) {
    return std::make_unique<SkillsProvider>(std::move(creator));
}

}  // namespace norvex::mcp
