// `norvex completion bash` in a real bash: the completion function called as bash calls it.
#include "cli_process.hpp"

#include <gmock/gmock.h>

#include <algorithm>
#include <fstream>
#include <sstream>

using namespace norvex::testing;
namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsSupersetOf;
using ::testing::UnorderedElementsAre;

namespace {

// Runs `bash -c script` in `cwd` and gives its standard output.
std::string bash(const std::string& script, const std::vector<std::string>& words, const fs::path& cwd,
                 const ScratchDir& scratch) {
    const std::string out_file = (scratch.path() / ("bash_" + norvex::new_task_id())).string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    std::vector<std::string> argv{"bash", "--norc", "--noprofile", "-c", script, "bash"};
    argv.insert(argv.end(), words.begin(), words.end());
    std::vector<std::string> env = changed_environment({});
    pid_t pid = 0;
    if (::posix_spawnp(&pid, "bash", &actions, nullptr, pointers(argv).data(), pointers(env).data()) != 0) {
        throw std::runtime_error("cannot start bash");
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("bash failed");
    return read_file(out_file);
}

struct Completion {
    ScratchDir scratch;
    std::string script_file;
    fs::path cwd = scratch.path() / "work";

    Completion() {
        const ProgramOutput script = run_invocation({.args = {"completion", "bash"}}, scratch);
        if (script.exit_status != 0) throw std::runtime_error("completion bash failed: " + script.err);
        script_file = scratch.write("norvex.bash", script.out);
        fs::create_directories(cwd / "pkg");
        std::ofstream(cwd / "a.py") << "x = 1\n";
        std::ofstream(cwd / "skill.json") << "{}\n";
    }

    // What the completion offers for the command line `words`, the last one being completed.
    std::vector<std::string> operator()(const std::vector<std::string>& words) const {
        const std::string out = bash(
            "source \"" + script_file + "\" && COMP_WORDS=(\"$@\") && COMP_CWORD=$(($# - 1)) && _norvex && "
            "printf '%s\\n' \"${COMPREPLY[@]}\"",
            words, cwd, scratch);
        std::vector<std::string> offered;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty()) offered.push_back(line);
        }
        std::sort(offered.begin(), offered.end());
        return offered;
    }
};

// The names under "Commands:" in a help text.
std::vector<std::string> commands_in_help(const std::string& help) {
    std::vector<std::string> names;
    const std::size_t start = help.find("\nCommands:\n");
    std::istringstream lines(help.substr(start + 11));
    for (std::string line; std::getline(lines, line) && line.starts_with("  ");) {
        names.push_back(line.substr(2, line.find(' ', 2) - 2));
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(NorvexCompletion, CommandsAndSubcommandsComeFromTheCommandTree) {
    Completion complete;
    ScratchDir scratch;
    EXPECT_EQ(complete({"norvex", ""}), commands_in_help(run_invocation({.args = {"--help"}}, scratch).out));
    EXPECT_EQ(complete({"norvex", "skills", ""}),
              commands_in_help(run_invocation({.args = {"skills", "--help"}}, scratch).out));
    EXPECT_THAT(complete({"norvex", "sk"}), ElementsAre("skills"));
    EXPECT_THAT(complete({"norvex", "-q", "co"}), ElementsAre("completion", "computer"));
    // An option's value is skipped on the way to the command.
    EXPECT_THAT(complete({"norvex", "skills", "--data-dir", "/tmp", "cr"}), ElementsAre("create"));
    EXPECT_THAT(complete({"norvex", "completion", ""}), ElementsAre("bash"));
}

TEST(NorvexCompletion, OptionsInReachOfEachCommand) {
    Completion complete;
    EXPECT_THAT(complete({"norvex", "--"}), UnorderedElementsAre("--help", "--version", "--verbose", "--quiet"));
    EXPECT_THAT(complete({"norvex", "scan", "--"}),
                UnorderedElementsAre("--help", "--jobs", "--top", "--json", "--verbose", "--quiet"));
    // A skills subcommand takes the options of `skills` too, but not the hidden --table.
    const std::vector<std::string> list = complete({"norvex", "skills", "list", "--"});
    EXPECT_THAT(list, IsSupersetOf({"--json", "--data-dir", "--quiet"}));
    EXPECT_THAT(list, ::testing::Not(::testing::Contains("--table")));
    EXPECT_THAT(complete({"norvex", "scan", "-"}), IsSupersetOf({"-j", "-k", "-q", "-v", "-h"}));
}

TEST(NorvexCompletion, ValuesAndArguments) {
    Completion complete;
    EXPECT_THAT(complete({"norvex", "analyze", "x.py", "--op", "s"}), ElementsAre("summarize", "symbols"));
    EXPECT_THAT(complete({"norvex", "computer", "left_c"}), ElementsAre("left_click", "left_click_drag"));
    // Files where a file goes, folders where a folder goes.
    EXPECT_THAT(complete({"norvex", "analyze", ""}), ElementsAre("a.py", "pkg", "skill.json"));
    EXPECT_THAT(complete({"norvex", "skills", "create", "s"}), ElementsAre("skill.json"));
    EXPECT_THAT(complete({"norvex", "scan", ""}), ElementsAre("pkg"));
    EXPECT_THAT(complete({"norvex", "scan", "-j", "2", ""}), ElementsAre("pkg"));
    EXPECT_THAT(complete({"norvex", "mcp", "--data-dir", ""}), ElementsAre("pkg"));
    // A value with nothing to offer offers nothing, rather than the commands.
    EXPECT_THAT(complete({"norvex", "scan", "--jobs", ""}), ElementsAre());
}
