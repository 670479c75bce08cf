// handle_command, the line step and the line splitter, in process.
#include "probe_test_util.hpp"

#include "norvex/pyast/dump.hpp"
#include "norvex/workers/astprobe/commands.hpp"

#include <gmock/gmock.h>

using namespace norvex::astprobe;
using namespace norvex::testing;
namespace json = boost::json;
using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST(HandleCommand, QuitNeedsNoPathAndAnalyzePassesItsEnvelopeOn) {
    EXPECT_EQ(text_of(handle_command({{"action", "quit"}, {"path", 5}})), R"({"success": true, "result": "goodbye"})");
    EXPECT_EQ(text_of(handle_command({{"action", "analyze"}, {"path", "/no/such.py"}})),
              R"({"success": false, "error": "File not found: /no/such.py"})");
    ScratchDir dir;
    const std::string broken = dir.write("broken.py", "def f(:\n");
    EXPECT_THAT(std::string(handle_command({{"action", "analyze"}, {"path", broken}}).at("error").as_string()),
                StartsWith("Syntax error at line 1: "));
}

TEST(HandleCommand, TheFileIsParsedBeforeTheActionIsLookedUp) {
    ScratchDir dir;
    const std::string file = dir.write("ok.py", "x = 1\n");
    EXPECT_EQ(text_of(handle_command({{"action", "Symbols"}, {"path", file}})), R"({"success": false, "error": "Unknown action: Symbols"})");
    EXPECT_EQ(text_of(handle_command({{"action", "Symbols"}, {"path", "~/no-such-astprobe.py"}})),
              R"({"success": false, "error": "File not found: ~/no-such-astprobe.py"})");
    const json::object symbols = handle_command({{"action", "symbols"}, {"path", file}, {"extra", json::array{1}}});
    EXPECT_EQ(text_of(symbols),
              R"({"success": true, "result": {"functions": [], "classes": [], "variables": [{"name": "x", "line": 1}], "constants": []}})");
}

TEST(HandleCommand, EveryActionAnswersWithItsPayload) {
    ScratchDir dir;
    const std::string file = dir.write("m.py", "import os\nclass C:\n    def m(self):\n        return os.getcwd()  # NOTE: x\n");
    const std::pair<const char*, json::kind> actions[] = {
        {"parse_ast", json::kind::object},     {"find_functions", json::kind::array}, {"find_classes", json::kind::array},
        {"find_imports", json::kind::array},   {"find_todos", json::kind::array},     {"complexity", json::kind::array},
        {"symbols", json::kind::object},       {"call_graph", json::kind::object},    {"summarize", json::kind::object},
        {"analyze", json::kind::object}};
    for (const auto& [action, kind] : actions) {
        const json::object answer = handle_command({{"action", action}, {"path", file}});
        ASSERT_EQ(answer.size(), 2u) << action;
        EXPECT_EQ(answer.begin()->key(), "success");
        EXPECT_EQ(answer.at("success"), true) << action;
        EXPECT_EQ(answer.at("result").kind(), kind) << action;
    }
    EXPECT_EQ(handle_command({{"action", "summarize"}, {"path", file}}).at("result").at("path").as_string(), file);
}

TEST(HandleCommand, UndefinedInputsGetTheFailureShape) {
    EXPECT_EQ(text_of(handle_command({{"action", 3}})), R"({"success": false, "error": "Invalid command: \"action\" must be a string, not a number"})");
    EXPECT_EQ(text_of(handle_command({{"action", "symbols"}, {"path", nullptr}})),
              R"({"success": false, "error": "Invalid command: \"path\" must be a string, not null"})");
    EXPECT_EQ(text_of(handle_command({{"action", "analyze"}, {"path", json::array{}}})),
              R"({"success": false, "error": "Invalid command: \"path\" must be a string, not an array"})");
    // No path names the working directory, which is a folder.
    EXPECT_THAT(std::string(handle_command({{"action", "symbols"}}).at("error").as_string()), StartsWith("[Errno 21] Is a directory: '"));
}

TEST(RespondToLine, BlankLinesInvalidJsonAndQuit) {
    EXPECT_FALSE(respond_to_line("").answer);
    EXPECT_FALSE(respond_to_line(" \t\r\xc2\xa0").answer);
    // The line is stripped before decoding, so the fault is where the stripped text ends.
    EXPECT_EQ(respond_to_line("{\"action\": ").answer,
              "{\"success\": false, \"error\": \"Invalid JSON: Expecting value: line 1 column 11 (char 10)\"}\n");
    EXPECT_EQ(respond_to_line("{\"a\": 1}\n{").answer,
              "{\"success\": false, \"error\": \"Invalid JSON: Extra data: line 2 column 1 (char 9)\"}\n");
    EXPECT_EQ(respond_to_line("\"quit\"").answer,
              "{\"success\": false, \"error\": \"Invalid command: expected a JSON object, not a string\"}\n");
    const LineOutcome quit = respond_to_line("  {\"action\": \"quit\"}  ");
    EXPECT_TRUE(quit.quit);
    EXPECT_EQ(quit.answer, "{\"success\": true, \"result\": \"goodbye\"}\n");
    EXPECT_FALSE(respond_to_line("{\"action\": \"QUIT\"}").quit);
    EXPECT_FALSE(respond_to_line("{\"action\": [\"quit\"]}").quit);
}

TEST(HandleCommand, ParseAstOfDeepTreesKeepsTheFullDumpsFirst5000CodePoints) {
    ScratchDir dir;
    std::string chain = "x = a";
    for (int i = 0; i < 3000; ++i) chain += " + a";
    // Lists inside lists, as deep as the tokenizer lets brackets nest, with a call at the bottom.
    const std::string lists = "x = " + std::string(190, '[') + "f(y)" + std::string(190, ']') + "\n";
    for (const std::string& source : {chain + "\n", lists}) {
        auto tree = parse_ok(source);
        const std::string full = norvex::pyast::dump(tree->root);
        ASSERT_GT(full.size(), 50000u);  // far past the cut, and deeper than the pruning depth
        const std::string path = dir.write("deep.py", source);
        const json::object answer = handle_command({{"action", "parse_ast"}, {"path", path}});
        ASSERT_EQ(answer.at("success"), true);
        EXPECT_EQ(answer.at("result").at("ast").as_string(), full.substr(0, 5000));
    }
}
