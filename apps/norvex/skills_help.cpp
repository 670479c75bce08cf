// The help footer of `norvex skills create`: the skill file's shape, with the creator's own lists.
#include "skills_help.hpp"

#include "text_render.hpp"

#include "norvex/common/pyjson.hpp"
#include "norvex/skills/creator/skill_creator.hpp"
#include "norvex/skills/engine/skill_step.hpp"

#include <fmt/format.h>

#include <map>

namespace norvex::cli {

namespace {

using skills::creator::SkillCreator;

constexpr std::size_t WIDTH = 100;

// What each key of a skill file is for; the keys themselves come from the blueprint.
const std::map<std::string, std::string, std::less<>> KEY_NOTES{
    {"name", "required: letters, digits and underscores, at most 64 characters"},
    {"description", "required: what the skill does"},
    {"app", "required: the application it works with"},
    {"category", "one of the categories below (default custom)"},
    {"triggers", "required: a list of words or phrases that call the skill"},
    {"required_params", "a list of the parameter names a caller must give"},
    {"optional_params", "a list of the parameter names a caller may give"},
    {"steps", "required: a list of steps, each a JSON object (below)"},
    {"reason", "why the skill was made, for the improvement log"},
    {"version", "set by norvex: 1, then one more on each update"},
};

std::string keys_table() {
    std::vector<std::vector<std::string>> rows;
    for (const auto& member : skills::creator::SkillBlueprint{}.to_dict()) {
        const auto note = KEY_NOTES.find(member.key());
        rows.push_back({std::string(member.key()), note == KEY_NOTES.end() ? "-" : note->second});
    }
    return format_table({{""}, {""}}, rows, 2);
}

std::string steps_table() {
    const skills::engine::SkillStep defaults;
    auto flag = [](bool value) { return value ? "true" : "false"; };
    const std::vector<std::vector<std::string>> rows{
        {"operation", "required: one of the operations below"},
        {"description", "required: what the step does"},
        {"params", "the operation's arguments, a JSON object"},
        {"wait_after", fmt::format("seconds to pause after the step (default {})", pyjson::float_repr(defaults.wait_after))},
        {"retry_on_fail", fmt::format("try the step again when it fails (default {})", flag(defaults.retry_on_fail))},
        {"max_retries", fmt::format("how many times to try again (default {})", defaults.max_retries)},
        {"optional", fmt::format("a failure of this step does not fail the skill (default {})", flag(defaults.optional))},
    };
    return format_table({{""}, {""}}, rows, 2);
}

std::vector<std::string> listed(const std::set<std::string, std::less<>>& names) {
    return {names.begin(), names.end()};
}

}  // namespace

std::string skill_file_footer() {
    return "The skill file holds one JSON object; '-' reads it from standard input. Its keys:\n" + keys_table() +
           "\nEach step:\n" + steps_table() +
           "\nPlaceholders: {{name}} in a step's description or in the text values of its params is\n"
           "replaced by the caller's parameter 'name' when the skill runs. A name is letters, digits and\n"
           "underscores, and every name used in params must be listed in required_params or\n"
           "optional_params.\n"
           "\nOperations:\n" + wrap_list(listed(SkillCreator::VALID_OPERATIONS), WIDTH, 2) +
           "\nCategories:\n" + wrap_list(listed(SkillCreator::VALID_CATEGORIES), WIDTH, 2) +
           "\nA Python skill is {\"type\": \"python\", \"name\": ..., \"description\": ..., \"code\": ...}:\n"
           "the code must compile and define\n"
           "    async def run(ctx, params):\n"
           "It is saved as name.py beside its metadata (\"app\" defaults to python; \"category\",\n"
           "\"triggers\", \"required_params\", \"optional_params\" and \"reason\" are kept as given) and\n"
           "runs through the skill engine's run_skill.\n"
           "\nExample: {\"name\": \"open_notes\", \"description\": \"Open a notes file\", \"app\": \"gedit\",\n"
           "  \"category\": \"productivity\", \"triggers\": [\"notes\"], \"required_params\": [\"file\"],\n"
           "  \"steps\": [{\"operation\": \"open_file\", \"description\": \"Open {{file}}\",\n"
           "             \"params\": {\"path\": \"{{file}}\"}}]}";
}

}  // namespace norvex::cli
