// dump() against CPython 3.14's ast.dump on hand-built trees (expected texts taken from CPython).
#include "norvex/pyast/dump.hpp"

#include <gtest/gtest.h>

#include <initializer_list>

namespace norvex::pyast {
namespace {

class DumpTest : public ::testing::Test {
protected:
    static Position at(int l, int c, int el, int ec) { return {l, c, el, ec}; }

    NodeList list(std::initializer_list<Node*> nodes) { return arena.list(std::vector<Node*>(nodes)); }

    Node* name(std::string_view id, ExprContext ctx, Position pos = {}) {
        auto* n = arena.make<Name>(pos);
        n->id = arena.intern(id);
        n->ctx = ctx;
        return &n->base;
    }

    Node* integer(std::int64_t v, Position pos = {}) {
        auto* n = arena.make<Constant>(pos);
        n->value.kind = ConstantValue::Kind::Int;
        n->value.int_value = v;
        return &n->base;
    }

    Node* text(std::string_view s, Position pos = {}) {
        auto* n = arena.make<Constant>(pos);
        n->value.kind = ConstantValue::Kind::Str;
        n->value.text = arena.store(s);
        return &n->base;
    }

    Node* argument(std::string_view id, Position pos) {
        auto* n = arena.make<arg>(pos);
        n->arg = arena.intern(id);
        return &n->base;
    }

    Node* assign(Node* target, Node* value, Position pos) {
        auto* n = arena.make<Assign>(pos);
        n->targets = list({target});
        n->value = value;
        return &n->base;
    }

    // def f(a, b=2):
    //     """Doc."""
    //     return a
    // x = 1
    // if x:
    //     pass
    // else:
    //     y = -x
    Node* sample_module() {
        auto* args = arena.make<arguments>();
        args->args = list({argument("a", at(1, 6, 1, 7)), argument("b", at(1, 9, 1, 10))});
        args->defaults = list({integer(2, at(1, 11, 1, 12))});
        auto* doc = arena.make<Expr>(at(2, 4, 2, 14));
        doc->value = text("Doc.", at(2, 4, 2, 14));
        auto* ret = arena.make<Return>(at(3, 4, 3, 12));
        ret->value = name("a", ExprContext::Load, at(3, 11, 3, 12));
        auto* def = arena.make<FunctionDef>(at(1, 0, 3, 12));
        def->name = arena.intern("f");
        def->args = &args->base;
        def->body = list({&doc->base, &ret->base});

        auto* neg = arena.make<UnaryOp>(at(8, 8, 8, 10));
        neg->op = Op::USub;
        neg->operand = name("x", ExprContext::Load, at(8, 9, 8, 10));
        auto* branch = arena.make<If>(at(5, 0, 8, 10));
        branch->test = name("x", ExprContext::Load, at(5, 3, 5, 4));
        branch->body = list({&arena.make<Pass>(at(6, 4, 6, 8))->base});
        branch->orelse = list({assign(name("y", ExprContext::Store, at(8, 4, 8, 5)), &neg->base, at(8, 4, 8, 10))});

        auto* module = arena.make<Module>();
        module->body = list({&def->base,
                             assign(name("x", ExprContext::Store, at(4, 0, 4, 1)), integer(1, at(4, 4, 4, 5)), at(4, 0, 4, 5)),
                             &branch->base});
        return &module->base;
    }

