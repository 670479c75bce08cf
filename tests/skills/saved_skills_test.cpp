// Saved skills: loading back, registering, listing, showing, deleting, and the shared creator.
#include "creator_fixture.hpp"
#include "../support/python_fs.hpp"

#include "norvex/common/log_capture.hpp"

#include <gmock/gmock.h>

#include <cstdlib>

#include <sys/stat.h>

using namespace norvex::testing;
using norvex::logging::LogCapture;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;
using ::testing::StartsWith;

namespace {

// The shared creator uses the home folder; point it at a scratch one before
// anything in this program asks for the default data folder.
const std::filesystem::path SCRATCH_HOME = [] {
    auto home = std::filesystem::temp_directory_path() / ("norvex_skills_home_" + norvex::new_task_id());
    std::filesystem::create_directories(home);
    ::setenv("HOME", home.c_str(), 1);
    std::atexit([] { std::filesystem::remove_all(std::getenv("HOME")); });
    return home;
}();

std::vector<std::string> names_of(const std::vector<std::shared_ptr<DynamicSkill>>& skills) {
    std::vector<std::string> names;
    for (const auto& skill : skills) names.push_back(skill->name);
    return names;
}

}  // namespace

using SavedSkills = CreatorTest;

TEST_F(SavedSkills, BrokenFilesAreSkippedWithAWarningWhenLoadingAndSilentlyWhenListing) {
    creator->create_skill(sample_blueprint("b_skill"));
    write_skill_file("a.json", R"({"name": "a_skill", "steps": [{"operation": "open_app"}], "version": 4})");
    const std::string corrupt = write_skill_file("c.json", "{\"name\": ");
    const std::string listed = write_skill_file("d.json", "[1, 2]");
    write_skill_file("e.txt", "{}");
    std::filesystem::create_directory(skills_dir() / "f.json");

    LogCapture capture("norvex.skills.creator");
    const auto skills = creator->load_saved_skills();
    EXPECT_THAT(names_of(skills), ElementsAre("a_skill", "b_skill"));  // file-name order
    EXPECT_EQ(skills[0]->blueprint().version, 4);
    EXPECT_EQ(skills[0]->category, "custom");
    EXPECT_EQ(skills[1]->to_dict().at("steps"), sample_blueprint().steps);
    const auto warnings = capture.messages(spdlog::level::warn);
    EXPECT_THAT(warnings,
                ElementsAre("Failed to load skill from " + corrupt + ": Expecting value: line 1 column 10 (char 9)",
                            StartsWith("Failed to load skill from " + listed + ": the file holds a list"),
                            "Failed to load skill from " + (skills_dir() / "f.json").string() +
                                ": [Errno 21] Is a directory: '" + (skills_dir() / "f.json").string() + "'"));
    EXPECT_TRUE(capture.contains(spdlog::level::info, "Loaded saved skill: a_skill v4"));

    LogCapture quiet("norvex.skills.creator");
    const auto listing = creator->list_saved_skills();
    ASSERT_THAT(listing, SizeIs(2));
    EXPECT_EQ(listing[0], (json::object{{"name", "a_skill"},
                                        {"description", ""},
                                        {"app", ""},
                                        {"category", "custom"},
                                        {"version", 4},
                                        {"triggers", json::array{}},
                                        {"steps_count", 1},
                                        {"reason", ""},
                                        {"file", (skills_dir() / "a.json").string()}}));
    EXPECT_EQ(listing[1].at("steps_count"), 2);
    EXPECT_THAT(quiet.records(), IsEmpty());
}

