// Statement shapes, targets and positions the parser must build as CPython 3.14 does (expected dumps from its ast.dump).
#include "norvex/pyast/dump.hpp"
#include "norvex/pyast/parse.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace norvex::pyast {
namespace {

// ast.dump of the first statement of `source`.
std::string first_statement(const std::string& source, bool attributes) {
    ParseResult r = parse(source);
    if (!r.tree) return "error: " + r.error->msg;
    return dump(as<Module>(r.tree->root)->body[0], {.indent = std::nullopt, .include_attributes = attributes});
}

TEST(parser_trees, statements_build_cpython_shapes) {
    const std::pair<const char*, const char*> cases[] = {
        {"(a) = b = c",
         "Assign(targets=[Name(id='a', ctx=Store()), Name(id='b', ctx=Store())], value=Name(id='c', ctx=Load()))"},
        {"del x, (y), [z[0]]",
         "Delete(targets=[Name(id='x', ctx=Del()), Name(id='y', ctx=Del()), List(elts=[Subscript(value=Name(id='z', ctx=Load()), slice=Constant(value=0), ctx=Del())], ctx=Del())])"},
        {"for x, in y: pass",
         "For(target=Tuple(elts=[Name(id='x', ctx=Store())], ctx=Store()), iter=Name(id='y', ctx=Load()), body=[Pass()])"},
        {"with (a, b): pass",
         "With(items=[withitem(context_expr=Name(id='a', ctx=Load())), withitem(context_expr=Name(id='b', ctx=Load()))], body=[Pass()])"},
        {"with (a as b, c): pass",
         "With(items=[withitem(context_expr=Name(id='a', ctx=Load()), optional_vars=Name(id='b', ctx=Store())), withitem(context_expr=Name(id='c', ctx=Load()))], body=[Pass()])"},
        {"a[*b]",
         "Expr(value=Subscript(value=Name(id='a', ctx=Load()), slice=Tuple(elts=[Starred(value=Name(id='b', ctx=Load()), ctx=Load())], ctx=Load()), ctx=Load()))"},
        {"f(x for x in y)",
         "Expr(value=Call(func=Name(id='f', ctx=Load()), args=[GeneratorExp(elt=Name(id='x', ctx=Load()), generators=[comprehension(target=Name(id='x', ctx=Store()), iter=Name(id='y', ctx=Load()), is_async=0)])]))"},
        {"x: int",
         "AnnAssign(target=Name(id='x', ctx=Store()), annotation=Name(id='int', ctx=Load()), simple=1)"},
        {"(x): int = 1",
         "AnnAssign(target=Name(id='x', ctx=Store()), annotation=Name(id='int', ctx=Load()), value=Constant(value=1), simple=0)"},
        {"a.b += 1",
         "AugAssign(target=Attribute(value=Name(id='a', ctx=Load()), attr='b', ctx=Store()), op=Add(), value=Constant(value=1))"},
        {"match = 1",
         "Assign(targets=[Name(id='match', ctx=Store())], value=Constant(value=1))"},
        {"match x:\n case [1, *r] | {'k': v, **kw} if v: pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchOr(patterns=[MatchSequence(patterns=[MatchValue(value=Constant(value=1)), MatchStar(name='r')]), MatchMapping(keys=[Constant(value='k')], patterns=[MatchAs(name='v')], rest='kw')]), guard=Name(id='v', ctx=Load()), body=[Pass()])])"},
        {"type X[T] = list[T]",
         "TypeAlias(name=Name(id='X', ctx=Store()), type_params=[TypeVar(name='T')], value=Subscript(value=Name(id='list', ctx=Load()), slice=Name(id='T', ctx=Load()), ctx=Load()))"},
        {"f\"{x=}\" \"y\"",
         "Expr(value=JoinedStr(values=[Constant(value='x='), FormattedValue(value=Name(id='x', ctx=Load()), conversion=114), Constant(value='y')]))"},
        {"t\"{x!r:>{w}}\"",
         "Expr(value=TemplateStr(values=[Interpolation(value=Name(id='x', ctx=Load()), str='x', conversion=114, format_spec=JoinedStr(values=[Constant(value='>'), FormattedValue(value=Name(id='w', ctx=Load()), conversion=-1)]))]))"},
        {"lambda *a, b=1, **k: 0",
         "Expr(value=Lambda(args=arguments(vararg=arg(arg='a'), kwonlyargs=[arg(arg='b')], kw_defaults=[Constant(value=1)], kwarg=arg(arg='k')), body=Constant(value=0)))"},
        {"try:\n pass\nexcept* E as e:\n pass",
         "TryStar(body=[Pass()], handlers=[ExceptHandler(type=Name(id='E', ctx=Load()), name='e', body=[Pass()])])"},
        {"except_ = 1",
         "Assign(targets=[Name(id='except_', ctx=Store())], value=Constant(value=1))"},
    };
    for (const auto& [source, expected] : cases) EXPECT_EQ(first_statement(source, false), expected) << source;
}

TEST(parser_trees, positions_follow_tokens_not_parentheses) {
    const std::pair<const char*, const char*> cases[] = {
        {"(a) = b",
         "Assign(targets=[Name(id='a', ctx=Store(), lineno=1, col_offset=1, end_lineno=1, end_col_offset=2)], value=Name(id='b', ctx=Load(), lineno=1, col_offset=6, end_lineno=1, end_col_offset=7), lineno=1, col_offset=0, end_lineno=1, end_col_offset=7)"},
        {"f\"{ y = }\"",
         "Expr(value=JoinedStr(values=[Constant(value=' y = ', lineno=1, col_offset=3, end_lineno=1, end_col_offset=8), FormattedValue(value=Name(id='y', ctx=Load(), lineno=1, col_offset=4, end_lineno=1, end_col_offset=5), conversion=114, lineno=1, col_offset=2, end_lineno=1, end_col_offset=9)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=10), lineno=1, col_offset=0, end_lineno=1, end_col_offset=10)"},
    };
    for (const auto& [source, expected] : cases) EXPECT_EQ(first_statement(source, true), expected) << source;
}

TEST(parser_trees, soft_keywords_stay_names_outside_their_statements) {
    ParseResult r = parse("match(x)\ncase = 1\ntype = 2\n_ = match.group\n");
    ASSERT_TRUE(r.tree) << r.error->msg;
    EXPECT_EQ(as<Module>(r.tree->root)->body.size(), 4u);
    EXPECT_TRUE(is<Expr>(as<Module>(r.tree->root)->body[0]));
}

TEST(parser_trees, unparenthesised_except_list_needs_a_block_statement) {
    ParseResult r = parse("try:\n    pass\nexcept A, B:\n    pass\n");
    ASSERT_TRUE(r.tree) << r.error->msg;
    const auto* t = as<Try>(as<Module>(r.tree->root)->body[0]);
    ASSERT_NE(t, nullptr);
    const auto* h = as<ExceptHandler>(t->handlers[0]);
    EXPECT_TRUE(is<Tuple>(h->type));
    EXPECT_EQ(h->type->pos.col_offset, 7);
    EXPECT_EQ(h->type->pos.end_col_offset, 11);
}

}  // namespace
}  // namespace norvex::pyast
