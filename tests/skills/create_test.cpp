// Creating simple and Python skills: files, versions, messages, registry and log entries.
#include "creator_fixture.hpp"

#include "norvex/common/log_capture.hpp"
#include "norvex/skills/creator/skill_files.hpp"

#include <gmock/gmock.h>

#include <algorithm>

#include <unistd.h>

using namespace norvex::testing;
namespace detail = norvex::skills::creator::detail;
using norvex::logging::LogCapture;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

namespace {

json::object python_skill(const std::string& code, json::object extra = {}) {
    json::object data{{"type", "python"}, {"name", "calc"}, {"description", "Adds numbers"}, {"code", code}};
    for (const auto& member : extra) data[member.key()] = member.value();
    return data;
}

const std::string ASYNC_RUN = "import math\n\nasync def run(ctx, params):\n    return math.pi\n";

}  // namespace

using SkillCreation = CreatorTest;

TEST_F(SkillCreation, SavesTheBlueprintInPythonsLayoutAndLogsIt) {
    LogCapture capture("norvex.skills.creator");
    const SkillBlueprint blueprint{
        .name = "note",
        .description = "Write a n\xC3\xB6te",
        .app = "gedit",
        .category = "productivity",
        .triggers = {"note"},
        .steps = {json::object{{"operation", "keyboard_type"}, {"description", "Type"}, {"params", json::object{}}}},
    };
    const auto [ok, message, skill] = creator->create_skill(blueprint);
    ASSERT_TRUE(ok) << message;
    EXPECT_EQ(message, "Created skill 'note' v1 (1 steps, category: productivity). It's now available for use.");
    ASSERT_NE(skill, nullptr);
    EXPECT_EQ(skill->name, "note");

    // Exactly what json.dumps(blueprint, indent=2) writes: ASCII, no final newline.
    const auto file = skills_dir() / "note.json";
    EXPECT_EQ(read_whole_file(file),
              "{\n  \"name\": \"note\",\n  \"description\": \"Write a n\\u00f6te\",\n  \"app\": \"gedit\",\n"
              "  \"category\": \"productivity\",\n  \"triggers\": [\n    \"note\"\n  ],\n"
              "  \"required_params\": [],\n  \"optional_params\": [],\n  \"steps\": [\n    {\n"
              "      \"operation\": \"keyboard_type\",\n      \"description\": \"Type\",\n      \"params\": {}\n"
              "    }\n  ],\n  \"reason\": \"\",\n  \"version\": 1\n}");
    EXPECT_TRUE(capture.contains(spdlog::level::info, "Saved skill to " + file.string()));

    const auto log = creator->get_improvement_log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], (json::object{{"timestamp", FIXED_TIMESTAMP},
                                    {"action", "created"},
                                    {"skill_name", "note"},
                                    {"reason", "Agent decided to create this skill"},
                                    {"details",
                                     {{"version", 1},
                                      {"steps", 1},
                                      {"category", "productivity"},
                                      {"app", "gedit"},
                                      {"triggers", json::array{"note"}}}},
                                    {"success", true}}));
}

TEST_F(SkillCreation, RecreatingRaisesTheStoredVersionOneByOne) {
    LogCapture capture("norvex.skills.creator");
    EXPECT_THAT(creator->create_skill(sample_blueprint()).message, StartsWith("Created skill 'send_email' v1 (2 steps"));
    const auto second = creator->create_skill(sample_blueprint());
    EXPECT_EQ(second.message,
              "Updated skill 'send_email' v2 (2 steps, category: email). It's now available for use.");
    EXPECT_EQ(second.skill->blueprint().version, 2);
    EXPECT_TRUE(capture.contains(spdlog::level::info, "Updating existing skill send_email to v2"));

    // From a dictionary, a "version" key is ignored: the stored one decides.
    json::object data = sample_blueprint().to_dict();
    data["version"] = 7;
    EXPECT_THAT(creator->create_from_dict(data).message, StartsWith("Updated skill 'send_email' v3 "));
    EXPECT_EQ(read_json(skills_dir() / "send_email.json").at("version"), 3);
    EXPECT_THAT(logged_actions(), ElementsAre("created", "updated", "updated"));

    // A later process sees the same history.
    EXPECT_THAT(reopen()->get_improvement_log(0), ::testing::SizeIs(3));
}