TEST_F(SavedSkills, FilesWithoutANameLoadUnderTheirFileNameAndPythonMetadataHasNoSteps) {
    write_skill_file("nameless.json", R"({"description": "d", "triggers": ["t"]})");
    creator->create_from_dict({{"type", "python"},
                               {"name", "calc"},
                               {"description", "Adds"},
                               {"code", "async def run(ctx, params):\n    pass\n"}});
    const auto skills = creator->load_saved_skills();
    EXPECT_THAT(names_of(skills), ElementsAre("calc", "nameless"));
    EXPECT_TRUE(skills[0]->raw_steps().empty());
    EXPECT_EQ(skills[1]->blueprint().version, 1);
    EXPECT_EQ(skills[1]->triggers, std::vector<std::string>{"t"});
    const auto listing = creator->list_saved_skills();
    EXPECT_EQ(listing[0].at("steps_count"), 0);
    EXPECT_EQ(listing[0].at("app"), "python");
    EXPECT_EQ(listing[1].at("name"), "nameless");
}

TEST_F(SavedSkills, AMissingSkillsFolderMeansNoSkills) {
    creator->create_skill(sample_blueprint());
    std::filesystem::remove_all(skills_dir());
    EXPECT_THAT(creator->load_saved_skills(), IsEmpty());
    EXPECT_THAT(creator->list_saved_skills(), IsEmpty());
    EXPECT_EQ(creator->get_skill_source("send_email"), std::nullopt);
    // Writing a simple skill does not bring the folder back; a Python skill does.
    EXPECT_THAT(creator->create_skill(sample_blueprint()).message,
                StartsWith("Failed to save skill: [Errno 2] No such file or directory: '"));
}

TEST_F(SavedSkills, LoadIntoRegistryRegistersEachAndLetsRefusalsThrough) {
    creator->create_skill(sample_blueprint("one"));
    creator->create_skill(sample_blueprint("two"));
    InMemorySkillRegistry registry;
    EXPECT_EQ(creator->load_into_registry(registry), 2);
    ASSERT_NE(registry.find("two"), nullptr);
    EXPECT_EQ(registry.find("two")->build_steps({{"to", "ann"}})[1].params.at("text"), "ann: {{subject}}");

    RefusingRegistry refusing;
    EXPECT_THROW(creator->load_into_registry(refusing), std::runtime_error);
    TablelessRegistry tableless;
    EXPECT_EQ(creator->load_into_registry(tableless), 2);
    EXPECT_THAT(tableless.names, ElementsAre("one", "two"));
}

TEST_F(SavedSkills, DeletingRemovesTheFileTheRegistryEntryAndLogsIt) {
    InMemorySkillRegistry registry;
    creator->create_skill(sample_blueprint("gone"), &registry);
    creator->create_skill(sample_blueprint("kept"), &registry);
    EXPECT_EQ(creator->delete_skill("gone", &registry).message, "Deleted skill 'gone'");
    EXPECT_FALSE(std::filesystem::exists(skills_dir() / "gone.json"));
    EXPECT_EQ(registry.find("gone"), nullptr);
    EXPECT_NE(registry.find("kept"), nullptr);
    const auto log = creator->get_improvement_log();
    EXPECT_EQ(log.back(), (json::object{{"timestamp", FIXED_TIMESTAMP},
                                        {"action", "deleted"},
                                        {"skill_name", "gone"},
                                        {"reason", "Skill deleted by agent or user"},
                                        {"details", json::object{}},
                                        {"success", true}}));

    // Gone already: not found, and nothing more is logged.
    const auto again = creator->delete_skill("gone", &registry);
    EXPECT_FALSE(again.success);
    EXPECT_EQ(again.message, "Skill 'gone' not found");
    EXPECT_THAT(creator->get_improvement_log(), SizeIs(3));

    // A registry without a table is left alone, and one that never had the name is fine.
    TablelessRegistry tableless;
    EXPECT_TRUE(creator->delete_skill("kept", &tableless).success);
    creator->create_skill(sample_blueprint("third"));
    EXPECT_TRUE(creator->delete_skill("third", &registry).success);
    EXPECT_THAT(logged_actions(), ElementsAre("created", "created", "deleted", "deleted", "created", "deleted"));
}

