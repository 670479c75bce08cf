// libFuzzer target for the skill creator's readers: any bytes as a saved skill file, and as the agent's proposal.
//
// Built by fuzz/build.sh with the rest; seeds in fuzz/seeds/skill_file_fuzz/.
// The bytes are written as one skill file of a scratch data folder, which is
// then loaded, listed and shown; when they are a JSON object they are also
// read as a blueprint (validated, built into steps with the object's "args"
// as run arguments, written back out) and as a Python skill's fields. Every
// failure must come back as data or std::invalid_argument / OsError, never
// as a crash, a hang or a sanitizer report.
#include "norvex/common/atomic_file.hpp"
#include "norvex/common/pyjson.hpp"
#include "norvex/skills/creator/creator_internal.hpp"
#include "norvex/skills/creator/py_str.hpp"
#include "norvex/skills/creator/skill_creator.hpp"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace {

using namespace norvex::skills::creator;
namespace json = boost::json;

SkillCreator& creator() {
    static SkillCreator instance(
        {.data_dir = std::filesystem::temp_directory_path() / ("norvex_skill_fuzz_" + std::to_string(::getpid()))});
    return instance;
}

void as_proposal(const SkillCreator& skills, const json::object& data) {
    try {
        const SkillBlueprint blueprint = blueprint_from_dict(data, {.name = "fuzz", .read_version = true});
        (void)skills.validate_blueprint(blueprint);
        const DynamicSkill skill(blueprint);
        const json::value* args = data.if_contains("args");
        (void)skill.build_steps(args && args->is_object() ? args->get_object() : json::object{});
        (void)norvex::pyjson::dumps(skill.to_dict(), norvex::pyjson::Layout::indent2);
    } catch (const std::invalid_argument&) {
    }
    try {
        (void)detail::python_skill_problems(text_at(data, "name"), text_at(data, "code"), text_at(data, "description"));
    } catch (const std::invalid_argument&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    SkillCreator& skills = creator();
    std::ofstream(skills.skills_dir() / "fuzz.json", std::ios::binary | std::ios::trunc) << bytes;
    (void)skills.load_saved_skills();
    (void)skills.list_saved_skills();
    (void)skills.get_skill_source("fuzz");

    json::value value;
    try {
        value = norvex::pyjson::parse(bytes);
    } catch (const norvex::pyjson::DecodeError&) {
        return 0;
    }
    (void)py_str(value);
    (void)py_repr(value);
    if (const json::object* object = value.if_object()) as_proposal(skills, *object);
    return 0;
}
