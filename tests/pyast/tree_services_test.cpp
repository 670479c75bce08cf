// Walk order, child nodes, source segments and docstrings (expected values taken from CPython 3.14's ast module).
#include "norvex/pyast/parse.hpp"
#include "norvex/pyast/tree_services.hpp"

#include <gtest/gtest.h>

#include <initializer_list>

namespace norvex::pyast {
namespace {

std::vector<std::string_view> kinds(const std::vector<const Node*>& nodes) {
    std::vector<std::string_view> out;
    for (const Node* n : nodes) out.push_back(name_of(n->kind));
    return out;
}

constexpr std::string_view kSample =
    "def f(a, b=2):\n    \"\"\"Doc.\"\"\"\n    return a\nx = 1\nif x:\n    pass\nelse:\n    y = -x\n";

TEST(walk, is_breadth_first_from_the_node_itself) {
    const ParseResult parsed = parse(std::string(kSample));
    ASSERT_TRUE(parsed.tree);
    const Node* root = parsed.tree->root;
    const std::vector<std::string_view> expected = {
        "Module", "FunctionDef", "Assign", "If",  "arguments", "Expr",     "Return", "Name", "Constant", "Name",
        "Pass",   "Assign",      "arg",    "arg", "Constant",  "Constant", "Name",   "Name", "UnaryOp",  "Name"};
    EXPECT_EQ(kinds(walk(root)), expected);
    std::vector<const Node*> visited;
    for_each_in_walk(root, [&visited](const Node* n) { visited.push_back(n); });
    EXPECT_EQ(visited, walk(root));

    EXPECT_TRUE(walk(nullptr).empty());
    int calls = 0;
    for_each_in_walk(nullptr, [&calls](const Node*) { ++calls; });
    EXPECT_EQ(calls, 0);
}

TEST(child_nodes, follow_field_order_and_skip_missing_entries) {
    const ParseResult parsed = parse(std::string(kSample) + "{**a, 'b': None}\n");
    ASSERT_TRUE(parsed.tree);
    const NodeList& body = as<Module>(parsed.tree->root)->body;
    EXPECT_EQ(kinds(child_nodes(body[0])), (std::vector<std::string_view>{"arguments", "Expr", "Return"}));
    EXPECT_EQ(kinds(child_nodes(as<FunctionDef>(body[0])->args)),
              (std::vector<std::string_view>{"arg", "arg", "Constant"}));
    EXPECT_TRUE(child_nodes(as<If>(body[2])->body[0]).empty());
    // The ** entry of a dict has no key.
    EXPECT_EQ(kinds(child_nodes(as<Expr>(body[3])->value)),
              (std::vector<std::string_view>{"Constant", "Name", "Constant"}));
}

TEST(source_segment, spans_lines_exactly) {
    const ParseResult parsed = parse(std::string(kSample));
    ASSERT_TRUE(parsed.tree);
    const NodeList& body = as<Module>(parsed.tree->root)->body;
    EXPECT_EQ(source_segment(kSample, body[0]), "def f(a, b=2):\n    \"\"\"Doc.\"\"\"\n    return a");
    EXPECT_EQ(source_segment(kSample, body[2]), "if x:\n    pass\nelse:\n    y = -x");
    // Kinds without a position, and nodes whose position was never set.
    EXPECT_EQ(source_segment(kSample, parsed.tree->root), std::nullopt);
    EXPECT_EQ(source_segment(kSample, as<FunctionDef>(body[0])->args), std::nullopt);
    Arena arena;
    EXPECT_EQ(source_segment(kSample, &arena.make<Pass>()->base), std::nullopt);
}

TEST(source_segment, counts_crlf_cr_and_utf8_bytes) {
    // Form feed does not end a line; columns are UTF-8 byte offsets.
    const std::string source = "x = (1 +\r\n  2)\ry = 'é' + \"漢\"\n\fz = [\n 1,\n]";
    const ParseResult parsed = parse(source);
    ASSERT_TRUE(parsed.tree);
    std::vector<std::optional<std::string_view>> segments;
    for (const Node* n : walk(parsed.tree->root)) segments.push_back(source_segment(source, n));
    const std::vector<std::optional<std::string_view>> expected = {
        std::nullopt, "x = (1 +\r\n  2)", "y = 'é' + \"漢\"", "z = [\n 1,\n]", "x", "1 +\r\n  2", "y",
        "'é' + \"漢\"", "z", "[\n 1,\n]", "1", "2", "'é'", "\"漢\"", "1"};
    EXPECT_EQ(segments, expected);

    // The table of line starts gives the very same slices.
    const LineTable lines(source);
    EXPECT_EQ(lines.line_count(), 6u);
    std::vector<std::optional<std::string_view>> from_table;
    for (const Node* n : walk(parsed.tree->root)) from_table.push_back(source_segment(lines, n));
    EXPECT_EQ(from_table, expected);
}

TEST(source_segment, line_table_agrees_past_the_text_and_at_its_end) {
    // Positions pointing past the last line (a node from another text) give
    // none, with and without the table; a final line break opens no line.
    const std::string source = "a = 1\nb = 2\n";
    const LineTable lines(source);
    EXPECT_EQ(lines.line_count(), 3u);
    EXPECT_EQ(lines.line_start(3), source.size());
    EXPECT_EQ(lines.line_start(4), std::string_view::npos);
    Arena arena;
    Node* name = &arena.make<Name>()->base;
    for (const auto& [line, end_line] : {std::pair{3, 3}, std::pair{1, 4}, std::pair{2, 2}, std::pair{1, 2}}) {
        name->pos = Position{line, 0, end_line, 3};
        EXPECT_EQ(source_segment(lines, name), source_segment(source, name)) << line << "-" << end_line;
    }
    name->pos = Position{1, 0, 2, 5};
    EXPECT_EQ(source_segment(lines, name), "a = 1\nb = 2");
}

class Docstring : public ::testing::Test {
protected:
    NodeList list(std::initializer_list<Node*> nodes) { return arena.list(std::vector<Node*>(nodes)); }

