// f-strings, t-strings and match patterns: the shapes, positions and constants CPython 3.14 builds
// (each expected dump is its ast.dump output).
#include "norvex/pyast/dump.hpp"
#include "norvex/pyast/parse.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace norvex::pyast {
namespace {

const Node* first_statement(const ParseResult& r) { return as<Module>(r.tree->root)->body[0]; }

TEST(parser_strings, fstrings_and_tstrings_dump_with_cpython_positions) {
    const std::pair<const char*, const char*> cases[] = {
        {"f\"{x}\"",
         "JoinedStr(values=[FormattedValue(value=Name(id='x', ctx=Load(), lineno=1, col_offset=3, end_lineno=1, end_col_offset=4), conversion=-1, lineno=1, col_offset=2, end_lineno=1, end_col_offset=5)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=6)"},
        {"f\"a{x!r}b\"",
         "JoinedStr(values=[Constant(value='a', lineno=1, col_offset=2, end_lineno=1, end_col_offset=3), FormattedValue(value=Name(id='x', ctx=Load(), lineno=1, col_offset=4, end_lineno=1, end_col_offset=5), conversion=114, lineno=1, col_offset=3, end_lineno=1, end_col_offset=8), Constant(value='b', lineno=1, col_offset=8, end_lineno=1, end_col_offset=9)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=10)"},
        {"f\"{x=}\"",
         "JoinedStr(values=[Constant(value='x=', lineno=1, col_offset=3, end_lineno=1, end_col_offset=5), FormattedValue(value=Name(id='x', ctx=Load(), lineno=1, col_offset=3, end_lineno=1, end_col_offset=4), conversion=114, lineno=1, col_offset=2, end_lineno=1, end_col_offset=6)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=7)"},
        {"f\"{x = !s:>{w}}\"",
         "JoinedStr(values=[Constant(value='x = ', lineno=1, col_offset=3, end_lineno=1, end_col_offset=7), FormattedValue(value=Name(id='x', ctx=Load(), lineno=1, col_offset=3, end_lineno=1, end_col_offset=4), conversion=115, format_spec=JoinedStr(values=[Constant(value='>', lineno=1, col_offset=10, end_lineno=1, end_col_offset=11), FormattedValue(value=Name(id='w', ctx=Load(), lineno=1, col_offset=12, end_lineno=1, end_col_offset=13), conversion=-1, lineno=1, col_offset=11, end_lineno=1, end_col_offset=14)], lineno=1, col_offset=9, end_lineno=1, end_col_offset=14), lineno=1, col_offset=2, end_lineno=1, end_col_offset=15)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=16)"},
        {"f\"{x:{y}.{z}f}\"",
         "JoinedStr(values=[FormattedValue(value=Name(id='x', ctx=Load(), lineno=1, col_offset=3, end_lineno=1, end_col_offset=4), conversion=-1, format_spec=JoinedStr(values=[FormattedValue(value=Name(id='y', ctx=Load(), lineno=1, col_offset=6, end_lineno=1, end_col_offset=7), conversion=-1, lineno=1, col_offset=5, end_lineno=1, end_col_offset=8), Constant(value='.', lineno=1, col_offset=8, end_lineno=1, end_col_offset=9), FormattedValue(value=Name(id='z', ctx=Load(), lineno=1, col_offset=10, end_lineno=1, end_col_offset=11), conversion=-1, lineno=1, col_offset=9, end_lineno=1, end_col_offset=12), Constant(value='f', lineno=1, col_offset=12, end_lineno=1, end_col_offset=13)], lineno=1, col_offset=4, end_lineno=1, end_col_offset=13), lineno=1, col_offset=2, end_lineno=1, end_col_offset=14)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=15)"},
        {"f\"{{}}{x}{{\"",
         "JoinedStr(values=[Constant(value='{}', lineno=1, col_offset=2, end_lineno=1, end_col_offset=6), FormattedValue(value=Name(id='x', ctx=Load(), lineno=1, col_offset=7, end_lineno=1, end_col_offset=8), conversion=-1, lineno=1, col_offset=6, end_lineno=1, end_col_offset=9), Constant(value='{', lineno=1, col_offset=9, end_lineno=1, end_col_offset=11)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=12)"},
        {"f\"{x:}\"",
         "JoinedStr(values=[FormattedValue(value=Name(id='x', ctx=Load(), lineno=1, col_offset=3, end_lineno=1, end_col_offset=4), conversion=-1, format_spec=JoinedStr(lineno=1, col_offset=4, end_lineno=1, end_col_offset=5), lineno=1, col_offset=2, end_lineno=1, end_col_offset=6)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=7)"},
        {"f\"{x!a:^10}\" \"tail\"",
         "JoinedStr(values=[FormattedValue(value=Name(id='x', ctx=Load(), lineno=1, col_offset=3, end_lineno=1, end_col_offset=4), conversion=97, format_spec=JoinedStr(values=[Constant(value='^10', lineno=1, col_offset=7, end_lineno=1, end_col_offset=10)], lineno=1, col_offset=6, end_lineno=1, end_col_offset=10), lineno=1, col_offset=2, end_lineno=1, end_col_offset=11), Constant(value='tail', lineno=1, col_offset=13, end_lineno=1, end_col_offset=19)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=19)"},
        {"\"head\" f\"{x}\"",
         "JoinedStr(values=[Constant(value='head', lineno=1, col_offset=0, end_lineno=1, end_col_offset=6), FormattedValue(value=Name(id='x', ctx=Load(), lineno=1, col_offset=10, end_lineno=1, end_col_offset=11), conversion=-1, lineno=1, col_offset=9, end_lineno=1, end_col_offset=12)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=13)"},
        {"u\"a\" f\"{x}\"",
         "JoinedStr(values=[Constant(value='a', kind='u', lineno=1, col_offset=0, end_lineno=1, end_col_offset=4), FormattedValue(value=Name(id='x', ctx=Load(), lineno=1, col_offset=8, end_lineno=1, end_col_offset=9), conversion=-1, lineno=1, col_offset=7, end_lineno=1, end_col_offset=10)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=11)"},
        {"f\"\"\"{\n  x\n}\"\"\"",
         "JoinedStr(values=[FormattedValue(value=Name(id='x', ctx=Load(), lineno=2, col_offset=2, end_lineno=2, end_col_offset=3), conversion=-1, lineno=1, col_offset=4, end_lineno=3, end_col_offset=1)], lineno=1, col_offset=0, end_lineno=3, end_col_offset=4)"},
        {"f\"{f\"{y}\"}\"",
         "JoinedStr(values=[FormattedValue(value=JoinedStr(values=[FormattedValue(value=Name(id='y', ctx=Load(), lineno=1, col_offset=6, end_lineno=1, end_col_offset=7), conversion=-1, lineno=1, col_offset=5, end_lineno=1, end_col_offset=8)], lineno=1, col_offset=3, end_lineno=1, end_col_offset=9), conversion=-1, lineno=1, col_offset=2, end_lineno=1, end_col_offset=10)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=11)"},
        {"f\"{x:%Y-%m}\"",
         "JoinedStr(values=[FormattedValue(value=Name(id='x', ctx=Load(), lineno=1, col_offset=3, end_lineno=1, end_col_offset=4), conversion=-1, format_spec=JoinedStr(values=[Constant(value='%Y-%m', lineno=1, col_offset=5, end_lineno=1, end_col_offset=10)], lineno=1, col_offset=4, end_lineno=1, end_col_offset=10), lineno=1, col_offset=2, end_lineno=1, end_col_offset=11)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=12)"},
        {"f\"{x:{{}}>5}\"",
         "JoinedStr(values=[FormattedValue(value=Name(id='x', ctx=Load(), lineno=1, col_offset=3, end_lineno=1, end_col_offset=4), conversion=-1, format_spec=JoinedStr(values=[FormattedValue(value=Dict(lineno=1, col_offset=6, end_lineno=1, end_col_offset=8), conversion=-1, lineno=1, col_offset=5, end_lineno=1, end_col_offset=9), Constant(value='>5', lineno=1, col_offset=9, end_lineno=1, end_col_offset=11)], lineno=1, col_offset=4, end_lineno=1, end_col_offset=11), lineno=1, col_offset=2, end_lineno=1, end_col_offset=12)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=13)"},
        {"rf\"\\d{x}\"",
         "JoinedStr(values=[Constant(value='\\\\d', lineno=1, col_offset=3, end_lineno=1, end_col_offset=5), FormattedValue(value=Name(id='x', ctx=Load(), lineno=1, col_offset=6, end_lineno=1, end_col_offset=7), conversion=-1, lineno=1, col_offset=5, end_lineno=1, end_col_offset=8)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=9)"},
        {"f\"\\N{BULLET}{x}\"",
         "JoinedStr(values=[Constant(value='•', lineno=1, col_offset=2, end_lineno=1, end_col_offset=12), FormattedValue(value=Name(id='x', ctx=Load(), lineno=1, col_offset=13, end_lineno=1, end_col_offset=14), conversion=-1, lineno=1, col_offset=12, end_lineno=1, end_col_offset=15)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=16)"},
        {"f\"{(yield)}\"",
         "JoinedStr(values=[FormattedValue(value=Yield(lineno=1, col_offset=4, end_lineno=1, end_col_offset=9), conversion=-1, lineno=1, col_offset=2, end_lineno=1, end_col_offset=11)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=12)"},
        {"f\"{x,}\"",
         "JoinedStr(values=[FormattedValue(value=Tuple(elts=[Name(id='x', ctx=Load(), lineno=1, col_offset=3, end_lineno=1, end_col_offset=4)], ctx=Load(), lineno=1, col_offset=3, end_lineno=1, end_col_offset=5), conversion=-1, lineno=1, col_offset=2, end_lineno=1, end_col_offset=6)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=7)"},
        {"f\"{*x,}\"",
         "JoinedStr(values=[FormattedValue(value=Tuple(elts=[Starred(value=Name(id='x', ctx=Load(), lineno=1, col_offset=4, end_lineno=1, end_col_offset=5), ctx=Load(), lineno=1, col_offset=3, end_lineno=1, end_col_offset=5)], ctx=Load(), lineno=1, col_offset=3, end_lineno=1, end_col_offset=6), conversion=-1, lineno=1, col_offset=2, end_lineno=1, end_col_offset=7)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=8)"},
        {"f\"{x if y else z}\"",
         "JoinedStr(values=[FormattedValue(value=IfExp(test=Name(id='y', ctx=Load(), lineno=1, col_offset=8, end_lineno=1, end_col_offset=9), body=Name(id='x', ctx=Load(), lineno=1, col_offset=3, end_lineno=1, end_col_offset=4), orelse=Name(id='z', ctx=Load(), lineno=1, col_offset=15, end_lineno=1, end_col_offset=16), lineno=1, col_offset=3, end_lineno=1, end_col_offset=16), conversion=-1, lineno=1, col_offset=2, end_lineno=1, end_col_offset=17)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=18)"},
        {"t\"{x}\"",
         "TemplateStr(values=[Interpolation(value=Name(id='x', ctx=Load(), lineno=1, col_offset=3, end_lineno=1, end_col_offset=4), str='x', conversion=-1, lineno=1, col_offset=2, end_lineno=1, end_col_offset=5)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=6)"},
        {"t\"a{x!r:>3}b\"",
         "TemplateStr(values=[Constant(value='a', lineno=1, col_offset=2, end_lineno=1, end_col_offset=3), Interpolation(value=Name(id='x', ctx=Load(), lineno=1, col_offset=4, end_lineno=1, end_col_offset=5), str='x', conversion=114, format_spec=JoinedStr(values=[Constant(value='>3', lineno=1, col_offset=8, end_lineno=1, end_col_offset=10)], lineno=1, col_offset=7, end_lineno=1, end_col_offset=10), lineno=1, col_offset=3, end_lineno=1, end_col_offset=11), Constant(value='b', lineno=1, col_offset=11, end_lineno=1, end_col_offset=12)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=13)"},
        {"t\"{x=}\"",
         "TemplateStr(values=[Constant(value='x=', lineno=1, col_offset=3, end_lineno=1, end_col_offset=5), Interpolation(value=Name(id='x', ctx=Load(), lineno=1, col_offset=3, end_lineno=1, end_col_offset=4), str='x', conversion=114, lineno=1, col_offset=2, end_lineno=1, end_col_offset=6)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=7)"},
        {"t\"{ x }\" t\"y\"",
         "TemplateStr(values=[Interpolation(value=Name(id='x', ctx=Load(), lineno=1, col_offset=4, end_lineno=1, end_col_offset=5), str=' x', conversion=-1, lineno=1, col_offset=2, end_lineno=1, end_col_offset=7), Constant(value='y', lineno=1, col_offset=11, end_lineno=1, end_col_offset=12)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=13)"},
        {"t\"{x:{w}}\"",
         "TemplateStr(values=[Interpolation(value=Name(id='x', ctx=Load(), lineno=1, col_offset=3, end_lineno=1, end_col_offset=4), str='x', conversion=-1, format_spec=JoinedStr(values=[FormattedValue(value=Name(id='w', ctx=Load(), lineno=1, col_offset=6, end_lineno=1, end_col_offset=7), conversion=-1, lineno=1, col_offset=5, end_lineno=1, end_col_offset=8)], lineno=1, col_offset=4, end_lineno=1, end_col_offset=8), lineno=1, col_offset=2, end_lineno=1, end_col_offset=9)], lineno=1, col_offset=0, end_lineno=1, end_col_offset=10)"},
        {"f\"\"",
         "JoinedStr(lineno=1, col_offset=0, end_lineno=1, end_col_offset=3)"},
        {"f\"\" \"\"",
         "JoinedStr(lineno=1, col_offset=0, end_lineno=1, end_col_offset=6)"},
        {"\"\" f\"\"",
         "JoinedStr(lineno=1, col_offset=0, end_lineno=1, end_col_offset=6)"},
        {"b\"a\" b\"b\"",
         "Constant(value=b'ab', lineno=1, col_offset=0, end_lineno=1, end_col_offset=9)"},
        {"\"a\" \"b\" \"c\"",
         "Constant(value='abc', lineno=1, col_offset=0, end_lineno=1, end_col_offset=11)"},
    };
    for (const auto& [source, expected] : cases) {
        ParseResult r = parse(source);
        ASSERT_TRUE(r.tree) << source << ": " << r.error->msg;
        const Node* value = as<Expr>(first_statement(r))->value;
        EXPECT_EQ(dump(value, {.indent = std::nullopt, .include_attributes = true}), expected) << source;
    }
}

TEST(parser_patterns, match_statements_build_cpython_patterns) {
    const std::pair<const char*, const char*> cases[] = {
        {"match x:\n case 1: pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchValue(value=Constant(value=1)), body=[Pass()])])"},
        {"match x:\n case -1.5: pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchValue(value=UnaryOp(op=USub(), operand=Constant(value=1.5))), body=[Pass()])])"},
        {"match x:\n case 1+2j: pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchValue(value=BinOp(left=Constant(value=1), op=Add(), right=Constant(value=2j))), body=[Pass()])])"},
        {"match x:\n case -1-2j: pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchValue(value=BinOp(left=UnaryOp(op=USub(), operand=Constant(value=1)), op=Sub(), right=Constant(value=2j))), body=[Pass()])])"},
        {"match x:\n case \"a\" \"b\": pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchValue(value=Constant(value='ab')), body=[Pass()])])"},
        {"match x:\n case None | True | False: pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchOr(patterns=[MatchSingleton(value=None), MatchSingleton(value=True), MatchSingleton(value=False)]), body=[Pass()])])"},
        {"match x:\n case a.b.c: pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchValue(value=Attribute(value=Attribute(value=Name(id='a', ctx=Load()), attr='b', ctx=Load()), attr='c', ctx=Load())), body=[Pass()])])"},
        {"match x:\n case _: pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchAs(), body=[Pass()])])"},
        {"match x:\n case y: pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchAs(name='y'), body=[Pass()])])"},
        {"match x:\n case (y): pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchAs(name='y'), body=[Pass()])])"},
        {"match x:\n case (y,): pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchSequence(patterns=[MatchAs(name='y')]), body=[Pass()])])"},
        {"match x:\n case [y, *z]: pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchSequence(patterns=[MatchAs(name='y'), MatchStar(name='z')]), body=[Pass()])])"},
        {"match x:\n case [*_]: pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchSequence(patterns=[MatchStar()]), body=[Pass()])])"},
        {"match x:\n case (): pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchSequence(), body=[Pass()])])"},
        {"match x:\n case []: pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchSequence(), body=[Pass()])])"},
        {"match x:\n case {}: pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchMapping(), body=[Pass()])])"},
        {"match x:\n case {\"k\": v, **rest}: pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchMapping(keys=[Constant(value='k')], patterns=[MatchAs(name='v')], rest='rest'), body=[Pass()])])"},
        {"match x:\n case {1: _, a.b: [c]}: pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchMapping(keys=[Constant(value=1), Attribute(value=Name(id='a', ctx=Load()), attr='b', ctx=Load())], patterns=[MatchAs(), MatchSequence(patterns=[MatchAs(name='c')])]), body=[Pass()])])"},
        {"match x:\n case C(): pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchClass(cls=Name(id='C', ctx=Load())), body=[Pass()])])"},
        {"match x:\n case C(1, y, k=v): pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchClass(cls=Name(id='C', ctx=Load()), patterns=[MatchValue(value=Constant(value=1)), MatchAs(name='y')], kwd_attrs=['k'], kwd_patterns=[MatchAs(name='v')]), body=[Pass()])])"},
        {"match x:\n case a.C(k=[1, 2]): pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchClass(cls=Attribute(value=Name(id='a', ctx=Load()), attr='C', ctx=Load()), kwd_attrs=['k'], kwd_patterns=[MatchSequence(patterns=[MatchValue(value=Constant(value=1)), MatchValue(value=Constant(value=2))])]), body=[Pass()])])"},
        {"match x:\n case 1 | 2 as n: pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchAs(pattern=MatchOr(patterns=[MatchValue(value=Constant(value=1)), MatchValue(value=Constant(value=2))]), name='n'), body=[Pass()])])"},
        {"match x:\n case [1, 2] as s if s: pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchAs(pattern=MatchSequence(patterns=[MatchValue(value=Constant(value=1)), MatchValue(value=Constant(value=2))]), name='s'), guard=Name(id='s', ctx=Load()), body=[Pass()])])"},
        {"match x, y:\n case a, b: pass",
         "Match(subject=Tuple(elts=[Name(id='x', ctx=Load()), Name(id='y', ctx=Load())], ctx=Load()), cases=[match_case(pattern=MatchSequence(patterns=[MatchAs(name='a'), MatchAs(name='b')]), body=[Pass()])])"},
        {"match *x, y:\n case [a, *b]: pass",
         "Match(subject=Tuple(elts=[Starred(value=Name(id='x', ctx=Load()), ctx=Load()), Name(id='y', ctx=Load())], ctx=Load()), cases=[match_case(pattern=MatchSequence(patterns=[MatchAs(name='a'), MatchStar(name='b')]), body=[Pass()])])"},
        {"match x:\n case 1, *rest: pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchSequence(patterns=[MatchValue(value=Constant(value=1)), MatchStar(name='rest')]), body=[Pass()])])"},
        {"match (x):\n case {**kw}: pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchMapping(rest='kw'), body=[Pass()])])"},
        {"match x:\n case str() | bytes(): pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchOr(patterns=[MatchClass(cls=Name(id='str', ctx=Load())), MatchClass(cls=Name(id='bytes', ctx=Load()))]), body=[Pass()])])"},
        {"match -x:\n case _: pass",
         "Match(subject=UnaryOp(op=USub(), operand=Name(id='x', ctx=Load())), cases=[match_case(pattern=MatchAs(), body=[Pass()])])"},
        {"match x:\n case 0x10 | 0o7 | 0b1: pass",
         "Match(subject=Name(id='x', ctx=Load()), cases=[match_case(pattern=MatchOr(patterns=[MatchValue(value=Constant(value=16)), MatchValue(value=Constant(value=7)), MatchValue(value=Constant(value=1))]), body=[Pass()])])"},
    };
    for (const auto& [source, expected] : cases) {
        ParseResult r = parse(source);
        ASSERT_TRUE(r.tree) << source << ": " << r.error->msg;
        EXPECT_EQ(dump(first_statement(r), {.indent = std::nullopt}), expected) << source;
    }
}

}  // namespace
}  // namespace norvex::pyast
