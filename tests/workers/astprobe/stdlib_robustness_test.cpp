// Every action on every .py file of the system's Python library through one astprobe: every answer well formed.
#include "probe_test_util.hpp"
#include "program_runner.hpp"

#include "norvex/common/pyjson.hpp"

#include <algorithm>
#include <filesystem>
#include <thread>
#include <vector>

using namespace norvex::testing;
namespace json = boost::json;

namespace {

const char* const ACTIONS[] = {"analyze",    "parse_ast", "find_functions", "find_classes", "find_imports",
                               "find_todos", "complexity", "symbols",       "call_graph",   "summarize"};

// The payload's outer shape per action; the details are other tests' business.
bool payload_fits(std::string_view action, const json::value& result) {
    if (action == "parse_ast") return result.is_object() && result.as_object().size() == 1 && result.as_object().contains("ast");
    if (action == "symbols" || action == "call_graph" || action == "summarize") return result.is_object();
    if (action == "analyze") return false;  // analyze answers with its own envelope, checked apart
    return result.is_array();
}

}  // namespace

TEST(AstprobeRobustness, EveryStdlibFileEveryAction) {
    const std::filesystem::path root = "/usr/lib/python3.11";
    if (!std::filesystem::is_directory(root)) GTEST_SKIP() << root << " is not there";
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root, std::filesystem::directory_options::skip_permission_denied)) {
        if (e.is_regular_file() && e.path().extension() == ".py") files.push_back(e.path().string());
    }
    std::sort(files.begin(), files.end());
    ASSERT_GT(files.size(), 100u);

    std::string input;
    for (const auto& f : files) {
        for (const char* a : ACTIONS) input += text_of(json::object{{"action", a}, {"path", f}}) + "\n";
    }
    input += "{\"action\": \"quit\"}\n";
    const Transcript t = run_program(ASTPROBE_PROGRAM, input);
    EXPECT_EQ(t.status, 0);
    EXPECT_EQ(t.err, "");

    std::size_t line_no = 0, failures = 0, start = 0;
    std::vector<std::string> lines;
    for (std::size_t nl; (nl = t.out.find('\n', start)) != std::string::npos; start = nl + 1) {
        lines.push_back(t.out.substr(start, nl - start));
    }
    EXPECT_EQ(start, t.out.size()) << "output does not end with a line feed";
    ASSERT_EQ(lines.size(), files.size() * std::size(ACTIONS) + 1);
    EXPECT_EQ(lines.back(), "{\"success\": true, \"result\": \"goodbye\"}");

    for (const auto& f : files) {
        json::value analyzed;
        for (const char* action : ACTIONS) {
            const std::string& line = lines[line_no++];
            ASSERT_TRUE(std::all_of(line.begin(), line.end(), [](unsigned char c) { return c >= 0x20 && c < 0x7f; }))
                << f << " " << action;
            const json::value v = norvex::pyjson::parse(line);
            ASSERT_TRUE(v.is_object());
            const json::object& answer = v.as_object();
            ASSERT_EQ(answer.size(), 2u) << line.substr(0, 300);
            ASSERT_EQ(answer.begin()->key(), "success");
            const auto second = std::next(answer.begin())->key();
            if (answer.at("success") == false) {
                ASSERT_EQ(second, "error");
                ASSERT_TRUE(answer.at("error").is_string());
                ++failures;
                continue;
            }
            ASSERT_EQ(answer.at("success"), true) << line.substr(0, 300);
            ASSERT_EQ(second, "result");
            const json::value& result = answer.at("result");
            if (std::string_view(action) == "analyze") {
                analyzed = result;
                ASSERT_TRUE(result.is_object());
                ASSERT_EQ(result.as_object().size(), 8u);
                continue;
            }
            ASSERT_TRUE(payload_fits(action, result)) << f << " " << action;
            // The single analyses agree with the bundle of the same file.
            const std::pair<std::string_view, std::string_view> in_bundle[] = {
                {"find_functions", "functions"}, {"find_classes", "classes"}, {"find_imports", "imports"},
                {"find_todos", "todos"},         {"complexity", "complexity"}, {"symbols", "symbols"},
                {"call_graph", "call_graph"},    {"summarize", "summary"}};
            for (const auto& [single, key] : in_bundle) {
                if (single == action && analyzed.is_object()) {
                    EXPECT_EQ(result, analyzed.at(key)) << f << " " << action;
                }
            }
        }
    }
    // The library parses; a parser that gives up on much of it is a regression, not robustness.
    EXPECT_LT(failures, files.size() / 10);
}
