// What the commands print: readable text by default, the tool's JSON with --json, and "-" for standard input.
#include "cli_process.hpp"

#include "norvex/common/pystr.hpp"
#include "norvex/pyast/dump.hpp"
#include "norvex/pyast/parse.hpp"

#include <gmock/gmock.h>

#include <boost/json/array.hpp>

#include <filesystem>
#include <regex>
#include <string>

using namespace norvex::testing;
namespace fs = std::filesystem;
namespace json = boost::json;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

const std::string EXAMPLE = EXAMPLES_DIR + "/inventory.py";

json::value worker_result(std::string_view operation, const std::string& path) {
    return norvex::pyjson::parse(expected_text(operation, path));
}

// The line of `text` starting (after its indent) with `start`, or "" when none does.
std::string line_starting(const std::string& text, const std::string& start) {
    for (const std::string_view line : norvex::pystr::splitlines(text)) {
        if (norvex::pystr::lstrip(line).starts_with(start)) return std::string(line);
    }
    return {};
}

// A scratch folder as $TMPDIR, so the copies of standard input can be counted.
struct StdinScratch {
    ScratchDir scratch;
    fs::path tmp = scratch.path() / "tmp";
    StdinScratch() { fs::create_directory(tmp); }
    ProgramOutput run(std::vector<std::string> args, std::string input) const {
        return run_invocation({.args = std::move(args), .input = std::move(input), .env = {{"TMPDIR", tmp.string()}}},
                              scratch);
    }
    bool tmp_empty() const { return fs::is_empty(tmp); }
};

}  // namespace

// The first thing a new user sees: the file at a glance, every function with its complexity, every marker.
TEST(NorvexAnalyzeText, TheDefaultViewShowsTheWholeAnalysis) {
    ScratchDir scratch;
    const ProgramOutput out = run_invocation({.args = {"analyze", EXAMPLE}}, scratch);
    ASSERT_EQ(out.exit_status, 0) << out.err;
    EXPECT_EQ(out.err, "");
    const json::object result = worker_result("analyze", EXAMPLE).as_object();
    const json::object& summary = result.at("summary").as_object();

    EXPECT_THAT(out.out, StartsWith(EXAMPLE + "\n  " + std::string(summary.at("module_docstring").as_string()) + "\n"));
    EXPECT_THAT(out.out, HasSubstr(std::to_string(summary.at("total_lines").as_int64()) + " lines: " +
                                   std::to_string(summary.at("code_lines").as_int64()) + " code"));
    EXPECT_THAT(out.out, HasSubstr("Imports: csv, json, dataclasses (dataclass, field), pathlib (Path)\n"));

    // Each function on its line, named with its class, with the worker's complexity and rating.
    EXPECT_THAT(out.out, HasSubstr("\nFunctions (" + std::to_string(result.at("functions").as_array().size()) +
                                   "; average complexity " + norvex::pyjson::dumps(summary.at("avg_complexity")) +
                                   ")\n"));
    for (const json::value& v : result.at("complexity").as_array()) {
        const json::object& record = v.as_object();
        const std::string line = std::to_string(record.at("line").as_int64());
        const std::string row = line_starting(out.out, line + "  ");
        ASSERT_NE(row, "") << "no row for line " << line;
        EXPECT_THAT(row, HasSubstr(std::string(record.at("name").as_string()) + "("));
        EXPECT_THAT(row, ::testing::EndsWith("  " + std::to_string(record.at("complexity").as_int64()) + " " +
                                             std::string(record.at("rating").as_string())));
    }
    EXPECT_THAT(line_starting(out.out, "34  "), HasSubstr("Inventory.add(self, part: Part) -> None"));
    EXPECT_THAT(line_starting(out.out, "66  "), HasSubstr("load_csv(path: Path) -> list[Part]"));

    for (const json::value& v : result.at("todos").as_array()) {
        const std::string row = line_starting(out.out, std::to_string(v.at("line").as_int64()) + "  ");
        EXPECT_THAT(row, ::testing::ContainsRegex("  " + std::string(v.at("type").as_string()) + " +" +
                                                  std::string(v.at("text").as_string()) + "$"));
    }
    EXPECT_THAT(line_starting(out.out, "28  "), ::testing::MatchesRegex(" *28  Inventory +7  All parts, by SKU.*"));
    EXPECT_THAT(out.out, ::testing::EndsWith("norvex analyze " + EXAMPLE + " --json\n"));
}

