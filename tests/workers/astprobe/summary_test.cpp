// summarize_file and full_analysis; expected texts are the Python reference's.
#include "probe_test_util.hpp"

#include "norvex/workers/astprobe/summary.hpp"

using namespace norvex::astprobe;
using norvex::testing::parse_ok;
using norvex::testing::ScratchDir;
using norvex::testing::text_of;

namespace {

std::string summary_of(const std::string& source) {
    auto tree = parse_ok(source);
    return text_of(summarize_file("x.py", *tree->root, tree->source));
}

}  // namespace

TEST(Summary, EmptyFileCountsNothingAndAveragesToTheInteger0) {
    EXPECT_EQ(summary_of(""),
              R"({"path": "x.py", "total_lines": 0, "code_lines": 0, "comment_lines": 0, "blank_lines": 0, "module_docstring": "", )"
              R"("function_count": 0, "class_count": 0, "import_count": 0, "todo_count": 0, "avg_complexity": 0, "functions": [], "classes": [], "top_imports": []})");
}

TEST(Summary, LineCountsAverageAndLists) {
    EXPECT_EQ(summary_of("x = 1\n\n"),
              R"({"path": "x.py", "total_lines": 2, "code_lines": 1, "comment_lines": 0, "blank_lines": 1, "module_docstring": "", )"
              R"("function_count": 0, "class_count": 0, "import_count": 0, "todo_count": 0, "avg_complexity": 0, "functions": [], "classes": [], "top_imports": []})");
    EXPECT_EQ(summary_of("def a(): pass\ndef b():\n    if x: pass\n"),
              R"({"path": "x.py", "total_lines": 3, "code_lines": 3, "comment_lines": 0, "blank_lines": 0, "module_docstring": "", )"
              R"("function_count": 2, "class_count": 0, "import_count": 0, "todo_count": 0, "avg_complexity": 1.5, )"
              R"("functions": [{"name": "a", "line": 1}, {"name": "b", "line": 2}], "classes": [], "top_imports": []})");
    EXPECT_EQ(summary_of("def a(): pass\ndef b(): pass\ndef c():\n    if x: pass\n"),
              R"({"path": "x.py", "total_lines": 4, "code_lines": 4, "comment_lines": 0, "blank_lines": 0, "module_docstring": "", )"
              R"("function_count": 3, "class_count": 0, "import_count": 0, "todo_count": 0, "avg_complexity": 1.3, )"
              R"("functions": [{"name": "a", "line": 1}, {"name": "b", "line": 2}, {"name": "c", "line": 3}], "classes": [], "top_imports": []})");
    EXPECT_EQ(summary_of("#!/usr/bin/env python\n\"\"\"Doc.\"\"\"\nimport a\nimport b\nimport c\nimport d\nimport e\nimport f\n"
                         "import g\nimport h\nimport i\nimport j\nimport k\nfrom m import n, o\n# comment\n   \n"
                         "  # indented comment\ns = \"\"\"\n# inside\n\n\"\"\"\nclass C:\n    def a(self): pass\n"
                         "    def b(self): pass\n    async def c(self): pass\n"),
              R"({"path": "x.py", "total_lines": 25, "code_lines": 19, "comment_lines": 4, "blank_lines": 2, "module_docstring": "Doc.", )"
              R"("function_count": 3, "class_count": 1, "import_count": 13, "todo_count": 0, "avg_complexity": 1.0, )"
              R"("functions": [{"name": "a", "line": 23}, {"name": "b", "line": 24}, {"name": "c", "line": 25}], )"
              R"("classes": [{"name": "C", "line": 22, "methods": 3}], "top_imports": ["a", "b", "c", "d", "e", "f", "g", "h", "i", "j"]})");
}