TEST_F(SkillCreation, AnUnreadableStoredSkillDoesNotBlockSavingItAgainAndIsKeptBesideIt) {
    // The copies beside send_email.json, oldest first, by content.
    auto kept = [&] {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(skills_dir())) {
            const std::string name = entry.path().filename();
            if (name.starts_with("send_email.json.unreadable-")) names.push_back(name);
        }
        std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
            return a.size() != b.size() ? a.size() < b.size() : a < b;  // "...Z" before "...Z-2"
        });
        std::vector<std::string> contents;
        for (const auto& name : names) contents.push_back(read_whole_file(skills_dir() / name));
        return contents;
    };
    LogCapture capture("norvex.skills.creator");
    write_skill_file("send_email.json", "{\"version\": ");
    EXPECT_THAT(creator->create_skill(sample_blueprint()).message, StartsWith("Created skill 'send_email' v1 "));
    EXPECT_THAT(kept(), ElementsAre("{\"version\": "));
    EXPECT_THAT(capture.messages(spdlog::level::warn),
                ElementsAre("Kept " + (skills_dir() / "send_email.json").string() + " as " +
                            (skills_dir() / "send_email.json.unreadable-20231114T221320Z").string() +
                            " before saving the skill anew: the file could not be loaded"));
    write_skill_file("send_email.json", R"({"version": "two"})");
    EXPECT_THAT(creator->create_skill(sample_blueprint()).message, StartsWith("Created skill 'send_email' v1 "));
    // Its version reads, but loading skips it for its triggers: kept as well.
    write_skill_file("send_email.json", R"({"version": 4, "triggers": "mail"})");
    EXPECT_THAT(creator->create_skill(sample_blueprint()).message, StartsWith("Updated skill 'send_email' v5 "));
    EXPECT_THAT(kept(), ElementsAre("{\"version\": ", R"({"version": "two"})", R"({"version": 4, "triggers": "mail"})"));
    // A stored file without a version counts as version 1; it loads, so it is simply replaced.
    write_skill_file("send_email.json", "{}");
    EXPECT_THAT(creator->create_skill(sample_blueprint()).message, StartsWith("Updated skill 'send_email' v2 "));
    EXPECT_EQ(kept().size(), 3u);
    // The copies are no skills: the listing holds the one saved skill.
    EXPECT_EQ(creator->list_saved_skills().size(), 1u);

    // A Python skill's metadata is kept the same way, before either of its files is written.
    write_skill_file("calc.json", "not json");
    ASSERT_TRUE(creator->create_from_dict(python_skill(ASYNC_RUN)).success);
    EXPECT_EQ(read_whole_file(skills_dir() / "calc.json.unreadable-20231114T221320Z"), "not json");
}

TEST_F(SkillCreation, KeepingAsideLinksWhatItDoesNotReadAndCutsNamesToTheLimit) {
    const auto when = std::chrono::system_clock::from_time_t(FIXED_TIME);
    const auto plain = skills_dir() / "plain.json";
    write_file_atomically(plain, "bytes on disk");
    // Without the bytes in hand the file is linked: same content, and it survives the file's replacement.
    const auto linked = detail::keep_aside(plain, nullptr, when);
    EXPECT_EQ(linked.filename(), "plain.json.unreadable-20231114T221320Z");
    write_file_atomically(plain, "new");
    EXPECT_EQ(read_whole_file(linked), "bytes on disk");

    std::string utf8_name(100, 'k');
    for (int i = 0; i < 75; ++i) utf8_name += "\xC3\xA9";
    utf8_name += ".json";  // 255 bytes, the longest a name may be: 100 'k', 75 two-byte letters
    const auto original = skills_dir() / utf8_name;
    write_file_atomically(original, "long");
    const std::string held = "held bytes";
    const auto first = detail::keep_aside(original, &held, when);
    const auto second = detail::keep_aside(original, &held, when);
    for (const auto& copy : {first, second}) {
        const std::string name = copy.filename();
        EXPECT_LE(name.size(), 255u) << name;
        EXPECT_EQ(read_whole_file(copy), held);
        EXPECT_TRUE(utf8_name.starts_with(name.substr(0, name.find(".unreadable-")))) << name;
        // Cut between letters, never inside one.
        const std::string cut = name.substr(0, name.find(".unreadable-"));
        EXPECT_EQ((cut.size() - 100) % 2, 0u) << name;
    }
    EXPECT_THAT(first.filename().string(), ::testing::EndsWith(".unreadable-20231114T221320Z"));
    EXPECT_THAT(second.filename().string(), ::testing::EndsWith(".unreadable-20231114T221320Z-2"));
    EXPECT_EQ(read_whole_file(original), "long");
}

