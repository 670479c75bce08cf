// Blueprints, log entries and dynamic skills: dictionary forms and steps built per run.
#include "creator_fixture.hpp"

#include <gmock/gmock.h>

using namespace norvex::testing;
using norvex::skills::engine::SkillStep;
using ::testing::ElementsAre;

namespace {

std::vector<std::string> keys(const json::object& object) {
    std::vector<std::string> out;
    for (const auto& member : object) out.emplace_back(member.key());
    return out;
}

DynamicSkill skill_with_steps(json::array steps) {
    SkillBlueprint blueprint = sample_blueprint();
    blueprint.steps = std::move(steps);
    return DynamicSkill(std::move(blueprint));
}

}  // namespace

TEST(SkillRecords, DictionaryFormsKeepTheirKeyOrder) {
    const SkillBlueprint blueprint = sample_blueprint();
    EXPECT_THAT(keys(blueprint.to_dict()), ElementsAre("name", "description", "app", "category", "triggers",
                                                       "required_params", "optional_params", "steps", "reason",
                                                       "version"));
    EXPECT_EQ(blueprint.to_dict().at("version"), 1);

    const ImprovementEntry entry{"t", "learned", "x", "why"};
    EXPECT_THAT(keys(entry.to_dict()),
                ElementsAre("timestamp", "action", "skill_name", "reason", "details", "success"));
    EXPECT_EQ(entry.to_dict().at("details"), json::object{});
    EXPECT_EQ(entry.to_dict().at("success"), true);

    // The engine's keys come first; the skill's own follow, steps unreplaced.
    const DynamicSkill skill(blueprint);
    const json::object dict = skill.to_dict();
    EXPECT_THAT(keys(dict), ElementsAre("name", "description", "app", "category", "triggers", "required_params",
                                        "optional_params", "dynamic", "version", "reason", "steps"));
    EXPECT_EQ(dict.at("dynamic"), true);
    EXPECT_EQ(dict.at("steps"), blueprint.steps);
    EXPECT_EQ(dict.at("steps").at(1).at("params").at("text"), "{{to}}: {{subject}}");
    EXPECT_EQ(skill.name, "send_email");
    EXPECT_EQ(skill.triggers, blueprint.triggers);
}

