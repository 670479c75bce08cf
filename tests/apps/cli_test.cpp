// The norvex command line as a Unix tool: mistyped commands, help, versions, range errors, stdout failures, verbosity,
// nothing left in the temporary folder.
#include "cli_process.hpp"

#include "../support/plain_text.hpp"

#include "norvex/common/pystr.hpp"

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace norvex::testing;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

ProgramOutput run_cli(const std::vector<std::string>& args, const ScratchDir& scratch) {
    return run_invocation({.args = args}, scratch);
}

// A usage error: status 2, nothing on stdout, `message` alone on stderr.
void expect_usage_error(const ProgramOutput& out, const std::string& message, const std::string& shown) {
    EXPECT_EQ(out.exit_status, 2) << shown;
    EXPECT_EQ(out.out, "") << shown;
    EXPECT_EQ(out.err, message + "\n") << shown;
}

}  // namespace

TEST(NorvexCommands, AMistypedCommandIsNamedWithTheNearestOne) {
    ScratchDir scratch;
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"anlyze", "x.py"}, "norvex: unknown command 'anlyze'; did you mean 'analyze'?"},
        {{"-q", "sacn", "."}, "norvex: unknown command 'sacn'; did you mean 'scan'?"},  // a swap is one slip
        {{"skills", "lst"}, "norvex skills: unknown command 'lst'; did you mean 'list'?"},
        {{"skills", "--data-dir", "d", "crate", "f.json"},
         "norvex skills: unknown command 'crate'; did you mean 'create'?"},  // after an option and its value
        {{"frobnicate"}, "norvex: unknown command 'frobnicate'; 'norvex help' lists the commands"},
        {{"skills", "purge"}, "norvex skills: unknown command 'purge'; 'norvex help skills' lists its commands"},
        {{"help", "nosuch"}, "norvex: unknown command 'nosuch'; 'norvex help' lists the commands"},
        {{"help", "skills", "lst"}, "norvex skills: unknown command 'lst'; did you mean 'list'?"},
        {{"x.py"}, "norvex: unknown command 'x.py'; 'norvex help' lists the commands"},  // nothing near: no guess
    };
    for (const auto& [args, message] : cases) {
        expect_usage_error(run_cli(args, scratch), message, ::testing::PrintToString(args));
    }

    // No command at all says where the commands are listed.
    const ProgramOutput none = run_cli({}, scratch);
    EXPECT_EQ(none.exit_status, 2);
    EXPECT_EQ(none.err, "norvex: no command given; 'norvex help' lists the commands\n");
    EXPECT_EQ(run_cli({"skills"}, scratch).err, "norvex skills: no command given; 'norvex help skills' lists the commands\n");
}

TEST(NorvexCommands, HelpCommandPrintsWhatHelpFlagsPrint) {
    ScratchDir scratch;
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> pairs{
        {{"help"}, {"--help"}},
        {{"help", "scan"}, {"scan", "--help"}},
        {{"help", "skills", "create"}, {"skills", "create", "--help"}},
        {{"help", "mcp"}, {"mcp", "-h"}},
    };
    for (const auto& [command, flag] : pairs) {
        const ProgramOutput by_command = run_cli(command, scratch);
        const ProgramOutput by_flag = run_cli(flag, scratch);
        const std::string shown = ::testing::PrintToString(command);
        EXPECT_EQ(by_command.exit_status, 0) << shown;
        EXPECT_EQ(by_flag.exit_status, 0) << shown;
        EXPECT_EQ(by_command.err, "") << shown;
        EXPECT_EQ(by_command.out, by_flag.out) << shown;
    }
    EXPECT_THAT(run_cli({"help", "skills", "create"}, scratch).out, StartsWith("Create or update a skill"));
}

// help2man reads --help and --version: a description line, a Usage line, the commands, and "norvex VERSION".
TEST(NorvexCommands, HelpAndVersionMakeAManPage) {
    ScratchDir scratch;
    const ProgramOutput help = run_cli({"--help"}, scratch);
    ASSERT_EQ(help.exit_status, 0);
    const std::vector<std::string_view> lines = norvex::pystr::splitlines(help.out);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_THAT(std::string(lines[0]), StartsWith("norvex: "));
    EXPECT_EQ(lines[1], "Usage: norvex [OPTIONS] COMMAND");
    EXPECT_THAT(help.out, HasSubstr("\nCommands:\n"));
    for (const char* command : {"analyze", "ast", "scan", "skills", "computer", "mcp", "help", "completion"}) {
        EXPECT_THAT(help.out, ::testing::ContainsRegex(std::string("\n  ") + command + " +[A-Z]")) << command;
    }
    EXPECT_THAT(help.out, HasSubstr("Exit status: "));

    const ProgramOutput version = run_cli({"--version"}, scratch);
    EXPECT_EQ(version.exit_status, 0);
    EXPECT_THAT(version.out, ::testing::MatchesRegex("norvex [0-9]+\\.[0-9]+\\.[0-9]+\n"));
    EXPECT_EQ(version.err, "");
}

