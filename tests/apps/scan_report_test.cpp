// The scan report's folding, ranking, averaging and layouts, on hand-made outcomes.
#include "scan_report.hpp"

#include "norvex/common/pyjson.hpp"

#include <gmock/gmock.h>

#include <string>
#include <vector>

using namespace norvex::cli;
namespace json = boost::json;
using ::testing::HasSubstr;

namespace {

FileOutcome analysed(const std::string& path, std::size_t index, std::vector<std::pair<std::string, int>> functions,
                     std::int64_t lines = 10) {
    FileFigures f;
    f.total_lines = lines;
    f.code_lines = lines - 2;
    f.comment_lines = 1;
    f.blank_lines = 1;
    f.functions = static_cast<std::int64_t>(functions.size());
    f.classes = 1;
    f.todos = 2;
    std::int64_t line = 1;
    for (auto& [name, complexity] : functions) {
        f.complexity.push_back({path, line, name, complexity, complexity > 5 ? "B" : "A", index});
        line += 10;
    }
    return {path, f, ""};
}

FileOutcome failed(const std::string& path, const std::string& error) { return {path, std::nullopt, error}; }

std::vector<std::string> names(const ScanReport& report) {
    std::vector<std::string> out;
    for (const auto& r : report.top) out.push_back(r.name);
    return out;
}

}  // namespace

TEST(ScanFigures, ReadsTheWorkersAnswers) {
    const json::value summary = norvex::pyjson::parse(
        R"({"path": "a.py", "total_lines": 12, "code_lines": 8, "comment_lines": 3, "blank_lines": 1,
            "module_docstring": "", "function_count": 2, "class_count": 1, "import_count": 0, "todo_count": 4,
            "avg_complexity": 1.5, "functions": [], "classes": [], "top_imports": []})");
    const json::value complexity = norvex::pyjson::parse(
        R"([{"name": "f", "line": 3, "complexity": 1, "rating": "A"},
            {"name": "g", "line": 9, "complexity": 2, "rating": "A"}])");
    const FileFigures f = figures_from("a.py", 7, summary, complexity);
    EXPECT_EQ(f.total_lines, 12);
    EXPECT_EQ(f.code_lines, 8);
    EXPECT_EQ(f.comment_lines, 3);
    EXPECT_EQ(f.blank_lines, 1);
    EXPECT_EQ(f.functions, 2);
    EXPECT_EQ(f.classes, 1);
    EXPECT_EQ(f.todos, 4);
    ASSERT_EQ(f.complexity.size(), 2u);
    EXPECT_EQ(f.complexity[1].name, "g");
    EXPECT_EQ(f.complexity[1].line, 9);
    EXPECT_EQ(f.complexity[1].complexity, 2);
    EXPECT_EQ(f.complexity[1].path, "a.py");
    EXPECT_EQ(f.complexity[1].file_index, 7u);

    // An answer of another shape is refused with what is missing.
    json::value no_count = summary;
    no_count.as_object().erase("todo_count");
    EXPECT_THAT([&] { figures_from("a.py", 0, no_count, complexity); },
                ::testing::ThrowsMessage<std::runtime_error>(HasSubstr("\"todo_count\"")));
    EXPECT_THROW(figures_from("a.py", 0, complexity, complexity), std::runtime_error);
    EXPECT_THROW(figures_from("a.py", 0, summary, summary), std::runtime_error);
    EXPECT_THAT([&] { figures_from("a.py", 0, summary, norvex::pyjson::parse(R"([{"name": "f", "line": "3"}])")); },
                ::testing::ThrowsMessage<std::runtime_error>(HasSubstr("\"line\"")));
}

TEST(ScanReport, FoldsAnalysedFilesAndListsFailuresInOrder) {
    const std::vector<FileOutcome> outcomes{
        analysed("a.py", 0, {{"f", 1}, {"g", 4}}, 10),
        failed("b.py", "Syntax error at line 1: invalid syntax"),
        analysed("c.py", 2, {{"h", 2}}, 5),
        failed("d.py", "File not found: d.py"),
    };
    const ScanReport report = build_report("src", 2, outcomes, {"src/.git"}, 10);
    const ScanTotals& t = report.totals;
    EXPECT_EQ(t.files, 4);
    EXPECT_EQ(t.analyzed, 2);
    EXPECT_EQ(t.failed, 2);
    EXPECT_EQ(t.total_lines, 15);  // failed files add nothing
    EXPECT_EQ(t.code_lines, 11);
    EXPECT_EQ(t.functions, 3);
    EXPECT_EQ(t.classes, 2);
    EXPECT_EQ(t.todos, 4);
    EXPECT_EQ(t.complexity_sum, 7);
    ASSERT_EQ(report.failures.size(), 2u);
    EXPECT_EQ(report.failures[0].path, "b.py");
    EXPECT_EQ(report.failures[1].error, "File not found: d.py");
    EXPECT_THAT(names(report), ::testing::ElementsAre("g", "h", "f"));
}

