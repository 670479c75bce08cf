// Syntax errors: which error wins, their kinds, and deep input that must fail cleanly instead of overflowing the stack.
#include "norvex/pyast/parse.hpp"

#include <gtest/gtest.h>

#include <string>

namespace norvex::pyast {
namespace {

SyntaxError error_of(const std::string& source) {
    ParseResult r = parse(source);
    if (!r.error) {
        ADD_FAILURE() << "parsed: " << source.substr(0, 60);
        return {};
    }
    return *r.error;
}

// Expected values below are CPython 3.14's compile() results.
TEST(parser_errors, tokenizer_errors_win_over_earlier_parser_errors) {
    SyntaxError e = error_of("1 +\n\"abc\n");
    EXPECT_EQ(e.msg, "unterminated string literal (detected at line 2)");
    EXPECT_EQ(e.lineno, 2);
}

TEST(parser_errors, an_unclosed_bracket_at_the_end_loses_to_an_earlier_error) {
    SyntaxError e = error_of("x = = 1\n(");
    EXPECT_EQ(e.msg, "invalid syntax");
    EXPECT_EQ(e.lineno, 1);
    EXPECT_EQ(e.offset, 5);

    SyntaxError alone = error_of("x = [1, 2\n");
    EXPECT_EQ(alone.msg, "'[' was never closed");
    EXPECT_EQ(alone.offset, 5);
}

TEST(parser_errors, missing_blocks_are_indentation_errors) {
    SyntaxError e = error_of("if x:\npass\n");
    EXPECT_EQ(e.type, SyntaxError::Type::IndentationError);
    EXPECT_EQ(e.msg, "expected an indented block after 'if' statement on line 1");
    EXPECT_EQ(e.lineno, 2);

    SyntaxError m = error_of("match x:\ncase 1: pass\n");
    EXPECT_EQ(m.type, SyntaxError::Type::IndentationError);
    EXPECT_EQ(m.msg, "expected an indented block after 'match' statement on line 1");

    SyntaxError indent = error_of("x = 1\n    y = 2\n");
    EXPECT_EQ(indent.type, SyntaxError::Type::IndentationError);
    EXPECT_EQ(indent.msg, "unexpected indent");
    EXPECT_EQ(indent.offset, 4);
    EXPECT_EQ(indent.end_offset, -1);
}

TEST(parser_errors, assignment_targets_name_what_cannot_be_assigned) {
    EXPECT_EQ(error_of("f() = 1\n").msg, "cannot assign to function call here. Maybe you meant '==' instead of '='?");
    EXPECT_EQ(error_of("(a, f()) = 1\n").msg, "cannot assign to function call");
    EXPECT_EQ(error_of("True = 1\n").msg, "cannot assign to True");
    EXPECT_EQ(error_of("del (a, 1)\n").msg, "cannot delete literal");
    EXPECT_EQ(error_of("(a, b) += 1\n").msg, "'tuple' is an illegal expression for augmented assignment");
    EXPECT_EQ(error_of("if x = 1:\n    pass\n").msg, "invalid syntax. Maybe you meant '==' or ':=' instead of '='?");
}

TEST(parser_errors, hints_need_brackets_around_the_expressions) {
    SyntaxError inside = error_of("print(a, b c)\n");
    EXPECT_EQ(inside.msg, "invalid syntax. Perhaps you forgot a comma?");
    EXPECT_EQ(inside.offset, 10);
    EXPECT_EQ(inside.end_offset, 13);
    EXPECT_EQ(error_of("a b\n").msg, "invalid syntax");
}

TEST(parser_errors, deep_nesting_fails_without_exhausting_the_stack) {
    SyntaxError unary = error_of(std::string(10000, '-') + "1\n");
    EXPECT_EQ(unary.msg, "Parser stack overflowed - Python source too complex to parse");
    EXPECT_EQ(unary.type, SyntaxError::Type::MemoryError);

    SyntaxError parens = error_of(std::string(201, '(') + std::string(201, ')') + "\n");
    EXPECT_EQ(parens.msg, "too many nested parentheses");
    EXPECT_EQ(parens.offset, 201);

    std::string nots;
    for (int i = 0; i < 100000; ++i) nots += "not ";
    EXPECT_FALSE(error_of(nots + "x\n").msg.empty());

    std::string lambdas;
    for (int i = 0; i < 50000; ++i) lambdas += "lambda: ";
    EXPECT_FALSE(error_of(lambdas + "1\n").msg.empty());

    std::string powers;
    for (int i = 0; i < 50000; ++i) powers += "2 ** ";
    EXPECT_FALSE(error_of(powers + "1\n").msg.empty());

    std::string ifs;
    for (int i = 0; i < 50000; ++i) ifs += "1 if 1 else ";
    EXPECT_FALSE(error_of(ifs + "1\n").msg.empty());
}

TEST(parser_errors, long_elif_chains_nest_without_recursion) {
    std::string chain = "if x:\n    pass\n";
    for (int i = 0; i < 2000; ++i) chain += "elif x == " + std::to_string(i) + ":\n    pass\n";
    ParseResult r = parse(chain + "else:\n    y = 1\n");
    ASSERT_TRUE(r.tree) << r.error->msg;
    const Node* n = as<Module>(r.tree->root)->body[0];
    int depth = 0;
    while (const If* i = as<If>(n)) {
        ++depth;
        // Every clause ends where the whole statement ends.
        EXPECT_EQ(i->base.pos.end_lineno, 2 * 2000 + 4);
        n = i->orelse.empty() ? nullptr : i->orelse[0];
    }
    EXPECT_EQ(depth, 2001);
    EXPECT_TRUE(is<Assign>(n));

    for (int i = 2000; i < 200000; ++i) chain += "elif x == " + std::to_string(i) + ":\n    pass\n";
    EXPECT_FALSE(error_of(chain).msg.empty());
}

TEST(parser_errors, moderate_nesting_still_parses) {
    ParseResult lists = parse(std::string(199, '[') + std::string(199, ']') + "\n");
    EXPECT_TRUE(lists.tree) << (lists.error ? lists.error->msg : "");
    ParseResult unary = parse(std::string(4000, '-') + "1\n");
    EXPECT_TRUE(unary.tree) << (unary.error ? unary.error->msg : "");
}

TEST(parser_errors, the_diamond_inequality_needs_barry_as_flufl) {
    SyntaxError plain = error_of("if a <> b:\n    pass\n");
    EXPECT_EQ(plain.msg, "invalid syntax");
    EXPECT_EQ(plain.lineno, 1);
    EXPECT_EQ(plain.offset, 6);
    EXPECT_EQ(plain.end_offset, 8);
    // The "<>" stops the parse before the unclosed bracket counts.
    EXPECT_EQ(error_of("(1 <> 2\n").msg, "invalid syntax");

    const std::string future = "from __future__ import barry_as_FLUFL\n";
    ParseResult flufl = parse(future + "x = 1 <> 2\n");
    ASSERT_TRUE(flufl.tree) << flufl.error->msg;
    SyntaxError bang = error_of(future + "if 1 <> 2 != 3:\n    pass\n");
    EXPECT_EQ(bang.msg, "with Barry as BDFL, use '<>' instead of '!='");
    EXPECT_EQ(bang.lineno, 2);
    EXPECT_EQ(bang.offset, 11);
    EXPECT_EQ(bang.end_offset, 13);
    // The import only changes what follows it, and only from __future__ itself.
    EXPECT_TRUE(parse("x = 1 != 2\n" + future + "y = 1 <> 2\n").tree);
    EXPECT_EQ(error_of("from .__future__ import barry_as_FLUFL\nx = 1 <> 2\n").msg, "invalid syntax");
}

TEST(parser_errors, decimal_literals_past_the_conversion_limit_fail) {
    const std::string limit_hint =
        " digits; use sys.set_int_max_str_digits() to increase the limit - Consider hexadecimal for huge integer "
        "literals to avoid decimal conversion limits.";
    // Raised when the literal is parsed: a later syntax error never shows.
    SyntaxError e = error_of("a = 1\nx = (2 +\n  " + std::string(5000, '9') + ")\ny = = 1\n");
    EXPECT_EQ(e.msg, "Exceeds the limit (4300 digits) for integer string conversion: value has 5000" + limit_hint);
    EXPECT_EQ(e.lineno, 3);
    EXPECT_EQ(e.offset, 0);
    EXPECT_EQ(e.end_lineno, 3);
    EXPECT_EQ(e.end_offset, 0);
    // Underscores do not count as digits; patterns convert their literals too.
    EXPECT_EQ(error_of("x = 1_" + std::string(4301, '1') + "\n").msg,
              "Exceeds the limit (4300 digits) for integer string conversion: value has 4302" + limit_hint);
    SyntaxError pattern = error_of("match x:\n    case -" + std::string(4301, '1') + ":\n        pass\n");
    EXPECT_EQ(pattern.lineno, 2);
    EXPECT_NE(pattern.msg.find("value has 4301 digits"), std::string::npos) << pattern.msg;

    // At the limit, in other bases, as zeros, floats or imaginary numbers they convert.
    for (const std::string& literal :
         {std::string(4300, '7'), "0x" + std::string(5000, 'f'), "1_" + std::string(4299, '1'), std::string(5000, '0'),
          std::string(4301, '1') + ".5", std::string(4301, '1') + "j"}) {
        ParseResult r = parse("x = " + literal + "\n");
        EXPECT_TRUE(r.tree) << literal.substr(0, 8) << ": " << (r.error ? r.error->msg : "");
    }
}

}  // namespace
}  // namespace norvex::pyast