TEST_F(SkillCreation, InvalidBlueprintsTouchNothing) {
    SkillBlueprint blueprint = sample_blueprint("bad-name");
    blueprint.triggers.clear();
    InMemorySkillRegistry registry;
    const auto [ok, message, skill] = creator->create_skill(blueprint, &registry);
    EXPECT_FALSE(ok);
    EXPECT_EQ(message,
              "Validation failed:\n  - Skill name must be alphanumeric with underscores only\n"
              "  - At least one trigger keyword is required");
    EXPECT_EQ(skill, nullptr);
    EXPECT_TRUE(std::filesystem::is_empty(skills_dir()));
    EXPECT_TRUE(registry.skills().empty());
    EXPECT_THAT(creator->get_improvement_log(), IsEmpty());
}

TEST_F(SkillCreation, ARegistryGetsTheSkillAtOnceAndItsRefusalReachesTheCaller) {
    LogCapture capture("norvex.skills.creator");
    InMemorySkillRegistry registry;
    const auto created = creator->create_skill(sample_blueprint(), &registry);
    ASSERT_TRUE(created.success);
    EXPECT_EQ(registry.find("send_email"), created.skill);
    EXPECT_TRUE(capture.contains(spdlog::level::info, "Hot-loaded skill send_email into live registry"));
    // The message does not depend on the registry.
    EXPECT_EQ(created.message, "Created skill 'send_email' v1 (2 steps, category: email). It's now available for use.");

    RefusingRegistry refusing;
    EXPECT_THROW(creator->create_skill(sample_blueprint("third"), &refusing), std::runtime_error);
    const auto from_dict = creator->create_from_dict(sample_blueprint("fourth").to_dict(), &refusing);
    EXPECT_FALSE(from_dict.success);
    EXPECT_EQ(from_dict.message, "Invalid skill data: engine refuses fourth");
    // The file was saved before the registry refused; the log never heard of it.
    EXPECT_TRUE(std::filesystem::exists(skills_dir() / "fourth.json"));
    EXPECT_THAT(logged_actions(), ElementsAre("created"));
}

TEST_F(SkillCreation, AFolderWhereTheFileMustGoFailsTheSave) {
    std::filesystem::create_directory(skills_dir() / "send_email.json");
    InMemorySkillRegistry registry;
    const auto [ok, message, skill] = creator->create_skill(sample_blueprint(), &registry);
    EXPECT_FALSE(ok);
    EXPECT_EQ(message, "Failed to save skill: [Errno 21] Is a directory: '" +
                           (skills_dir() / "send_email.json").string() + "'");
    EXPECT_EQ(skill, nullptr);
    EXPECT_TRUE(registry.skills().empty());
    EXPECT_THAT(creator->get_improvement_log(), IsEmpty());
}

TEST_F(SkillCreation, AFileWhereTheSkillsFolderMustGoFailsConstruction) {
    ScratchDir other{"norvex_skills_"};
    write_file_atomically(other.path() / "skills", "not a folder");
    try {
        SkillCreator blocked({.data_dir = other.path()});
        ADD_FAILURE() << "constructed over a file";
    } catch (const norvex::OsError& e) {
        EXPECT_EQ(std::string(e.what()), "[Errno 17] File exists: '" + (other.path() / "skills").string() + "'");
    }
}

TEST_F(SkillCreation, DictionariesTakeDefaultsAndBadDataComesBackAsAMessage) {
    json::object data = sample_blueprint("nocat").to_dict();
    data.erase("category");
    const auto created = creator->create_from_dict(data);
    ASSERT_TRUE(created.success) << created.message;
    EXPECT_EQ(created.skill->category, "custom");

    auto message_for = [&](json::object changes) {
        json::object proposal = sample_blueprint("broken").to_dict();
        for (const auto& member : changes) proposal[member.key()] = member.value();
        return creator->create_from_dict(proposal).message;
    };
    EXPECT_EQ(message_for({{"triggers", "email"}}), "Invalid skill data: 'triggers' must be a list of text, not str");
    EXPECT_EQ(message_for({{"steps", json::array{"open it"}}}), "Invalid skill data: Step 1 must be a dictionary, not str");
    EXPECT_EQ(message_for({{"name", 5}}), "Invalid skill data: 'name' must be text, not int");
    // Null reads as empty, so the agent hears the validation message it can act on.
    EXPECT_EQ(message_for({{"description", nullptr}}), "Validation failed:\n  - Description is required");
    EXPECT_FALSE(std::filesystem::exists(skills_dir() / "broken.json"));
}