    Arena arena;
};

TEST_F(DumpTest, indented_dump_puts_simple_nodes_on_one_line) {
    EXPECT_EQ(dump(sample_module()), R"(Module(
  body=[
    FunctionDef(
      name='f',
      args=arguments(
        args=[
          arg(arg='a'),
          arg(arg='b')],
        defaults=[
          Constant(value=2)]),
      body=[
        Expr(
          value=Constant(value='Doc.')),
        Return(
          value=Name(id='a', ctx=Load()))]),
    Assign(
      targets=[
        Name(id='x', ctx=Store())],
      value=Constant(value=1)),
    If(
      test=Name(id='x', ctx=Load()),
      body=[
        Pass()],
      orelse=[
        Assign(
          targets=[
            Name(id='y', ctx=Store())],
          value=UnaryOp(
            op=USub(),
            operand=Name(id='x', ctx=Load())))])]))");
}

TEST_F(DumpTest, attributes_follow_the_fields_and_break_every_positioned_node) {
    const std::string out = dump(sample_module(), {.indent = 2, .include_attributes = true});
    const std::string head = R"(Module(
  body=[
    FunctionDef(
      name='f',
      args=arguments(
        args=[
          arg(
            arg='a',
            lineno=1,
            col_offset=6,
            end_lineno=1,
            end_col_offset=7),
          arg(
            arg='b',
            lineno=1,
            col_offset=9,
            end_lineno=1,
            end_col_offset=10)],
        defaults=[
          Constant(
            value=2,
            lineno=1,
            col_offset=11,
            end_lineno=1,
            end_col_offset=12)]),
      body=[
        Expr(
          value=Constant(
            value='Doc.',
            lineno=2,
            col_offset=4,
            end_lineno=2,
            end_col_offset=14),
          lineno=2,)";
    EXPECT_EQ(out.substr(0, head.size()), head);
    EXPECT_NE(out.find(R"(
        Pass(
          lineno=6,
          col_offset=4,
          end_lineno=6,
          end_col_offset=8)],)"),
              std::string::npos);
    EXPECT_TRUE(out.ends_with(R"(
      lineno=5,
      col_offset=0,
      end_lineno=8,
      end_col_offset=10)]))"));
}

TEST_F(DumpTest, without_indent_everything_is_on_one_line) {
    EXPECT_EQ(dump(sample_module(), {.indent = std::nullopt}),
              "Module(body=[FunctionDef(name='f', args=arguments(args=[arg(arg='a'), arg(arg='b')], "
              "defaults=[Constant(value=2)]), body=[Expr(value=Constant(value='Doc.')), Return(value=Name(id='a', "
              "ctx=Load()))]), Assign(targets=[Name(id='x', ctx=Store())], value=Constant(value=1)), "
              "If(test=Name(id='x', ctx=Load()), body=[Pass()], orelse=[Assign(targets=[Name(id='y', ctx=Store())], "
              "value=UnaryOp(op=USub(), operand=Name(id='x', ctx=Load())))])])");
}

TEST_F(DumpTest, indent_zero_breaks_lines_without_indenting) {
    const std::string out = dump(sample_module(), {.indent = 0});
    EXPECT_TRUE(out.starts_with("Module(\nbody=[\nFunctionDef(\nname='f',\nargs=arguments(\nargs=[\narg(arg='a'),\n"));
    EXPECT_TRUE(out.ends_with("value=UnaryOp(\nop=USub(),\noperand=Name(id='x', ctx=Load())))])])"));
}

TEST_F(DumpTest, indent_width_is_applied_per_level) {
    auto* cmp = arena.make<Compare>();
    cmp->left = name("a", ExprContext::Load);
    cmp->ops = arena.ops({Op::Lt});
    cmp->comparators = list({name("b", ExprContext::Load)});
    EXPECT_EQ(dump(&cmp->base, {.indent = 4}), R"(Compare(
    left=Name(id='a', ctx=Load()),
    ops=[
        Lt()],
    comparators=[
        Name(id='b', ctx=Load())]))");
}

TEST_F(DumpTest, none_and_empty_fields_are_left_out_but_optional_ints_are_not) {
    auto import_from = [&](std::string_view module, std::string_view asname, int level) {
        auto* alias_node = arena.make<alias>();
        alias_node->name = arena.intern(module.empty() ? "x" : "path");
        if (!asname.empty()) alias_node->asname = arena.intern(asname);
        auto* n = arena.make<ImportFrom>();
        if (!module.empty()) n->module = arena.intern(module);
        n->names = list({&alias_node->base});
        n->level = level;
        return &n->base;
    };
    auto* module = arena.make<Module>();
    module->body = list({import_from("", "", 1), import_from("os", "p", 0)});
    EXPECT_EQ(dump(&module->base, {.indent = std::nullopt}),
              "Module(body=[ImportFrom(names=[alias(name='x')], level=1), "
              "ImportFrom(module='os', names=[alias(name='path', asname='p')], level=0)])");
}

TEST_F(DumpTest, none_shows_as_a_constant_and_as_a_list_entry) {
    auto* none = arena.make<Constant>();
    auto* dict = arena.make<Dict>();
    dict->keys = list({nullptr, text("b")});
    dict->values = list({name("a", ExprContext::Load), &none->base});
    EXPECT_EQ(dump(&dict->base), R"(Dict(
  keys=[
    None,
    Constant(value='b')],
  values=[
    Name(id='a', ctx=Load()),
    Constant(value=None)]))");

    auto* singleton = arena.make<MatchSingleton>(at(2, 6, 2, 10));
    auto* case_node = arena.make<match_case>();
    case_node->pattern = &singleton->base;
    case_node->body = list({&arena.make<Pass>(at(2, 12, 2, 16))->base});
    EXPECT_EQ(dump(&case_node->base, {.indent = 2, .include_attributes = true}), R"(match_case(
  pattern=MatchSingleton(
    value=None,
    lineno=2,
    col_offset=6,
    end_lineno=2,
    end_col_offset=10),
  body=[
    Pass(
      lineno=2,
      col_offset=12,
      end_lineno=2,
      end_col_offset=16)]))");
}

