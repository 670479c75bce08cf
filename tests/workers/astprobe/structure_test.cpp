// find_functions, find_classes, find_imports and extract_symbols on snippets; expected texts are the Python reference's.
#include "probe_test_util.hpp"

#include "norvex/workers/astprobe/structure.hpp"

using namespace norvex::astprobe;
using norvex::testing::parse_ok;
using norvex::testing::text_of;

namespace {

std::string functions_of(const std::string& source) {
    auto tree = parse_ok(source);
    return text_of(find_functions(*tree->root, tree->source));
}

}  // namespace

TEST(FindFunctions, ShallowerFirstAndMethodsOnlyDirectlyInClassBodies) {
    EXPECT_EQ(functions_of("class C:\n    def m(self): pass\n    if True:\n        def hidden(self): pass\n"
                           "    try:\n        async def t(self): pass\n    except E: pass\n\n"
                           "def outer():\n    def inner(): pass\n\nif x:\n    def cond(): pass\n"),
              R"([{"name": "outer", "type": "function", "line": 9, "end_line": 10, "args": [], "return_type": "", "decorators": [], "docstring": "", "is_method": false}, )"
              R"({"name": "m", "type": "function", "line": 2, "end_line": 2, "args": [{"name": "self", "annotation": ""}], "return_type": "", "decorators": [], "docstring": "", "is_method": true}, )"
              R"({"name": "inner", "type": "function", "line": 10, "end_line": 10, "args": [], "return_type": "", "decorators": [], "docstring": "", "is_method": false}, )"
              R"({"name": "cond", "type": "function", "line": 13, "end_line": 13, "args": [], "return_type": "", "decorators": [], "docstring": "", "is_method": false}, )"
              R"({"name": "hidden", "type": "function", "line": 4, "end_line": 4, "args": [{"name": "self", "annotation": ""}], "return_type": "", "decorators": [], "docstring": "", "is_method": false}, )"
              R"({"name": "t", "type": "async_function", "line": 6, "end_line": 6, "args": [{"name": "self", "annotation": ""}], "return_type": "", "decorators": [], "docstring": "", "is_method": false}])");
}

TEST(FindFunctions, ParametersAnnotationsDecoratorsAndDocstrings) {
    // Only ordinary positional parameters are listed; the string annotation keeps its quotes.
    EXPECT_EQ(functions_of("def f(self, a: int = 1, *args, k, **kw) -> 'str': pass\n"),
              R"([{"name": "f", "type": "function", "line": 1, "end_line": 1, "args": [{"name": "self", "annotation": ""}, {"name": "a", "annotation": "int"}], "return_type": "'str'", "decorators": [], "docstring": "", "is_method": false}])");
    EXPECT_EQ(functions_of("def f(self, a: int = 1, /, b : \"x\"=2, *args: int, k, **kw) -> \"str\":\n"
                           "    \"\"\"  Doc line.\n\n        indented\n    \"\"\"\n"),
              R"([{"name": "f", "type": "function", "line": 1, "end_line": 5, "args": [{"name": "b", "annotation": "\"x\""}], "return_type": "\"str\"", "decorators": [], "docstring": "Doc line.\n\nindented", "is_method": false}])");
    // Segments are the text as written, spacing and line breaks included; lineno is the def's line.
    EXPECT_EQ(functions_of("@ decorator . attr ( 1 ,2 )\n@other\ndef g(p: list[\n  int]): pass\n"),
              R"j([{"name": "g", "type": "function", "line": 3, "end_line": 4, "args": [{"name": "p", "annotation": "list[\n  int]"}], "return_type": "", "decorators": ["decorator . attr ( 1 ,2 )", "other"], "docstring": "", "is_method": false}])j");
}

