// Walk order, child nodes, source segments and docstrings (expected values taken from CPython 3.14's ast module).
#include "norvex/pyast/tree_services.hpp"

#include <gtest/gtest.h>

#include <initializer_list>

namespace norvex::pyast {
namespace {

class TreeServicesTest : public ::testing::Test {
protected:
    static Position at(int l, int c, int el, int ec) { return {l, c, el, ec}; }

    NodeList list(std::initializer_list<Node*> nodes) { return arena.list(std::vector<Node*>(nodes)); }

    template <typename T>
    Node* leaf(Position pos = {}) {
        return &arena.make<T>(pos)->base;
    }

    Node* name(std::string_view id, Position pos = {}) {
        auto* n = arena.make<Name>(pos);
        n->id = arena.intern(id);
        return &n->base;
    }

    Node* text(std::string_view s, Position pos = {}) {
        auto* n = arena.make<Constant>(pos);
        n->value.kind = ConstantValue::Kind::Str;
        n->value.text = arena.store(s);
        return &n->base;
    }

    Node* expr(Node* value) {
        auto* n = arena.make<Expr>(value->pos);
        n->value = value;
        return &n->base;
    }

    Node* assign(Node* target, Node* value, Position pos) {
        auto* n = arena.make<Assign>(pos);
        n->targets = list({target});
        n->value = value;
        return &n->base;
    }

    template <typename Def>
    Node* def_with_body(std::initializer_list<Node*> body) {
        auto* n = arena.make<Def>();
        if constexpr (!std::is_same_v<Def, Module>) n->name = arena.intern("f");
        n->body = list(body);
        return &n->base;
    }

    std::optional<std::string> doc_of(std::string_view raw) { return docstring(def_with_body<Module>({expr(text(raw))})); }

    // The tree of kSampleSource, with CPython's positions.
    Node* sample_module() {
        auto* args = arena.make<arguments>();
        auto* a = arena.make<arg>(at(1, 6, 1, 7));
        auto* b = arena.make<arg>(at(1, 9, 1, 10));
        args->args = list({&a->base, &b->base});
        args->defaults = list({leaf<Constant>(at(1, 11, 1, 12))});
        auto* ret = arena.make<Return>(at(3, 4, 3, 12));
        ret->value = name("a", at(3, 11, 3, 12));
        auto* def = arena.make<FunctionDef>(at(1, 0, 3, 12));
        def->args = &args->base;
        def->body = list({expr(text("Doc.", at(2, 4, 2, 14))), &ret->base});
        auto* neg = arena.make<UnaryOp>(at(8, 8, 8, 10));
        neg->operand = name("x", at(8, 9, 8, 10));
        auto* branch = arena.make<If>(at(5, 0, 8, 10));
        branch->test = name("x", at(5, 3, 5, 4));
        branch->body = list({leaf<Pass>(at(6, 4, 6, 8))});
        branch->orelse = list({assign(name("y", at(8, 4, 8, 5)), &neg->base, at(8, 4, 8, 10))});
        auto* module = arena.make<Module>();
        module->body = list({&def->base, assign(name("x", at(4, 0, 4, 1)), leaf<Constant>(at(4, 4, 4, 5)), at(4, 0, 4, 5)),
                             &branch->base});
        return &module->base;
    }

    static constexpr std::string_view kSampleSource =
        "def f(a, b=2):\n    \"\"\"Doc.\"\"\"\n    return a\nx = 1\nif x:\n    pass\nelse:\n    y = -x\n";

    static std::vector<std::string_view> kinds(const std::vector<const Node*>& nodes) {
        std::vector<std::string_view> out;
        for (const Node* n : nodes) out.push_back(name_of(n->kind));
        return out;
    }

