// The improvement log: file layout, limits, all-or-nothing loading, failed saves, statistics.
#include "creator_fixture.hpp"

#include "norvex/common/log_capture.hpp"

#include <gmock/gmock.h>

#include <algorithm>

using namespace norvex::testing;
using norvex::logging::LogCapture;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;
using ::testing::StartsWith;
using ::testing::UnorderedElementsAre;

using ImprovementLog = CreatorTest;

TEST_F(ImprovementLog, TheFirstLearningCreatesTheFileInPythonsLayout) {
    EXPECT_THAT(creator->get_improvement_log(), IsEmpty());
    std::filesystem::remove_all(data_dir);  // the log's folder is made on first save
    creator->log_learning("send_email", "Users prefer short subj\xC3\xA9" "cts");
    EXPECT_EQ(read_whole_file(log_file()),
              "[\n  {\n    \"timestamp\": \"2023-11-14 22:13:20\",\n    \"action\": \"learned\",\n"
              "    \"skill_name\": \"send_email\",\n    \"reason\": \"Users prefer short subj\\u00e9cts\",\n"
              "    \"details\": {},\n    \"success\": true\n  }\n]");
    creator->log_learning("send_email", "again", {{"hint", 1}});
    const auto reloaded = reopen()->get_improvement_log();
    ASSERT_THAT(reloaded, SizeIs(2));
    EXPECT_EQ(reloaded[1].at("details"), (json::object{{"hint", 1}}));
    EXPECT_EQ(reloaded, creator->get_improvement_log());
}

TEST_F(ImprovementLog, LimitsCountFromTheEnd) {
    for (int i = 1; i <= 120; ++i) creator->log_learning("s", "r" + std::to_string(i));
    const auto last50 = creator->get_improvement_log();
    ASSERT_THAT(last50, SizeIs(50));
    EXPECT_EQ(last50.front().at("reason"), "r71");
    EXPECT_EQ(last50.back().at("reason"), "r120");
    EXPECT_THAT(creator->get_improvement_log(200), SizeIs(120));
    EXPECT_THAT(creator->get_improvement_log(0), SizeIs(120));
    EXPECT_EQ(creator->get_improvement_log(1).at(0).at("reason"), "r120");
    EXPECT_EQ(creator->get_improvement_log(-118).at(0).at("reason"), "r119");  // log[118:]
}

TEST_F(ImprovementLog, OneBadEntryDiscardsTheWholeStoredLog) {
    creator->log_learning("a", "first");
    creator->log_learning("b", "second");
    json::array stored = read_json(log_file()).as_array();
    stored[1].as_object()["extra"] = 1;
    write_file_atomically(log_file(), pyjson::dumps(stored, pyjson::Layout::indent2));

    LogCapture capture("norvex.skills.creator");
    auto later = reopen();
    EXPECT_THAT(later->get_improvement_log(0), IsEmpty());
    EXPECT_THAT(capture.messages(spdlog::level::warn),
                ElementsAre("Failed to load improvement log: ImprovementEntry.__init__() got an unexpected keyword "
                            "argument 'extra'"));
    // The file stays until the next save, which keeps only what came after,
    // and its bytes beside it.
    const std::string bad_bytes = read_whole_file(log_file());
    EXPECT_THAT(read_json(log_file()).as_array(), SizeIs(2));
    later->log_learning("c", "third");
    EXPECT_THAT(read_json(log_file()).as_array(), SizeIs(1));
    EXPECT_EQ(read_whole_file(data_dir / "improvement_log.json.unreadable-20231114T221320Z"), bad_bytes);
}

