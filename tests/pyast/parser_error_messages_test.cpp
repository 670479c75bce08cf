// Broken snippets give CPython 3.14's error kind, message, line and column (expected values from its compile()).
#include "norvex/pyast/parse.hpp"

#include <gtest/gtest.h>

#include <string>

namespace norvex::pyast {
namespace {

struct Case {
    const char* source;
    const char* type;
    const char* msg;
    int lineno;
    int offset;
};

const char* type_name(SyntaxError::Type t) {
    switch (t) {
        case SyntaxError::Type::IndentationError: return "IndentationError";
        case SyntaxError::Type::TabError: return "TabError";
        default: return "SyntaxError";
    }
}

// Kept inline so the error pass is checked where node and pyodide are not installed.
TEST(parser_error_messages, common_mistakes_get_cpython_messages) {
    const Case cases[] = {
        {"x = 1 = y\n", "SyntaxError",
         "cannot assign to literal", 1, 5},
        {"async = 1\n", "SyntaxError",
         "invalid syntax", 1, 7},
        {"x.1\n", "SyntaxError",
         "invalid syntax", 1, 2},
        {"def f():\n    await = 1\n", "SyntaxError",
         "invalid syntax", 2, 11},
        {"b'é'\n", "SyntaxError",
         "bytes can only contain ASCII literal characters", 1, 1},
        {"match x:\n    case 1:\n        pass\n    case _:\n", "IndentationError",
         "expected an indented block after 'case' statement on line 4", 4, 12},
        {"case 1:\n    pass\n", "SyntaxError",
         "invalid syntax", 1, 6},
        {"match x:\n    case C(a=1, b):\n        pass\n", "SyntaxError",
         "positional patterns follow keyword patterns", 2, 17},
        {"class A(object:\n    pass\n", "SyntaxError",
         "invalid syntax", 1, 15},
        {"[x for x in]\n", "SyntaxError",
         "invalid syntax", 1, 12},
        {"x = 1 \\ 2\n", "SyntaxError",
         "unexpected character after line continuation character", 1, 8},
        {"@decorator\nx = 1\n", "SyntaxError",
         "invalid syntax", 2, 1},
        {"def f() -> : pass\n", "SyntaxError",
         "expected ':'", 1, 9},
        {"del *a\n", "SyntaxError",
         "cannot delete starred", 1, 5},
        {"x = {'a': 1, 'b'}\n", "SyntaxError",
         "':' expected after dictionary key", 1, 16},
        {"{**a: 1}\n", "SyntaxError",
         "invalid syntax", 1, 5},
        {"x = [1, 2,, 3]\n", "SyntaxError",
         "invalid syntax", 1, 11},
        {"x = **a\n", "SyntaxError",
         "invalid syntax", 1, 5},
        {"if x:\n    pass\nelse if y:\n    pass\n", "SyntaxError",
         "expected ':'", 3, 6},
        {"else:\n    pass\n", "SyntaxError",
         "invalid syntax", 1, 1},
        {"if x:\n    pass\n  else:\n    pass\n", "IndentationError",
         "unindent does not match any outer indentation level", 3, 8},
        {"    x = 1\n", "IndentationError",
         "unexpected indent", 1, 4},
        {"x = 1.e\n", "SyntaxError",
         "invalid decimal literal", 1, 6},
        {"for i in range(10) print(i)\n", "SyntaxError",
         "invalid syntax", 1, 20},
        {"from x import a b\n", "SyntaxError",
         "invalid syntax", 1, 17},
        {"from x import (a, b\n", "SyntaxError",
         "'(' was never closed", 1, 15},
        {"print(f\"{x\")\n", "SyntaxError",
         "f-string: expecting '}'", 1, 11},
        {"f(a for a in b for)\n", "SyntaxError",
         "invalid syntax", 1, 19},
        {"global x = 1\n", "SyntaxError",
         "invalid syntax", 1, 10},
        {"a = 1 if b else\n", "SyntaxError",
         "expected expression after 'else', but statement is given", 1, 16},
        {"import a.b as\n", "SyntaxError",
         "invalid syntax", 1, 14},
        {"from . import\n", "SyntaxError",
         "Expected one or more names after 'import'", 1, 14},
        {"import *\n", "SyntaxError",
         "invalid syntax", 1, 8},
        {"x = 1 € 2\n", "SyntaxError",
         "invalid character '€' (U+20AC)", 1, 7},
        {"x.class\n", "SyntaxError",
         "invalid syntax", 1, 3},
        {"lambda x: int: x\n", "SyntaxError",
         "illegal target for annotation", 1, 1},
        {"f = lambda x: yield\n", "SyntaxError",
         "invalid syntax", 1, 15},
        {"match x:\n    pass\n", "SyntaxError",
         "invalid syntax", 2, 5},
        {"class A:\n    def f(self)\n        pass\n", "SyntaxError",
         "expected ':'", 2, 16},
        {"x = (1, 2]\n", "SyntaxError",
         "closing parenthesis ']' does not match opening parenthesis '('", 1, 10},
        {"def f():\n    def g():\n    return 1\n", "IndentationError",
         "expected an indented block after function definition on line 2", 3, 5},
        {"x = 1\x01\n", "SyntaxError",
         "invalid non-printable character U+0001", 1, 6},
        {"not\n", "SyntaxError",
         "invalid syntax", 1, 4},
        {"x = 0777\n", "SyntaxError",
         "leading zeros in decimal integer literals are not permitted; use an 0o prefix for octal integers", 1, 5},
        {"def f(**k, a): pass\n", "SyntaxError",
         "arguments cannot follow var-keyword argument", 1, 12},
        {"match x:\n    case 1 as _:\n        pass\n", "SyntaxError",
         "cannot use '_' as a target", 2, 15},
        {"match x:\n    case {**r, 'a': 1}:\n        pass\n", "SyntaxError",
         "invalid syntax", 2, 16},
        {"x = 5 +* 3\n", "SyntaxError",
         "invalid syntax", 1, 8},
        {"print 'a %s' % x\n", "SyntaxError",
         "Missing parentheses in call to 'print'. Did you mean print(...)?", 1, 1},
        {"raise E, 'msg'\n", "SyntaxError",
         "invalid syntax", 1, 8},
        {"; x = 1\n", "SyntaxError",
         "invalid syntax", 1, 1},
        {"def f(*, a, /): pass\n", "SyntaxError",
         "/ must be ahead of *", 1, 13},
        {"a[1:2:3:4]\n", "SyntaxError",
         "invalid syntax", 1, 8},
        {"f(*)\n", "SyntaxError",
         "Invalid star expression", 1, 4},
        {"x = 1]\n", "SyntaxError",
         "unmatched ']'", 1, 6},
        {"'abc'.\n", "SyntaxError",
         "invalid syntax", 1, 7},
        {"def f():\n\tpass\n        pass\n", "TabError",
         "inconsistent use of tabs and spaces in indentation", 3, 1},
        {"x = 1 + \\\n", "SyntaxError",
         "unexpected EOF while parsing", 1, 10},
        {"try:\n    x\nexcept ValueError:\nfinally:\n    pass\n", "IndentationError",
         "expected an indented block after 'except' statement on line 3", 4, 1},
        {"bt'x'\n", "SyntaxError",
         "'b' and 't' prefixes are incompatible", 1, 1},
        {"def f(a, /, /): pass\n", "SyntaxError",
         "/ may appear only once", 1, 13},
        {"def f(*args, *more): pass\n", "SyntaxError",
         "* argument may appear only once", 1, 14},
        {"def f[](): pass\n", "SyntaxError",
         "Type parameter list cannot be empty", 1, 7},
        {"x = (1, 2\ny = 3\nz = 4\n", "SyntaxError",
         "'(' was never closed", 1, 5},
        {"x = f'abc\n", "SyntaxError",
         "unterminated f-string literal (detected at line 1)", 1, 5},
        {"x = 'abc' 'def\n", "SyntaxError",
         "unterminated string literal (detected at line 1)", 1, 11},
        {"x = f'''abc\n", "SyntaxError",
         "unterminated triple-quoted f-string literal (detected at line 1)", 1, 5},
        {"x := 5\n", "SyntaxError",
         "invalid syntax", 1, 3},
        {"with open(x) as f, :\n    pass\n", "SyntaxError",
         "invalid syntax", 1, 20},
        {"a = yield from\n", "SyntaxError",
         "invalid syntax", 1, 15},
        {"x​ = 1\n", "SyntaxError",
         "invalid non-printable character U+200B", 1, 2},
    };
    for (const Case& c : cases) {
        ParseResult r = parse(c.source);
        ASSERT_TRUE(r.error) << c.source;
        EXPECT_STREQ(type_name(r.error->type), c.type) << c.source;
        EXPECT_EQ(r.error->msg, c.msg) << c.source;
        EXPECT_EQ(r.error->lineno, c.lineno) << c.source;
        EXPECT_EQ(r.error->offset, c.offset) << c.source;
    }
}

}  // namespace
}  // namespace norvex::pyast