TEST(NorvexAnalyzeText, JsonIsTheToolsOwnTextAndOtherOperationsReadAsTables) {
    ScratchDir scratch;
    for (const char* operation : {"analyze", "complexity", "call_graph"}) {
        const ProgramOutput out = run_invocation({.args = {"analyze", EXAMPLE, "--op", operation, "--json"}}, scratch);
        EXPECT_EQ(out.exit_status, 0) << out.err;
        EXPECT_EQ(out.out, expected_text(operation, EXAMPLE) + "\n") << operation;
    }

    const ProgramOutput summary = run_invocation({.args = {"analyze", EXAMPLE, "--op", "summarize"}}, scratch);
    const json::object figures = worker_result("summarize", EXAMPLE).as_object();
    EXPECT_THAT(summary.out, HasSubstr(std::to_string(figures.at("function_count").as_int64()) + " functions, " +
                                       std::to_string(figures.at("class_count").as_int64()) + " classes"));
    EXPECT_THAT(summary.out, HasSubstr("average complexity " + norvex::pyjson::dumps(figures.at("avg_complexity"))));

    // A list of records is a table with a column per key.
    const ProgramOutput complexity = run_invocation({.args = {"analyze", EXAMPLE, "--op", "complexity"}}, scratch);
    EXPECT_THAT(complexity.out, ::testing::MatchesRegex("name +line +complexity +rating\n(.|\n)*"));
    EXPECT_THAT(line_starting(complexity.out, "load_csv "), ::testing::MatchesRegex("load_csv +66 +4 +A"));

    // A dictionary of lists reads as "key  item, item".
    const ProgramOutput calls = run_invocation({.args = {"analyze", EXAMPLE, "--op", "call_graph"}}, scratch);
    const json::value graph = worker_result("call_graph", EXAMPLE);
    std::string joined;
    for (const json::value& name : graph.at("main").as_array()) joined += (joined.empty() ? "" : ", ") + std::string(name.as_string());
    EXPECT_THAT(line_starting(calls.out, "main "), ::testing::EndsWith("  " + joined));

    // The arguments of a function read "name: annotation".
    const ProgramOutput functions = run_invocation({.args = {"analyze", EXAMPLE, "--op", "find_functions"}}, scratch);
    EXPECT_THAT(line_starting(functions.out, "is_low "), HasSubstr("self, threshold: int"));
}

TEST(NorvexAnalyzeText, FailuresGoToStderrWithTheCommandsName) {
    ScratchDir scratch;
    const std::string missing = (scratch.path() / "absent.py").string();
    const ProgramOutput absent = run_invocation({.args = {"analyze", missing}}, scratch);
    EXPECT_EQ(absent.exit_status, 1);
    EXPECT_EQ(absent.out, "");
    EXPECT_EQ(absent.err, "norvex analyze: File not found: " + missing + "\n");
}

TEST(NorvexStandardInput, AnalyzeReadsItThroughAFileThatIsRemoved) {
    StdinScratch s;
    const std::string source = read_file(EXAMPLE);

    const ProgramOutput json_out = s.run({"analyze", "-", "--json"}, source);
    ASSERT_EQ(json_out.exit_status, 0) << json_out.err;
    // The same analysis as of the file, with the input's name where the file's would be.
    json::object expected = worker_result("analyze", EXAMPLE).as_object();
    expected["summary"].as_object()["path"] = "<stdin>";
    EXPECT_EQ(json_out.out, norvex::pyjson::dumps(expected, norvex::pyjson::Layout::indent2) + "\n");
    EXPECT_TRUE(s.tmp_empty());

    const ProgramOutput text = s.run({"analyze", "-"}, source);
    EXPECT_THAT(text.out, StartsWith("<stdin>\n"));
    EXPECT_THAT(text.out, ::testing::EndsWith("norvex analyze - --json\n"));
    EXPECT_EQ(text.out.find(s.tmp.string()), std::string::npos);

    const ProgramOutput broken = s.run({"analyze", "-", "--op", "symbols"}, "def broken(:\n");
    EXPECT_EQ(broken.exit_status, 1);
    EXPECT_THAT(broken.err, StartsWith("norvex analyze: Syntax error at line 1: "));
    EXPECT_TRUE(s.tmp_empty());

    // A name the temporary copy could be given never reaches the user.
    const ProgramOutput empty = s.run({"analyze", "-", "--op", "summarize", "--json"}, "");
    EXPECT_EQ(empty.exit_status, 0) << empty.err;
    EXPECT_THAT(empty.out, HasSubstr("\"path\": \"<stdin>\""));
    EXPECT_EQ(empty.out.find("norvex-stdin-"), std::string::npos);
}

TEST(NorvexStandardInput, AstReadsItAsTheWorkerReadsAFile) {
    StdinScratch s;
    const std::string source = "\xef\xbb\xbfx = 1\r\nif x:\r\n    y = 2\r\n";
    const ProgramOutput from_stdin = s.run({"ast", "-", "--positions"}, source);
    const ProgramOutput from_file = s.run({"ast", s.scratch.write("crlf.py", source), "--positions"}, "");
    ASSERT_EQ(from_stdin.exit_status, 0) << from_stdin.err;
    EXPECT_EQ(from_stdin.out, from_file.out);
    norvex::pyast::ParseResult parsed = norvex::pyast::parse("x = 1\nif x:\n    y = 2\n");
    ASSERT_TRUE(parsed.tree);
    EXPECT_EQ(from_stdin.out,
              norvex::pyast::dump(parsed.tree->root, {.indent = 2, .include_attributes = true}) + "\n");
    EXPECT_TRUE(s.tmp_empty());

    const ProgramOutput broken = s.run({"ast", "-"}, "x = (1,\n");
    EXPECT_EQ(broken.exit_status, 1);
    EXPECT_THAT(broken.err, StartsWith("norvex ast: Syntax error at line 1: "));
    EXPECT_TRUE(s.tmp_empty());
}