TEST(FindFunctions, DocstringsAreCutTo200CodePointsAfterCleaning) {
    // 250 two-byte characters: a cut by bytes would give 100.
    std::string doc;
    for (int i = 0; i < 250; ++i) doc += "\xc3\xa9";
    auto tree = parse_ok("def f():\n    '''\n    " + doc + "\n    '''\n");
    const auto records = find_functions(*tree->root, tree->source);
    const std::string got(records.at(0).at("docstring").as_string());
    EXPECT_EQ(got, doc.substr(0, 400));
}

TEST(FindClasses, BasesMethodsAttributesFromTheClassBodyOnly) {
    auto tree = parse_ok("class A(Base, mixins.M, metaclass=Meta):\n    \"\"\"Doc.\"\"\"\n    a = b = 1\n    c, d = 1, 2\n"
                         "    e: int = 3\n    self.f = 4\n    def m1(self): pass\n    async def m2(self): pass\n"
                         "    if X:\n        def m3(self): pass\n        g = 5\n    class Inner: pass\n");
    EXPECT_EQ(text_of(find_classes(*tree->root, tree->source)),
              R"([{"name": "A", "line": 1, "end_line": 12, "bases": ["Base", "mixins.M"], "methods": ["m1", "m2"], "attributes": ["a", "b"], "docstring": "Doc.", "method_count": 2}, )"
              R"({"name": "Inner", "line": 12, "end_line": 12, "bases": [], "methods": [], "attributes": [], "docstring": "", "method_count": 0}])");
}

TEST(FindImports, OneRecordPerNameInWalkOrder) {
    auto tree = parse_ok("from . import x\nimport os.path as p, sys\nfrom ..pkg.mod import (a as b, c)\nfrom m import *\n"
                         "def f():\n    import inner\n");
    EXPECT_EQ(text_of(find_imports(*tree->root)),
              R"([{"module": "", "name": "x", "alias": null, "line": 1, "type": "from_import"}, )"
              R"({"module": "os.path", "alias": "p", "line": 2, "type": "import"}, )"
              R"({"module": "sys", "alias": null, "line": 2, "type": "import"}, )"
              R"({"module": "pkg.mod", "name": "a", "alias": "b", "line": 3, "type": "from_import"}, )"
              R"({"module": "pkg.mod", "name": "c", "alias": null, "line": 3, "type": "from_import"}, )"
              R"({"module": "m", "name": "*", "alias": null, "line": 4, "type": "from_import"}, )"
              R"({"module": "inner", "alias": null, "line": 6, "type": "import"}])");
}

TEST(ExtractSymbols, TopLevelOnlyWithPythonsUpperCaseRule) {
    auto tree = parse_ok("MAX_SIZE = X1 = _A = 1\n_ = __all__ = Foo = 2\nA, B = 1, 2\nn: int = 3\nx += 1\n"
                         "\xc3\x84" "B = 1\ndef f(): pass\nasync def g(): pass\nclass K: pass\nimport os\nif y:\n    z = 1\n");
    EXPECT_EQ(text_of(extract_symbols(*tree->root)),
              R"({"functions": [{"name": "f", "line": 7}, {"name": "g", "line": 8}], "classes": [{"name": "K", "line": 9}], )"
              R"("variables": [{"name": "_", "line": 2}, {"name": "__all__", "line": 2}, {"name": "Foo", "line": 2}], )"
              R"("constants": [{"name": "MAX_SIZE", "line": 1}, {"name": "X1", "line": 1}, {"name": "_A", "line": 1}, {"name": "\u00c4B", "line": 6}]})");
}

TEST(Structure, EmptyModuleGivesEmptyListsAndFourEmptySymbolLists) {
    auto tree = parse_ok("");
    EXPECT_TRUE(find_functions(*tree->root, tree->source).empty());
    EXPECT_TRUE(find_classes(*tree->root, tree->source).empty());
    EXPECT_TRUE(find_imports(*tree->root).empty());
    EXPECT_EQ(text_of(extract_symbols(*tree->root)), R"({"functions": [], "classes": [], "variables": [], "constants": []})");
}