TEST_F(DumpTest, three_simple_fields_fit_on_a_line_and_four_do_not) {
    auto* interp = arena.make<Interpolation>();
    interp->value = &arena.make<Dict>()->base;
    interp->str.kind = ConstantValue::Kind::Str;
    interp->str.text = arena.store(" {}");
    interp->conversion = -1;
    auto* tmpl = arena.make<TemplateStr>();
    tmpl->values = list({&interp->base});
    EXPECT_EQ(dump(&tmpl->base), R"(TemplateStr(
  values=[
    Interpolation(value=Dict(), str=' {}', conversion=-1)]))");

    auto* spec = arena.make<JoinedStr>();
    spec->values = list({text("x")});
    interp->format_spec = &spec->base;
    EXPECT_EQ(dump(&tmpl->base), R"(TemplateStr(
  values=[
    Interpolation(
      value=Dict(),
      str=' {}',
      conversion=-1,
      format_spec=JoinedStr(
        values=[
          Constant(value='x')]))]))");
}

TEST_F(DumpTest, identifier_lists_are_broken_and_keep_non_ascii) {
    auto* global = arena.make<Global>();
    global->names = arena.identifiers({arena.intern("é"), arena.intern("b")});
    EXPECT_EQ(dump(&global->base), "Global(\n  names=[\n    'é',\n    'b'])");
}

TEST_F(DumpTest, kinds_without_positions_show_no_attributes) {
    auto* lambda = arena.make<Lambda>(at(1, 0, 1, 9));
    lambda->args = &arena.make<arguments>()->base;
    lambda->body = integer(0, at(1, 8, 1, 9));
    EXPECT_EQ(dump(&lambda->base, {.indent = 2, .include_attributes = true}), R"(Lambda(
  args=arguments(),
  body=Constant(
    value=0,
    lineno=1,
    col_offset=8,
    end_lineno=1,
    end_col_offset=9),
  lineno=1,
  col_offset=0,
  end_lineno=1,
  end_col_offset=9))");

    auto* gen = arena.make<comprehension>();
    gen->target = name("i", ExprContext::Store, at(1, 7, 1, 8));
    gen->iter = name("j", ExprContext::Load, at(1, 12, 1, 13));
    auto* comp = arena.make<ListComp>(at(1, 0, 1, 14));
    comp->elt = name("i", ExprContext::Load, at(1, 1, 1, 2));
    comp->generators = list({&gen->base});
    EXPECT_EQ(dump(&comp->base, {.indent = std::nullopt, .include_attributes = true}),
              "ListComp(elt=Name(id='i', ctx=Load(), lineno=1, col_offset=1, end_lineno=1, end_col_offset=2), "
              "generators=[comprehension(target=Name(id='i', ctx=Store(), lineno=1, col_offset=7, end_lineno=1, "
              "end_col_offset=8), iter=Name(id='j', ctx=Load(), lineno=1, col_offset=12, end_lineno=1, "
              "end_col_offset=13), is_async=0)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=14)");
}

TEST_F(DumpTest, trees_deeper_than_the_stack_still_dump) {
    // 1+1+...+1 nests to the left; CPython writes 1+1+1+1 as
    // BinOp(left=BinOp(left=BinOp(left=Constant(value=1), op=Add(), right=Constant(value=1)), ...).
    constexpr int depth = 200000;
    Node* tree = integer(1);
    for (int i = 0; i < depth; ++i) {
        auto* sum = arena.make<BinOp>();
        sum->left = tree;
        sum->op = Op::Add;
        sum->right = integer(1);
        tree = &sum->base;
    }
    std::string expected;
    for (int i = 0; i < depth; ++i) expected += "BinOp(left=";
    expected += "Constant(value=1)";
    for (int i = 0; i < depth; ++i) expected += ", op=Add(), right=Constant(value=1))";
    EXPECT_EQ(dump(tree, {.indent = std::nullopt}), expected);
}

}  // namespace
}  // namespace norvex::pyast