    template <typename T>
    Node* leaf() {
        return &arena.make<T>()->base;
    }

    Node* text(std::string_view s) {
        auto* n = arena.make<Constant>();
        n->value.kind = ConstantValue::Kind::Str;
        n->value.text = arena.store(s);
        return &n->base;
    }

    Node* expr(Node* value) {
        auto* n = arena.make<Expr>();
        n->value = value;
        return &n->base;
    }

    template <typename Def>
    Node* def_with_body(std::initializer_list<Node*> body) {
        auto* n = arena.make<Def>();
        n->body = list(body);
        return &n->base;
    }

    std::optional<std::string> doc_of(std::string_view raw) { return docstring(def_with_body<Module>({expr(text(raw))})); }

    Arena arena;
};

TEST_F(Docstring, of_each_definition_kind) {
    const ParseResult parsed = parse(std::string(kSample));
    ASSERT_TRUE(parsed.tree);
    EXPECT_EQ(docstring(as<Module>(parsed.tree->root)->body[0]), "Doc.");
    EXPECT_EQ(docstring(parsed.tree->root), std::nullopt);
    EXPECT_EQ(docstring(def_with_body<ClassDef>({expr(text("c"))})), "c");
    EXPECT_EQ(docstring(def_with_body<AsyncFunctionDef>({expr(text("c"))})), "c");
    EXPECT_EQ(docstring(def_with_body<Module>({expr(text(""))})), "");
}

TEST_F(Docstring, is_none_unless_the_first_statement_is_a_string) {
    auto* bytes = arena.make<Constant>();
    bytes->value.kind = ConstantValue::Kind::Bytes;
    bytes->value.text = "x";
    EXPECT_EQ(docstring(def_with_body<ClassDef>({expr(&bytes->base)})), std::nullopt);
    EXPECT_EQ(docstring(def_with_body<FunctionDef>({expr(leaf<JoinedStr>())})), std::nullopt);
    EXPECT_EQ(docstring(def_with_body<Module>({leaf<Pass>(), expr(text("late"))})), std::nullopt);
    EXPECT_EQ(docstring(def_with_body<Module>({})), std::nullopt);
    auto* branch = arena.make<If>();
    branch->body = list({expr(text("not a definition"))});
    EXPECT_EQ(docstring(&branch->base), std::nullopt);
    EXPECT_EQ(docstring(nullptr), std::nullopt);
}

TEST_F(Docstring, expands_tabs_per_line) {
    EXPECT_EQ(doc_of("ab\tc\td\n\tx\ty"), "ab      c       d\nx       y");
    EXPECT_EQ(doc_of("ab\n\t  c\n  \td"), "ab\n  c\nd");
    // Columns count code points, not bytes, and restart after \r.
    EXPECT_EQ(doc_of("x\u00e9\tz\n\u00e9\t\U0001F600\tq"), "x\u00e9      z\n\u00e9       \U0001F600       q");
    EXPECT_EQ(doc_of("a\r\tb"), "a\r        b");
}

TEST_F(Docstring, removes_common_indentation_of_later_lines) {
    EXPECT_EQ(doc_of("  a\n\t b\n    c"), "a\n     b\nc");
    EXPECT_EQ(doc_of("a\r\n  b\r\n  c"), "a\r\nb\r\nc");
    // Lines of spaces only do not count towards the margin but are cut by it.
    EXPECT_EQ(doc_of("x\n   \n  y\n   "), "x\n \ny\n ");
    EXPECT_EQ(doc_of("a\n    b\n  "), "a\nb");
}

TEST_F(Docstring, strips_only_the_space_character) {
    // CPython 3.14 strips ' ' alone: other white space stays as text.
    EXPECT_EQ(doc_of("\u3000x\n  y\n   z"), "\u3000x\ny\n z");
    EXPECT_EQ(doc_of("x\n \f y\n  z"), "x\n\f y\n z");
    EXPECT_EQ(doc_of("\u00e9\t\u00e9\n  \u0085y"), "\u00e9       \u00e9\n\u0085y");
    EXPECT_EQ(doc_of("\f\n a"), "\f\na");
}

TEST_F(Docstring, drops_leading_and_trailing_blank_lines) {
    EXPECT_EQ(doc_of("\n\n  a\n   b\n\n  "), "a\n b");
    EXPECT_EQ(doc_of(" \n \n  a\n  b"), "a\nb");
    EXPECT_EQ(doc_of("a\n\n\n  b"), "a\n\n\nb");
    EXPECT_EQ(doc_of("   "), "");
}

}  // namespace
}  // namespace norvex::pyast