TEST(SkillRecords, EntriesReadBackOrSayWhatIsWrong) {
    const ImprovementEntry entry{"t", "created", "x", "why", {{"version", 2}}, false};
    EXPECT_EQ(ImprovementEntry::from_dict(entry.to_dict()), entry);
    EXPECT_EQ(ImprovementEntry::from_dict(json::object{{"timestamp", "t"}, {"action", "a"}, {"skill_name", "s"},
                                                       {"reason", "r"}}),
              (ImprovementEntry{"t", "a", "s", "r", {}, true}));

    auto error_of = [](const json::value& value) {
        try {
            ImprovementEntry::from_dict(value);
        } catch (const std::invalid_argument& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(error_of(json::array{}), "ImprovementEntry() argument after ** must be a mapping, not list");
    json::object extra = entry.to_dict();
    extra["extra"] = 1;
    EXPECT_EQ(error_of(extra), "ImprovementEntry.__init__() got an unexpected keyword argument 'extra'");
    EXPECT_EQ(error_of(json::object{{"timestamp", "t"}, {"action", "a"}}),
              "ImprovementEntry.__init__() missing 2 required positional arguments: 'skill_name' and 'reason'");
    EXPECT_EQ(error_of(json::object{{"action", "a"}}),
              "ImprovementEntry.__init__() missing 3 required positional arguments: 'timestamp', 'skill_name', "
              "and 'reason'");
    // Values of another type than the field's are the stored entry's own: kept, and written back unchanged.
    json::object odd = entry.to_dict();
    odd["success"] = "yes";
    odd["reason"] = nullptr;
    odd["timestamp"] = 1700000000;
    odd["details"] = json::array{1};
    const ImprovementEntry kept = ImprovementEntry::from_dict(odd);
    EXPECT_EQ(kept.to_dict(), odd);
    EXPECT_EQ(kept.action, "created");
    EXPECT_EQ(kept.reason, "");
    EXPECT_TRUE(kept.success);
}

TEST(DynamicSkillSteps, PlaceholdersAreFilledPerRunAndStoredStepsKeepThem) {
    const DynamicSkill skill = skill_with_steps({
        step("navigate", "Search {{query}} on {{site}}", {{"q", "Search {{query}} on {{site}}"}, {"n", 5}}),
        json::object{{"description", "{{count}} x {{flag}} x {{none}} x {{ratio}} x {{tags}}"},
                     {"operation", "keyboard_type"},
                     {"params", {{"nested", json::array{"{{query}}"}}, {"deep", {{"k", "{{query}}"}}}}}},
    });

    const auto unfilled = skill.build_steps({});
    EXPECT_EQ(unfilled[0].description, "Search {{query}} on {{site}}");
    EXPECT_EQ(unfilled[0].params.at("q"), "Search {{query}} on {{site}}");

    const auto run = skill.build_steps({{"query", "cats"},
                                        {"count", 5},
                                        {"flag", true},
                                        {"none", nullptr},
                                        {"ratio", 2.5},
                                        {"tags", json::array{"a", 1}}});
    ASSERT_EQ(run.size(), 2u);
    EXPECT_EQ(run[0].description, "Search cats on {{site}}");
    EXPECT_EQ(run[0].params.at("q"), "Search cats on {{site}}");
    EXPECT_EQ(run[0].params.at("n"), 5);  // numbers stay numbers
    EXPECT_EQ(run[0].operation, "navigate");
    EXPECT_EQ(run[1].description, "5 x True x None x 2.5 x ['a', 1]");
    EXPECT_EQ(run[1].params.at("nested"), json::array{"{{query}}"});  // nested text is left alone
    EXPECT_EQ(run[1].params.at("deep").at("k"), "{{query}}");

    // The stored steps still hold their placeholders for the next run.
    EXPECT_EQ(skill.raw_steps()[0].at("params").at("q"), "Search {{query}} on {{site}}");
    EXPECT_EQ(skill.build_steps({{"query", "dogs"}, {"site", "web"}})[0].description, "Search dogs on web");
}

TEST(DynamicSkillSteps, ArgumentsApplyInTheirOrderEachToThePreviousResult) {
    const DynamicSkill skill = skill_with_steps({step("navigate", "{{a}}")});
    // "a" brings a placeholder that the later "b" then fills...
    EXPECT_EQ(skill.build_steps({{"a", "{{b}}"}, {"b", "x"}})[0].description, "x");
    // ...but an earlier argument never sees what a later one brings.
    EXPECT_EQ(skill.build_steps({{"b", "x"}, {"a", "{{b}}"}})[0].description, "{{b}}");
    // Replaced text is not scanned again for the same placeholder.
    EXPECT_EQ(skill.build_steps({{"a", "{{a}}{{a}}"}})[0].description, "{{a}}{{a}}");
}

TEST(DynamicSkillSteps, MissingKeysTakeTheDefaultsAndWrongTypesAreNamed) {
    const DynamicSkill empty = skill_with_steps({json::object{}});
    EXPECT_EQ(empty.build_steps({{"x", 1}}), std::vector<SkillStep>{SkillStep{}});
    EXPECT_EQ(SkillStep{}.wait_after, 1.0);
    EXPECT_EQ(SkillStep{}.max_retries, 2);

    const DynamicSkill full = skill_with_steps({json::object{{"operation", "mouse_click"},
                                                             {"wait_after", 3},
                                                             {"retry_on_fail", true},
                                                             {"max_retries", 5},
                                                             {"optional", true}}});
    const SkillStep built = full.build_steps({})[0];
    EXPECT_EQ(built.wait_after, 3.0);
    EXPECT_TRUE(built.retry_on_fail);
    EXPECT_EQ(built.max_retries, 5);
    EXPECT_TRUE(built.optional);

    auto error_of = [](json::array steps) {
        try {
            skill_with_steps(std::move(steps)).build_steps({});
        } catch (const std::invalid_argument& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(error_of({json::object{}, "open the app"}), "Step 2 must be a dictionary, not str");
    EXPECT_EQ(error_of({json::object{{"params", json::array{}}}}), "Step 1: 'params' must be a dictionary, not list");
    EXPECT_EQ(error_of({json::object{{"wait_after", "soon"}}}), "Step 1: 'wait_after' must be a number, not str");
    EXPECT_EQ(error_of({json::object{{"optional", 1}}}), "Step 1: 'optional' must be true or false, not int");
}
