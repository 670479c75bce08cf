// The norvex program end to end: output, error stream and exit status of each command.
#include "tool_test_util.hpp"

#include "../support/python_fs.hpp"

#include "norvex/common/pyjson.hpp"
#include "norvex/pyast/dump.hpp"
#include "norvex/pyast/parse.hpp"

#include <gmock/gmock.h>

#include <string>

using namespace norvex::testing;
namespace json = boost::json;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

const std::string EXAMPLE = EXAMPLES_DIR + "/inventory.py";

// The dump pyast gives for `source`, as `norvex ast` should print it.
std::string dump_of(const std::string& source, bool positions) {
    norvex::pyast::ParseResult parsed = norvex::pyast::parse(source);
    if (!parsed.tree) throw std::runtime_error("sample does not parse");
    return norvex::pyast::dump(parsed.tree->root, {.indent = 2, .include_attributes = positions}) + "\n";
}

}  // namespace

TEST(NorvexAnalyze, PrintsTheToolsTextAndSucceeds) {
    ScratchDir scratch;
    const ProgramOutput full = run_norvex({"analyze", EXAMPLE, "--json"}, scratch);
    EXPECT_EQ(full.exit_status, 0) << full.err;
    EXPECT_EQ(full.out, expected_text("analyze", EXAMPLE) + "\n");
    EXPECT_EQ(full.err, "");

    // The example is worth showing: classes, functions, markers and imports all appear.
    const json::object result = norvex::pyjson::parse(full.out).as_object();
    const json::object& summary = result.at("summary").as_object();
    EXPECT_GE(summary.at("class_count").as_int64(), 2);
    EXPECT_GE(summary.at("function_count").as_int64(), 2);
    EXPECT_GE(result.at("todos").as_array().size(), 2u);
    EXPECT_GE(result.at("imports").as_array().size(), 3u);

    const ProgramOutput complexity = run_norvex({"analyze", EXAMPLE, "--op", "complexity", "--json"}, scratch);
    EXPECT_EQ(complexity.exit_status, 0) << complexity.err;
    EXPECT_EQ(complexity.out, expected_text("complexity", EXAMPLE) + "\n");

    // The worker starts in the program's folder, so relative paths work.
    const std::string file = scratch.write("m.py", "def f(x):\n    return x if x else 0\n");
    const ProgramOutput relative = run_norvex({"analyze", "m.py", "--op=symbols", "--json"}, scratch, scratch.path());
    EXPECT_EQ(relative.exit_status, 0) << relative.err;
    EXPECT_EQ(relative.out, expected_text("symbols", file) + "\n");
}

TEST(NorvexAnalyze, ErrorTextFailsWithStatusOne) {
    ScratchDir scratch;
    const std::string missing = (scratch.path() / "absent.py").string();
    const ProgramOutput absent = run_norvex({"analyze", missing}, scratch);
    EXPECT_EQ(absent.exit_status, 1);
    EXPECT_EQ(absent.err, "norvex analyze: File not found: " + missing + "\n");
    EXPECT_EQ(absent.out, "");

    const std::string broken = scratch.write("broken.py", "x = (1,\n");
    const ProgramOutput syntax = run_norvex({"analyze", broken, "--op", "find_todos"}, scratch);
    EXPECT_EQ(syntax.exit_status, 1);
    EXPECT_THAT(syntax.err, StartsWith("norvex analyze: Syntax error at line 1: "));
}

TEST(NorvexAnalyze, NamesThatAreNotUtf8) {
    ScratchDir scratch;
    const std::string file = scratch.write("caf\xe9.py", "def f(x):\n    return x\n");
    // People see the name in its own bytes, as their terminal shows it elsewhere.
    const ProgramOutput shown = run_norvex({"analyze", file}, scratch);
    EXPECT_EQ(shown.exit_status, 0) << shown.err;
    EXPECT_THAT(shown.out, StartsWith(file + "\n"));
    const std::string missing = (scratch.path() / "\xff.py").string();
    EXPECT_EQ(run_norvex({"analyze", missing}, scratch).err, "norvex analyze: File not found: " + missing + "\n");
    EXPECT_EQ(run_norvex({"ast", file}, scratch).exit_status, 0);
    if (!have_python3()) GTEST_SKIP() << PYTHON3 << " is missing";
    // Programs get JSON as Python writes it.
    const ProgramOutput json_out = run_norvex({"analyze", file, "--op", "summarize", "--json"}, scratch);
    EXPECT_EQ(json_out.exit_status, 0) << json_out.err;
    EXPECT_EQ(norvex::pyjson::dumps(norvex::pyjson::parse(json_out.out).at("path")), python_fsdecode_json({file}).at(0));
}