TEST_F(SavedSkills, DeletingKeepsAPythonSkillsScript) {
    creator->create_from_dict({{"type", "python"},
                               {"name", "calc"},
                               {"description", "Adds"},
                               {"code", "async def run(ctx, params):\n    pass\n"}});
    EXPECT_TRUE(creator->delete_skill("calc").success);
    EXPECT_TRUE(std::filesystem::exists(skills_dir() / "calc.py"));
    EXPECT_THAT(creator->list_saved_skills(), IsEmpty());
}

TEST_F(SavedSkills, AFolderThatCannotBeRemovedFailsTheDeletionAndChangesNothing) {
    std::filesystem::create_directories(skills_dir() / "stuck.json");
    InMemorySkillRegistry registry;
    creator->create_skill(sample_blueprint("stuck_other"), &registry);
    const auto [ok, message] = creator->delete_skill("stuck", &registry);
    EXPECT_FALSE(ok);
    EXPECT_EQ(message, "Failed to delete: [Errno 21] Is a directory: '" + (skills_dir() / "stuck.json").string() + "'");
    EXPECT_TRUE(std::filesystem::is_directory(skills_dir() / "stuck.json"));
    EXPECT_THAT(logged_actions(), ElementsAre("created"));
}

TEST_F(SavedSkills, NamesThatAreNotPlainSkillNamesAreRefusedWithoutTouchingAnything) {
    creator->log_learning("x", "a lesson");
    write_file_atomically(data_dir / "secret.json", R"({"name": "secret"})");
    ASSERT_TRUE(std::filesystem::exists(log_file()));
    for (const std::string name : {"../improvement_log", "../secret", "/etc/passwd", "a/b", "x.y", "", "sp ace"}) {
        const auto [ok, message] = creator->delete_skill(name);
        EXPECT_FALSE(ok) << name;
        EXPECT_THAT(message, StartsWith("Invalid skill name '" + name + "': a skill name has only letters, digits"));
        EXPECT_EQ(creator->get_skill_source(name), std::nullopt) << name;
    }
    EXPECT_TRUE(std::filesystem::exists(log_file()));
    EXPECT_TRUE(std::filesystem::exists(data_dir / "secret.json"));
    EXPECT_THAT(logged_actions(), ElementsAre("learned"));
    EXPECT_FALSE(is_plain_skill_name("___"));
    EXPECT_TRUE(is_plain_skill_name("_a_1_"));
}

TEST_F(SavedSkills, SourceIsTheStoredDictionaryOrNothing) {
    creator->create_skill(sample_blueprint());
    EXPECT_EQ(creator->get_skill_source("send_email"), sample_blueprint().to_dict());
    write_skill_file("listy.json", "[1]");
    write_skill_file("broken.json", "{");
    EXPECT_EQ(creator->get_skill_source("listy"), std::nullopt);
    EXPECT_EQ(creator->get_skill_source("broken"), std::nullopt);
    EXPECT_EQ(creator->get_skill_source("absent"), std::nullopt);
}