TEST_F(SkillCreation, PythonSkillsAreCheckedSavedAndVersioned) {
    LogCapture capture("norvex.skills.creator");
    InMemorySkillRegistry registry;
    const auto [ok, message, skill] =
        creator->create_from_dict(python_skill(ASYNC_RUN, {{"category", "anything at all"}}), &registry);
    ASSERT_TRUE(ok) << message;
    EXPECT_EQ(message,
              "Created Python skill 'calc' v1 (4 lines, category: anything at all). "
              "It's now available for use with run_skill.");
    EXPECT_EQ(skill, nullptr);
    EXPECT_TRUE(registry.skills().empty());  // Python skills run through run_skill, not the registry

    const auto script = skills_dir() / "calc.py";
    EXPECT_EQ(read_whole_file(script), ASYNC_RUN);
    EXPECT_EQ(read_json(skills_dir() / "calc.json"), (json::object{{"name", "calc"},
                                                                   {"type", "python"},
                                                                   {"description", "Adds numbers"},
                                                                   {"app", "python"},
                                                                   {"category", "anything at all"},
                                                                   {"triggers", json::array{}},
                                                                   {"required_params", json::array{}},
                                                                   {"optional_params", json::array{}},
                                                                   {"script", "calc.py"},
                                                                   {"version", 1},
                                                                   {"reason", "Agent created this Python skill"}}));
    EXPECT_TRUE(capture.contains(spdlog::level::info, "Saved Python skill script: " + script.string()));
    EXPECT_TRUE(capture.contains(spdlog::level::info,
                                 "Saved Python skill metadata: " + (skills_dir() / "calc.json").string()));

    const auto again = creator->create_from_dict(python_skill(ASYNC_RUN + "\r\n# two\r# more\n", {{"reason", ""}}));
    EXPECT_EQ(again.message,
              "Updated Python skill 'calc' v2 (7 lines, category: custom). It's now available for use with run_skill.");
    const auto log = creator->get_improvement_log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].at("action"), "updated");
    EXPECT_EQ(log[1].at("reason"), "");  // given, though empty
    EXPECT_EQ(log[1].at("details"), (json::object{{"type", "python"},
                                                  {"version", 2},
                                                  {"category", "custom"},
                                                  {"code_lines", 7},
                                                  {"triggers", json::array{}}}));
}

// A JSON "\ud800" escape reaches the creator as a generalised UTF-8 surrogate;
// the problem names it by code point position, as Python's compile() does.
TEST_F(SkillCreation, PythonSkillWithALoneSurrogateSaysWhatPythonSays) {
    const std::string head = "async def run(ctx, params):\n    return '";
    const auto result = creator->create_from_dict(python_skill(head + "\xed\xa0\x80'\n"));
    EXPECT_FALSE(result.success);
    EXPECT_THAT(result.message, HasSubstr("Code cannot be compiled: 'utf-8' codec can't encode character '\\ud800' in "
                                          "position " + std::to_string(head.size()) + ": surrogates not allowed"));
    EXPECT_THAT(result.message, Not(HasSubstr("Non-UTF-8")));
    EXPECT_FALSE(std::filesystem::exists(skills_dir() / "calc.py"));
}

TEST_F(SkillCreation, PythonSkillProblemsAreListedInOrder) {
    EXPECT_EQ(creator->create_from_dict(python_skill("def run(ctx, params):\n    return 1\n")).message,
              "Validation failed:\n  - Code must define 'async def run(ctx, params)'");
    EXPECT_EQ(creator->create_from_dict(json::object{{"type", "python"}, {"name", "a-b"}}).message,
              "Validation failed:\n  - Skill name must be alphanumeric with underscores\n"
              "  - Python code is required\n  - Description is required\n"
              "  - Code must define 'async def run(ctx, params)'\n  - Code must define a run() function");
    // No length limit for Python skill names.
    json::object long_name = python_skill(ASYNC_RUN);
    long_name["name"] = std::string(80, 'p');
    EXPECT_TRUE(creator->create_from_dict(long_name).success);

    // The compiler's own words, under the skill's file name.
    const auto syntax = creator->create_from_dict(python_skill("async def run(ctx, params):\n    return (\n"));
    EXPECT_THAT(syntax.message, StartsWith("Validation failed:\n  - Syntax error in code: "));
    EXPECT_THAT(syntax.message, HasSubstr("(calc.py, line 2)"));
    const auto outside = creator->create_from_dict(python_skill("async def run(ctx, params):\n    pass\nreturn 1\n"));
    EXPECT_EQ(outside.message, "Validation failed:\n  - Syntax error in code: 'return' outside function (calc.py, line 3)");
    EXPECT_FALSE(std::filesystem::exists(skills_dir() / "calc.py"));
}

