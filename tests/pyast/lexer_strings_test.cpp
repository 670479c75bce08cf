// Tokenizer tests: string literals, f-strings and t-strings.
#include "lexer_test_util.hpp"

namespace norvex::pyast {
namespace {

TEST(lexer_strings, a_string_token_spans_prefix_quotes_and_undecoded_body) {
    EXPECT_EQ(dump("'a' \"b\" '''c''' \"\"\"d\"\"\" b'e' B\"f\" r'g' R'h' u'i' U'j' br'k' rb'l' bR'm' Rb'n' BR'o' RB'p' rB'q'"),
              "STRING ''a'' 1:0-1:3; STRING '\"b\"' 1:4-1:7; STRING ''''c'''' 1:8-1:15; "
              "STRING '\"\"\"d\"\"\"' 1:16-1:23; STRING 'b'e'' 1:24-1:28; STRING 'B\"f\"' 1:29-1:33; "
              "STRING 'r'g'' 1:34-1:38; STRING 'R'h'' 1:39-1:43; STRING 'u'i'' 1:44-1:48; "
              "STRING 'U'j'' 1:49-1:53; STRING 'br'k'' 1:54-1:59; STRING 'rb'l'' 1:60-1:65; "
              "STRING 'bR'm'' 1:66-1:71; STRING 'Rb'n'' 1:72-1:77; STRING 'BR'o'' 1:78-1:83; "
              "STRING 'RB'p'' 1:84-1:89; STRING 'rB'q'' 1:90-1:95; NEWLINE '' 1:95-1:95; "
              "ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("'''a\nb'''"),
              "STRING ''''a\nb'''' 1:0-2:4; NEWLINE '' 2:4-2:4; ENDMARKER '' 2:-1-2:-1; ");
    EXPECT_EQ(dump("x = '''\n\n'''\ny"),
              "NAME 'x' 1:0-1:1; EQUAL '=' 1:2-1:3; STRING ''''\n\n'''' 1:4-3:3; NEWLINE '' 3:3-3:3; "
              "NAME 'y' 4:0-4:1; NEWLINE '' 4:1-4:1; ENDMARKER '' 4:-1-4:-1; ");
    EXPECT_EQ(dump("x = 'a\\\nb'"),
              "NAME 'x' 1:0-1:1; EQUAL '=' 1:2-1:3; STRING ''a\\\nb'' 1:4-2:2; NEWLINE '' 2:2-2:2; "
              "ENDMARKER '' 2:-1-2:-1; ");
    EXPECT_EQ(dump("x = '''a\\\n'''"),
              "NAME 'x' 1:0-1:1; EQUAL '=' 1:2-1:3; STRING ''''a\\\n'''' 1:4-2:3; NEWLINE '' 2:3-2:3; "
              "ENDMARKER '' 2:-1-2:-1; ");
    EXPECT_EQ(dump("'\\''"),
              "STRING ''\\''' 1:0-1:4; NEWLINE '' 1:4-1:4; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("r'\\''"),
              "STRING 'r'\\''' 1:0-1:5; NEWLINE '' 1:5-1:5; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("'\\\\'"),
              "STRING ''\\\\'' 1:0-1:4; NEWLINE '' 1:4-1:4; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("''"),
              "STRING '''' 1:0-1:2; NEWLINE '' 1:2-1:2; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("\"\"\"\"\"\""),
              "STRING '\"\"\"\"\"\"' 1:0-1:6; NEWLINE '' 1:6-1:6; ENDMARKER '' 1:-1-1:-1; ");
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
              "STRING ''a'' 1:0-1:3; "
              "ERROR SyntaxError: unterminated string literal (detected at line 1) @ 1:5-1:5; ");
    EXPECT_EQ(dump("'''a''''"),
              "STRING ''''a'''' 1:0-1:7; "
              "ERROR SyntaxError: unterminated string literal (detected at line 1) @ 1:8-1:8; ");
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
              "FSTRING_START 'f'' 1:0-1:2; FSTRING_MIDDLE 'a{' 1:2-1:4; FSTRING_MIDDLE 'b}' 1:5-1:7; "
              "FSTRING_MIDDLE 'c' 1:8-1:9; LBRACE '{' 1:9-1:10; NAME 'x' 1:10-1:11; "
              "EXCLAMATION '!' 1:11-1:12; NAME 'r' 1:12-1:13; COLON ':' 1:13-1:14; "
              "FSTRING_MIDDLE '>' 1:14-1:15; LBRACE '{' 1:15-1:16; NAME 'w' 1:16-1:17; "
              "RBRACE '}' 1:17-1:18; FSTRING_MIDDLE '' 1:18-1:18; RBRACE '}' 1:18-1:19; "
              "FSTRING_END ''' 1:19-1:20; NEWLINE '' 1:20-1:20; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(kinds("f'{x!r}' f'{x:{y:{z}}}' f'{x=!r:10}'"), "FSTRING_START LBRACE NAME EXCLAMATION NAME RBRACE FSTRING_END FSTRING_START LBRACE NAME COLON LBRACE NAME COLON LBRACE NAME RBRACE FSTRING_MIDDLE RBRACE FSTRING_MIDDLE RBRACE FSTRING_END FSTRING_START LBRACE NAME EQUAL EXCLAMATION NAME COLON FSTRING_MIDDLE RBRACE FSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(dump("f'{x:}'"),
              "FSTRING_START 'f'' 1:0-1:2; LBRACE '{' 1:2-1:3; NAME 'x' 1:3-1:4; COLON ':' 1:4-1:5; "
              "FSTRING_MIDDLE '' 1:5-1:5; RBRACE '}' 1:5-1:6; FSTRING_END ''' 1:6-1:7; NEWLINE '' 1:7-1:7; "
              "ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(kinds("f'{x:=5}'"), "FSTRING_START LBRACE NAME COLON FSTRING_MIDDLE RBRACE FSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("f'{(x:=5)}'"), "FSTRING_START LBRACE LPAR NAME COLONEQUAL NUMBER RPAR RBRACE FSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("f'{x[1:2]}'"), "FSTRING_START LBRACE NAME LSQB NUMBER COLON NUMBER RSQB RBRACE FSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("f'{lambda x: 1}'"), "FSTRING_START LBRACE NAME NAME COLON FSTRING_MIDDLE RBRACE FSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(dump("f\"{x:%H:%M}\""),
              "FSTRING_START 'f\"' 1:0-1:2; LBRACE '{' 1:2-1:3; NAME 'x' 1:3-1:4; COLON ':' 1:4-1:5; "
              "FSTRING_MIDDLE '%H:%M' 1:5-1:10; RBRACE '}' 1:10-1:11; FSTRING_END '\"' 1:11-1:12; "
              "NEWLINE '' 1:12-1:12; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("f'{x::}'"),
              "FSTRING_START 'f'' 1:0-1:2; LBRACE '{' 1:2-1:3; NAME 'x' 1:3-1:4; COLON ':' 1:4-1:5; "
              "FSTRING_MIDDLE ':' 1:5-1:6; RBRACE '}' 1:6-1:7; FSTRING_END ''' 1:7-1:8; "
              "NEWLINE '' 1:8-1:8; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("f'{x:a{y}b}'"),
              "FSTRING_START 'f'' 1:0-1:2; LBRACE '{' 1:2-1:3; NAME 'x' 1:3-1:4; COLON ':' 1:4-1:5; "
              "FSTRING_MIDDLE 'a' 1:5-1:6; LBRACE '{' 1:6-1:7; NAME 'y' 1:7-1:8; RBRACE '}' 1:8-1:9; "
              "FSTRING_MIDDLE 'b' 1:9-1:10; RBRACE '}' 1:10-1:11; FSTRING_END ''' 1:11-1:12; "
              "NEWLINE '' 1:12-1:12; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("f'{x:{y}}'"),
              "FSTRING_START 'f'' 1:0-1:2; LBRACE '{' 1:2-1:3; NAME 'x' 1:3-1:4; COLON ':' 1:4-1:5; "
              "LBRACE '{' 1:5-1:6; NAME 'y' 1:6-1:7; RBRACE '}' 1:7-1:8; FSTRING_MIDDLE '' 1:8-1:8; "
              "RBRACE '}' 1:8-1:9; FSTRING_END ''' 1:9-1:10; NEWLINE '' 1:10-1:10; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("f'{x!r:>{w}.{p}f}'"),
              "FSTRING_START 'f'' 1:0-1:2; LBRACE '{' 1:2-1:3; NAME 'x' 1:3-1:4; EXCLAMATION '!' 1:4-1:5; "
              "NAME 'r' 1:5-1:6; COLON ':' 1:6-1:7; FSTRING_MIDDLE '>' 1:7-1:8; LBRACE '{' 1:8-1:9; "
              "NAME 'w' 1:9-1:10; RBRACE '}' 1:10-1:11; FSTRING_MIDDLE '.' 1:11-1:12; "
              "LBRACE '{' 1:12-1:13; NAME 'p' 1:13-1:14; RBRACE '}' 1:14-1:15; "
              "FSTRING_MIDDLE 'f' 1:15-1:16; RBRACE '}' 1:16-1:17; FSTRING_END ''' 1:17-1:18; "
              "NEWLINE '' 1:18-1:18; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(kinds("f'{3.14!r:10}'"), "FSTRING_START LBRACE NUMBER EXCLAMATION NAME COLON FSTRING_MIDDLE RBRACE FSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("f'{x:{y!r}}'"), "FSTRING_START LBRACE NAME COLON LBRACE NAME EXCLAMATION NAME RBRACE FSTRING_MIDDLE RBRACE FSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(dump("f'{x:\\n}'"),
              "FSTRING_START 'f'' 1:0-1:2; LBRACE '{' 1:2-1:3; NAME 'x' 1:3-1:4; COLON ':' 1:4-1:5; "
              "FSTRING_MIDDLE '\\n' 1:5-1:7; RBRACE '}' 1:7-1:8; FSTRING_END ''' 1:8-1:9; "
              "NEWLINE '' 1:9-1:9; ENDMARKER '' 1:-1-1:-1; ");
}

