// A skill creator over a fresh data folder with a fixed clock, and sample blueprints.
#pragma once

#include "../support/scratch_dir.hpp"

#include "norvex/common/atomic_file.hpp"
#include "norvex/common/pyjson.hpp"
#include "norvex/skills/creator/skill_creator.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <stdexcept>

namespace norvex::testing {

namespace json = boost::json;
namespace pyjson = norvex::pyjson;
using norvex::read_whole_file;
using norvex::write_file_atomically;
using namespace norvex::skills::creator;
using norvex::skills::engine::InMemorySkillRegistry;
using norvex::skills::engine::SkillRegistry;

// 2023-11-14 22:13:20 in UTC, the zone the fixture runs in.
inline constexpr std::time_t FIXED_TIME = 1700000000;
inline constexpr const char* FIXED_TIMESTAMP = "2023-11-14 22:13:20";

inline json::object step(const char* operation, const char* description, json::object params = {}) {
    return {{"description", description}, {"operation", operation}, {"params", std::move(params)}};
}

// A blueprint that passes validation.
inline SkillBlueprint sample_blueprint(const std::string& name = "send_email") {
    return SkillBlueprint{
        .name = name,
        .description = "Send an email",
        .app = "thunderbird",
        .category = "email",
        .triggers = {"email", "mail"},
        .required_params = {"to"},
        .optional_params = {"subject"},
        .steps = {step("open_app", "Open the mail app", {{"name", "thunderbird"}}),
                  step("keyboard_type", "Type {{to}}", {{"text", "{{to}}: {{subject}}"}})},
        .reason = "the user mails a lot",
    };
}

inline json::value read_json(const std::filesystem::path& file) { return pyjson::parse(read_whole_file(file)); }

class CreatorTest : public ::testing::Test {
protected:
    CreatorTest() {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }

    SkillCreatorOptions options() const {
        return {.data_dir = data_dir, .clock = [] { return std::chrono::system_clock::from_time_t(FIXED_TIME); }};
    }
    // A second creator over the same folder, as a later process would make it.
    std::unique_ptr<SkillCreator> reopen() const { return std::make_unique<SkillCreator>(options()); }
    std::filesystem::path skills_dir() const { return data_dir / "skills"; }
    std::filesystem::path log_file() const { return data_dir / "improvement_log.json"; }
    std::string write_skill_file(const std::string& file_name, std::string_view text) const {
        const auto path = skills_dir() / file_name;
        write_file_atomically(path, text);
        return path.string();
    }
    std::vector<std::string> logged_actions() const {
        std::vector<std::string> actions;
        for (const auto& entry : creator->get_improvement_log(0)) actions.emplace_back(entry.at("action").as_string());
        return actions;
    }

    ScratchDir scratch{"norvex_skills_"};
    std::filesystem::path data_dir = scratch.path() / "data";
    std::unique_ptr<SkillCreator> creator = reopen();
};

// A registry whose engine refuses every skill.
class RefusingRegistry : public SkillRegistry {
public:
    void register_skill(std::shared_ptr<skills::engine::SkillDefinition> skill) override {
        throw std::runtime_error("engine refuses " + skill->name);
    }
};

// A registry that registers but keeps no table of its own.
class TablelessRegistry : public SkillRegistry {
public:
    void register_skill(std::shared_ptr<skills::engine::SkillDefinition> skill) override {
        names.push_back(skill->name);
    }
    std::vector<std::string> names;
};

}  // namespace norvex::testing