TEST_F(ImprovementLog, AnUnreadableLogIsKeptBesideItOnceBeforeANewOneReplacesIt) {
    auto copies = [&] {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(data_dir)) {
            const std::string name = entry.path().filename();
            if (name.starts_with("improvement_log.json.unreadable-")) names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::string first_garbage = "[{\"timestamp\": ";
    write_file_atomically(log_file(), first_garbage);
    LogCapture capture("norvex.skills.creator");
    creator = reopen();
    EXPECT_THAT(copies(), IsEmpty());  // loading alone writes nothing

    creator->log_learning("a", "one");
    ASSERT_THAT(copies(), SizeIs(1));
    const auto copy = data_dir / copies()[0];
    EXPECT_EQ(read_whole_file(copy), first_garbage);
    EXPECT_THAT(capture.messages(spdlog::level::warn),
                ElementsAre(StartsWith("Failed to load improvement log: Expecting value"),
                            "Kept the unreadable improvement log as " + copy.string() + " and started a new log in " +
                                log_file().string() + " (the entries it held can be recovered from the copy)"));
    creator->log_learning("a", "two");
    EXPECT_THAT(copies(), SizeIs(1));
    EXPECT_THAT(read_json(log_file()).as_array(), SizeIs(2));

    // Spoiled again by someone else: kept under the next free name, and this creator's entries go on.
    const std::string second_garbage = R"([{"timestamp": "t", "oops": 1}])";
    write_file_atomically(log_file(), second_garbage);
    creator->log_learning("a", "three");
    ASSERT_THAT(copies(), SizeIs(2));
    EXPECT_EQ(read_whole_file(data_dir / (copies()[0] + "-2")), second_garbage);
    const json::array kept = read_json(log_file()).as_array();
    ASSERT_THAT(kept, SizeIs(3));
    EXPECT_EQ(kept[2].at("reason"), "three");
}

TEST_F(ImprovementLog, CorruptOrWronglyShapedFilesLoadAsAnEmptyLog) {
    auto warning_for = [&](std::string_view text) {
        write_file_atomically(log_file(), text);
        LogCapture capture("norvex.skills.creator");
        EXPECT_THAT(reopen()->get_improvement_log(0), IsEmpty()) << text;
        const auto warnings = capture.messages(spdlog::level::warn);
        return warnings.empty() ? std::string() : warnings[0];
    };
    EXPECT_EQ(warning_for("[{\"timestamp\": "), "Failed to load improvement log: Expecting value: line 1 column 16 (char 15)");
    EXPECT_EQ(warning_for("[[]]"),
              "Failed to load improvement log: ImprovementEntry() argument after ** must be a mapping, not list");
    EXPECT_EQ(warning_for(R"([{"timestamp": "t", "action": "a", "skill_name": "s"}])"),
              "Failed to load improvement log: ImprovementEntry.__init__() missing 1 required positional argument: "
              "'reason'");
    EXPECT_THAT(warning_for("{}"), StartsWith("Failed to load improvement log: the log holds a dict"));
    // An empty list is a valid, empty log.
    EXPECT_EQ(warning_for("[]"), "");
}

TEST_F(ImprovementLog, ALogThatCannotBeWrittenKeepsEntriesInMemoryAndTheOperationSucceeds) {
    std::filesystem::create_directories(log_file());  // a folder where the file must go
    LogCapture capture("norvex.skills.creator");
    auto blocked = reopen();
    EXPECT_THAT(capture.messages(spdlog::level::warn),
                ElementsAre("Failed to load improvement log: [Errno 21] Is a directory: '" + log_file().string() + "'"));

    const auto created = blocked->create_skill(sample_blueprint());
    EXPECT_TRUE(created.success) << created.message;
    EXPECT_THAT(blocked->get_improvement_log(), SizeIs(1));
    EXPECT_THAT(capture.messages(spdlog::level::warn),
                ElementsAre(StartsWith("Failed to load improvement log: "),
                            "Failed to save improvement log: [Errno 21] Is a directory: '" + log_file().string() +
                                "'"));
}

TEST_F(ImprovementLog, StatisticsCountActionsExactlyAndListCategories) {
    const auto empty = creator->get_improvement_stats();
    EXPECT_EQ(empty, (json::object{{"total_improvements", 0},
                                   {"skills_created", 0},
                                   {"skills_updated", 0},
                                   {"skills_deleted", 0},
                                   {"learnings_recorded", 0},
                                   {"active_custom_skills", 0},
                                   {"categories_covered", json::array{}}}));

    // An entry spelled "Created" by some other writer counts only in the total.
    write_file_atomically(log_file(), R"([{"timestamp": "t", "action": "Created", "skill_name": "s", "reason": "r"}])");
    creator = reopen();
    SkillBlueprint custom = sample_blueprint("one");
    custom.category = "custom";
    creator->create_skill(custom);
    custom.name = "two";
    creator->create_skill(custom);
    creator->create_skill(custom);  // updated
    creator->create_skill(sample_blueprint("three"));
    creator->create_skill(sample_blueprint("four"));
    creator->delete_skill("four");
    creator->log_learning("one", "lesson");

    const auto stats = creator->get_improvement_stats();
    EXPECT_EQ(stats.at("total_improvements"), 8);
    EXPECT_EQ(stats.at("skills_created"), 4);
    EXPECT_EQ(stats.at("skills_updated"), 1);
    EXPECT_EQ(stats.at("skills_deleted"), 1);
    EXPECT_EQ(stats.at("learnings_recorded"), 1);
    EXPECT_EQ(stats.at("active_custom_skills"), 3);
    EXPECT_THAT(stats.at("categories_covered").as_array(), UnorderedElementsAre("custom", "email"));
}

TEST_F(ImprovementLog, EntriesWithUnusualValueTypesAreKeptAsTheyAreAndCounted) {
    // As another program in the same folder wrote it: nulls, a number for the time, "yes" for success.
    const std::string other_program = R"([
  {"timestamp": 1700000000, "action": "created", "skill_name": "a", "reason": null, "details": null, "success": "yes"},
  {"timestamp": "t", "action": "learned", "skill_name": "b", "reason": "r", "details": {"k": 1}, "success": 0},
  {"timestamp": "t", "action": 7, "skill_name": null, "reason": ["x"]}
])";
    write_file_atomically(log_file(), other_program);
    const json::array stored = pyjson::parse(other_program).as_array();

    LogCapture capture("norvex.skills.creator");
    creator = reopen();
    EXPECT_THAT(capture.messages(spdlog::level::warn), IsEmpty());
    const auto loaded = creator->get_improvement_log(0);
    ASSERT_THAT(loaded, SizeIs(3));
    EXPECT_EQ(loaded[0].at("timestamp"), 1700000000);
    EXPECT_TRUE(loaded[0].at("reason").is_null());
    EXPECT_TRUE(loaded[0].at("details").is_null());
    EXPECT_EQ(loaded[0].at("success"), "yes");
    EXPECT_EQ(loaded[2].at("details"), json::object{});  // missing keys still take their defaults
    EXPECT_EQ(loaded[2].at("success"), true);

    // Creation's own reason may be null too; the next save writes every stored value back unchanged.
    const auto created = creator->create_from_dict(
        {{"type", "python"}, {"name", "py_null_reason"}, {"description", "d"}, {"reason", nullptr},
         {"code", "async def run(ctx, params):\n    return 1\n"}});
    ASSERT_TRUE(created.success) << created.message;
    const json::array written = read_json(log_file()).as_array();
    ASSERT_THAT(written, SizeIs(4));
    for (std::size_t i = 0; i < 2; ++i) EXPECT_EQ(written[i], stored[i]) << i;
    EXPECT_EQ(written[2].at("action"), 7);
    EXPECT_TRUE(written[2].at("skill_name").is_null());
    EXPECT_TRUE(written[3].at("reason").is_null());
    EXPECT_EQ(reopen()->get_improvement_log(0), creator->get_improvement_log(0));

    // Counting compares actions exactly: a numeric action counts only towards the total.
    const auto stats = creator->get_improvement_stats();
    EXPECT_EQ(stats.at("total_improvements"), 4);
    EXPECT_EQ(stats.at("skills_created"), 2);
    EXPECT_EQ(stats.at("learnings_recorded"), 1);
}
