// Tokenizer tests: lines, indentation, brackets, operators and the end of input.
#include "lexer_test_util.hpp"

namespace norvex::pyast {
namespace {

TEST(lexer_lines, logical_lines_end_with_newline_tokens_on_the_newline_character) {
    EXPECT_EQ(dump("x = 1\n"),
              "NAME 'x' 1:0-1:1; EQUAL '=' 1:2-1:3; NUMBER '1' 1:4-1:5; NEWLINE '' 1:5-1:5; "
              "ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("x"),
              "NAME 'x' 1:0-1:1; NEWLINE '' 1:1-1:1; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("x\n\n\n"),
              "NAME 'x' 1:0-1:1; NEWLINE '' 1:1-1:1; ENDMARKER '' 3:-1-3:-1; ");
    EXPECT_EQ(dump("x # c\n"),
              "NAME 'x' 1:0-1:1; NEWLINE '# c' 1:2-1:5; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("x # c"),
              "NAME 'x' 1:0-1:1; NEWLINE '# c' 1:2-1:5; ENDMARKER '' 1:-1-1:-1; ");
}

TEST(lexer_lines, blank_and_comment_only_lines_produce_nothing) {
    EXPECT_EQ(dump("# only\n"),
              "ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("\n\n"),
              "ENDMARKER '' 2:-1-2:-1; ");
    EXPECT_EQ(dump("  \n"),
              "ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("  # c\nx\n"),
              "NAME 'x' 2:0-2:1; NEWLINE '' 2:1-2:1; ENDMARKER '' 2:-1-2:-1; ");
    EXPECT_EQ(kinds(""), "ENDMARKER");
}

TEST(lexer_lines, brackets_join_lines) {
    EXPECT_EQ(dump("(a,\n# c\n b)\n"),
              "LPAR '(' 1:0-1:1; NAME 'a' 1:1-1:2; COMMA ',' 1:2-1:3; NAME 'b' 3:1-3:2; RPAR ')' 3:2-3:3; "
              "NEWLINE '' 3:3-3:3; ENDMARKER '' 3:-1-3:-1; ");
    EXPECT_EQ(kinds("(\\\nx)"), "LPAR NAME RPAR NEWLINE ENDMARKER");
}

TEST(lexer_lines, backslash_joins_lines) {
    EXPECT_EQ(dump("x = \\\n  1\n"),
              "NAME 'x' 1:0-1:1; EQUAL '=' 1:2-1:3; NUMBER '1' 2:2-2:3; NEWLINE '' 2:3-2:3; "
              "ENDMARKER '' 2:-1-2:-1; ");
    EXPECT_EQ(dump("\\\nx\n"),
              "NAME 'x' 2:0-2:1; NEWLINE '' 2:1-2:1; ENDMARKER '' 2:-1-2:-1; ");
    EXPECT_EQ(dump("x = 1 \\\n\n"),
              "NAME 'x' 1:0-1:1; EQUAL '=' 1:2-1:3; NUMBER '1' 1:4-1:5; NEWLINE '' 2:0-2:0; "
              "ENDMARKER '' 2:-1-2:-1; ");
    EXPECT_EQ(dump("x = 'a' \\\n 'b'"),
              "NAME 'x' 1:0-1:1; EQUAL '=' 1:2-1:3; STRING ''a'' 1:4-1:7; STRING ''b'' 2:1-2:4; "
              "NEWLINE '' 2:4-2:4; ENDMARKER '' 2:-1-2:-1; ");
    EXPECT_EQ(dump("if 1:\n  \\\n  x\n"),
              "NAME 'if' 1:0-1:2; NUMBER '1' 1:3-1:4; COLON ':' 1:4-1:5; NEWLINE '' 1:5-1:5; "
              "INDENT '' 3:-1-3:-1; NAME 'x' 3:2-3:3; NEWLINE '' 3:3-3:3; DEDENT '' 3:-1-3:-1; "
              "ENDMARKER '' 3:-1-3:-1; ");
    EXPECT_EQ(dump("  \\\nx\n"),
              "INDENT '' 2:-1-2:-1; NAME 'x' 2:0-2:1; NEWLINE '' 2:1-2:1; DEDENT '' 2:-1-2:-1; "
              "ENDMARKER '' 2:-1-2:-1; ");
    EXPECT_EQ(error_of("x = \\ y"), "SyntaxError: unexpected character after line continuation character @ 1:6-1:0");
    EXPECT_EQ(error_of("x = \\"), "SyntaxError: unexpected EOF while parsing @ 1:6-1:-1");
    EXPECT_EQ(error_of("\\"), "SyntaxError: unexpected EOF while parsing @ 1:2-1:-1");
    EXPECT_EQ(error_of("\\\n"), "SyntaxError: unexpected EOF while parsing @ 1:2-1:-1");
    EXPECT_EQ(error_of("x = 1 \\\n"), "SyntaxError: unexpected EOF while parsing @ 1:8-1:-1");
    EXPECT_EQ(dump("x = 1 \\\n   "),
              "NAME 'x' 1:0-1:1; EQUAL '=' 1:2-1:3; NUMBER '1' 1:4-1:5; NEWLINE '' 2:3-2:3; "
              "ENDMARKER '' 2:-1-2:-1; ");
    EXPECT_EQ(error_of("(\\"), "SyntaxError: '(' was never closed @ 1:1-1:0");
    EXPECT_EQ(error_of("(\\\n"), "SyntaxError: '(' was never closed @ 1:1-1:0");
    EXPECT_EQ(error_of("[\\\n\n"), "SyntaxError: '[' was never closed @ 1:1-1:0");
}

TEST(lexer_lines, carriage_returns_end_lines_like_newlines) {
    // Python reads "\r\n" and a lone "\r" as "\n" before tokenizing.
    EXPECT_EQ(dump("x = 1\r\ny\r\n"), dump("x = 1\ny\n"));
    EXPECT_EQ(dump("x = 1\ry\r"), dump("x = 1\ny\n"));
    EXPECT_EQ(kinds("x = 1\ny\n"), "NAME EQUAL NUMBER NEWLINE NAME NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("a = '''x\r\ny'''\r\n"), "NAME EQUAL STRING NEWLINE ENDMARKER");
}

TEST(lexer_lines, byte_order_mark_is_skipped_and_null_bytes_are_refused) {
    EXPECT_EQ(dump("\xEF\xBB\xBFx\n"), "NAME 'x' 1:0-1:1; NEWLINE '' 1:1-1:1; ENDMARKER '' 1:-1-1:-1; ");
    // Python gives no position for this one.
    EXPECT_EQ(error_of(std::string_view("x\0", 2)), "SyntaxError: source code string cannot contain null bytes @ 0:0-0:0");
    EXPECT_EQ(error_of(std::string_view("x\n\0", 3)), "SyntaxError: source code string cannot contain null bytes @ 0:0-0:0");
}

TEST(lexer_indent, blocks_open_and_close_with_indent_and_dedent) {
    EXPECT_EQ(dump("if x:\n  if y:\n    z\nw\n"),
              "NAME 'if' 1:0-1:2; NAME 'x' 1:3-1:4; COLON ':' 1:4-1:5; NEWLINE '' 1:5-1:5; "
              "INDENT '' 2:-1-2:-1; NAME 'if' 2:2-2:4; NAME 'y' 2:5-2:6; COLON ':' 2:6-2:7; "
              "NEWLINE '' 2:7-2:7; INDENT '' 3:-1-3:-1; NAME 'z' 3:4-3:5; NEWLINE '' 3:5-3:5; "
              "DEDENT '' 4:-1-4:-1; DEDENT '' 4:-1-4:-1; NAME 'w' 4:0-4:1; NEWLINE '' 4:1-4:1; "
              "ENDMARKER '' 4:-1-4:-1; ");
    EXPECT_EQ(dump("if x:\n  y\n\n# c\n"),
              "NAME 'if' 1:0-1:2; NAME 'x' 1:3-1:4; COLON ':' 1:4-1:5; NEWLINE '' 1:5-1:5; "
              "INDENT '' 2:-1-2:-1; NAME 'y' 2:2-2:3; NEWLINE '' 2:3-2:3; DEDENT '' 4:-1-4:-1; "
              "ENDMARKER '' 4:-1-4:-1; ");
    EXPECT_EQ(dump("if x:\n  y"),
              "NAME 'if' 1:0-1:2; NAME 'x' 1:3-1:4; COLON ':' 1:4-1:5; NEWLINE '' 1:5-1:5; "
              "INDENT '' 2:-1-2:-1; NAME 'y' 2:2-2:3; NEWLINE '' 2:3-2:3; DEDENT '' 2:-1-2:-1; "
              "ENDMARKER '' 2:-1-2:-1; ");
    EXPECT_EQ(dump("class C:\n  x=1\n  def f(s):\n    pass\n"),
              "NAME 'class' 1:0-1:5; NAME 'C' 1:6-1:7; COLON ':' 1:7-1:8; NEWLINE '' 1:8-1:8; "
              "INDENT '' 2:-1-2:-1; NAME 'x' 2:2-2:3; EQUAL '=' 2:3-2:4; NUMBER '1' 2:4-2:5; "
              "NEWLINE '' 2:5-2:5; NAME 'def' 3:2-3:5; NAME 'f' 3:6-3:7; LPAR '(' 3:7-3:8; "
              "NAME 's' 3:8-3:9; RPAR ')' 3:9-3:10; COLON ':' 3:10-3:11; NEWLINE '' 3:11-3:11; "
              "INDENT '' 4:-1-4:-1; NAME 'pass' 4:4-4:8; NEWLINE '' 4:8-4:8; DEDENT '' 4:-1-4:-1; "
              "DEDENT '' 4:-1-4:-1; ENDMARKER '' 4:-1-4:-1; ");
    EXPECT_EQ(dump("if 1:\n x\n# c\n   # d\n y\n"),
              "NAME 'if' 1:0-1:2; NUMBER '1' 1:3-1:4; COLON ':' 1:4-1:5; NEWLINE '' 1:5-1:5; "
              "INDENT '' 2:-1-2:-1; NAME 'x' 2:1-2:2; NEWLINE '' 2:2-2:2; NAME 'y' 5:1-5:2; "
              "NEWLINE '' 5:2-5:2; DEDENT '' 5:-1-5:-1; ENDMARKER '' 5:-1-5:-1; ");
}

TEST(lexer_indent, unexpected_indent_is_left_to_the_parser) {
    EXPECT_EQ(dump("\tx"),
              "INDENT '' 1:-1-1:-1; NAME 'x' 1:1-1:2; NEWLINE '' 1:2-1:2; DEDENT '' 1:-1-1:-1; "
              "ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(kinds("x\n  y\n"), "NAME NEWLINE INDENT NAME NEWLINE DEDENT ENDMARKER");
}

TEST(lexer_indent, tabs_count_to_the_next_multiple_of_eight_and_must_agree_with_spaces) {
    EXPECT_EQ(kinds("if 1:\n\tx\n\ty\n"), "NAME NUMBER COLON NEWLINE INDENT NAME NEWLINE NAME NEWLINE DEDENT ENDMARKER");
    EXPECT_EQ(dump("if x:\n\ty\n        z\n"),
              "NAME 'if' 1:0-1:2; NAME 'x' 1:3-1:4; COLON ':' 1:4-1:5; NEWLINE '' 1:5-1:5; "
              "INDENT '' 2:-1-2:-1; NAME 'y' 2:1-2:2; NEWLINE '' 2:2-2:2; "
              "ERROR TabError: inconsistent use of tabs and spaces in indentation @ 3:1-3:0; ");
    EXPECT_EQ(error_of("if x:\n        y\n\tz = 1\n"), "TabError: inconsistent use of tabs and spaces in indentation @ 3:1-3:0");
}

TEST(lexer_indent, long_runs_of_spaces_and_tabs_after_them_count_exactly) {
    const std::string sp16(16, ' '), sp24(24, ' ');
    EXPECT_EQ(dump("if a:\n" + sp16 + "if b:\n" + sp24 + "c\n" + sp16 + "d\n"),
              "NAME 'if' 1:0-1:2; NAME 'a' 1:3-1:4; COLON ':' 1:4-1:5; NEWLINE '' 1:5-1:5; "
              "INDENT '' 2:-1-2:-1; NAME 'if' 2:16-2:18; NAME 'b' 2:19-2:20; COLON ':' 2:20-2:21; NEWLINE '' 2:21-2:21; "
              "INDENT '' 3:-1-3:-1; NAME 'c' 3:24-3:25; NEWLINE '' 3:25-3:25; "
              "DEDENT '' 4:-1-4:-1; NAME 'd' 4:16-4:17; NEWLINE '' 4:17-4:17; "
              "DEDENT '' 4:-1-4:-1; ENDMARKER '' 4:-1-4:-1; ");
    // Eight spaces then a tab reach column 16 as sixteen spaces do, but the two must not mix.
    EXPECT_EQ(kinds("if a:\n        \tb\n        \tc\n"),
              "NAME NAME COLON NEWLINE INDENT NAME NEWLINE NAME NEWLINE DEDENT ENDMARKER");
    EXPECT_EQ(error_of("if a:\n        \tb\n" + sp16 + "c\n"),
              "TabError: inconsistent use of tabs and spaces in indentation @ 3:1-3:0");
    // A line of spaces only, longer than a step, is blank.
    EXPECT_EQ(kinds("x\n" + sp24 + "\ny\n"), "NAME NEWLINE NAME NEWLINE ENDMARKER");
}

TEST(lexer_indent, form_feed_resets_the_column) {
    EXPECT_EQ(dump("\f  x\n"),
              "INDENT '' 1:-1-1:-1; NAME 'x' 1:3-1:4; NEWLINE '' 1:4-1:4; DEDENT '' 1:-1-1:-1; "
              "ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("if x:\n  \f y\n"),
              "NAME 'if' 1:0-1:2; NAME 'x' 1:3-1:4; COLON ':' 1:4-1:5; NEWLINE '' 1:5-1:5; "
              "INDENT '' 2:-1-2:-1; NAME 'y' 2:4-2:5; NEWLINE '' 2:5-2:5; DEDENT '' 2:-1-2:-1; "
              "ENDMARKER '' 2:-1-2:-1; ");
}

TEST(lexer_indent, dedent_must_match_an_outer_level) {
    EXPECT_EQ(dump("if x:\n    y\n  z\n"),
              "NAME 'if' 1:0-1:2; NAME 'x' 1:3-1:4; COLON ':' 1:4-1:5; NEWLINE '' 1:5-1:5; "
              "INDENT '' 2:-1-2:-1; NAME 'y' 2:4-2:5; NEWLINE '' 2:5-2:5; "
              "ERROR IndentationError: unindent does not match any outer indentation level @ 3:4-3:-1; ");
    EXPECT_EQ(error_of("if x:\n    y\n  zzz = 1\n"), "IndentationError: unindent does not match any outer indentation level @ 3:10-3:-1");
    EXPECT_EQ(error_of("if x:\n    y\n  z"), "IndentationError: unindent does not match any outer indentation level @ 3:4-3:-1");
    EXPECT_EQ(error_of("if 1:\n  x\n \\\n  y\n"), "IndentationError: unindent does not match any outer indentation level @ 4:4-4:-1");
    EXPECT_EQ(error_of("if 1:\n  x\n \\\n\\\n  yy\n"), "IndentationError: unindent does not match any outer indentation level @ 5:5-5:-1");
    EXPECT_EQ(error_of("if 1:\n\tx\n        \\\n  y\n"), "TabError: inconsistent use of tabs and spaces in indentation @ 4:1-4:0");
}

TEST(lexer_indent, a_continuation_at_the_start_of_a_line_keeps_the_column_before_it) {
    EXPECT_EQ(error_of("if 1:\n  x\n \\\n y\n"), "IndentationError: unindent does not match any outer indentation level @ 4:3-4:-1");
    EXPECT_EQ(kinds("if 1:\n  x\n  \\\n\ty\n"), "NAME NUMBER COLON NEWLINE INDENT NAME NEWLINE NAME NEWLINE DEDENT ENDMARKER");
    EXPECT_EQ(dump("if 1:\n  x\n\\\n  y\n"),
              "NAME 'if' 1:0-1:2; NUMBER '1' 1:3-1:4; COLON ':' 1:4-1:5; NEWLINE '' 1:5-1:5; "
              "INDENT '' 2:-1-2:-1; NAME 'x' 2:2-2:3; NEWLINE '' 2:3-2:3; NAME 'y' 4:2-4:3; "
              "NEWLINE '' 4:3-4:3; DEDENT '' 4:-1-4:-1; ENDMARKER '' 4:-1-4:-1; ");
    EXPECT_EQ(kinds("if 1:\n  x\n  \\\n# c\n  y\n"), "NAME NUMBER COLON NEWLINE INDENT NAME NEWLINE NAME NEWLINE DEDENT ENDMARKER");
    EXPECT_EQ(dump("if 1:\n  x\n\\\n# c\ny\n"),
              "NAME 'if' 1:0-1:2; NUMBER '1' 1:3-1:4; COLON ':' 1:4-1:5; NEWLINE '' 1:5-1:5; "
              "INDENT '' 2:-1-2:-1; NAME 'x' 2:2-2:3; NEWLINE '' 2:3-2:3; DEDENT '' 5:-1-5:-1; "
              "NAME 'y' 5:0-5:1; NEWLINE '' 5:1-5:1; ENDMARKER '' 5:-1-5:-1; ");
    EXPECT_EQ(dump("x\n\\\n   \n"),
              "NAME 'x' 1:0-1:1; NEWLINE '' 1:1-1:1; ENDMARKER '' 3:-1-3:-1; ");
    EXPECT_EQ(dump("class A:\n\tpass\n\\\n\n"),
              "NAME 'class' 1:0-1:5; NAME 'A' 1:6-1:7; COLON ':' 1:7-1:8; NEWLINE '' 1:8-1:8; "
              "INDENT '' 2:-1-2:-1; NAME 'pass' 2:1-2:5; NEWLINE '' 2:5-2:5; DEDENT '' 4:-1-4:-1; "
              "ENDMARKER '' 4:-1-4:-1; ");
    EXPECT_EQ(error_of("if 1:\n    \\x\n"), "SyntaxError: unexpected character after line continuation character @ 2:6-2:0");
    EXPECT_EQ(error_of("if 1:\n  x\n\\y\n"), "SyntaxError: unexpected character after line continuation character @ 3:2-3:0");
    EXPECT_EQ(error_of("  \\"), "SyntaxError: unexpected EOF while parsing @ 1:4-1:-1");
    EXPECT_EQ(dump("if 1:\n  x\n\\\n"),
              "NAME 'if' 1:0-1:2; NUMBER '1' 1:3-1:4; COLON ':' 1:4-1:5; NEWLINE '' 1:5-1:5; "
              "INDENT '' 2:-1-2:-1; NAME 'x' 2:2-2:3; NEWLINE '' 2:3-2:3; "
              "ERROR SyntaxError: unexpected EOF while parsing @ 3:2-3:-1; ");
    EXPECT_EQ(error_of("x = 1\n  \\ \n"), "SyntaxError: unexpected character after line continuation character @ 2:4-2:0");
    EXPECT_EQ(error_of("def f():\n    return\n  \\\n"), "SyntaxError: unexpected EOF while parsing @ 3:4-3:-1");
}

TEST(lexer_indent, at_most_one_hundred_levels) {
    std::string ok = "if 1:\n";
    for (int i = 1; i < 98; ++i) ok += std::string(i, ' ') + "if 1:\n";
    EXPECT_EQ(error_of(ok + std::string(98, ' ') + "pass\n"), "none");
    std::string deep = "if 1:\n";
    for (int i = 1; i < 100; ++i) deep += std::string(i, ' ') + "if 1:\n";
    EXPECT_EQ(error_of(deep + std::string(100, ' ') + "pass\n"),
              "IndentationError: too many levels of indentation @ 101:1-101:0");
}

TEST(lexer_brackets, closers_must_match_openers) {
    EXPECT_EQ(error_of(")"), "SyntaxError: unmatched ')' @ 1:1-1:1");
    EXPECT_EQ(error_of("(]"), "SyntaxError: closing parenthesis ']' does not match opening parenthesis '(' @ 1:2-1:2");
    EXPECT_EQ(error_of("(\n]"), "SyntaxError: closing parenthesis ']' does not match opening parenthesis '(' on line 1 @ 2:1-2:1");
    EXPECT_EQ(dump("[1,\n2,\n)"),
              "LSQB '[' 1:0-1:1; NUMBER '1' 1:1-1:2; COMMA ',' 1:2-1:3; NUMBER '2' 2:0-2:1; "
              "COMMA ',' 2:1-2:2; "
              "ERROR SyntaxError: closing parenthesis ')' does not match opening parenthesis '[' on line 1 @ 3:1-3:1; ");
}

TEST(lexer_brackets, unclosed_bracket_at_the_end_names_the_innermost) {
    EXPECT_EQ(error_of("x = (1,\n 2"), "SyntaxError: '(' was never closed @ 1:5-1:0");
    EXPECT_EQ(error_of("((\n"), "SyntaxError: '(' was never closed @ 1:2-1:0");
    EXPECT_EQ(error_of("(["), "SyntaxError: '[' was never closed @ 1:2-1:0");
    EXPECT_EQ(error_of("foo(\n  a b"), "SyntaxError: '(' was never closed @ 1:4-1:0");
}

TEST(lexer_brackets, at_most_two_hundred_open_brackets) {
    EXPECT_EQ(error_of(std::string(200, '(') + std::string(200, ')')), "none");
    EXPECT_EQ(error_of(std::string(201, '(')), "SyntaxError: too many nested parentheses @ 1:201-1:201");
}

TEST(lexer_operators, longest_match_for_every_operator) {
    EXPECT_EQ(kinds("( ) [ ] : , ; + - * / | & < > = . % { } == != <= >= ~ ^ << >> ** += -= *= /= %= &= |= ^= <<= >>= **= // //= @ @= -> ... := !"), "LPAR RPAR LSQB RSQB COLON COMMA SEMI PLUS MINUS STAR SLASH VBAR AMPER LESS GREATER EQUAL DOT PERCENT LBRACE RBRACE EQEQUAL NOTEQUAL LESSEQUAL GREATEREQUAL TILDE CIRCUMFLEX LEFTSHIFT RIGHTSHIFT DOUBLESTAR PLUSEQUAL MINEQUAL STAREQUAL SLASHEQUAL PERCENTEQUAL AMPEREQUAL VBAREQUAL CIRCUMFLEXEQUAL LEFTSHIFTEQUAL RIGHTSHIFTEQUAL DOUBLESTAREQUAL DOUBLESLASH DOUBLESLASHEQUAL AT ATEQUAL RARROW ELLIPSIS COLONEQUAL EXCLAMATION NEWLINE ENDMARKER");
    EXPECT_EQ(dump("a->b := ... !x"),
              "NAME 'a' 1:0-1:1; RARROW '->' 1:1-1:3; NAME 'b' 1:3-1:4; COLONEQUAL ':=' 1:5-1:7; "
              "ELLIPSIS '...' 1:8-1:11; EXCLAMATION '!' 1:12-1:13; NAME 'x' 1:13-1:14; "
              "NEWLINE '' 1:14-1:14; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(kinds("a@=b//=c**=d>>=e<<=f"), "NAME ATEQUAL NAME DOUBLESLASHEQUAL NAME DOUBLESTAREQUAL NAME RIGHTSHIFTEQUAL NAME LEFTSHIFTEQUAL NAME NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("x!=y"), "NAME NOTEQUAL NAME NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("a<>b"), "NAME NOTEQUAL NAME NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("a[1:2, ::3]"), "NAME LSQB NUMBER COLON NUMBER COMMA COLON COLON NUMBER RSQB NEWLINE ENDMARKER");
    EXPECT_EQ(kinds(".."), "DOT DOT NEWLINE ENDMARKER");
}

TEST(lexer_operators, characters_outside_python_come_as_op_tokens) {
    EXPECT_EQ(dump("$"),
              "OP '$' 1:0-1:1; NEWLINE '' 1:1-1:1; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(kinds("a ? b"), "NAME OP NAME NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("`"), "OP NEWLINE ENDMARKER");
}

}  // namespace
}  // namespace norvex::pyast
