// `norvex skills` end to end: the real program over a scratch data folder.
#include "../support/scratch_dir.hpp"
#include "mid_save.hpp"

#include "norvex/common/atomic_file.hpp"
#include "norvex/common/pyjson.hpp"

#include <gmock/gmock.h>

#include <algorithm>
#include <numeric>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

extern char** environ;

using namespace norvex::testing;
namespace json = boost::json;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

struct Output {
    int status = -1;
    std::string out;
    std::string err;
};

// Starts the program with its output going to the given files.
pid_t start(std::vector<std::string> args, const std::string& input_file, const std::string& out_file,
            const std::string& err_file) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input_file.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    args.insert(args.begin(), NORVEX_PROGRAM);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, NORVEX_PROGRAM, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " NORVEX_PROGRAM);
    return pid;
}

Output run(const ScratchDir& scratch, std::vector<std::string> args, const std::string& input_file = "/dev/null") {
    const auto out_file = scratch.path() / "stdout";
    const auto err_file = scratch.path() / "stderr";
    const pid_t pid = start(std::move(args), input_file, out_file, err_file);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    }
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, norvex::read_whole_file(out_file),
            norvex::read_whole_file(err_file)};
}

const char* SKILL = R"({
  "name": "open_notes",
  "description": "Open the notes app on a file",
  "app": "gedit",
  "category": "productivity",
  "triggers": ["notes"],
  "required_params": ["file"],
  "steps": [{"operation": "open_file", "description": "Open {{file}}", "params": {"path": "{{file}}"}}]
})";

}  // namespace

TEST(NorvexSkills, CreateListShowLogStatsAndDeleteThroughTheProgram) {
    ScratchDir scratch;
    const std::string data = (scratch.path() / "data").string();
    const std::string file = scratch.write("skill.json", SKILL);

    const Output created = run(scratch, {"skills", "--data-dir", data, "create", file, "--json"});
    ASSERT_EQ(created.status, 0) << created.err;
    const json::object answer = norvex::pyjson::parse(created.out).as_object();
    EXPECT_EQ(answer.at("message"),
              "Created skill 'open_notes' v1 (1 steps, category: productivity). It's now available for use.");
    EXPECT_EQ(answer.at("skill").at("dynamic"), true);
    // The option may also follow the subcommand; a second creation updates. People get the message alone.
    const Output updated = run(scratch, {"skills", "create", file, "--data-dir", data});
    EXPECT_EQ(updated.out, "Updated skill 'open_notes' v2 (1 steps, category: productivity). It's now available for use.\n");

    const Output listed = run(scratch, {"skills", "list", "--data-dir", data, "--json"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    const json::array listing = norvex::pyjson::parse(listed.out).as_array();
    ASSERT_EQ(listing.size(), 1u);
    EXPECT_EQ(listing[0].at("version"), 2);
    EXPECT_EQ(listed.out, norvex::pyjson::dumps(listing, norvex::pyjson::Layout::indent2) + "\n");
    // A table by default; --table, the old way to ask for one, gives the same.
    const Output table = run(scratch, {"skills", "list", "--data-dir", data});
    EXPECT_THAT(table.out, StartsWith("NAME        VERSION  CATEGORY      STEPS  APP    TRIGGERS  DESCRIPTION\n"
                                      "open_notes  2        productivity  1      gedit  notes     Open the notes"));
    EXPECT_EQ(run(scratch, {"skills", "list", "--table", "--data-dir", data}).out, table.out);

    const Output shown = run(scratch, {"skills", "show", "open_notes", "--data-dir", data, "--json"});
    EXPECT_EQ(norvex::pyjson::parse(shown.out).at("steps").at(0).at("params").at("path"), "{{file}}");
    const Output shown_table = run(scratch, {"skills", "show", "open_notes", "--data-dir", data});
    EXPECT_THAT(shown_table.out, StartsWith("KEY              VALUE\nname             open_notes\n"));
    EXPECT_THAT(shown_table.out, HasSubstr("\n1     open_file  Open {{file}}  {\"path\": \"{{file}}\"}\n"));

    const Output log = run(scratch, {"skills", "log", "--limit", "1", "--data-dir", data, "--json"});
    const json::array entries = norvex::pyjson::parse(log.out).as_array();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].at("action"), "updated");
    const Output log_table = run(scratch, {"skills", "log", "--data-dir", data});
    EXPECT_THAT(log_table.out, ::testing::ContainsRegex("\n[-0-9: ]+  updated  open_notes  yes  "));

    const Output deleted = run(scratch, {"skills", "delete", "open_notes", "--data-dir", data});
    EXPECT_EQ(deleted.status, 0) << deleted.err;
    EXPECT_EQ(deleted.err, "");
    const Output stats = run(scratch, {"skills", "stats", "--data-dir", data, "--json"});
    const json::object counts = norvex::pyjson::parse(stats.out).as_object();
    EXPECT_EQ(counts.at("total_improvements"), 3);
    EXPECT_EQ(counts.at("skills_deleted"), 1);
    EXPECT_EQ(counts.at("active_custom_skills"), 0);
}