TEST(NorvexScan, NamesThatAreNotUtf8AreAnalysedAndReportedAsPythonWritesThem) {
    if (!have_python3()) GTEST_SKIP() << PYTHON3 << " is missing";
    ScratchDir scratch;
    const std::string root = (scratch.path() / "r\xe9po").string();
    std::filesystem::create_directories(root);
    const std::string file = root + "/m\xf6" "d.py";
    std::ofstream(file) << "def f(x):\n    if x:\n        return 1\n    return 2\n";
    const ProgramOutput scanned = run_norvex({"scan", root, "--json", "-j", "1"}, scratch);
    ASSERT_EQ(scanned.exit_status, 0) << scanned.err;
    const json::value report = norvex::pyjson::parse(scanned.out);
    EXPECT_EQ(report.at("totals").at("analyzed"), 1) << scanned.out;
    EXPECT_EQ(report.at("failures"), json::array{});
    const std::vector<std::string> python = python_fsdecode_json({root, file});
    EXPECT_EQ(norvex::pyjson::dumps(report.at("root")), python.at(0));
    EXPECT_EQ(norvex::pyjson::dumps(report.at("top_functions").at(0).at("path")), python.at(1));
}

TEST(NorvexAst, PrintsTheWholeDump) {
    ScratchDir scratch;
    const ProgramOutput plain = run_norvex({"ast", EXAMPLE}, scratch);
    EXPECT_EQ(plain.exit_status, 0) << plain.err;
    EXPECT_EQ(plain.out, dump_of(read_file(EXAMPLE), false));
    EXPECT_GT(plain.out.size(), 5000u);  // longer than what the worker's parse_ast keeps
    EXPECT_EQ(plain.err, "");

    const ProgramOutput positions = run_norvex({"ast", "--positions", EXAMPLE}, scratch);
    EXPECT_EQ(positions.exit_status, 0) << positions.err;
    EXPECT_EQ(positions.out, dump_of(read_file(EXAMPLE), true));
    EXPECT_THAT(positions.out, HasSubstr("end_col_offset="));
    EXPECT_EQ(plain.out.find("lineno="), std::string::npos);

    // Read as the worker reads: a byte order mark and CRLF line ends are no obstacle.
    const std::string crlf = scratch.write("crlf.py", "\xef\xbb\xbfx = 1\r\nif x:\r\n    y = 2\r\n");
    const ProgramOutput read = run_norvex({"ast", crlf}, scratch);
    EXPECT_EQ(read.exit_status, 0) << read.err;
    EXPECT_EQ(read.out, dump_of("x = 1\nif x:\n    y = 2\n", false));
}

TEST(NorvexAst, SyntaxAndFileErrorsGoToStderr) {
    ScratchDir scratch;
    const std::string source = "def ok():\n    pass\ndef broken(:\n";
    const std::string broken = scratch.write("broken.py", source);
    const auto error = norvex::pyast::parse(source).error;
    ASSERT_TRUE(error);
    const ProgramOutput syntax = run_norvex({"ast", broken}, scratch);
    EXPECT_EQ(syntax.exit_status, 1);
    EXPECT_EQ(syntax.err, "norvex ast: Syntax error at line 3: " + error->msg + "\n");
    EXPECT_EQ(error->lineno, 3);
    EXPECT_EQ(syntax.out, "");

    const std::string missing = (scratch.path() / "absent.py").string();
    const ProgramOutput absent = run_norvex({"ast", missing}, scratch);
    EXPECT_EQ(absent.exit_status, 1);
    EXPECT_EQ(absent.err, "norvex ast: File not found: " + missing + "\n");
}

TEST(NorvexCommandLine, HelpVersionAndUsageErrors) {
    ScratchDir scratch;
    const ProgramOutput help = run_norvex({"--help"}, scratch);
    EXPECT_EQ(help.exit_status, 0);
    EXPECT_THAT(help.out, HasSubstr("analyze"));
    EXPECT_THAT(help.out, HasSubstr("ast"));
    EXPECT_EQ(help.err, "");

    const ProgramOutput analyze_help = run_norvex({"analyze", "--help"}, scratch);
    EXPECT_EQ(analyze_help.exit_status, 0);
    EXPECT_THAT(analyze_help.out, HasSubstr("--op"));
    EXPECT_THAT(analyze_help.out, HasSubstr("call_graph"));

    const ProgramOutput version = run_norvex({"--version"}, scratch);
    EXPECT_EQ(version.exit_status, 0);
    EXPECT_EQ(version.out, std::string("norvex ") + NORVEX_VERSION + "\n");

    const std::vector<std::vector<std::string>> wrong{
        {},                                      // no command
        {"inspect", EXAMPLE},                    // unknown command
        {"analyze"},                             // no path
        {"analyze", EXAMPLE, "--op", "explode"}, // not an operation
        {"analyze", EXAMPLE, "--op"},            // option without its value
        {"ast", EXAMPLE, "--colour"},            // unknown option
        {"ast", EXAMPLE, "second.py"},           // one path only
    };
    for (const auto& args : wrong) {
        const ProgramOutput usage = run_norvex(args, scratch);
        const std::string shown = ::testing::PrintToString(args);
        EXPECT_EQ(usage.exit_status, 2) << shown;
        EXPECT_NE(usage.err, "") << shown;
        EXPECT_EQ(usage.out, "") << shown;
    }
}
