// Python's repr of constants: quote choice, escapes, numbers and singletons.
#include "norvex/pyast/constant_repr.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace norvex::pyast {
namespace {

using Kind = ConstantValue::Kind;

std::string str_repr(std::string_view s) {
    std::string out;
    append_str_repr(out, s);
    return out;
}

std::string bytes_repr(std::string_view s) {
    std::string out;
    append_bytes_repr(out, s);
    return out;
}

ConstantValue of_float(Kind kind, double v) {
    ConstantValue c;
    c.kind = kind;
    c.float_value = v;
    return c;
}

TEST(str_repr, picks_the_quote_python_picks) {
    EXPECT_EQ(str_repr("plain"), "'plain'");
    EXPECT_EQ(str_repr("a'b"), "\"a'b\"");
    EXPECT_EQ(str_repr("a\"b"), "'a\"b'");
    EXPECT_EQ(str_repr("a'b\"c"), "'a\\'b\"c'");
    EXPECT_EQ(str_repr(""), "''");
    EXPECT_EQ(str_repr(" ~"), "' ~'");
}

TEST(str_repr, escapes_control_characters_and_backslash) {
    EXPECT_EQ(str_repr("\t\n\r\\"), "'\\t\\n\\r\\\\'");
    EXPECT_EQ(str_repr(std::string_view("\x00\x1f\x7f", 3)), "'\\x00\\x1f\\x7f'");
}

TEST(str_repr, escapes_non_printable_non_ascii_by_width) {
    // U+0080, U+009F (controls), U+00A0 (space separator), U+00AD (format).
    EXPECT_EQ(str_repr("\u0080\u009f\u00a0\u00ad"), "'\\x80\\x9f\\xa0\\xad'");
    // Unassigned, line separator, ideographic space, byte order mark.
    EXPECT_EQ(str_repr("\u0378\u2028\u3000\ufeff"), "'\\u0378\\u2028\\u3000\\ufeff'");
    // A tag character (format) and a noncharacter in plane 16.
    EXPECT_EQ(str_repr("\U000e0001\U0010ffff"), "'\\U000e0001\\U0010ffff'");
}

TEST(str_repr, keeps_printable_non_ascii_as_utf8) {
    EXPECT_EQ(str_repr("é漢😀"), "'é漢😀'");
    // Characters of Unicode 16, which the system's ICU may not know yet.
    EXPECT_EQ(str_repr("\U0001fae9\u0897"), "'\U0001fae9\u0897'");
}

TEST(str_repr, escapes_lone_surrogates) {
    // U+D800 and U+DFFF in generalised UTF-8, as the parser keeps them.
    EXPECT_EQ(str_repr("\xed\xa0\x80x\xed\xbf\xbf"), "'\\ud800x\\udfff'");
}

TEST(bytes_repr, quotes_and_escapes_like_python) {
    EXPECT_EQ(bytes_repr("'"), "b\"'\"");
    EXPECT_EQ(bytes_repr("'\""), "b'\\'\"'");
    EXPECT_EQ(bytes_repr("\""), "b'\"'");
    EXPECT_EQ(bytes_repr(""), "b''");
    EXPECT_EQ(bytes_repr(std::string_view("\x00\x7f\x80\xff\n\t\r\\", 8)), "b'\\x00\\x7f\\x80\\xff\\n\\t\\r\\\\'");
}

TEST(constant_repr, integers_small_and_big) {
    ConstantValue c;
    c.kind = Kind::Int;
    EXPECT_EQ(constant_repr(c), "0");
    c.int_value = -5;
    EXPECT_EQ(constant_repr(c), "-5");
    c.int_value = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(constant_repr(c), "9223372036854775807");
    c.kind = Kind::BigInt;
    c.text = "123456789012345678901234567890";
    EXPECT_EQ(constant_repr(c), "123456789012345678901234567890");
}

TEST(constant_repr, floats_in_shortest_round_trip_form) {
    EXPECT_EQ(constant_repr(of_float(Kind::Float, 1.5)), "1.5");
    EXPECT_EQ(constant_repr(of_float(Kind::Float, 1e16)), "1e+16");
    EXPECT_EQ(constant_repr(of_float(Kind::Float, 1e15)), "1000000000000000.0");
    EXPECT_EQ(constant_repr(of_float(Kind::Float, 1e-5)), "1e-05");
    EXPECT_EQ(constant_repr(of_float(Kind::Float, 0.1 + 0.2)), "0.30000000000000004");
    EXPECT_EQ(constant_repr(of_float(Kind::Float, 0.0)), "0.0");
    EXPECT_EQ(constant_repr(of_float(Kind::Float, -0.0)), "-0.0");
    EXPECT_EQ(constant_repr(of_float(Kind::Float, 5e-324)), "5e-324");
    EXPECT_EQ(constant_repr(of_float(Kind::Float, INFINITY)), "inf");
    EXPECT_EQ(constant_repr(of_float(Kind::Float, -INFINITY)), "-inf");
    EXPECT_EQ(constant_repr(of_float(Kind::Float, NAN)), "nan");
}

TEST(constant_repr, imaginary_numbers_drop_the_trailing_point_zero) {
    EXPECT_EQ(constant_repr(of_float(Kind::Complex, 1.0)), "1j");
    EXPECT_EQ(constant_repr(of_float(Kind::Complex, 0.0)), "0j");
    EXPECT_EQ(constant_repr(of_float(Kind::Complex, 1.5)), "1.5j");
    EXPECT_EQ(constant_repr(of_float(Kind::Complex, 1e100)), "1e+100j");
    EXPECT_EQ(constant_repr(of_float(Kind::Complex, 1e15)), "1000000000000000j");
    EXPECT_EQ(constant_repr(of_float(Kind::Complex, 1e16)), "1e+16j");
    EXPECT_EQ(constant_repr(of_float(Kind::Complex, 2.5e-300)), "2.5e-300j");
    EXPECT_EQ(constant_repr(of_float(Kind::Complex, INFINITY)), "infj");
    EXPECT_EQ(constant_repr(of_float(Kind::Complex, NAN)), "nanj");
}

TEST(constant_repr, singletons_and_text) {
    ConstantValue c;
    EXPECT_EQ(constant_repr(c), "None");
    c.kind = Kind::True;
    EXPECT_EQ(constant_repr(c), "True");
    c.kind = Kind::False;
    EXPECT_EQ(constant_repr(c), "False");
    c.kind = Kind::Ellipsis;
    EXPECT_EQ(constant_repr(c), "Ellipsis");
    c.kind = Kind::Str;
    c.text = "it's";
    EXPECT_EQ(constant_repr(c), "\"it's\"");
    c.kind = Kind::Bytes;
    EXPECT_EQ(constant_repr(c), "b\"it's\"");
}

}  // namespace
}  // namespace norvex::pyast