TEST(lexer_fstrings, doubled_braces_end_a_middle_after_the_first_brace) {
    EXPECT_EQ(dump("f'{{}}'"),
              "FSTRING_START 'f'' 1:0-1:2; FSTRING_MIDDLE '{' 1:2-1:3; FSTRING_MIDDLE '}' 1:4-1:5; "
              "FSTRING_END ''' 1:6-1:7; NEWLINE '' 1:7-1:7; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("f'a{{'"),
              "FSTRING_START 'f'' 1:0-1:2; FSTRING_MIDDLE 'a{' 1:2-1:4; FSTRING_END ''' 1:5-1:6; "
              "NEWLINE '' 1:6-1:6; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("f'a}}b'"),
              "FSTRING_START 'f'' 1:0-1:2; FSTRING_MIDDLE 'a}' 1:2-1:4; FSTRING_MIDDLE 'b' 1:5-1:6; "
              "FSTRING_END ''' 1:6-1:7; NEWLINE '' 1:7-1:7; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("f'{x}}}'"),
              "FSTRING_START 'f'' 1:0-1:2; LBRACE '{' 1:2-1:3; NAME 'x' 1:3-1:4; RBRACE '}' 1:4-1:5; "
              "FSTRING_MIDDLE '}' 1:5-1:6; FSTRING_END ''' 1:7-1:8; NEWLINE '' 1:8-1:8; "
              "ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(kinds("f'{{{x}'"), "FSTRING_START FSTRING_MIDDLE LBRACE NAME RBRACE FSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(dump("f'{{x'"),
              "FSTRING_START 'f'' 1:0-1:2; FSTRING_MIDDLE '{' 1:2-1:3; FSTRING_MIDDLE 'x' 1:4-1:5; "
              "FSTRING_END ''' 1:5-1:6; NEWLINE '' 1:6-1:6; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("f'{x:{{}}}'"),
              "FSTRING_START 'f'' 1:0-1:2; LBRACE '{' 1:2-1:3; NAME 'x' 1:3-1:4; COLON ':' 1:4-1:5; "
              "FSTRING_MIDDLE '' 1:5-1:5; LBRACE '{' 1:5-1:6; LBRACE '{' 1:6-1:7; RBRACE '}' 1:7-1:8; "
              "RBRACE '}' 1:8-1:9; FSTRING_MIDDLE '' 1:9-1:9; RBRACE '}' 1:9-1:10; "
              "FSTRING_END ''' 1:10-1:11; NEWLINE '' 1:11-1:11; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("f'{x:{{y}}}'"),
              "FSTRING_START 'f'' 1:0-1:2; LBRACE '{' 1:2-1:3; NAME 'x' 1:3-1:4; COLON ':' 1:4-1:5; "
              "FSTRING_MIDDLE '' 1:5-1:5; LBRACE '{' 1:5-1:6; LBRACE '{' 1:6-1:7; NAME 'y' 1:7-1:8; "
              "RBRACE '}' 1:8-1:9; RBRACE '}' 1:9-1:10; FSTRING_MIDDLE '' 1:10-1:10; RBRACE '}' 1:10-1:11; "
              "FSTRING_END ''' 1:11-1:12; NEWLINE '' 1:12-1:12; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(kinds("f'{ {x} }'"), "FSTRING_START LBRACE LBRACE NAME RBRACE RBRACE FSTRING_END NEWLINE ENDMARKER");
}

TEST(lexer_fstrings, backslashes_and_named_escapes_in_the_literal_text) {
    EXPECT_EQ(dump("rf'\\{x}\\n'"),
              "FSTRING_START 'rf'' 1:0-1:3; FSTRING_MIDDLE '\\' 1:3-1:4; LBRACE '{' 1:4-1:5; "
              "NAME 'x' 1:5-1:6; RBRACE '}' 1:6-1:7; FSTRING_MIDDLE '\\n' 1:7-1:9; "
              "FSTRING_END ''' 1:9-1:10; NEWLINE '' 1:10-1:10; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("f'\\{6}'"),
              "FSTRING_START 'f'' 1:0-1:2; FSTRING_MIDDLE '\\' 1:2-1:3; LBRACE '{' 1:3-1:4; "
              "NUMBER '6' 1:4-1:5; RBRACE '}' 1:5-1:6; FSTRING_END ''' 1:6-1:7; NEWLINE '' 1:7-1:7; "
              "ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("f'\\N{DIGIT ONE}{x}'"),
              "FSTRING_START 'f'' 1:0-1:2; FSTRING_MIDDLE '\\N{DIGIT ONE}' 1:2-1:15; LBRACE '{' 1:15-1:16; "
              "NAME 'x' 1:16-1:17; RBRACE '}' 1:17-1:18; FSTRING_END ''' 1:18-1:19; NEWLINE '' 1:19-1:19; "
              "ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("rf'\\N{x}'"),
              "FSTRING_START 'rf'' 1:0-1:3; FSTRING_MIDDLE '\\N' 1:3-1:5; LBRACE '{' 1:5-1:6; "
              "NAME 'x' 1:6-1:7; RBRACE '}' 1:7-1:8; FSTRING_END ''' 1:8-1:9; NEWLINE '' 1:9-1:9; "
              "ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("f'\\''"),
              "FSTRING_START 'f'' 1:0-1:2; FSTRING_MIDDLE '\\'' 1:2-1:4; FSTRING_END ''' 1:4-1:5; "
              "NEWLINE '' 1:5-1:5; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("rf'\\''"),
              "FSTRING_START 'rf'' 1:0-1:3; FSTRING_MIDDLE '\\'' 1:3-1:5; FSTRING_END ''' 1:5-1:6; "
              "NEWLINE '' 1:6-1:6; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("f'a\\\\'"),
              "FSTRING_START 'f'' 1:0-1:2; FSTRING_MIDDLE 'a\\\\' 1:2-1:5; FSTRING_END ''' 1:5-1:6; "
              "NEWLINE '' 1:6-1:6; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("f'a\\\nb'"),
              "FSTRING_START 'f'' 1:0-1:2; FSTRING_MIDDLE 'a\\\nb' 1:2-2:1; FSTRING_END ''' 2:1-2:2; "
              "NEWLINE '' 2:2-2:2; ENDMARKER '' 2:-1-2:-1; ");
    EXPECT_EQ(dump("f'2\\N{GREEK CAPITAL LETTER DELTA}3'"),
              "FSTRING_START 'f'' 1:0-1:2; FSTRING_MIDDLE '2\\N{GREEK CAPITAL LETTER DELTA}' 1:2-1:33; "
              "FSTRING_MIDDLE '3' 1:33-1:34; FSTRING_END ''' 1:34-1:35; NEWLINE '' 1:35-1:35; "
              "ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("f'\\N{DIGIT ONE}{x}\\N{DIGIT TWO}'"),
              "FSTRING_START 'f'' 1:0-1:2; FSTRING_MIDDLE '\\N{DIGIT ONE}' 1:2-1:15; LBRACE '{' 1:15-1:16; "
              "NAME 'x' 1:16-1:17; RBRACE '}' 1:17-1:18; FSTRING_MIDDLE '\\N{DIGIT TWO}' 1:18-1:31; "
              "FSTRING_END ''' 1:31-1:32; NEWLINE '' 1:32-1:32; ENDMARKER '' 1:-1-1:-1; ");
}

TEST(lexer_fstrings, nested_quotes_and_nested_fstrings) {
    EXPECT_EQ(dump("f'{f'{x}'}'"),
              "FSTRING_START 'f'' 1:0-1:2; LBRACE '{' 1:2-1:3; FSTRING_START 'f'' 1:3-1:5; "
              "LBRACE '{' 1:5-1:6; NAME 'x' 1:6-1:7; RBRACE '}' 1:7-1:8; FSTRING_END ''' 1:8-1:9; "
              "RBRACE '}' 1:9-1:10; FSTRING_END ''' 1:10-1:11; NEWLINE '' 1:11-1:11; "
              "ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(kinds("f'{f'{f'{f'{x}'}'}'}'"), "FSTRING_START LBRACE FSTRING_START LBRACE FSTRING_START LBRACE FSTRING_START LBRACE NAME RBRACE FSTRING_END RBRACE FSTRING_END RBRACE FSTRING_END RBRACE FSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("f'{'a' if x else 'b'}'"), "FSTRING_START LBRACE STRING NAME NAME NAME STRING RBRACE FSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(dump("f\"{'''a'''}\""),
              "FSTRING_START 'f\"' 1:0-1:2; LBRACE '{' 1:2-1:3; STRING ''''a'''' 1:3-1:10; "
              "RBRACE '}' 1:10-1:11; FSTRING_END '\"' 1:11-1:12; NEWLINE '' 1:12-1:12; "
              "ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("f'{\"a\"!r}'"),
              "FSTRING_START 'f'' 1:0-1:2; LBRACE '{' 1:2-1:3; STRING '\"a\"' 1:3-1:6; "
              "EXCLAMATION '!' 1:6-1:7; NAME 'r' 1:7-1:8; RBRACE '}' 1:8-1:9; FSTRING_END ''' 1:9-1:10; "
              "NEWLINE '' 1:10-1:10; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("f\"{x:{'a'}}\""),
              "FSTRING_START 'f\"' 1:0-1:2; LBRACE '{' 1:2-1:3; NAME 'x' 1:3-1:4; COLON ':' 1:4-1:5; "
              "LBRACE '{' 1:5-1:6; STRING ''a'' 1:6-1:9; RBRACE '}' 1:9-1:10; FSTRING_MIDDLE '' 1:10-1:10; "
              "RBRACE '}' 1:10-1:11; FSTRING_END '\"' 1:11-1:12; NEWLINE '' 1:12-1:12; "
              "ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(kinds("f'{x}' 'y'"), "FSTRING_START LBRACE NAME RBRACE FSTRING_END STRING NEWLINE ENDMARKER");
}

TEST(lexer_fstrings, self_documenting_fields_keep_their_tokens) {
    EXPECT_EQ(dump("print(f\"{x=}\")\n"),
              "NAME 'print' 1:0-1:5; LPAR '(' 1:5-1:6; FSTRING_START 'f\"' 1:6-1:8; LBRACE '{' 1:8-1:9; "
              "NAME 'x' 1:9-1:10; EQUAL '=' 1:10-1:11; RBRACE '}' 1:11-1:12; FSTRING_END '\"' 1:12-1:13; "
              "RPAR ')' 1:13-1:14; NEWLINE '' 1:14-1:14; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(kinds("f'{ x = }'"), "FSTRING_START LBRACE NAME EQUAL RBRACE FSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(dump("f'{x=}' f'{x = !r:^20}'"),
              "FSTRING_START 'f'' 1:0-1:2; LBRACE '{' 1:2-1:3; NAME 'x' 1:3-1:4; EQUAL '=' 1:4-1:5; "
              "RBRACE '}' 1:5-1:6; FSTRING_END ''' 1:6-1:7; FSTRING_START 'f'' 1:8-1:10; "
              "LBRACE '{' 1:10-1:11; NAME 'x' 1:11-1:12; EQUAL '=' 1:13-1:14; EXCLAMATION '!' 1:15-1:16; "
              "NAME 'r' 1:16-1:17; COLON ':' 1:17-1:18; FSTRING_MIDDLE '^20' 1:18-1:21; "
              "RBRACE '}' 1:21-1:22; FSTRING_END ''' 1:22-1:23; NEWLINE '' 1:23-1:23; "
              "ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(kinds("f'{x!r }'"), "FSTRING_START LBRACE NAME EXCLAMATION NAME RBRACE FSTRING_END NEWLINE ENDMARKER");
}

TEST(lexer_fstrings, fields_and_triple_quoted_text_span_lines) {
    EXPECT_EQ(dump("f'''a\n{x\n+1}\nb'''"),
              "FSTRING_START 'f'''' 1:0-1:4; FSTRING_MIDDLE 'a\n' 1:4-2:0; LBRACE '{' 2:0-2:1; "
              "NAME 'x' 2:1-2:2; PLUS '+' 3:0-3:1; NUMBER '1' 3:1-3:2; RBRACE '}' 3:2-3:3; "
              "FSTRING_MIDDLE '\nb' 3:3-4:1; FSTRING_END ''''' 4:1-4:4; NEWLINE '' 4:4-4:4; "
              "ENDMARKER '' 4:-1-4:-1; ");
    EXPECT_EQ(dump("f'{x #c\n}'"),
              "FSTRING_START 'f'' 1:0-1:2; LBRACE '{' 1:2-1:3; NAME 'x' 1:3-1:4; RBRACE '}' 2:0-2:1; "
              "FSTRING_END ''' 2:1-2:2; NEWLINE '' 2:2-2:2; ENDMARKER '' 2:-1-2:-1; ");
    EXPECT_EQ(dump("f'{x\n}'"),
              "FSTRING_START 'f'' 1:0-1:2; LBRACE '{' 1:2-1:3; NAME 'x' 1:3-1:4; RBRACE '}' 2:0-2:1; "
              "FSTRING_END ''' 2:1-2:2; NEWLINE '' 2:2-2:2; ENDMARKER '' 2:-1-2:-1; ");
    EXPECT_EQ(dump("f'''\n{\n x\n :\n}'''"),
              "FSTRING_START 'f'''' 1:0-1:4; FSTRING_MIDDLE '\n' 1:4-2:0; LBRACE '{' 2:0-2:1; "
              "NAME 'x' 3:1-3:2; COLON ':' 4:1-4:2; FSTRING_MIDDLE '\n' 4:2-5:0; RBRACE '}' 5:0-5:1; "
              "FSTRING_END ''''' 5:1-5:4; NEWLINE '' 5:4-5:4; ENDMARKER '' 5:-1-5:-1; ");
    EXPECT_EQ(dump("f'''{x:a\nb}'''"),
              "FSTRING_START 'f'''' 1:0-1:4; LBRACE '{' 1:4-1:5; NAME 'x' 1:5-1:6; COLON ':' 1:6-1:7; "
              "FSTRING_MIDDLE 'a\nb' 1:7-2:1; RBRACE '}' 2:1-2:2; FSTRING_END ''''' 2:2-2:5; "
              "NEWLINE '' 2:5-2:5; ENDMARKER '' 2:-1-2:-1; ");
}

TEST(lexer_fstrings, tstrings_and_every_prefix_spelling) {
    EXPECT_EQ(dump("t'a{b}c'"),
              "TSTRING_START 't'' 1:0-1:2; TSTRING_MIDDLE 'a' 1:2-1:3; LBRACE '{' 1:3-1:4; "
              "NAME 'b' 1:4-1:5; RBRACE '}' 1:5-1:6; TSTRING_MIDDLE 'c' 1:6-1:7; TSTRING_END ''' 1:7-1:8; "
              "NEWLINE '' 1:8-1:8; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("tr'x' Rt'x' fR'x'"),
              "TSTRING_START 'tr'' 1:0-1:3; TSTRING_MIDDLE 'x' 1:3-1:4; TSTRING_END ''' 1:4-1:5; "
              "TSTRING_START 'Rt'' 1:6-1:9; TSTRING_MIDDLE 'x' 1:9-1:10; TSTRING_END ''' 1:10-1:11; "
              "FSTRING_START 'fR'' 1:12-1:15; FSTRING_MIDDLE 'x' 1:15-1:16; FSTRING_END ''' 1:16-1:17; "
              "NEWLINE '' 1:17-1:17; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(kinds("f'{x}' rf'{y}\\{z}' fr'\\n{q}' Rf'{a}' fR'{b}' RF'{c}' t'{d}' T'{e}' tr'{f}' rt'{g}' Rt'{h}' tR'{i}'"), "FSTRING_START LBRACE NAME RBRACE FSTRING_END FSTRING_START LBRACE NAME RBRACE FSTRING_MIDDLE LBRACE NAME RBRACE FSTRING_END FSTRING_START FSTRING_MIDDLE LBRACE NAME RBRACE FSTRING_END FSTRING_START LBRACE NAME RBRACE FSTRING_END FSTRING_START LBRACE NAME RBRACE FSTRING_END FSTRING_START LBRACE NAME RBRACE FSTRING_END TSTRING_START LBRACE NAME RBRACE TSTRING_END TSTRING_START LBRACE NAME RBRACE TSTRING_END TSTRING_START LBRACE NAME RBRACE TSTRING_END TSTRING_START LBRACE NAME RBRACE TSTRING_END TSTRING_START LBRACE NAME RBRACE TSTRING_END TSTRING_START LBRACE NAME RBRACE TSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("f\"{x!r:>{width}}\" t'{y=}'"), "FSTRING_START LBRACE NAME EXCLAMATION NAME COLON FSTRING_MIDDLE LBRACE NAME RBRACE FSTRING_MIDDLE RBRACE FSTRING_END TSTRING_START LBRACE NAME EQUAL RBRACE TSTRING_END NEWLINE ENDMARKER");
}

TEST(lexer_fstrings, errors_inside_fstrings) {
    EXPECT_EQ(dump("f'{x}}'"),
              "FSTRING_START 'f'' 1:0-1:2; LBRACE '{' 1:2-1:3; NAME 'x' 1:3-1:4; RBRACE '}' 1:4-1:5; "
              "FSTRING_MIDDLE '' 1:5-1:5; "
              "ERROR SyntaxError: f-string: single '}' is not allowed @ 1:6-1:6; ");
    EXPECT_EQ(dump("f'}'"),
              "FSTRING_START 'f'' 1:0-1:2; FSTRING_MIDDLE '' 1:2-1:2; "
              "ERROR SyntaxError: f-string: single '}' is not allowed @ 1:3-1:3; ");
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
              "FSTRING_START 'f'' 1:0-1:2; LBRACE '{' 1:2-1:3; NAME 'x' 1:3-1:4; COLON ':' 1:4-1:5; "
              "FSTRING_MIDDLE '' 1:5-1:5; RBRACE '}' 1:5-1:6; FSTRING_MIDDLE '' 1:6-1:6; "
              "ERROR SyntaxError: f-string: single '}' is not allowed @ 1:7-1:7; ");
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
              "FSTRING_START 'f'' 1:0-1:2; LBRACE '{' 1:2-1:3; NAME 'x' 1:3-1:4; COLON ':' 1:4-1:5; "
              "LBRACE '{' 1:5-1:6; NAME 'y' 1:6-1:7; COLON ':' 1:7-1:8; LBRACE '{' 1:8-1:9; "
              "NAME 'z' 1:9-1:10; COLON ':' 1:10-1:11; "
              "ERROR SyntaxError: f-string: expressions nested too deeply @ 1:11-1:11; ");
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
              "FSTRING_START 'f'' 1:0-1:2; LBRACE '{' 1:2-1:3; NAME 'x' 1:3-1:4; COLON ':' 1:4-1:5; "
              "LBRACE '{' 1:5-1:6; NAME 'y' 1:6-1:7; RBRACE '}' 1:7-1:8; FSTRING_MIDDLE '{' 1:8-1:9; "
              "FSTRING_MIDDLE 'z' 1:10-1:11; RBRACE '}' 1:11-1:12; FSTRING_MIDDLE '}' 1:12-1:13; "
              "FSTRING_END ''' 1:14-1:15; NEWLINE '' 1:15-1:15; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(kinds("f'{x:{y}a{{z}}}'"), "FSTRING_START LBRACE NAME COLON LBRACE NAME RBRACE FSTRING_MIDDLE FSTRING_MIDDLE RBRACE FSTRING_MIDDLE FSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("f'{x:a{y}{{z}}}'"), "FSTRING_START LBRACE NAME COLON FSTRING_MIDDLE LBRACE NAME RBRACE FSTRING_MIDDLE FSTRING_MIDDLE RBRACE FSTRING_MIDDLE FSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("f'{x:{y}a{z}{{b}'"), "FSTRING_START LBRACE NAME COLON LBRACE NAME RBRACE FSTRING_MIDDLE LBRACE NAME RBRACE FSTRING_MIDDLE FSTRING_MIDDLE RBRACE FSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(dump("f'{x:{y:{z}{{}}}}'"),
              "FSTRING_START 'f'' 1:0-1:2; LBRACE '{' 1:2-1:3; NAME 'x' 1:3-1:4; COLON ':' 1:4-1:5; "
              "LBRACE '{' 1:5-1:6; NAME 'y' 1:6-1:7; COLON ':' 1:7-1:8; LBRACE '{' 1:8-1:9; "
              "NAME 'z' 1:9-1:10; RBRACE '}' 1:10-1:11; FSTRING_MIDDLE '{' 1:11-1:12; "
              "FSTRING_MIDDLE '' 1:13-1:13; RBRACE '}' 1:13-1:14; FSTRING_MIDDLE '' 1:14-1:14; "
              "RBRACE '}' 1:14-1:15; FSTRING_MIDDLE '}' 1:15-1:16; FSTRING_END ''' 1:17-1:18; "
              "NEWLINE '' 1:18-1:18; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(dump("f'{x:a{{b}'"),
              "FSTRING_START 'f'' 1:0-1:2; LBRACE '{' 1:2-1:3; NAME 'x' 1:3-1:4; COLON ':' 1:4-1:5; "
              "FSTRING_MIDDLE 'a' 1:5-1:6; LBRACE '{' 1:6-1:7; LBRACE '{' 1:7-1:8; NAME 'b' 1:8-1:9; "
              "RBRACE '}' 1:9-1:10; ERROR SyntaxError: f-string: expecting '}' @ 1:11-1:11; ");
    EXPECT_EQ(dump("f'{x:{{'"),
              "FSTRING_START 'f'' 1:0-1:2; LBRACE '{' 1:2-1:3; NAME 'x' 1:3-1:4; COLON ':' 1:4-1:5; "
              "FSTRING_MIDDLE '' 1:5-1:5; LBRACE '{' 1:5-1:6; LBRACE '{' 1:6-1:7; "
              "ERROR SyntaxError: f-string: expecting '}' @ 1:8-1:8; ");
    EXPECT_EQ(kinds("f'{x:a{{b}}c}'"), "FSTRING_START LBRACE NAME COLON FSTRING_MIDDLE LBRACE LBRACE NAME RBRACE RBRACE FSTRING_MIDDLE RBRACE FSTRING_END NEWLINE ENDMARKER");
    EXPECT_EQ(dump("f'{x:a}}b}'"),
              "FSTRING_START 'f'' 1:0-1:2; LBRACE '{' 1:2-1:3; NAME 'x' 1:3-1:4; COLON ':' 1:4-1:5; "
              "FSTRING_MIDDLE 'a' 1:5-1:6; RBRACE '}' 1:6-1:7; FSTRING_MIDDLE '' 1:7-1:7; "
              "ERROR SyntaxError: f-string: single '}' is not allowed @ 1:8-1:8; ");
    EXPECT_EQ(dump("f'{x:{y}}}b}'"),
              "FSTRING_START 'f'' 1:0-1:2; LBRACE '{' 1:2-1:3; NAME 'x' 1:3-1:4; COLON ':' 1:4-1:5; "
              "LBRACE '{' 1:5-1:6; NAME 'y' 1:6-1:7; RBRACE '}' 1:7-1:8; FSTRING_MIDDLE '' 1:8-1:8; "
              "RBRACE '}' 1:8-1:9; FSTRING_MIDDLE '' 1:9-1:9; "
              "ERROR SyntaxError: f-string: single '}' is not allowed @ 1:10-1:10; ");
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

TEST(lexer_strings, the_body_ends_exactly_at_its_quote_wherever_the_stops_fall) {
    // Quotes, escapes and line ends at every place around the eight-byte steps of the body scan.
    for (std::size_t k = 0; k <= 20; ++k) {
        const std::string a(k, 'a'), b(20 - k, 'b');
        const std::string cases[] = {
            "'" + a + "'",                     // the quote
            "'" + a + "\"" + b + "'",          // the other quote is body
            "\"" + a + "'" + b + "\"",
            "'" + a + "\\'" + b + "'",         // an escaped quote is body
            "'" + a + "\\\\" + b + "'",        // so is an escaped backslash
            "'''" + a + "\n" + b + "'' '''",   // line ends and lone quotes inside a triple-quoted literal
            "\"\"\"" + a + "\r\n\"" + b + "x\"\"\"",
        };
        for (const std::string& literal : cases) {
            const std::string source = literal + " + x\n";
            Arena arena;
            Tokenizer tok(source, arena);
            ASSERT_EQ(tok.at(0).kind, TokenKind::STRING) << source;
            EXPECT_EQ(tok.at(0).end, literal.size()) << source;
            EXPECT_EQ(tok.at(1).kind, TokenKind::PLUS) << source;
        }
        // A line end in a single-quoted literal ends it unterminated.
        EXPECT_EQ(error_of("x = '" + a + "\n'"), "SyntaxError: unterminated string literal (detected at line 1) @ 1:5-1:5")
            << k;
    }
}

}  // namespace
}  // namespace norvex::pyast