TEST(NorvexSkills, MistakesExitWithStatusOneAndSayWhatToDo) {
    ScratchDir scratch;
    const std::string data = (scratch.path() / "data").string();

    const Output missing = run(scratch, {"skills", "show", "nothing_here", "--data-dir", data});
    EXPECT_EQ(missing.status, 1);
    EXPECT_THAT(missing.err, HasSubstr("no readable skill 'nothing_here'"));

    norvex::make_dirs(data);
    norvex::write_file_atomically(std::filesystem::path(data) / "improvement_log.json", "[]");
    const Output traversal = run(scratch, {"skills", "delete", "../improvement_log", "--data-dir", data, "--json"});
    EXPECT_EQ(traversal.status, 1);
    EXPECT_THAT(std::string(norvex::pyjson::parse(traversal.out).at("message").as_string()),
                StartsWith("Invalid skill name '../improvement_log'"));
    // For people, the refusal is an error on stderr, named by its command.
    const Output refused = run(scratch, {"skills", "delete", "../improvement_log", "--data-dir", data});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_THAT(refused.err, StartsWith("norvex skills delete: Invalid skill name '../improvement_log'"));
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(data) / "improvement_log.json"));

    const Output bad_json = run(scratch, {"skills", "create", scratch.write("bad.json", "{"), "--data-dir", data});
    EXPECT_EQ(bad_json.status, 1);
    EXPECT_THAT(bad_json.err, HasSubstr("is not valid JSON: Expecting property name enclosed in double quotes"));

    const Output invalid =
        run(scratch, {"skills", "create", scratch.write("empty.json", "{}"), "--data-dir", data, "--json"});
    EXPECT_EQ(invalid.status, 1);
    EXPECT_THAT(std::string(norvex::pyjson::parse(invalid.out).at("message").as_string()),
                StartsWith("Validation failed:\n  - Skill name is required"));
    EXPECT_THAT(run(scratch, {"skills", "create", scratch.write("empty2.json", "{}"), "--data-dir", data}).err,
                StartsWith("norvex skills create: Validation failed:\n  - Skill name is required"));

    const Output both = run(scratch, {"skills", "list", "--json", "--table", "--data-dir", data});
    EXPECT_EQ(both.status, 2);
    EXPECT_THAT(both.err, HasSubstr("--json and --table"));

    const std::string blocked = scratch.write("blocked", "a file, not a folder");
    const Output unusable = run(scratch, {"skills", "list", "--data-dir", blocked});
    EXPECT_EQ(unusable.status, 1);
    EXPECT_THAT(unusable.err, HasSubstr("cannot use the data folder"));
}