TEST(NorvexCommands, NumbersOutOfRangeOrNotNumbersNameTheRange) {
    ScratchDir scratch;
    const std::string dir = scratch.path().string();
    const std::string huge(300, '9');
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"scan", dir, "--jobs", "0"}, "norvex scan: --jobs must be an integer from 1 to 20, not '0'"},
        {{"scan", dir, "-j", "21"}, "norvex scan: --jobs must be an integer from 1 to 20, not '21'"},
        {{"scan", dir, "--jobs=-3"}, "norvex scan: --jobs must be an integer from 1 to 20, not '-3'"},
        {{"scan", dir, "--jobs", "two"}, "norvex scan: --jobs must be an integer from 1 to 20; 'two' is not an integer"},
        {{"scan", dir, "--jobs", "2.5"}, "norvex scan: --jobs must be an integer from 1 to 20; '2.5' is not an integer"},
        // Longer than any integer: cut short in the message, never wrapped around to a small number.
        {{"scan", dir, "--jobs", huge},
         "norvex scan: --jobs must be an integer from 1 to 20, not '9999999999999999…'"},
        {{"scan", dir, "--top", "-1"}, "norvex scan: --top must be an integer from 0 to 1000000, not '-1'"},
        {{"skills", "log", "--limit", "all"},
         "norvex skills log: --limit must be an integer from 0 to 1000000; 'all' is not an integer"},
        {{"mcp", "--max-workers", "65"}, "norvex mcp: --max-workers must be an integer from 1 to 64, not '65'"},
        {{"analyze", "x.py", "--op", "symbls"},
         "norvex analyze: --op must be one of analyze, find_functions, find_classes, find_imports, find_todos, "
         "complexity, symbols, call_graph, summarize, not 'symbls'; did you mean 'symbols'?"},
    };
    for (const auto& [args, message] : cases) {
        expect_usage_error(run_cli(args, scratch), message, ::testing::PrintToString(args));
    }
    // The top of each range is allowed.
    const ProgramOutput twenty = run_cli({"scan", dir, "--jobs", "20", "--json"}, scratch);
    EXPECT_EQ(twenty.exit_status, 0) << twenty.err;
    EXPECT_THAT(twenty.out, HasSubstr("\"jobs\": 20,"));
}

TEST(NorvexCommands, OtherUsageErrorsNameTheCommandAndItsHelp) {
    ScratchDir scratch;
    const ProgramOutput missing = run_cli({"scan"}, scratch);
    EXPECT_EQ(missing.exit_status, 2);
    EXPECT_THAT(missing.err, StartsWith("norvex scan: dir is required"));
    EXPECT_THAT(missing.err, HasSubstr("'norvex scan --help'"));

    const ProgramOutput unknown_option = run_cli({"ast", "x.py", "--colour"}, scratch);
    EXPECT_EQ(unknown_option.exit_status, 2);
    EXPECT_THAT(unknown_option.err, StartsWith("norvex ast: "));
    EXPECT_THAT(unknown_option.err, HasSubstr("--colour"));
}

// As coreutils do: output that cannot be written is a failure with its cause, whatever the command.
TEST(NorvexCommands, AFailedWriteToStdoutFails) {
    ScratchDir scratch;
    const std::string example = EXAMPLES_DIR + "/inventory.py";
    const std::string data = (scratch.path() / "data").string();
    const std::vector<std::vector<std::string>> commands{
        {"--version"},
        {"--help"},
        {"help", "skills"},
        {"ast", example},  // longer than stdout's buffer: fails before the end
        {"analyze", example},
        {"analyze", example, "--json"},
        {"scan", scratch.path().string()},
        {"skills", "--data-dir", data, "stats"},
        {"completion", "bash"},
    };
    for (const auto& args : commands) {
        const ProgramOutput out = run_invocation({.args = args, .stdout_path = "/dev/full"}, scratch);
        const std::string shown = ::testing::PrintToString(args);
        EXPECT_EQ(out.exit_status, 1) << shown;
        EXPECT_EQ(out.err, "norvex: cannot write to standard output: No space left on device\n") << shown;
    }
}

