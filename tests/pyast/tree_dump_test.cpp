// dump() against CPython 3.14's ast.dump (every expected text taken from CPython for the same source).
#include "norvex/pyast/dump.hpp"
#include "norvex/pyast/parse.hpp"

#include <gtest/gtest.h>

namespace norvex::pyast {
namespace {

std::string dump_of(const std::string& source, const DumpOptions& options = {}) {
    const ParseResult result = parse(source);
    if (!result.tree) return "syntax error: " + result.error->msg;
    return dump(result.tree->root, options);
}

constexpr const char* kSample = "def f(a, b=2):\n    \"\"\"Doc.\"\"\"\n    return a\nx = 1\nif x:\n    pass\nelse:\n    y = -x\n";

TEST(dump, indented_dump_puts_simple_nodes_on_one_line) {
    EXPECT_EQ(dump_of(kSample), R"(Module(
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

TEST(dump, without_indent_everything_is_on_one_line) {
    EXPECT_EQ(dump_of(kSample, {.indent = std::nullopt}),
              "Module(body=[FunctionDef(name='f', args=arguments(args=[arg(arg='a'), arg(arg='b')], "
              "defaults=[Constant(value=2)]), body=[Expr(value=Constant(value='Doc.')), Return(value=Name(id='a', "
              "ctx=Load()))]), Assign(targets=[Name(id='x', ctx=Store())], value=Constant(value=1)), "
              "If(test=Name(id='x', ctx=Load()), body=[Pass()], orelse=[Assign(targets=[Name(id='y', ctx=Store())], "
              "value=UnaryOp(op=USub(), operand=Name(id='x', ctx=Load())))])])");
}

TEST(dump, attributes_follow_the_fields_and_break_every_positioned_node) {
    EXPECT_EQ(dump_of("x = 1", {.indent = 2, .include_attributes = true}), R"(Module(
  body=[
    Assign(
      targets=[
        Name(
          id='x',
          ctx=Store(),
          lineno=1,
          col_offset=0,
          end_lineno=1,
          end_col_offset=1)],
      value=Constant(
        value=1,
        lineno=1,
        col_offset=4,
        end_lineno=1,
        end_col_offset=5),
      lineno=1,
      col_offset=0,
      end_lineno=1,
      end_col_offset=5)]))");
    // Kinds without positions (comprehension) show none.
    EXPECT_EQ(dump_of("[i for i in j]", {.indent = std::nullopt, .include_attributes = true}),
              "Module(body=[Expr(value=ListComp(elt=Name(id='i', ctx=Load(), lineno=1, col_offset=1, end_lineno=1, "
              "end_col_offset=2), generators=[comprehension(target=Name(id='i', ctx=Store(), lineno=1, col_offset=7, "
              "end_lineno=1, end_col_offset=8), iter=Name(id='j', ctx=Load(), lineno=1, col_offset=12, end_lineno=1, "
              "end_col_offset=13), is_async=0)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=14), lineno=1, "
              "col_offset=0, end_lineno=1, end_col_offset=14)])");
}

TEST(dump, indent_width_applies_per_level_and_zero_still_breaks_lines) {
    EXPECT_EQ(dump_of("a < b", {.indent = 4}), R"(Module(
    body=[
        Expr(
            value=Compare(
                left=Name(id='a', ctx=Load()),
                ops=[
                    Lt()],
                comparators=[
                    Name(id='b', ctx=Load())]))]))");
    EXPECT_EQ(dump_of("a < b", {.indent = 0}),
              "Module(\nbody=[\nExpr(\nvalue=Compare(\nleft=Name(id='a', ctx=Load()),\nops=[\nLt()],\ncomparators=[\n"
              "Name(id='b', ctx=Load())]))])");
}

TEST(dump, none_and_empty_fields_are_left_out_except_constant_values) {
    EXPECT_EQ(dump_of("from . import x\nfrom os import path as p", {.indent = std::nullopt}),
              "Module(body=[ImportFrom(names=[alias(name='x')], level=1), "
              "ImportFrom(module='os', names=[alias(name='path', asname='p')], level=0)])");
    EXPECT_EQ(dump_of("{**a, 'b': None}"), R"(Module(
  body=[
    Expr(
      value=Dict(
        keys=[
          None,
          Constant(value='b')],
        values=[
          Name(id='a', ctx=Load()),
          Constant(value=None)]))]))");
    EXPECT_EQ(dump_of("match x:\n case None: pass"), R"(Module(
  body=[
    Match(
      subject=Name(id='x', ctx=Load()),
      cases=[
        match_case(
          pattern=MatchSingleton(value=None),
          body=[
            Pass()])])]))");
}

TEST(dump, three_simple_fields_fit_on_a_line_and_four_do_not) {
    EXPECT_EQ(dump_of("t'{ {} }'\nt'{ {} :x}'"), R"(Module(
  body=[
    Expr(
      value=TemplateStr(
        values=[
          Interpolation(value=Dict(), str=' {}', conversion=-1)])),
    Expr(
      value=TemplateStr(
        values=[
          Interpolation(
            value=Dict(),
            str=' {}',
            conversion=-1,
            format_spec=JoinedStr(
              values=[
                Constant(value='x')]))]))]))");
}

TEST(dump, identifier_lists_break_and_keep_non_ascii) {
    EXPECT_EQ(dump_of("global é, b\nlambda: 0"), R"(Module(
  body=[
    Global(
      names=[
        'é',
        'b']),
    Expr(
      value=Lambda(
        args=arguments(),
        body=Constant(value=0)))]))");
}

TEST(dump, trees_deeper_than_the_stack_still_dump) {
    // 1+1+...+1 nests to the left; CPython writes 1+1+1+1 as
    // BinOp(left=BinOp(left=BinOp(left=Constant(value=1), op=Add(), right=Constant(value=1)), ...).
    constexpr int depth = 200000;
    Arena arena;
    auto one = [&arena] {
        auto* c = arena.make<Constant>();
        c->value.kind = ConstantValue::Kind::Int;
        c->value.int_value = 1;
        return &c->base;
    };
    Node* tree = one();
    for (int i = 0; i < depth; ++i) {
        auto* sum = arena.make<BinOp>();
        sum->left = tree;
        sum->op = Op::Add;
        sum->right = one();
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
