// Blueprint validation: every problem reported, in order, with the agent-facing wording.
#include "creator_fixture.hpp"

#include <gmock/gmock.h>

using namespace norvex::testing;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

std::vector<std::string> problems_of(const SkillCreator& creator, const SkillBlueprint& blueprint) {
    const auto [valid, errors] = creator.validate_blueprint(blueprint);
    EXPECT_EQ(valid, errors.empty());
    return errors;
}

}  // namespace

using BlueprintValidation = CreatorTest;

TEST_F(BlueprintValidation, AnEmptyBlueprintGetsEveryRequiredFieldMessageInOrder) {
    EXPECT_THAT(problems_of(*creator, SkillBlueprint{}),
                ElementsAre("Skill name is required", "Description is required", "App name is required",
                            "At least one trigger keyword is required", "At least one step is required"));
    EXPECT_THAT(problems_of(*creator, sample_blueprint()), IsEmpty());
    // Validation only reads: nothing reaches the disk or the log.
    EXPECT_THAT(creator->get_improvement_log(0), IsEmpty());
    EXPECT_FALSE(std::filesystem::exists(log_file()));
}

TEST_F(BlueprintValidation, NamesAreWordCharactersOfAnyScriptUpTo64) {
    auto name_problems = [&](const std::string& name) {
        SkillBlueprint blueprint = sample_blueprint();
        blueprint.name = name;
        return problems_of(*creator, blueprint);
    };
    EXPECT_THAT(name_problems("send_email_2"), IsEmpty());
    EXPECT_THAT(name_problems("\xC3\xA9t\xC3\xA9_\xD9\xA3"), IsEmpty());  // "été_٣": letters and digits of any script
    EXPECT_THAT(name_problems("send-email"), ElementsAre("Skill name must be alphanumeric with underscores only"));
    EXPECT_THAT(name_problems("___"), ElementsAre("Skill name must be alphanumeric with underscores only"));
    EXPECT_THAT(name_problems("../x"), ElementsAre("Skill name must be alphanumeric with underscores only"));
    EXPECT_THAT(name_problems(std::string(64, 'a')), IsEmpty());
    EXPECT_THAT(name_problems(std::string(65, 'a')), ElementsAre("Skill name must be 64 characters or less"));
    // Characters, not bytes: 64 two-byte letters are fine.
    std::string accented;
    for (int i = 0; i < 64; ++i) accented += "\xC3\xA9";
    EXPECT_THAT(name_problems(accented), IsEmpty());
}

TEST_F(BlueprintValidation, CategoriesAreCheckedAgainstTheSortedList) {
    SkillBlueprint blueprint = sample_blueprint();
    blueprint.category = "Music";
    EXPECT_THAT(problems_of(*creator, blueprint),
                ElementsAre("Invalid category: Music. Valid: browser, calendar, communication, custom, development, "
                            "education, email, files, finance, food, gaming, health, media, messaging, music, "
                            "productivity, shopping, social, system, travel, utility"));
    blueprint.category = "";
    EXPECT_THAT(problems_of(*creator, blueprint), IsEmpty());
    EXPECT_EQ(SkillCreator::VALID_CATEGORIES.size(), 21u);
    EXPECT_EQ(SkillCreator::VALID_OPERATIONS.size(), 41u);
}

TEST_F(BlueprintValidation, StepsReportOperationThenDescriptionPerStep) {
    SkillBlueprint blueprint = sample_blueprint();
    blueprint.steps = {step("open_app", "Open"), step("fly", "Take off"), json::object{},
                       json::object{{"operation", 5}, {"description", ""}}};
    EXPECT_THAT(problems_of(*creator, blueprint),
                ElementsAre("Step 2: unknown operation 'fly'. See pc tool for valid operations.",
                            "Step 3: operation is required", "Step 3: description is required",
                            "Step 4: unknown operation '5'. See pc tool for valid operations.",
                            "Step 4: description is required"));
}

TEST_F(BlueprintValidation, PlaceholdersMustBeDeclaredOncePerOccurrence) {
    SkillBlueprint blueprint = sample_blueprint();
    blueprint.required_params = {};
    blueprint.optional_params = {};
    blueprint.steps = {step("keyboard_type", "Greet {{nobody}}",
                            {{"text", "{{who}} and {{who}}"},
                             {"single", "{who}"},
                             {"spaced", "{{ who }}"},
                             {"nested", json::array{"{{who}}"}},
                             {"count", 3}})};
    EXPECT_THAT(problems_of(*creator, blueprint),
                ElementsAre("Step 1: placeholder '{{who}}' not in required_params or optional_params",
                            "Step 1: placeholder '{{who}}' not in required_params or optional_params"));
    blueprint.optional_params = {"who"};
    EXPECT_THAT(problems_of(*creator, blueprint), IsEmpty());
}

TEST_F(BlueprintValidation, StepsThatAreNotDictionariesAreErrorsNotMessages) {
    SkillBlueprint blueprint = sample_blueprint();
    blueprint.steps = {"open the app"};
    EXPECT_THROW(creator->validate_blueprint(blueprint), std::invalid_argument);
    blueprint.steps = {json::object{{"operation", "open_app"}, {"description", "x"}, {"params", "y"}}};
    EXPECT_THROW(creator->validate_blueprint(blueprint), std::invalid_argument);
}
