// Tokenizer tests: string literals, f-strings and t-strings.
#include "lexer_test_util.hpp"

namespace norvex::pyast {
namespace {

TEST(lexer_strings, a_string_token_spans_prefix_quotes_and_undecoded_body) {
    EXPECT_EQ(dump("'a' \"b\" '''c''' \"\"\"d\"\"\" b'e' B\"f\" r'g' R'h' u'i' U'j' br'k' rb'l' bR'm' Rb'n' BR'o' RB'p' rB'q'"),
              "STRING ''a'' 1:0-1:3\n"
              "STRING '\"b\"' 1:4-1:7\n"
              "STRING ''''c'''' 1:8-1:15\n"
              "STRING '\"\"\"d\"\"\"' 1:16-1:23\n"
              "STRING 'b'e'' 1:24-1:28\n"
              "STRING 'B\"f\"' 1:29-1:33\n"
              "STRING 'r'g'' 1:34-1:38\n"
              "STRING 'R'h'' 1:39-1:43\n"
              "STRING 'u'i'' 1:44-1:48\n"
              "STRING 'U'j'' 1:49-1:53\n"
              "STRING 'br'k'' 1:54-1:59\n"
              "STRING 'rb'l'' 1:60-1:65\n"
              "STRING 'bR'm'' 1:66-1:71\n"
              "STRING 'Rb'n'' 1:72-1:77\n"
              "STRING 'BR'o'' 1:78-1:83\n"
              "STRING 'RB'p'' 1:84-1:89\n"
              "STRING 'rB'q'' 1:90-1:95\n"
              "NEWLINE '' 1:95-1:95\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("'''a\nb'''"),
              "STRING ''''a\n"
              "b'''' 1:0-2:4\n"
              "NEWLINE '' 2:4-2:4\n"
              "ENDMARKER '' 2:-1-2:-1\n");
    EXPECT_EQ(dump("x = '''\n\n'''\ny"),
              "NAME 'x' 1:0-1:1\n"
              "EQUAL '=' 1:2-1:3\n"
              "STRING ''''\n"
              "\n"
              "'''' 1:4-3:3\n"
              "NEWLINE '' 3:3-3:3\n"
              "NAME 'y' 4:0-4:1\n"
              "NEWLINE '' 4:1-4:1\n"
              "ENDMARKER '' 4:-1-4:-1\n");
    EXPECT_EQ(dump("x = 'a\\\nb'"),
              "NAME 'x' 1:0-1:1\n"
              "EQUAL '=' 1:2-1:3\n"
              "STRING ''a\\\n"
              "b'' 1:4-2:2\n"
              "NEWLINE '' 2:2-2:2\n"
              "ENDMARKER '' 2:-1-2:-1\n");
    EXPECT_EQ(dump("x = '''a\\\n'''"),
              "NAME 'x' 1:0-1:1\n"
              "EQUAL '=' 1:2-1:3\n"
              "STRING ''''a\\\n"
              "'''' 1:4-2:3\n"
              "NEWLINE '' 2:3-2:3\n"
              "ENDMARKER '' 2:-1-2:-1\n");
    EXPECT_EQ(dump("'\\''"),
              "STRING ''\\''' 1:0-1:4\n"
              "NEWLINE '' 1:4-1:4\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("r'\\''"),
              "STRING 'r'\\''' 1:0-1:5\n"
              "NEWLINE '' 1:5-1:5\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("'\\\\'"),
              "STRING ''\\\\'' 1:0-1:4\n"
              "NEWLINE '' 1:4-1:4\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("''"),
              "STRING '''' 1:0-1:2\n"
              "NEWLINE '' 1:2-1:2\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("\"\"\"\"\"\""),
              "STRING '\"\"\"\"\"\"' 1:0-1:6\n"
              "NEWLINE '' 1:6-1:6\n"
              "ENDMARKER '' 1:-1-1:-1\n");
}

TEST(lexer_strings, prefix_letters_must_be_distinct_and_compatible) {
    EXPECT_EQ(kinds("rr'x'"), "NAME STRING NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("fx'x'"), "NAME STRING NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("bf + 1"), "NAME PLUS NUMBER NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("ub = 1"), "NAME EQUAL NUMBER NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("br"), "NAME NEWLINE ENDMARKER");
    EXPECT_EQ(error_of("bu'x'"), "SyntaxError: 'u' and 'b' prefixes are incompatible @ 1:1-1:3");
    EXPECT_EQ(error_of("ft'x'"), "SyntaxError: 'f' and 't' prefixes are incompatible @ 1:1-1:3");
    EXPECT_EQ(error_of("tf'x'"), "SyntaxError: 'f' and 't' prefixes are incompatible @ 1:1-1:3");
    EXPECT_EQ(error_of("fb'x'"), "SyntaxError: 'b' and 'f' prefixes are incompatible @ 1:1-1:3");
    EXPECT_EQ(error_of("ur'x'"), "SyntaxError: 'u' and 'r' prefixes are incompatible @ 1:1-1:3");
    EXPECT_EQ(error_of("ru'x'"), "SyntaxError: 'u' and 'r' prefixes are incompatible @ 1:1-1:3");
    EXPECT_EQ(error_of("bt'x'"), "SyntaxError: 'b' and 't' prefixes are incompatible @ 1:1-1:3");
    EXPECT_EQ(error_of("uf'x'"), "SyntaxError: 'u' and 'f' prefixes are incompatible @ 1:1-1:3");
    EXPECT_EQ(error_of("ut'x'"), "SyntaxError: 'u' and 't' prefixes are incompatible @ 1:1-1:3");
    EXPECT_EQ(error_of("rbf'x'"), "SyntaxError: 'b' and 'f' prefixes are incompatible @ 1:1-1:4");
    EXPECT_EQ(error_of("fu'x'"), "SyntaxError: 'u' and 'f' prefixes are incompatible @ 1:1-1:3");
    EXPECT_EQ(error_of("bru'x'"), "SyntaxError: 'u' and 'b' prefixes are incompatible @ 1:1-1:4");
    EXPECT_EQ(error_of("tb'x'"), "SyntaxError: 'b' and 't' prefixes are incompatible @ 1:1-1:3");
    EXPECT_EQ(error_of("rtf'x'"), "SyntaxError: 'f' and 't' prefixes are incompatible @ 1:1-1:4");
}

TEST(lexer_strings, unterminated_strings_report_where_they_start) {
    EXPECT_EQ(error_of("'abc"), "SyntaxError: unterminated string literal (detected at line 1) @ 1:1-1:1");
    EXPECT_EQ(error_of("x = 'a\nb'"), "SyntaxError: unterminated string literal (detected at line 1) @ 1:5-1:5");
    EXPECT_EQ(error_of("x = b'abc"), "SyntaxError: unterminated string literal (detected at line 1) @ 1:5-1:5");
    EXPECT_EQ(error_of("'''a\nb\n"), "SyntaxError: unterminated triple-quoted string literal (detected at line 2) @ 1:1-1:1");
    EXPECT_EQ(error_of("'''a\nb"), "SyntaxError: unterminated triple-quoted string literal (detected at line 2) @ 1:1-1:1");
    EXPECT_EQ(error_of("'a\\\nb"), "SyntaxError: unterminated string literal (detected at line 2) @ 1:1-1:1");
    EXPECT_EQ(error_of("'''unterminated\n\n\n"), "SyntaxError: unterminated triple-quoted string literal (detected at line 3) @ 1:1-1:1");
    EXPECT_EQ(error_of("x = ''' abc"), "SyntaxError: unterminated triple-quoted string literal (detected at line 1) @ 1:5-1:5");
    EXPECT_EQ(dump("'a' 'b"),
              "STRING ''a'' 1:0-1:3\n"
              "ERROR SyntaxError: unterminated string literal (detected at line 1) @ 1:5-1:5\n");
    EXPECT_EQ(dump("'''a''''"),
              "STRING ''''a'''' 1:0-1:7\n"
              "ERROR SyntaxError: unterminated string literal (detected at line 1) @ 1:8-1:8\n");
}

TEST(lexer_strings, an_escaped_closing_quote_gets_a_hint) {
    EXPECT_EQ(error_of("'a\\'b"), "SyntaxError: unterminated string literal (detected at line 1); perhaps you escaped the end quote? @ 1:1-1:1");
    EXPECT_EQ(error_of("'a\\' b c"), "SyntaxError: unterminated string literal (detected at line 1); perhaps you escaped the end quote? @ 1:1-1:1");
    EXPECT_EQ(error_of("x = '\\'\ny = 1"), "SyntaxError: unterminated string literal (detected at line 1); perhaps you escaped the end quote? @ 1:5-1:5");
    EXPECT_EQ(error_of("'\\'\\'"), "SyntaxError: unterminated string literal (detected at line 1); perhaps you escaped the end quote? @ 1:1-1:1");
    EXPECT_EQ(error_of("rb'\\'"), "SyntaxError: unterminated string literal (detected at line 1); perhaps you escaped the end quote? @ 1:1-1:1");
    EXPECT_EQ(error_of("'a\\\\\\'"), "SyntaxError: unterminated string literal (detected at line 1); perhaps you escaped the end quote? @ 1:1-1:1");
    EXPECT_EQ(error_of("'''a\\'''"), "SyntaxError: unterminated triple-quoted string literal (detected at line 1) @ 1:1-1:1");
    EXPECT_EQ(error_of("f'a\\'"), "SyntaxError: unterminated f-string literal (detected at line 1) @ 1:1-1:1");
    EXPECT_EQ(kinds("'a\\'b'c"), "STRING NAME NEWLINE ENDMARKER");
    EXPECT_EQ(error_of("'\\\\\\\n"), "SyntaxError: unterminated string literal (detected at line 1) @ 1:1-1:1");
}

TEST(lexer_fstrings, fields_conversions_and_format_specs) {
    EXPECT_EQ(dump("f'a{{b}}c{x!r:>{w}}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "FSTRING_MIDDLE 'a{' 1:2-1:4\n"
              "FSTRING_MIDDLE 'b}' 1:5-1:7\n"
              "FSTRING_MIDDLE 'c' 1:8-1:9\n"
              "LBRACE '{' 1:9-1:10\n"
              "NAME 'x' 1:10-1:11\n"
              "EXCLAMATION '!' 1:11-1:12\n"
              "NAME 'r' 1:12-1:13\n"
              "COLON ':' 1:13-1:14\n"
              "FSTRING_MIDDLE '>' 1:14-1:15\n"
              "LBRACE '{' 1:15-1:16\n"
              "NAME 'w' 1:16-1:17\n"
              "RBRACE '}' 1:17-1:18\n"
              "FSTRING_MIDDLE '' 1:18-1:18\n"
              "RBRACE '}' 1:18-1:19\n"
              "FSTRING_END ''' 1:19-1:20\n"
              "NEWLINE '' 1:20-1:20\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{x!r}' f'{x:{y:{z}}}' f'{x=!r:10}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "EXCLAMATION '!' 1:4-1:5\n"
              "NAME 'r' 1:5-1:6\n"
              "RBRACE '}' 1:6-1:7\n"
              "FSTRING_END ''' 1:7-1:8\n"
              "FSTRING_START 'f'' 1:9-1:11\n"
              "LBRACE '{' 1:11-1:12\n"
              "NAME 'x' 1:12-1:13\n"
              "COLON ':' 1:13-1:14\n"
              "LBRACE '{' 1:14-1:15\n"
              "NAME 'y' 1:15-1:16\n"
              "COLON ':' 1:16-1:17\n"
              "LBRACE '{' 1:17-1:18\n"
              "NAME 'z' 1:18-1:19\n"
              "RBRACE '}' 1:19-1:20\n"
              "FSTRING_MIDDLE '' 1:20-1:20\n"
              "RBRACE '}' 1:20-1:21\n"
              "FSTRING_MIDDLE '' 1:21-1:21\n"
              "RBRACE '}' 1:21-1:22\n"
              "FSTRING_END ''' 1:22-1:23\n"
              "FSTRING_START 'f'' 1:24-1:26\n"
              "LBRACE '{' 1:26-1:27\n"
              "NAME 'x' 1:27-1:28\n"
              "EQUAL '=' 1:28-1:29\n"
              "EXCLAMATION '!' 1:29-1:30\n"
              "NAME 'r' 1:30-1:31\n"
              "COLON ':' 1:31-1:32\n"
              "FSTRING_MIDDLE '10' 1:32-1:34\n"
              "RBRACE '}' 1:34-1:35\n"
              "FSTRING_END ''' 1:35-1:36\n"
              "NEWLINE '' 1:36-1:36\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{x:}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "COLON ':' 1:4-1:5\n"
              "FSTRING_MIDDLE '' 1:5-1:5\n"
              "RBRACE '}' 1:5-1:6\n"
              "FSTRING_END ''' 1:6-1:7\n"
              "NEWLINE '' 1:7-1:7\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{x:=5}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "COLON ':' 1:4-1:5\n"
              "FSTRING_MIDDLE '=5' 1:5-1:7\n"
              "RBRACE '}' 1:7-1:8\n"
              "FSTRING_END ''' 1:8-1:9\n"
              "NEWLINE '' 1:9-1:9\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{(x:=5)}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "LPAR '(' 1:3-1:4\n"
              "NAME 'x' 1:4-1:5\n"
              "COLONEQUAL ':=' 1:5-1:7\n"
              "NUMBER '5' 1:7-1:8\n"
              "RPAR ')' 1:8-1:9\n"
              "RBRACE '}' 1:9-1:10\n"
              "FSTRING_END ''' 1:10-1:11\n"
              "NEWLINE '' 1:11-1:11\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{x[1:2]}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "LSQB '[' 1:4-1:5\n"
              "NUMBER '1' 1:5-1:6\n"
              "COLON ':' 1:6-1:7\n"
              "NUMBER '2' 1:7-1:8\n"
              "RSQB ']' 1:8-1:9\n"
              "RBRACE '}' 1:9-1:10\n"
              "FSTRING_END ''' 1:10-1:11\n"
              "NEWLINE '' 1:11-1:11\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{lambda x: 1}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'lambda' 1:3-1:9\n"
              "NAME 'x' 1:10-1:11\n"
              "COLON ':' 1:11-1:12\n"
              "FSTRING_MIDDLE ' 1' 1:12-1:14\n"
              "RBRACE '}' 1:14-1:15\n"
              "FSTRING_END ''' 1:15-1:16\n"
              "NEWLINE '' 1:16-1:16\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f\"{x:%H:%M}\""),
              "FSTRING_START 'f\"' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "COLON ':' 1:4-1:5\n"
              "FSTRING_MIDDLE '%H:%M' 1:5-1:10\n"
              "RBRACE '}' 1:10-1:11\n"
              "FSTRING_END '\"' 1:11-1:12\n"
              "NEWLINE '' 1:12-1:12\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{x::}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "COLON ':' 1:4-1:5\n"
              "FSTRING_MIDDLE ':' 1:5-1:6\n"
              "RBRACE '}' 1:6-1:7\n"
              "FSTRING_END ''' 1:7-1:8\n"
              "NEWLINE '' 1:8-1:8\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{x:a{y}b}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "COLON ':' 1:4-1:5\n"
              "FSTRING_MIDDLE 'a' 1:5-1:6\n"
              "LBRACE '{' 1:6-1:7\n"
              "NAME 'y' 1:7-1:8\n"
              "RBRACE '}' 1:8-1:9\n"
              "FSTRING_MIDDLE 'b' 1:9-1:10\n"
              "RBRACE '}' 1:10-1:11\n"
              "FSTRING_END ''' 1:11-1:12\n"
              "NEWLINE '' 1:12-1:12\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{x:{y}}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "COLON ':' 1:4-1:5\n"
              "LBRACE '{' 1:5-1:6\n"
              "NAME 'y' 1:6-1:7\n"
              "RBRACE '}' 1:7-1:8\n"
              "FSTRING_MIDDLE '' 1:8-1:8\n"
              "RBRACE '}' 1:8-1:9\n"
              "FSTRING_END ''' 1:9-1:10\n"
              "NEWLINE '' 1:10-1:10\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{x!r:>{w}.{p}f}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "EXCLAMATION '!' 1:4-1:5\n"
              "NAME 'r' 1:5-1:6\n"
              "COLON ':' 1:6-1:7\n"
              "FSTRING_MIDDLE '>' 1:7-1:8\n"
              "LBRACE '{' 1:8-1:9\n"
              "NAME 'w' 1:9-1:10\n"
              "RBRACE '}' 1:10-1:11\n"
              "FSTRING_MIDDLE '.' 1:11-1:12\n"
              "LBRACE '{' 1:12-1:13\n"
              "NAME 'p' 1:13-1:14\n"
              "RBRACE '}' 1:14-1:15\n"
              "FSTRING_MIDDLE 'f' 1:15-1:16\n"
              "RBRACE '}' 1:16-1:17\n"
              "FSTRING_END ''' 1:17-1:18\n"
              "NEWLINE '' 1:18-1:18\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{3.14!r:10}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NUMBER '3.14' 1:3-1:7\n"
              "EXCLAMATION '!' 1:7-1:8\n"
              "NAME 'r' 1:8-1:9\n"
              "COLON ':' 1:9-1:10\n"
              "FSTRING_MIDDLE '10' 1:10-1:12\n"
              "RBRACE '}' 1:12-1:13\n"
              "FSTRING_END ''' 1:13-1:14\n"
              "NEWLINE '' 1:14-1:14\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{x:{y!r}}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "COLON ':' 1:4-1:5\n"
              "LBRACE '{' 1:5-1:6\n"
              "NAME 'y' 1:6-1:7\n"
              "EXCLAMATION '!' 1:7-1:8\n"
              "NAME 'r' 1:8-1:9\n"
              "RBRACE '}' 1:9-1:10\n"
              "FSTRING_MIDDLE '' 1:10-1:10\n"
              "RBRACE '}' 1:10-1:11\n"
              "FSTRING_END ''' 1:11-1:12\n"
              "NEWLINE '' 1:12-1:12\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{x:\\n}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "COLON ':' 1:4-1:5\n"
              "FSTRING_MIDDLE '\\n' 1:5-1:7\n"
              "RBRACE '}' 1:7-1:8\n"
              "FSTRING_END ''' 1:8-1:9\n"
              "NEWLINE '' 1:9-1:9\n"
              "ENDMARKER '' 1:-1-1:-1\n");
}

TEST(lexer_fstrings, doubled_braces_end_a_middle_after_the_first_brace) {
    EXPECT_EQ(dump("f'{{}}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "FSTRING_MIDDLE '{' 1:2-1:3\n"
              "FSTRING_MIDDLE '}' 1:4-1:5\n"
              "FSTRING_END ''' 1:6-1:7\n"
              "NEWLINE '' 1:7-1:7\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'a{{'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "FSTRING_MIDDLE 'a{' 1:2-1:4\n"
              "FSTRING_END ''' 1:5-1:6\n"
              "NEWLINE '' 1:6-1:6\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'a}}b'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "FSTRING_MIDDLE 'a}' 1:2-1:4\n"
              "FSTRING_MIDDLE 'b' 1:5-1:6\n"
              "FSTRING_END ''' 1:6-1:7\n"
              "NEWLINE '' 1:7-1:7\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{x}}}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "RBRACE '}' 1:4-1:5\n"
              "FSTRING_MIDDLE '}' 1:5-1:6\n"
              "FSTRING_END ''' 1:7-1:8\n"
              "NEWLINE '' 1:8-1:8\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{{{x}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "FSTRING_MIDDLE '{' 1:2-1:3\n"
              "LBRACE '{' 1:4-1:5\n"
              "NAME 'x' 1:5-1:6\n"
              "RBRACE '}' 1:6-1:7\n"
              "FSTRING_END ''' 1:7-1:8\n"
              "NEWLINE '' 1:8-1:8\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{{x'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "FSTRING_MIDDLE '{' 1:2-1:3\n"
              "FSTRING_MIDDLE 'x' 1:4-1:5\n"
              "FSTRING_END ''' 1:5-1:6\n"
              "NEWLINE '' 1:6-1:6\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{x:{{}}}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "COLON ':' 1:4-1:5\n"
              "FSTRING_MIDDLE '' 1:5-1:5\n"
              "LBRACE '{' 1:5-1:6\n"
              "LBRACE '{' 1:6-1:7\n"
              "RBRACE '}' 1:7-1:8\n"
              "RBRACE '}' 1:8-1:9\n"
              "FSTRING_MIDDLE '' 1:9-1:9\n"
              "RBRACE '}' 1:9-1:10\n"
              "FSTRING_END ''' 1:10-1:11\n"
              "NEWLINE '' 1:11-1:11\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{x:{{y}}}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "COLON ':' 1:4-1:5\n"
              "FSTRING_MIDDLE '' 1:5-1:5\n"
              "LBRACE '{' 1:5-1:6\n"
              "LBRACE '{' 1:6-1:7\n"
              "NAME 'y' 1:7-1:8\n"
              "RBRACE '}' 1:8-1:9\n"
              "RBRACE '}' 1:9-1:10\n"
              "FSTRING_MIDDLE '' 1:10-1:10\n"
              "RBRACE '}' 1:10-1:11\n"
              "FSTRING_END ''' 1:11-1:12\n"
              "NEWLINE '' 1:12-1:12\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{ {x} }'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "LBRACE '{' 1:4-1:5\n"
              "NAME 'x' 1:5-1:6\n"
              "RBRACE '}' 1:6-1:7\n"
              "RBRACE '}' 1:8-1:9\n"
              "FSTRING_END ''' 1:9-1:10\n"
              "NEWLINE '' 1:10-1:10\n"
              "ENDMARKER '' 1:-1-1:-1\n");
}

TEST(lexer_fstrings, backslashes_and_named_escapes_in_the_literal_text) {
    EXPECT_EQ(dump("rf'\\{x}\\n'"),
              "FSTRING_START 'rf'' 1:0-1:3\n"
              "FSTRING_MIDDLE '\\' 1:3-1:4\n"
              "LBRACE '{' 1:4-1:5\n"
              "NAME 'x' 1:5-1:6\n"
              "RBRACE '}' 1:6-1:7\n"
              "FSTRING_MIDDLE '\\n' 1:7-1:9\n"
              "FSTRING_END ''' 1:9-1:10\n"
              "NEWLINE '' 1:10-1:10\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'\\{6}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "FSTRING_MIDDLE '\\' 1:2-1:3\n"
              "LBRACE '{' 1:3-1:4\n"
              "NUMBER '6' 1:4-1:5\n"
              "RBRACE '}' 1:5-1:6\n"
              "FSTRING_END ''' 1:6-1:7\n"
              "NEWLINE '' 1:7-1:7\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'\\N{DIGIT ONE}{x}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "FSTRING_MIDDLE '\\N{DIGIT ONE}' 1:2-1:15\n"
              "LBRACE '{' 1:15-1:16\n"
              "NAME 'x' 1:16-1:17\n"
              "RBRACE '}' 1:17-1:18\n"
              "FSTRING_END ''' 1:18-1:19\n"
              "NEWLINE '' 1:19-1:19\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("rf'\\N{x}'"),
              "FSTRING_START 'rf'' 1:0-1:3\n"
              "FSTRING_MIDDLE '\\N' 1:3-1:5\n"
              "LBRACE '{' 1:5-1:6\n"
              "NAME 'x' 1:6-1:7\n"
              "RBRACE '}' 1:7-1:8\n"
              "FSTRING_END ''' 1:8-1:9\n"
              "NEWLINE '' 1:9-1:9\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'\\''"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "FSTRING_MIDDLE '\\'' 1:2-1:4\n"
              "FSTRING_END ''' 1:4-1:5\n"
              "NEWLINE '' 1:5-1:5\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("rf'\\''"),
              "FSTRING_START 'rf'' 1:0-1:3\n"
              "FSTRING_MIDDLE '\\'' 1:3-1:5\n"
              "FSTRING_END ''' 1:5-1:6\n"
              "NEWLINE '' 1:6-1:6\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'a\\\\'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "FSTRING_MIDDLE 'a\\\\' 1:2-1:5\n"
              "FSTRING_END ''' 1:5-1:6\n"
              "NEWLINE '' 1:6-1:6\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'a\\\nb'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "FSTRING_MIDDLE 'a\\\n"
              "b' 1:2-2:1\n"
              "FSTRING_END ''' 2:1-2:2\n"
              "NEWLINE '' 2:2-2:2\n"
              "ENDMARKER '' 2:-1-2:-1\n");
    EXPECT_EQ(dump("f'2\\N{GREEK CAPITAL LETTER DELTA}3'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "FSTRING_MIDDLE '2\\N{GREEK CAPITAL LETTER DELTA}' 1:2-1:33\n"
              "FSTRING_MIDDLE '3' 1:33-1:34\n"
              "FSTRING_END ''' 1:34-1:35\n"
              "NEWLINE '' 1:35-1:35\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'\\N{DIGIT ONE}{x}\\N{DIGIT TWO}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "FSTRING_MIDDLE '\\N{DIGIT ONE}' 1:2-1:15\n"
              "LBRACE '{' 1:15-1:16\n"
              "NAME 'x' 1:16-1:17\n"
              "RBRACE '}' 1:17-1:18\n"
              "FSTRING_MIDDLE '\\N{DIGIT TWO}' 1:18-1:31\n"
              "FSTRING_END ''' 1:31-1:32\n"
              "NEWLINE '' 1:32-1:32\n"
              "ENDMARKER '' 1:-1-1:-1\n");
}

TEST(lexer_fstrings, nested_quotes_and_nested_fstrings) {
    EXPECT_EQ(dump("f'{f'{x}'}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "FSTRING_START 'f'' 1:3-1:5\n"
              "LBRACE '{' 1:5-1:6\n"
              "NAME 'x' 1:6-1:7\n"
              "RBRACE '}' 1:7-1:8\n"
              "FSTRING_END ''' 1:8-1:9\n"
              "RBRACE '}' 1:9-1:10\n"
              "FSTRING_END ''' 1:10-1:11\n"
              "NEWLINE '' 1:11-1:11\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(kinds("f'{f'{f'{f'{x}'}'}'}'"), "FSTRING_START LBRACE FSTRING_START LBRACE FSTRING_START LBRACE FSTRING_START LBRACE NAME RBRACE FSTRING_END RBRACE FSTRING_END RBRACE FSTRING_END RBRACE FSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(dump("f'{'a' if x else 'b'}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "STRING ''a'' 1:3-1:6\n"
              "NAME 'if' 1:7-1:9\n"
              "NAME 'x' 1:10-1:11\n"
              "NAME 'else' 1:12-1:16\n"
              "STRING ''b'' 1:17-1:20\n"
              "RBRACE '}' 1:20-1:21\n"
              "FSTRING_END ''' 1:21-1:22\n"
              "NEWLINE '' 1:22-1:22\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f\"{'''a'''}\""),
              "FSTRING_START 'f\"' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "STRING ''''a'''' 1:3-1:10\n"
              "RBRACE '}' 1:10-1:11\n"
              "FSTRING_END '\"' 1:11-1:12\n"
              "NEWLINE '' 1:12-1:12\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{\"a\"!r}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "STRING '\"a\"' 1:3-1:6\n"
              "EXCLAMATION '!' 1:6-1:7\n"
              "NAME 'r' 1:7-1:8\n"
              "RBRACE '}' 1:8-1:9\n"
              "FSTRING_END ''' 1:9-1:10\n"
              "NEWLINE '' 1:10-1:10\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f\"{x:{'a'}}\""),
              "FSTRING_START 'f\"' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "COLON ':' 1:4-1:5\n"
              "LBRACE '{' 1:5-1:6\n"
              "STRING ''a'' 1:6-1:9\n"
              "RBRACE '}' 1:9-1:10\n"
              "FSTRING_MIDDLE '' 1:10-1:10\n"
              "RBRACE '}' 1:10-1:11\n"
              "FSTRING_END '\"' 1:11-1:12\n"
              "NEWLINE '' 1:12-1:12\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{x}' 'y'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "RBRACE '}' 1:4-1:5\n"
              "FSTRING_END ''' 1:5-1:6\n"
              "STRING ''y'' 1:7-1:10\n"
              "NEWLINE '' 1:10-1:10\n"
              "ENDMARKER '' 1:-1-1:-1\n");
}

TEST(lexer_fstrings, self_documenting_fields_keep_their_tokens) {
    EXPECT_EQ(dump("print(f\"{x=}\")\n"),
              "NAME 'print' 1:0-1:5\n"
              "LPAR '(' 1:5-1:6\n"
              "FSTRING_START 'f\"' 1:6-1:8\n"
              "LBRACE '{' 1:8-1:9\n"
              "NAME 'x' 1:9-1:10\n"
              "EQUAL '=' 1:10-1:11\n"
              "RBRACE '}' 1:11-1:12\n"
              "FSTRING_END '\"' 1:12-1:13\n"
              "RPAR ')' 1:13-1:14\n"
              "NEWLINE '' 1:14-1:14\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{ x = }'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:4-1:5\n"
              "EQUAL '=' 1:6-1:7\n"
              "RBRACE '}' 1:8-1:9\n"
              "FSTRING_END ''' 1:9-1:10\n"
              "NEWLINE '' 1:10-1:10\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{x=}' f'{x = !r:^20}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "EQUAL '=' 1:4-1:5\n"
              "RBRACE '}' 1:5-1:6\n"
              "FSTRING_END ''' 1:6-1:7\n"
              "FSTRING_START 'f'' 1:8-1:10\n"
              "LBRACE '{' 1:10-1:11\n"
              "NAME 'x' 1:11-1:12\n"
              "EQUAL '=' 1:13-1:14\n"
              "EXCLAMATION '!' 1:15-1:16\n"
              "NAME 'r' 1:16-1:17\n"
              "COLON ':' 1:17-1:18\n"
              "FSTRING_MIDDLE '^20' 1:18-1:21\n"
              "RBRACE '}' 1:21-1:22\n"
              "FSTRING_END ''' 1:22-1:23\n"
              "NEWLINE '' 1:23-1:23\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{x!r }'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "EXCLAMATION '!' 1:4-1:5\n"
              "NAME 'r' 1:5-1:6\n"
              "RBRACE '}' 1:7-1:8\n"
              "FSTRING_END ''' 1:8-1:9\n"
              "NEWLINE '' 1:9-1:9\n"
              "ENDMARKER '' 1:-1-1:-1\n");
}

TEST(lexer_fstrings, fields_and_triple_quoted_text_span_lines) {
    EXPECT_EQ(dump("f'''a\n{x\n+1}\nb'''"),
              "FSTRING_START 'f'''' 1:0-1:4\n"
              "FSTRING_MIDDLE 'a\n"
              "' 1:4-2:0\n"
              "LBRACE '{' 2:0-2:1\n"
              "NAME 'x' 2:1-2:2\n"
              "PLUS '+' 3:0-3:1\n"
              "NUMBER '1' 3:1-3:2\n"
              "RBRACE '}' 3:2-3:3\n"
              "FSTRING_MIDDLE '\n"
              "b' 3:3-4:1\n"
              "FSTRING_END ''''' 4:1-4:4\n"
              "NEWLINE '' 4:4-4:4\n"
              "ENDMARKER '' 4:-1-4:-1\n");
    EXPECT_EQ(dump("f'{x #c\n}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "RBRACE '}' 2:0-2:1\n"
              "FSTRING_END ''' 2:1-2:2\n"
              "NEWLINE '' 2:2-2:2\n"
              "ENDMARKER '' 2:-1-2:-1\n");
    EXPECT_EQ(dump("f'{x\n}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "RBRACE '}' 2:0-2:1\n"
              "FSTRING_END ''' 2:1-2:2\n"
              "NEWLINE '' 2:2-2:2\n"
              "ENDMARKER '' 2:-1-2:-1\n");
    EXPECT_EQ(dump("f'''\n{\n x\n :\n}'''"),
              "FSTRING_START 'f'''' 1:0-1:4\n"
              "FSTRING_MIDDLE '\n"
              "' 1:4-2:0\n"
              "LBRACE '{' 2:0-2:1\n"
              "NAME 'x' 3:1-3:2\n"
              "COLON ':' 4:1-4:2\n"
              "FSTRING_MIDDLE '\n"
              "' 4:2-5:0\n"
              "RBRACE '}' 5:0-5:1\n"
              "FSTRING_END ''''' 5:1-5:4\n"
              "NEWLINE '' 5:4-5:4\n"
              "ENDMARKER '' 5:-1-5:-1\n");
    EXPECT_EQ(dump("f'''{x:a\nb}'''"),
              "FSTRING_START 'f'''' 1:0-1:4\n"
              "LBRACE '{' 1:4-1:5\n"
              "NAME 'x' 1:5-1:6\n"
              "COLON ':' 1:6-1:7\n"
              "FSTRING_MIDDLE 'a\n"
              "b' 1:7-2:1\n"
              "RBRACE '}' 2:1-2:2\n"
              "FSTRING_END ''''' 2:2-2:5\n"
              "NEWLINE '' 2:5-2:5\n"
              "ENDMARKER '' 2:-1-2:-1\n");
}

TEST(lexer_fstrings, tstrings_and_every_prefix_spelling) {
    EXPECT_EQ(dump("t'a{b}c'"),
              "TSTRING_START 't'' 1:0-1:2\n"
              "TSTRING_MIDDLE 'a' 1:2-1:3\n"
              "LBRACE '{' 1:3-1:4\n"
              "NAME 'b' 1:4-1:5\n"
              "RBRACE '}' 1:5-1:6\n"
              "TSTRING_MIDDLE 'c' 1:6-1:7\n"
              "TSTRING_END ''' 1:7-1:8\n"
              "NEWLINE '' 1:8-1:8\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("tr'x' Rt'x' fR'x'"),
              "TSTRING_START 'tr'' 1:0-1:3\n"
              "TSTRING_MIDDLE 'x' 1:3-1:4\n"
              "TSTRING_END ''' 1:4-1:5\n"
              "TSTRING_START 'Rt'' 1:6-1:9\n"
              "TSTRING_MIDDLE 'x' 1:9-1:10\n"
              "TSTRING_END ''' 1:10-1:11\n"
              "FSTRING_START 'fR'' 1:12-1:15\n"
              "FSTRING_MIDDLE 'x' 1:15-1:16\n"
              "FSTRING_END ''' 1:16-1:17\n"
              "NEWLINE '' 1:17-1:17\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(kinds("f'{x}' rf'{y}\\{z}' fr'\\n{q}' Rf'{a}' fR'{b}' RF'{c}' t'{d}' T'{e}' tr'{f}' rt'{g}' Rt'{h}' tR'{i}'"), "FSTRING_START LBRACE NAME RBRACE FSTRING_END FSTRING_START LBRACE NAME RBRACE FSTRING_MIDDLE LBRACE NAME RBRACE FSTRING_END FSTRING_START FSTRING_MIDDLE LBRACE NAME RBRACE FSTRING_END FSTRING_START LBRACE NAME RBRACE FSTRING_END FSTRING_START LBRACE NAME RBRACE FSTRING_END FSTRING_START LBRACE NAME RBRACE FSTRING_END TSTRING_START LBRACE NAME RBRACE TSTRING_END TSTRING_START LBRACE NAME RBRACE TSTRING_END TSTRING_START LBRACE NAME RBRACE TSTRING_END TSTRING_START LBRACE NAME RBRACE TSTRING_END TSTRING_START LBRACE NAME RBRACE TSTRING_END TSTRING_START LBRACE NAME RBRACE TSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("f\"{x!r:>{width}}\" t'{y=}'"), "FSTRING_START LBRACE NAME EXCLAMATION NAME COLON FSTRING_MIDDLE LBRACE NAME RBRACE FSTRING_MIDDLE RBRACE FSTRING_END TSTRING_START LBRACE NAME EQUAL RBRACE TSTRING_END NEWLINE ENDMARKER");
}

TEST(lexer_fstrings, errors_inside_fstrings) {
    EXPECT_EQ(dump("f'{x}}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "RBRACE '}' 1:4-1:5\n"
              "FSTRING_MIDDLE '' 1:5-1:5\n"
              "ERROR SyntaxError: f-string: single '}' is not allowed @ 1:6-1:6\n");
    EXPECT_EQ(dump("f'}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "FSTRING_MIDDLE '' 1:2-1:2\n"
              "ERROR SyntaxError: f-string: single '}' is not allowed @ 1:3-1:3\n");
    EXPECT_EQ(error_of("f'{x'"), "SyntaxError: f-string: expecting '}' @ 1:5-1:5");
    EXPECT_EQ(error_of("f'{'"), "SyntaxError: f-string: expecting '}' @ 1:4-1:4");
    EXPECT_EQ(error_of("f'{x!'"), "SyntaxError: f-string: expecting '}' @ 1:6-1:6");
    EXPECT_EQ(error_of("f'abc"), "SyntaxError: unterminated f-string literal (detected at line 1) @ 1:1-1:1");
    EXPECT_EQ(error_of("f'''abc"), "SyntaxError: unterminated triple-quoted f-string literal (detected at line 1) @ 1:1-1:1");
    EXPECT_EQ(error_of("f'a\nb'"), "SyntaxError: unterminated f-string literal (detected at line 1) @ 1:1-1:1");
    EXPECT_EQ(error_of("f'{x}\n'"), "SyntaxError: unterminated f-string literal (detected at line 1) @ 1:1-1:1");
    EXPECT_EQ(error_of("f'{x:\n}'"), "SyntaxError: f-string: newlines are not allowed in format specifiers for single quoted f-strings @ 1:6-1:6");
    EXPECT_EQ(error_of("f'{x:"), "SyntaxError: f-string: newlines are not allowed in format specifiers for single quoted f-strings @ 1:6-1:6");
    EXPECT_EQ(dump("f'{x:}}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "COLON ':' 1:4-1:5\n"
              "FSTRING_MIDDLE '' 1:5-1:5\n"
              "RBRACE '}' 1:5-1:6\n"
              "FSTRING_MIDDLE '' 1:6-1:6\n"
              "ERROR SyntaxError: f-string: single '}' is not allowed @ 1:7-1:7\n");
    EXPECT_EQ(error_of("f'{x(}'"), "SyntaxError: closing parenthesis '}' does not match opening parenthesis '(' @ 1:6-1:6");
    EXPECT_EQ(error_of("f'{x)}'"), "SyntaxError: f-string: unmatched ')' @ 1:5-1:5");
    EXPECT_EQ(error_of("f'{x]}'"), "SyntaxError: f-string: unmatched ']' @ 1:5-1:5");
    EXPECT_EQ(error_of("[f'{x]}']"), "SyntaxError: f-string: unmatched ']' @ 1:6-1:6");
    EXPECT_EQ(error_of("f'{x"), "SyntaxError: '{' was never closed @ 1:3-1:0");
    EXPECT_EQ(error_of("f'{x!r"), "SyntaxError: '{' was never closed @ 1:3-1:0");
    EXPECT_EQ(error_of("f'{x="), "SyntaxError: '{' was never closed @ 1:3-1:0");
    EXPECT_EQ(error_of("f'''{x:{'''"), "SyntaxError: f-string: expecting '}' @ 1:9-1:9");
    EXPECT_EQ(error_of("f'{x:{'"), "SyntaxError: f-string: expecting '}' @ 1:7-1:7");
    EXPECT_EQ(error_of("f'''{x:"), "SyntaxError: unterminated triple-quoted f-string literal (detected at line 1) @ 1:1-1:1");
    EXPECT_EQ(error_of("f'{\"x'"), "SyntaxError: unterminated string literal (detected at line 1) @ 1:4-1:4");
    EXPECT_EQ(error_of("f'{x\"'"), "SyntaxError: unterminated string literal (detected at line 1) @ 1:5-1:5");
    EXPECT_EQ(error_of("f'{x #c}'"), "SyntaxError: '{' was never closed @ 1:3-1:0");
    EXPECT_EQ(dump("f'{x:{y:{z:{w}}}}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "COLON ':' 1:4-1:5\n"
              "LBRACE '{' 1:5-1:6\n"
              "NAME 'y' 1:6-1:7\n"
              "COLON ':' 1:7-1:8\n"
              "LBRACE '{' 1:8-1:9\n"
              "NAME 'z' 1:9-1:10\n"
              "COLON ':' 1:10-1:11\n"
              "ERROR SyntaxError: f-string: expressions nested too deeply @ 1:11-1:11\n");
}

TEST(lexer_fstrings, a_quote_in_a_format_spec_ends_the_literal_but_not_the_field) {
    EXPECT_EQ(error_of("f'{x:'''}'"), "SyntaxError: unterminated string literal (detected at line 1) @ 1:10-1:10");
    EXPECT_EQ(error_of("f'''{x:{x}y\n'''"), "SyntaxError: '{' was never closed @ 1:5-1:0");
    EXPECT_EQ(error_of("f'{x:']'''"), "SyntaxError: closing parenthesis ']' does not match opening parenthesis '{' @ 1:7-1:7");
    EXPECT_EQ(error_of("f'{x:\\\n'"), "SyntaxError: '{' was never closed @ 1:3-1:0");
    EXPECT_EQ(error_of("f'{a:\\\n%Y-%m-%d{}'"), "SyntaxError: '{' was never closed @ 1:3-1:0");
}

TEST(lexer_fstrings, named_escapes_stop_at_braces_quotes_and_line_ends) {
    EXPECT_EQ(error_of("f'\\N{{"), "SyntaxError: '{' was never closed @ 1:6-1:0");
    EXPECT_EQ(kinds("f'{x:\\N{DIGIT O\"NE}}'"), "FSTRING_START LBRACE NAME COLON FSTRING_MIDDLE FSTRING_MIDDLE RBRACE FSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("f'\\N{D\\\nIGIT OE'"), "FSTRING_START FSTRING_MIDDLE FSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(error_of("f'{x}\\\n"), "SyntaxError: unterminated f-string literal (detected at line 1) @ 1:1-1:1");
}

TEST(lexer_fstrings, after_a_nested_field_a_spec_reads_doubled_open_braces_as_text) {
    EXPECT_EQ(dump("f'{x:{y}{{z}}}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "COLON ':' 1:4-1:5\n"
              "LBRACE '{' 1:5-1:6\n"
              "NAME 'y' 1:6-1:7\n"
              "RBRACE '}' 1:7-1:8\n"
              "FSTRING_MIDDLE '{' 1:8-1:9\n"
              "FSTRING_MIDDLE 'z' 1:10-1:11\n"
              "RBRACE '}' 1:11-1:12\n"
              "FSTRING_MIDDLE '}' 1:12-1:13\n"
              "FSTRING_END ''' 1:14-1:15\n"
              "NEWLINE '' 1:15-1:15\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(kinds("f'{x:{y}a{{z}}}'"), "FSTRING_START LBRACE NAME COLON LBRACE NAME RBRACE FSTRING_MIDDLE FSTRING_MIDDLE RBRACE FSTRING_MIDDLE FSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("f'{x:a{y}{{z}}}'"), "FSTRING_START LBRACE NAME COLON FSTRING_MIDDLE LBRACE NAME RBRACE FSTRING_MIDDLE FSTRING_MIDDLE RBRACE FSTRING_MIDDLE FSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("f'{x:{y}a{z}{{b}'"), "FSTRING_START LBRACE NAME COLON LBRACE NAME RBRACE FSTRING_MIDDLE LBRACE NAME RBRACE FSTRING_MIDDLE FSTRING_MIDDLE RBRACE FSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(dump("f'{x:{y:{z}{{}}}}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "COLON ':' 1:4-1:5\n"
              "LBRACE '{' 1:5-1:6\n"
              "NAME 'y' 1:6-1:7\n"
              "COLON ':' 1:7-1:8\n"
              "LBRACE '{' 1:8-1:9\n"
              "NAME 'z' 1:9-1:10\n"
              "RBRACE '}' 1:10-1:11\n"
              "FSTRING_MIDDLE '{' 1:11-1:12\n"
              "FSTRING_MIDDLE '' 1:13-1:13\n"
              "RBRACE '}' 1:13-1:14\n"
              "FSTRING_MIDDLE '' 1:14-1:14\n"
              "RBRACE '}' 1:14-1:15\n"
              "FSTRING_MIDDLE '}' 1:15-1:16\n"
              "FSTRING_END ''' 1:17-1:18\n"
              "NEWLINE '' 1:18-1:18\n"
              "ENDMARKER '' 1:-1-1:-1\n");
    EXPECT_EQ(dump("f'{x:a{{b}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "COLON ':' 1:4-1:5\n"
              "FSTRING_MIDDLE 'a' 1:5-1:6\n"
              "LBRACE '{' 1:6-1:7\n"
              "LBRACE '{' 1:7-1:8\n"
              "NAME 'b' 1:8-1:9\n"
              "RBRACE '}' 1:9-1:10\n"
              "ERROR SyntaxError: f-string: expecting '}' @ 1:11-1:11\n");
    EXPECT_EQ(dump("f'{x:{{'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "COLON ':' 1:4-1:5\n"
              "FSTRING_MIDDLE '' 1:5-1:5\n"
              "LBRACE '{' 1:5-1:6\n"
              "LBRACE '{' 1:6-1:7\n"
              "ERROR SyntaxError: f-string: expecting '}' @ 1:8-1:8\n");
    EXPECT_EQ(kinds("f'{x:a{{b}}c}'"), "FSTRING_START LBRACE NAME COLON FSTRING_MIDDLE LBRACE LBRACE NAME RBRACE RBRACE FSTRING_MIDDLE RBRACE FSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(dump("f'{x:a}}b}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "COLON ':' 1:4-1:5\n"
              "FSTRING_MIDDLE 'a' 1:5-1:6\n"
              "RBRACE '}' 1:6-1:7\n"
              "FSTRING_MIDDLE '' 1:7-1:7\n"
              "ERROR SyntaxError: f-string: single '}' is not allowed @ 1:8-1:8\n");
    EXPECT_EQ(dump("f'{x:{y}}}b}'"),
              "FSTRING_START 'f'' 1:0-1:2\n"
              "LBRACE '{' 1:2-1:3\n"
              "NAME 'x' 1:3-1:4\n"
              "COLON ':' 1:4-1:5\n"
              "LBRACE '{' 1:5-1:6\n"
              "NAME 'y' 1:6-1:7\n"
              "RBRACE '}' 1:7-1:8\n"
              "FSTRING_MIDDLE '' 1:8-1:8\n"
              "RBRACE '}' 1:8-1:9\n"
              "FSTRING_MIDDLE '' 1:9-1:9\n"
              "ERROR SyntaxError: f-string: single '}' is not allowed @ 1:10-1:10\n");
    EXPECT_EQ(error_of("f'{x:{y}\n}'"), "SyntaxError: unterminated f-string literal (detected at line 1) @ 1:1-1:1");
    EXPECT_EQ(error_of("f'{x:{y}a\nb}'"), "SyntaxError: unterminated f-string literal (detected at line 1) @ 1:1-1:1");
}

TEST(lexer_fstrings, at_most_149_fstrings_inside_each_other) {
    auto nest = [](int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += "f'{";
        s += "x";
        for (int i = 0; i < n; ++i) s += "}'";
        return s;
    };
    EXPECT_EQ(error_of(nest(149)), "none");
    EXPECT_EQ(error_of(nest(150)), "SyntaxError: too many nested f-strings or t-strings @ 1:449-1:449");
}

TEST(lexer_fstrings, tstring_errors_say_tstring) {
    EXPECT_EQ(error_of("t'abc"), "SyntaxError: unterminated t-string literal (detected at line 1) @ 1:1-1:1");
    EXPECT_EQ(error_of("t'''abc"), "SyntaxError: unterminated triple-quoted t-string literal (detected at line 1) @ 1:1-1:1");
    EXPECT_EQ(error_of("t'{x'"), "SyntaxError: t-string: expecting '}' @ 1:5-1:5");
    EXPECT_EQ(error_of("t'{x:\n}'"), "SyntaxError: t-string: newlines are not allowed in format specifiers for single quoted t-strings @ 1:6-1:6");
    EXPECT_EQ(error_of("t'}'"), "SyntaxError: t-string: single '}' is not allowed @ 1:3-1:3");
}

}  // namespace
}  // namespace norvex::pyast