    Arena arena;
};

TEST_F(TreeServicesTest, walk_is_breadth_first_from_the_node_itself) {
    const std::vector<std::string_view> expected = {
        "Module", "FunctionDef", "Assign", "If",   "arguments", "Expr",     "Return", "Name", "Constant", "Name",
        "Pass",   "Assign",      "arg",    "arg",  "Constant",  "Constant", "Name",   "Name", "UnaryOp",  "Name"};
    const Node* root = sample_module();
    EXPECT_EQ(kinds(walk(root)), expected);

    std::vector<const Node*> visited;
    for_each_in_walk(root, [&visited](const Node* n) { visited.push_back(n); });
    EXPECT_EQ(visited, walk(root));
}

TEST_F(TreeServicesTest, walk_of_a_leaf_or_nothing) {
    const Node* pass = leaf<Pass>();
    EXPECT_EQ(walk(pass), std::vector<const Node*>{pass});
    EXPECT_TRUE(walk(nullptr).empty());
    int calls = 0;
    for_each_in_walk(nullptr, [&calls](const Node*) { ++calls; });
    EXPECT_EQ(calls, 0);
}

TEST_F(TreeServicesTest, child_nodes_follow_field_order_and_skip_missing_entries) {
    const Node* root = sample_module();
    const Node* def = as<Module>(root)->body[0];
    EXPECT_EQ(kinds(child_nodes(def)), (std::vector<std::string_view>{"arguments", "Expr", "Return"}));
    EXPECT_EQ(kinds(child_nodes(as<FunctionDef>(def)->args)),
              (std::vector<std::string_view>{"arg", "arg", "Constant"}));
    EXPECT_TRUE(child_nodes(leaf<Pass>()).empty());

    // {**a, 'b': None}: the ** entry has no key.
    auto* dict = arena.make<Dict>();
    dict->keys = list({nullptr, text("b")});
    dict->values = list({name("a"), leaf<Constant>()});
    EXPECT_EQ(kinds(child_nodes(&dict->base)), (std::vector<std::string_view>{"Constant", "Name", "Constant"}));
}

TEST_F(TreeServicesTest, source_segment_spans_lines_exactly) {
    const Node* root = sample_module();
    const auto* module = as<Module>(root);
    EXPECT_EQ(source_segment(kSampleSource, module->body[0]), "def f(a, b=2):\n    \"\"\"Doc.\"\"\"\n    return a");
    EXPECT_EQ(source_segment(kSampleSource, module->body[1]), "x = 1");
    EXPECT_EQ(source_segment(kSampleSource, module->body[2]), "if x:\n    pass\nelse:\n    y = -x");
    EXPECT_EQ(source_segment(kSampleSource, as<If>(module->body[2])->orelse[0]), "y = -x");
}

TEST_F(TreeServicesTest, source_segment_is_none_without_a_position) {
    const Node* root = sample_module();
    EXPECT_EQ(source_segment(kSampleSource, root), std::nullopt);
    EXPECT_EQ(source_segment(kSampleSource, as<FunctionDef>(as<Module>(root)->body[0])->args), std::nullopt);
    EXPECT_EQ(source_segment(kSampleSource, leaf<Pass>()), std::nullopt);
    EXPECT_EQ(source_segment(kSampleSource, nullptr), std::nullopt);
}

TEST_F(TreeServicesTest, source_segment_counts_crlf_cr_and_utf8_bytes) {
    // Form feed does not end a line; columns are UTF-8 byte offsets.
    constexpr std::string_view source = "x = (1 +\r\n  2)\ry = 'é' + \"漢\"\n\fz = [\n 1,\n]";
    EXPECT_EQ(source_segment(source, leaf<Assign>(at(1, 0, 2, 4))), "x = (1 +\r\n  2)");
    EXPECT_EQ(source_segment(source, leaf<BinOp>(at(1, 5, 2, 3))), "1 +\r\n  2");
    EXPECT_EQ(source_segment(source, leaf<Assign>(at(3, 0, 3, 16))), "y = 'é' + \"漢\"");
    EXPECT_EQ(source_segment(source, leaf<Constant>(at(3, 4, 3, 8))), "'é'");
    EXPECT_EQ(source_segment(source, leaf<Constant>(at(3, 11, 3, 16))), "\"漢\"");
    EXPECT_EQ(source_segment(source, leaf<Name>(at(4, 1, 4, 2))), "z");
    EXPECT_EQ(source_segment(source, leaf<List>(at(4, 5, 6, 1))), "[\n 1,\n]");
}

TEST_F(TreeServicesTest, docstring_of_each_definition_kind) {
    const Node* root = sample_module();
    EXPECT_EQ(docstring(as<Module>(root)->body[0]), "Doc.");
    EXPECT_EQ(docstring(root), std::nullopt);
    EXPECT_EQ(docstring(def_with_body<ClassDef>({expr(text("c"))})), "c");
    EXPECT_EQ(docstring(def_with_body<AsyncFunctionDef>({expr(text("c"))})), "c");
    EXPECT_EQ(docstring(def_with_body<Module>({expr(text(""))})), "");
}

TEST_F(TreeServicesTest, docstring_is_none_unless_the_first_statement_is_a_string) {
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

TEST_F(TreeServicesTest, docstring_expands_tabs_per_line) {
    EXPECT_EQ(doc_of("ab\tc\td\n\tx\ty"), "ab      c       d\nx       y");
    EXPECT_EQ(doc_of("ab\n\t  c\n  \td"), "ab\n  c\nd");
    // Columns count code points, not bytes, and restart after \r.
    EXPECT_EQ(doc_of("x\u00e9\tz\n\u00e9\t\U0001F600\tq"), "x\u00e9      z\n\u00e9       \U0001F600       q");
    EXPECT_EQ(doc_of("a\r\tb"), "a\r        b");
}

TEST_F(TreeServicesTest, docstring_removes_common_indentation_of_later_lines) {
    EXPECT_EQ(doc_of("  a\n\t b\n    c"), "a\n     b\nc");
    EXPECT_EQ(doc_of("a\r\n  b\r\n  c"), "a\r\nb\r\nc");
    // Lines of spaces only do not count towards the margin but are cut by it.
    EXPECT_EQ(doc_of("x\n   \n  y\n   "), "x\n \ny\n ");
    EXPECT_EQ(doc_of("a\n    b\n  "), "a\nb");
}

TEST_F(TreeServicesTest, docstring_strips_only_the_space_character) {
    // CPython 3.14 strips ' ' alone: other white space stays as text.
    EXPECT_EQ(doc_of("\u3000x\n  y\n   z"), "\u3000x\ny\n z");
    EXPECT_EQ(doc_of("x\n \f y\n  z"), "x\n\f y\n z");
    EXPECT_EQ(doc_of("\u00e9\t\u00e9\n  \u0085y"), "\u00e9       \u00e9\n\u0085y");
    EXPECT_EQ(doc_of("\f\n a"), "\f\na");
}

TEST_F(TreeServicesTest, docstring_drops_leading_and_trailing_blank_lines) {
    EXPECT_EQ(doc_of("\n\n  a\n   b\n\n  "), "a\n b");
    EXPECT_EQ(doc_of(" \n \n  a\n  b"), "a\nb");
    EXPECT_EQ(doc_of("a\n\n\n  b"), "a\n\n\nb");
    EXPECT_EQ(doc_of("   "), "");
}

}  // namespace
}  // namespace norvex::pyast