TEST(NorvexCommands, VerboseAndQuietGoBeforeOrAfterTheCommand) {
    ScratchDir scratch;
    const std::string file = scratch.write("m.py", "def f():\n    return 1\n");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"-v", "analyze", file, "--json"}, {"analyze", file, "--json", "--verbose"}}) {
        const ProgramOutput verbose = run_cli(args, scratch);
        const std::string shown = ::testing::PrintToString(args);
        EXPECT_EQ(verbose.exit_status, 0) << shown << verbose.err;
        // The manager's records, debug level included, on stderr; stdout untouched.
        EXPECT_THAT(verbose.err, HasSubstr("[debug]")) << shown;
        EXPECT_THAT(verbose.err, HasSubstr("started (PID: ")) << shown;
        EXPECT_EQ(verbose.out, expected_text("analyze", file) + "\n") << shown;
    }
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"-q", "analyze", file, "--json"}, {"analyze", "--quiet", file, "--json"}}) {
        const ProgramOutput quiet = run_cli(args, scratch);
        EXPECT_EQ(quiet.exit_status, 0) << quiet.err;
        EXPECT_EQ(quiet.err, "");
    }
    // Without either flag the records stay out of the way too.
    EXPECT_EQ(run_cli({"analyze", file}, scratch).err, "");

    // Quiet still shows errors.
    const ProgramOutput failed = run_cli({"-q", "ast", (scratch.path() / "absent.py").string()}, scratch);
    EXPECT_EQ(failed.exit_status, 1);
    EXPECT_THAT(failed.err, StartsWith("norvex ast: File not found: "));

    expect_usage_error(run_cli({"-v", "scan", ".", "-q"}, scratch),
                       "norvex scan: -v/--verbose and -q/--quiet contradict each other; give one of them", "-v -q");
}

// Each command that analyses makes a worker manager, and a manager a private
// folder in the temporary folder: a shell loop over files must not leave one
// per call, whether the command succeeds or fails.
TEST(NorvexCommands, CommandsLeaveNothingInTheTemporaryFolder) {
    ScratchDir scratch;
    const std::filesystem::path tmp = scratch.path() / "tmp";
    std::filesystem::create_directories(tmp);
    const std::filesystem::path tree = scratch.path() / "tree";
    std::filesystem::create_directories(tree);
    const std::string file = (tree / "m.py").string();
    std::ofstream(file) << "def f(a):\n    return a if a else 0\n";
    std::ofstream(tree / "broken.py") << "def f(:\n";
    const std::string absent = (tree / "absent.py").string();
    const std::string call = R"({"jsonrpc": "2.0", "id": 1, "method": "initialize", "params": {"protocolVersion": )"
                             R"("2025-11-25", "capabilities": {}, "clientInfo": {"name": "t", "version": "1"}}})"
                             "\n"
                             R"({"jsonrpc": "2.0", "id": 2, "method": "tools/call", "params": {"name": "sourcelens", )"
                             R"("arguments": {"operation": "summarize", "path": ")" + file + "\"}}}\n";

    const std::vector<std::pair<Invocation, int>> runs{
        {{.args = {"analyze", file}}, 0},
        {{.args = {"analyze", file, "--op", "complexity", "--json"}}, 0},
        {{.args = {"analyze", absent}}, 1},
        {{.args = {"scan", tree.string()}}, 0},  // one file fails to parse: still a scan that ran
        {{.args = {"scan", tree.string(), "--json", "-j", "2"}}, 0},
        {{.args = {"mcp", "-q"}, .input = call}, 0},
    };
    for (auto [how, status] : runs) {
        how.env["TMPDIR"] = tmp.string();
        const std::string shown = ::testing::PrintToString(how.args);
        const ProgramOutput out = run_invocation(how, scratch);
        EXPECT_EQ(out.exit_status, status) << shown << ": " << out.err;
        EXPECT_THAT(out.err, CarriesNoSourceLocation()) << shown;
        std::vector<std::string> left;
        for (const auto& entry : std::filesystem::directory_iterator(tmp)) left.push_back(entry.path().string());
        EXPECT_EQ(left, std::vector<std::string>{}) << shown;
    }
}