TEST(NorvexSkills, LogAndStatsShowEntriesOtherProgramsWrote) {
    ScratchDir scratch;
    const auto data = scratch.path() / "data";
    norvex::make_dirs(data);
    norvex::write_file_atomically(data / "improvement_log.json", R"([
  {"timestamp": 1700000000, "action": "created", "skill_name": "odd_one", "reason": null, "success": "maybe"},
  {"timestamp": "2024-01-02 03:04:05", "action": "learned", "skill_name": "plain", "reason": "why", "success": false}
])");
    const Output table = run(scratch, {"skills", "log", "--data-dir", data});
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_EQ(table.err, "");
    EXPECT_THAT(table.out, HasSubstr("\n1700000000           created  odd_one  maybe\n"));
    EXPECT_THAT(table.out, HasSubstr("\n2024-01-02 03:04:05  learned  plain    no     why\n"));

    const json::array entries =
        norvex::pyjson::parse(run(scratch, {"skills", "log", "--data-dir", data, "--json"}).out).as_array();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_TRUE(entries[0].at("reason").is_null());
    EXPECT_EQ(entries[0].at("success"), "maybe");

    const Output stats = run(scratch, {"skills", "stats", "--data-dir", data});
    EXPECT_THAT(stats.out, ::testing::ContainsRegex("\ntotal_improvements +2\n"));
    EXPECT_THAT(stats.out, ::testing::ContainsRegex("\nskills_created +1\n"));
}

TEST(NorvexSkills, CreateReadsTheSkillFromStandardInput) {
    ScratchDir scratch;
    const std::string data = (scratch.path() / "data").string();
    const Output created = run(scratch, {"skills", "create", "-", "--data-dir", data}, scratch.write("in.json", SKILL));
    EXPECT_EQ(created.status, 0) << created.err;
    EXPECT_THAT(created.out, StartsWith("Created skill 'open_notes' v1"));
    EXPECT_EQ(norvex::pyjson::parse(run(scratch, {"skills", "show", "open_notes", "--data-dir", data, "--json"}).out)
                  .at("app"),
              "gedit");

    // Its problems name standard input where a file name would stand.
    const Output bad = run(scratch, {"skills", "create", "-", "--data-dir", data}, scratch.write("bad.json", "[1]"));
    EXPECT_EQ(bad.status, 1);
    EXPECT_THAT(bad.err, StartsWith("norvex skills create: <stdin> holds a list; a skill file holds one JSON object"));
}

// The help of `skills create` documents the file from the creator's own lists.
TEST(NorvexSkills, CreateHelpListsKeysOperationsCategoriesAndPythonSkills) {
    ScratchDir scratch;
    const Output help = run(scratch, {"skills", "create", "--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* key : {"name", "description", "app", "category", "triggers", "required_params", "optional_params",
                            "steps", "reason", "wait_after", "retry_on_fail", "max_retries", "optional"}) {
        EXPECT_THAT(help.out, ::testing::ContainsRegex(std::string("\n  ") + key + " +[a-z]")) << key;
    }
    for (const char* listed : {"open_file", "keyboard_hotkey", "find_text_on_screen", "productivity", "travel"}) {
        EXPECT_THAT(help.out, HasSubstr(std::string(" ") + listed + ",")) << listed;
    }
    EXPECT_THAT(help.out, HasSubstr("{{name}}"));
    EXPECT_THAT(help.out, HasSubstr("\"type\": \"python\""));
    EXPECT_THAT(help.out, HasSubstr("async def run(ctx, params):"));
}

TEST(NorvexSkills, AFifoGivenAsTheSkillFileIsRefusedAtOnce) {
    ScratchDir scratch;
    const auto data = scratch.path() / "data";
    const auto fifo = scratch.path() / "x.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const Output created = run(scratch, {"skills", "create", fifo, "--data-dir", data});
    EXPECT_EQ(created.status, 1);
    EXPECT_EQ(created.err, "norvex skills create: cannot read the skill file: Not a regular file: '" + fifo.string() +
                               "' is a named pipe (FIFO), and only regular files are read (give the path of a JSON "
                               "file holding the skill's dictionary, or - to read it from standard input)\n");
}