TEST_F(SkillCreation, PythonSkillFilesThatCannotBeWrittenAreReportedByWhich) {
    std::filesystem::create_directory(skills_dir() / "calc.py");
    EXPECT_EQ(creator->create_from_dict(python_skill(ASYNC_RUN)).message,
              "Failed to save script: [Errno 21] Is a directory: '" + (skills_dir() / "calc.py").string() + "'");
    std::filesystem::remove(skills_dir() / "calc.py");

    std::filesystem::create_directory(skills_dir() / "calc.json");
    EXPECT_EQ(creator->create_from_dict(python_skill(ASYNC_RUN)).message,
              "Failed to save metadata: [Errno 21] Is a directory: '" + (skills_dir() / "calc.json").string() + "'");
    // The two files change together: a new script goes again, an earlier one is put back.
    EXPECT_FALSE(std::filesystem::exists(skills_dir() / "calc.py"));
    const std::string earlier = "async def run(ctx, params):\n    return 'earlier'\n";
    write_skill_file("calc.py", earlier);
    EXPECT_FALSE(creator->create_from_dict(python_skill(ASYNC_RUN)).success);
    EXPECT_EQ(read_whole_file(skills_dir() / "calc.py"), earlier);
    EXPECT_THAT(creator->get_improvement_log(), IsEmpty());
}

TEST_F(SkillCreation, PythonSkillNamesSaveUpToTheFileNameLimitAndLongerOnesFailCleanly) {
    const std::size_t limit = static_cast<std::size_t>(::pathconf(skills_dir().c_str(), _PC_NAME_MAX));
    auto files_named = [&](const std::string& name) {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(skills_dir())) {
            const std::string file = entry.path().filename();
            if (file.find(name.substr(0, 40)) != std::string::npos) found.push_back(file);
        }
        std::sort(found.begin(), found.end());
        return found;
    };
    // From the length where the old temporary names broke down to the longest that fits "<name>.json".
    for (const std::size_t length : {limit - 30, limit - 6, limit - 5}) {
        json::object data = python_skill(ASYNC_RUN);
        const std::string name(length, 'n');
        data["name"] = name;
        const auto first = creator->create_from_dict(data);
        ASSERT_TRUE(first.success) << length << ": " << first.message;
        EXPECT_THAT(creator->create_from_dict(data).message, StartsWith("Updated Python skill")) << length;
        EXPECT_THAT(files_named(name), ElementsAre(name + ".json", name + ".py")) << length;
        EXPECT_EQ(read_json(skills_dir() / (name + ".json")).at("version"), 2);
        EXPECT_TRUE(creator->delete_skill(name).success);
        std::filesystem::remove(skills_dir() / (name + ".py"));
    }
    // Non-ASCII letters count in bytes.
    std::string wide;
    while (wide.size() + 2 <= limit - 5) wide += "\xC3\xA9";
    json::object data = python_skill(ASYNC_RUN);
    data["name"] = wide;
    EXPECT_TRUE(creator->create_from_dict(data).success);

    // One byte more and "<name>.json" passes the limit, while "<name>.py" alone would fit: neither is left.
    const std::string too_long(limit - 4, 'x');
    data["name"] = too_long;
    const std::size_t logged = creator->get_improvement_log(0).size();
    const auto failed = creator->create_from_dict(data);
    EXPECT_FALSE(failed.success);
    EXPECT_EQ(failed.message, "Failed to save metadata: [Errno 36] File name too long: '" +
                                  (skills_dir() / (too_long + ".json")).string() +
                                  "' (a Python skill is saved as its name plus \".json\" and \".py\", and file names "
                                  "here have at most " + std::to_string(limit) + " bytes: choose a name of at most " +
                                  std::to_string(limit - 5) + " bytes)");
    EXPECT_THAT(files_named(too_long), IsEmpty());
    EXPECT_EQ(creator->get_improvement_log(0).size(), logged);
}
