// Tokenizer tests: number literals and their errors.
#include "lexer_test_util.hpp"

namespace norvex::pyast {
namespace {

TEST(lexer_numbers, every_form_is_one_number_token) {
    EXPECT_EQ(dump("-1e-5 + 0x_FF_ff - 0O17 + 0B1_0 + 1_2.3_4e-1_0j"),
              "MINUS '-' 1:0-1:1; NUMBER '1e-5' 1:1-1:5; PLUS '+' 1:6-1:7; NUMBER '0x_FF_ff' 1:8-1:16; "
              "MINUS '-' 1:17-1:18; NUMBER '0O17' 1:19-1:23; PLUS '+' 1:24-1:25; NUMBER '0B1_0' 1:26-1:31; "
              "PLUS '+' 1:32-1:33; NUMBER '1_2.3_4e-1_0j' 1:34-1:47; NEWLINE '' 1:47-1:47; "
              "ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(kinds("1_000"), "NUMBER NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("0_0"), "NUMBER NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("00"), "NUMBER NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("09.5"), "NUMBER NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("0e0"), "NUMBER NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("1.e5"), "NUMBER NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("1.5j"), "NUMBER NEWLINE ENDMARKER");
    EXPECT_EQ(kinds(".5"), "NUMBER NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("1.5e3J"), "NUMBER NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("0x_1"), "NUMBER NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("1e5_0"), "NUMBER NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("00.5"), "NUMBER NEWLINE ENDMARKER");
}

TEST(lexer_numbers, a_keyword_may_follow_without_a_space) {
    EXPECT_EQ(dump("1if 1else 2"),
              "NUMBER '1' 1:0-1:1; NAME 'if' 1:1-1:3; NUMBER '1' 1:4-1:5; NAME 'else' 1:5-1:9; "
              "NUMBER '2' 1:10-1:11; NEWLINE '' 1:11-1:11; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(kinds("0x1for x in y"), "NUMBER NAME NAME NAME NAME NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("1 if 1in x else 0"), "NUMBER NAME NUMBER NAME NAME NAME NUMBER NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("1or 2"), "NUMBER NAME NUMBER NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("1not in x"), "NUMBER NAME NAME NAME NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("0and 1"), "NUMBER NAME NUMBER NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("1is 2"), "NUMBER NAME NUMBER NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("0b1and 1"), "NUMBER NAME NUMBER NEWLINE ENDMARKER");
    EXPECT_EQ(dump("1ifx"),
              "NUMBER '1' 1:0-1:1; NAME 'ifx' 1:1-1:4; NEWLINE '' 1:4-1:4; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(kinds("1isx"), "NUMBER NAME NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("1in(x)"), "NUMBER NAME LPAR NAME RPAR NEWLINE ENDMARKER");
    EXPECT_EQ(error_of("1andy"), "SyntaxError: invalid decimal literal @ 1:1-1:1");
    EXPECT_EQ(error_of("1elsex"), "SyntaxError: invalid decimal literal @ 1:1-1:1");
    EXPECT_EQ(error_of("1orx"), "SyntaxError: invalid decimal literal @ 1:1-1:1");
    EXPECT_EQ(error_of("1notx"), "SyntaxError: invalid decimal literal @ 1:1-1:1");
    EXPECT_EQ(error_of("0x1forx"), "SyntaxError: invalid hexadecimal literal @ 1:4-1:4");
    EXPECT_EQ(error_of("1lambda: 0"), "SyntaxError: invalid decimal literal @ 1:1-1:1");
    EXPECT_EQ(error_of("1or_"), "SyntaxError: invalid decimal literal @ 1:1-1:1");
}

TEST(lexer_numbers, a_dot_or_name_after_a_number_splits_or_fails) {
    EXPECT_EQ(dump("0b1.5"),
              "NUMBER '0b1' 1:0-1:3; NUMBER '.5' 1:3-1:5; NEWLINE '' 1:5-1:5; ENDMARKER '' 1:-1-1:-1; ");
    EXPECT_EQ(kinds("0x1.5"), "NUMBER NUMBER NEWLINE ENDMARKER");
    EXPECT_EQ(error_of("5.__class__"), "SyntaxError: invalid decimal literal @ 1:2-1:2");
    EXPECT_EQ(error_of("1.__class__"), "SyntaxError: invalid decimal literal @ 1:2-1:2");
    EXPECT_EQ(error_of("1abc"), "SyntaxError: invalid decimal literal @ 1:1-1:1");
    EXPECT_EQ(error_of("1jx"), "SyntaxError: invalid imaginary literal @ 1:2-1:2");
    EXPECT_EQ(error_of("1.2ex"), "SyntaxError: invalid decimal literal @ 1:3-1:3");
}

TEST(lexer_numbers, a_non_ascii_letter_after_a_number_starts_a_name) {
    EXPECT_EQ(kinds("1é"), "NUMBER NAME NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("0x1é"), "NUMBER NAME NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("1.5é"), "NUMBER NAME NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("1jé"), "NUMBER NAME NEWLINE ENDMARKER");
    EXPECT_EQ(error_of("1€"), "SyntaxError: invalid character '€' (U+20AC) @ 1:2-1:2");
    EXPECT_EQ(error_of("1e5€"), "SyntaxError: invalid character '€' (U+20AC) @ 1:4-1:4");
}

TEST(lexer_numbers, underscores_only_between_digits) {
    EXPECT_EQ(error_of("1__0"), "SyntaxError: invalid decimal literal @ 1:2-1:2");
    EXPECT_EQ(error_of("1_"), "SyntaxError: invalid decimal literal @ 1:2-1:2");
    EXPECT_EQ(error_of("0_"), "SyntaxError: invalid decimal literal @ 1:2-1:2");
    EXPECT_EQ(error_of("1._5"), "SyntaxError: invalid decimal literal @ 1:2-1:2");
    EXPECT_EQ(error_of("1.0_"), "SyntaxError: invalid decimal literal @ 1:4-1:4");
    EXPECT_EQ(error_of("1e1_"), "SyntaxError: invalid decimal literal @ 1:4-1:4");
    EXPECT_EQ(error_of("1_a"), "SyntaxError: invalid decimal literal @ 1:2-1:2");
    EXPECT_EQ(error_of("1_if x else y"), "SyntaxError: invalid decimal literal @ 1:2-1:2");
    EXPECT_EQ(error_of("0x1__2"), "SyntaxError: invalid hexadecimal literal @ 1:4-1:4");
    EXPECT_EQ(error_of("0b1_"), "SyntaxError: invalid binary literal @ 1:4-1:4");
    EXPECT_EQ(error_of("1e_5"), "SyntaxError: invalid decimal literal @ 1:1-1:1");
}

TEST(lexer_numbers, prefixed_integers_need_digits_of_their_base) {
    EXPECT_EQ(error_of("0b"), "SyntaxError: invalid binary literal @ 1:2-1:2");
    EXPECT_EQ(error_of("0x"), "SyntaxError: invalid hexadecimal literal @ 1:2-1:2");
    EXPECT_EQ(error_of("0o"), "SyntaxError: invalid octal literal @ 1:2-1:2");
    EXPECT_EQ(error_of("0xfg"), "SyntaxError: invalid hexadecimal literal @ 1:3-1:3");
    EXPECT_EQ(error_of("0o8"), "SyntaxError: invalid digit '8' in octal literal @ 1:3-1:3");
    EXPECT_EQ(error_of("0o18"), "SyntaxError: invalid digit '8' in octal literal @ 1:4-1:4");
    EXPECT_EQ(error_of("0b12"), "SyntaxError: invalid digit '2' in binary literal @ 1:4-1:4");
    EXPECT_EQ(error_of("0b2"), "SyntaxError: invalid digit '2' in binary literal @ 1:3-1:3");
    EXPECT_EQ(error_of("0b1a"), "SyntaxError: invalid binary literal @ 1:3-1:3");
    EXPECT_EQ(error_of("0o7a"), "SyntaxError: invalid octal literal @ 1:3-1:3");
}

TEST(lexer_numbers, leading_zeros_and_broken_exponents) {
    EXPECT_EQ(error_of("01"), "SyntaxError: leading zeros in decimal integer literals are not permitted; use an 0o prefix for octal integers @ 1:1-1:2");
    EXPECT_EQ(error_of("0_7"), "SyntaxError: leading zeros in decimal integer literals are not permitted; use an 0o prefix for octal integers @ 1:1-1:3");
    EXPECT_EQ(error_of("09"), "SyntaxError: leading zeros in decimal integer literals are not permitted; use an 0o prefix for octal integers @ 1:1-1:2");
    EXPECT_EQ(error_of("0777"), "SyntaxError: leading zeros in decimal integer literals are not permitted; use an 0o prefix for octal integers @ 1:1-1:2");
    EXPECT_EQ(error_of("0_0_1"), "SyntaxError: leading zeros in decimal integer literals are not permitted; use an 0o prefix for octal integers @ 1:1-1:5");
    EXPECT_EQ(error_of("1e"), "SyntaxError: invalid decimal literal @ 1:1-1:1");
    EXPECT_EQ(error_of("1e+"), "SyntaxError: invalid decimal literal @ 1:3-1:3");
}

}  // namespace
}  // namespace norvex::pyast