TEST(NorvexSkills, ASaveKilledMidWayLeavesNoTemporaryOnceTheStoreWritesAgain) {
    ScratchDir scratch;
    const auto data = scratch.path() / "data";
    const auto skills = data / "skills";
    const std::string small = scratch.write("skill.json", SKILL);
    ASSERT_EQ(run(scratch, {"skills", "create", small, "--data-dir", data}).status, 0);
    // Big enough that writing it takes a while.
    const std::string big = scratch.write(
        "big.json", R"({"name": "big_skill", "app": "gedit", "triggers": ["big"], "description": ")" +
                        std::string(48 << 20, 'x') + R"(", "steps": [{"operation": "open_app", "description": "Open it", "params": {}}]})");

    ChildGuard saver{start({"skills", "create", big, "--data-dir", data}, "/dev/null", "/dev/null", "/dev/null")};
    const auto temporary = stop_mid_save(saver.pid, skills, ".big_skill.json.");
    ::kill(saver.pid, SIGKILL);
    saver.reap();
    ASSERT_TRUE(std::filesystem::exists(temporary));

    // Any later save of the store sweeps it, here another skill's.
    const Output again = run(scratch, {"skills", "create", small, "--data-dir", data});
    EXPECT_EQ(again.status, 0) << again.err;
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(skills)) left.push_back(entry.path().filename());
    EXPECT_THAT(left, ::testing::ElementsAre("open_notes.json"));
}

TEST(NorvexSkills, TwelveProcessesCreatingAtOnceKeepEveryLogEntryAndWholeFiles) {
    ScratchDir scratch;
    const auto data = scratch.path() / "data";
    constexpr int WORKERS = 12;
    constexpr int CREATES = 20;
    std::vector<std::string> files;
    for (int w = 0; w < WORKERS; ++w) {
        json::object skill = norvex::pyjson::parse(SKILL).as_object();
        skill["name"] = "worker_" + std::to_string(w);
        files.push_back(scratch.write("w" + std::to_string(w) + ".json", norvex::pyjson::dumps(skill)));
    }
    // Each worker runs its creations one after another, all workers at once.
    struct Running {
        std::vector<pid_t> pids = std::vector<pid_t>(WORKERS, 0);
        ~Running() {
            for (pid_t pid : pids) {
                if (pid > 0) {
                    ::kill(pid, SIGKILL);
                    ::waitpid(pid, nullptr, 0);
                }
            }
        }
    } running;
    std::vector<int> done(WORKERS, 0);
    auto launch = [&](int w) {
        const std::string err = (scratch.path() / ("err" + std::to_string(w))).string();
        running.pids[w] = start({"skills", "--data-dir", data, "create", files[w]}, "/dev/null", "/dev/null", err);
    };
    for (int w = 0; w < WORKERS; ++w) launch(w);
    for (int finished = 0; finished < WORKERS * CREATES; ++finished) {
        int status = 0;
        const pid_t pid = ::waitpid(-1, &status, 0);
        ASSERT_GT(pid, 0);
        const auto w = static_cast<int>(std::find(running.pids.begin(), running.pids.end(), pid) - running.pids.begin());
        ASSERT_LT(w, WORKERS);
        running.pids[w] = 0;
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << norvex::read_whole_file(scratch.path() / ("err" + std::to_string(w)));
        if (++done[w] < CREATES) launch(w);
    }

    const json::array log = norvex::pyjson::parse(norvex::read_whole_file(data / "improvement_log.json")).as_array();
    EXPECT_EQ(log.size(), static_cast<std::size_t>(WORKERS * CREATES));
    for (int w = 0; w < WORKERS; ++w) {
        const std::string name = "worker_" + std::to_string(w);
        std::vector<std::int64_t> versions;
        for (const json::value& entry : log) {
            if (entry.at("skill_name") == name.c_str()) versions.push_back(entry.at("details").at("version").as_int64());
        }
        std::vector<std::int64_t> expected(CREATES);
        std::iota(expected.begin(), expected.end(), 1);
        EXPECT_EQ(versions, expected) << name;
        const json::value stored = norvex::pyjson::parse(norvex::read_whole_file(data / "skills" / (name + ".json")));
        EXPECT_EQ(stored.at("version"), CREATES) << name;
    }
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(data)) {
        left.push_back(std::filesystem::relative(entry.path(), data).string());
    }
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected{"improvement_log.json", "improvement_log.json.lock", "skills"};
    for (int w = 0; w < WORKERS; ++w) expected.push_back("skills/worker_" + std::to_string(w) + ".json");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
}