TEST_F(SavedSkills, FifosAndLinksOutOfTheFolderAreSkippedWithAWarningAndNeverRead) {
    creator->create_skill(sample_blueprint("b_skill"));
    // A FIFO nobody writes to: reading it would hang every skill tool.
    ASSERT_EQ(::mkfifo((skills_dir() / "x.json").c_str(), 0600), 0);
    std::filesystem::create_symlink("/etc/passwd", skills_dir() / "passwd.json");
    std::filesystem::create_symlink("b_skill.json", skills_dir() / "alias.json");
    const std::string fifo = (skills_dir() / "x.json").string();
    const std::string link = (skills_dir() / "passwd.json").string();
    const std::string fifo_text = "Not a regular file: '" + fifo +
                                  "' is a named pipe (FIFO), and only regular files are read (remove it from the skills folder)";
    const std::string link_text = "Not read: '" + link + "' is a link to a file outside '" + skills_dir().string() +
                                  "', and only files inside it are read (copy the file into the skills folder in "
                                  "place of the link, or remove the link)";

    LogCapture loading("norvex.skills.creator");
    EXPECT_THAT(names_of(creator->load_saved_skills()), ElementsAre("b_skill", "b_skill"));  // alias, then itself
    EXPECT_THAT(loading.messages(spdlog::level::warn),
                ElementsAre("Failed to load skill from " + link + ": " + link_text,
                            "Failed to load skill from " + fifo + ": " + fifo_text));

    LogCapture listing("norvex.skills.creator");
    EXPECT_THAT(creator->list_saved_skills(), SizeIs(2));
    EXPECT_THAT(listing.messages(spdlog::level::warn),
                ElementsAre("Skipped " + link + " in the listing: " + link_text,
                            "Skipped " + fifo + " in the listing: " + fifo_text));

    LogCapture showing("norvex.skills.creator");
    EXPECT_EQ(creator->get_skill_source("passwd"), std::nullopt);
    EXPECT_EQ(creator->get_skill_source("x"), std::nullopt);
    EXPECT_EQ(creator->get_skill_source("alias"), sample_blueprint("b_skill").to_dict());
    EXPECT_THAT(showing.messages(spdlog::level::warn),
                ElementsAre("Not showing skill 'passwd': " + link_text, "Not showing skill 'x': " + fifo_text));
    EXPECT_EQ(creator->get_improvement_stats().at("active_custom_skills"), 2);

    // Nor can a FIFO in place of the log hold up a new creator; the next save replaces it.
    ASSERT_EQ(::mkfifo((data_dir / "elsewhere_log").c_str(), 0600), 0);
    std::filesystem::rename(data_dir / "elsewhere_log", log_file());
    LogCapture opening("norvex.skills.creator");
    creator = reopen();
    EXPECT_THAT(opening.messages(spdlog::level::warn),
                ElementsAre(StartsWith("Failed to load improvement log: Not a regular file: '" + log_file().string())));
    creator->log_learning("b_skill", "a lesson");
    EXPECT_TRUE(std::filesystem::is_regular_file(log_file()));
}

TEST(SavedSkillNames, ANameThatIsNotUtf8IsListedAsPythonShowsIt) {
    ScratchDir scratch{"norvex_skills_"};
    const auto data_dir = scratch.path() / "d\xe4ta";
    SkillCreator creator{{.data_dir = data_dir}};
    const auto file = data_dir / "skills" / "caf\xe9.json";
    write_file_atomically(file, R"({"description": "named by its file"})");
    const auto listing = creator.list_saved_skills();
    ASSERT_THAT(listing, SizeIs(1));
    EXPECT_EQ(listing[0].at("name"), "caf\xed\xb3\xa9");  // U+DCE9 stands for the byte 0xE9
    if (!have_python3()) GTEST_SKIP() << PYTHON3 << " is missing";
    EXPECT_EQ(pyjson::dumps(listing[0].at("file")), python_fsdecode_json({file.native()}).at(0));
    EXPECT_EQ(pyjson::dumps(listing[0].at("name")), python_fsdecode_json({"caf\xe9"}).at(0));
}

TEST(SharedCreator, IsOneObjectOverTheHomeDataFolder) {
    SkillCreator& first = get_skill_creator();
    EXPECT_EQ(&first, &get_skill_creator());
    EXPECT_EQ(first.skills_dir(), SCRATCH_HOME / ".norvex" / "skills");
    EXPECT_TRUE(std::filesystem::is_directory(first.skills_dir()));
    EXPECT_EQ(default_improvement_log(), SCRATCH_HOME / ".norvex" / "improvement_log.json");
    EXPECT_EQ(first.improvement_log_path(), default_improvement_log());
}