TEST(ScanReport, RanksByComplexityThenScanOrderThenLine) {
    // Scan order is not name order here: ties follow the scan, not the text of the path.
    const std::vector<FileOutcome> outcomes{
        analysed("z.py", 0, {{"z1", 3}, {"z2", 7}, {"z3", 3}}),
        analysed("a.py", 1, {{"a1", 3}, {"a2", 7}}),
    };
    EXPECT_THAT(names(build_report("r", 1, outcomes, {}, 10)), ::testing::ElementsAre("z2", "a2", "z1", "z3", "a1"));
    EXPECT_THAT(names(build_report("r", 1, outcomes, {}, 3)), ::testing::ElementsAre("z2", "a2", "z1"));
    EXPECT_TRUE(build_report("r", 1, outcomes, {}, 0).top.empty());
    // The totals do not depend on how many are listed.
    EXPECT_EQ(build_report("r", 1, outcomes, {}, 0).totals.complexity_records, 5);
}

TEST(ScanReport, AverageComplexityRoundsLikePython) {
    ScanTotals t;
    EXPECT_TRUE(average_complexity(t).is_int64());  // no functions: the integer 0
    EXPECT_EQ(average_complexity(t).as_int64(), 0);
    t.complexity_records = 4;
    t.complexity_sum = 5;  // 1.25: the tie goes to the even digit
    EXPECT_EQ(average_complexity(t).as_double(), 1.2);
    t.complexity_sum = 7;  // 1.75
    EXPECT_EQ(average_complexity(t).as_double(), 1.8);
    t.complexity_records = 3;
    t.complexity_sum = 6;  // a whole mean stays a real number
    EXPECT_EQ(norvex::pyjson::dumps(average_complexity(t)), "2.0");
}

TEST(ScanReport, TableAlignsItsColumns) {
    const std::vector<FileOutcome> outcomes{
        analysed("pkg/long_module_name.py", 0, {{"short", 12}, {"a_much_longer_name", 3}}, 1234),
        failed("bad.py", "Syntax error at line 2: invalid syntax"),
    };
    const std::string table = report_table(build_report("pkg", 4, outcomes, {}, 10));
    EXPECT_THAT(table, ::testing::StartsWith("Scanned pkg: 2 Python files, 1 analyzed, 1 failed (4 jobs)\n"));
    EXPECT_EQ(table.find("Skipped"), std::string::npos);
    EXPECT_THAT(table, HasSubstr("  lines           1234\n"
                                 "    code          1232\n"
                                 "    comment          1\n"));
    EXPECT_THAT(table, HasSubstr("  avg complexity   7.5\n"));
    EXPECT_THAT(table, HasSubstr("Failed (1)\n  bad.py: Syntax error at line 2: invalid syntax\n"));
    EXPECT_THAT(table, HasSubstr("Most complex functions (2 of 2)\n"
                                 "  location                    function            complexity  rating\n"
                                 "  pkg/long_module_name.py:1   short                       12  B\n"
                                 "  pkg/long_module_name.py:11  a_much_longer_name           3  A\n"));
    // Nothing to rank, nothing to fail: those sections are left out.
    const std::string quiet = report_table(build_report("pkg", 1, {analysed("x.py", 0, {})}, {}, 10));
    EXPECT_EQ(quiet.find("Most complex"), std::string::npos);
    EXPECT_EQ(quiet.find("Failed"), std::string::npos);
    EXPECT_THAT(quiet, HasSubstr("  avg complexity   0\n"));
}

TEST(ScanReport, JsonKeysInTheirDocumentedOrder) {
    const json::object doc = report_json(build_report("src", 3, {analysed("a.py", 0, {{"f", 2}})}, {"src/.tox"}, 5));
    EXPECT_EQ(norvex::pyjson::dumps(doc),
              R"({"root": "src", "jobs": 3, "totals": {"files": 1, "analyzed": 1, "failed": 0, "total_lines": 10, )"
              R"("code_lines": 8, "comment_lines": 1, "blank_lines": 1, "functions": 1, "classes": 1, "todos": 2, )"
              R"("avg_complexity": 2.0}, "failures": [], "top_functions": [{"path": "a.py", "line": 1, "name": "f", )"
              R"("complexity": 2, "rating": "A"}], "skipped_dirs": ["src/.tox"]})");
}