TEST(Summary, AverageRoundsHalvesToEven) {
    // Means 1.25 and 1.125 round to 1.2 and 1.1 in Python (the binary values tie or fall below).
    auto avg = [](int functions_of_1, int functions_of_2) {
        std::string source;
        for (int i = 0; i < functions_of_1; ++i) source += "def a" + std::to_string(i) + "(): pass\n";
        for (int i = 0; i < functions_of_2; ++i) source += "def b" + std::to_string(i) + "():\n    if x: pass\n";
        auto tree = parse_ok(source);
        return text_of(summarize_file("x.py", *tree->root, tree->source).at("avg_complexity"));
    };
    EXPECT_EQ(avg(3, 1), "1.2");
    EXPECT_EQ(avg(7, 1), "1.1");
    EXPECT_EQ(avg(0, 2), "2.0");
}

TEST(Summary, ModuleDocstringIsCutTo300CodePoints) {
    const std::string doc(400, 'd');
    auto tree = parse_ok("'''" + doc + "'''\n");
    EXPECT_EQ(summarize_file("x.py", *tree->root, tree->source).at("module_docstring").as_string(), doc.substr(0, 300));
}

TEST(FullAnalysis, EnvelopeAndKeyOrder) {
    ScratchDir dir;
    const std::string path = dir.write("m.py", "import os\n\ndef f(x):\n    # TODO: more\n    return os.path.join(x)\n");
    const auto answer = full_analysis(path);
    EXPECT_EQ(text_of(answer),
              R"({"success": true, "result": {"summary": {"path": ")" + path +
                  R"(", "total_lines": 5, "code_lines": 3, "comment_lines": 1, "blank_lines": 1, "module_docstring": "", )"
                  R"("function_count": 1, "class_count": 0, "import_count": 1, "todo_count": 1, "avg_complexity": 1.0, )"
                  R"("functions": [{"name": "f", "line": 3}], "classes": [], "top_imports": ["os"]}, )"
                  R"("functions": [{"name": "f", "type": "function", "line": 3, "end_line": 5, "args": [{"name": "x", "annotation": ""}], "return_type": "", "decorators": [], "docstring": "", "is_method": false}], )"
                  R"("classes": [], "imports": [{"module": "os", "alias": null, "line": 1, "type": "import"}], )"
                  R"("todos": [{"line": 4, "type": "TODO", "text": "more"}], "complexity": [{"name": "f", "line": 3, "complexity": 1, "rating": "A"}], )"
                  R"("symbols": {"functions": [{"name": "f", "line": 3}], "classes": [], "variables": [], "constants": []}, "call_graph": {"f": ["join"]}}})");
    EXPECT_EQ(text_of(full_analysis(dir.path().string() + "/missing.py")),
              R"({"success": false, "error": "File not found: )" + dir.path().string() + R"(/missing.py"})");
    const std::string empty = dir.write("empty.py", "");
    EXPECT_EQ(full_analysis(empty).at("success"), true);
}

TEST(Summary, MarkersAndLineCountsSplitTheTextAlike) {
    // Every line boundary splitlines knows, in valid text and in text with a
    // malformed byte (read as Python would decode it); the markers are
    // counted on the same lines as the comment and blank lines.
    auto tree = parse_ok("x = 1\n");
    const auto valid = summarize_file("x.py", *tree->root, "# NOTE a\xe2\x80\xa8# BUG b\x1c\n\x0c# todo c\xc2\x85  \r\nx");
    EXPECT_EQ(text_of(valid.at("total_lines")), "7");
    EXPECT_EQ(text_of(valid.at("comment_lines")), "3");
    EXPECT_EQ(text_of(valid.at("blank_lines")), "3");
    EXPECT_EQ(text_of(valid.at("todo_count")), "3");
    const auto malformed = summarize_file("x.py", *tree->root, "# TODO: caf\xff\x0b# FIXME \xe2\x82\n\n");
    EXPECT_EQ(text_of(malformed.at("total_lines")), "3");
    EXPECT_EQ(text_of(malformed.at("comment_lines")), "2");
    EXPECT_EQ(text_of(malformed.at("todo_count")), "2");
}
