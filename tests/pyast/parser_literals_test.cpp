// Literal tokens become the constants CPython 3.14 builds (values checked against its ast.parse).
#include "norvex/pyast/parse.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace norvex::pyast {
namespace {

using Kind = ConstantValue::Kind;

// The constant of a one-expression module, or a failed assertion.
struct Parsed {
    ParseResult result;
    const Constant* constant = nullptr;
};

Parsed constant_of(const std::string& source) {
    Parsed p{parse(source)};
    if (!p.result.tree) {
        ADD_FAILURE() << source << ": " << p.result.error->msg;
        return p;
    }
    const auto* expr = as<Expr>(as<Module>(p.result.tree->root)->body[0]);
    p.constant = expr ? as<Constant>(expr->value) : nullptr;
    EXPECT_NE(p.constant, nullptr) << source;
    return p;
}

std::string hex(std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

TEST(parser_literals, integers_that_fit_64_bits_are_ints) {
    const std::pair<const char*, std::int64_t> cases[] = {
        {"0", 0},         {"00", 0},     {"9223372036854775807", 9223372036854775807}, {"0b1010", 10},
        {"0o777", 511},   {"0x_ff", 255}, {"1_000_000", 1000000},
    };
    for (const auto& [source, value] : cases) {
        Parsed p = constant_of(source);
        ASSERT_TRUE(p.constant) << source;
        EXPECT_EQ(p.constant->value.kind, Kind::Int) << source;
        EXPECT_EQ(p.constant->value.int_value, value) << source;
    }
}

TEST(parser_literals, larger_integers_keep_their_decimal_digits) {
    const std::pair<const char*, const char*> cases[] = {
        {"9223372036854775808", "9223372036854775808"},
        {"0xFFFFFFFFFFFFFFFFFF", "4722366482869645213695"},
        {"123456789012345678901234567890", "123456789012345678901234567890"},
    };
    for (const auto& [source, digits] : cases) {
        Parsed p = constant_of(source);
        ASSERT_TRUE(p.constant) << source;
        EXPECT_EQ(p.constant->value.kind, Kind::BigInt) << source;
        EXPECT_EQ(p.constant->value.text, digits) << source;
    }
}

TEST(parser_literals, floats_round_and_saturate_like_python) {
    const std::pair<const char*, double> cases[] = {
        {"1_0.0_1", 10.01}, {".5", 0.5}, {"5.", 5.0}, {"1E-5", 1e-05}, {"1e-400", 0.0},
    };
    for (const auto& [source, value] : cases) {
        Parsed p = constant_of(source);
        ASSERT_TRUE(p.constant) << source;
        EXPECT_EQ(p.constant->value.kind, Kind::Float) << source;
        EXPECT_EQ(p.constant->value.float_value, value) << source;
    }
    Parsed inf = constant_of("1e500");
    ASSERT_TRUE(inf.constant);
    EXPECT_TRUE(std::isinf(inf.constant->value.float_value));
}

TEST(parser_literals, imaginary_literals_are_complex) {
    const std::pair<const char*, double> cases[] = {{"3j", 3.0}, {"1.5J", 1.5}, {"0j", 0.0}};
    for (const auto& [source, imag] : cases) {
        Parsed p = constant_of(source);
        ASSERT_TRUE(p.constant) << source;
        EXPECT_EQ(p.constant->value.kind, Kind::Complex) << source;
        EXPECT_EQ(p.constant->value.float_value, imag) << source;
    }
    Parsed inf = constant_of("1e500j");
    ASSERT_TRUE(inf.constant);
    EXPECT_TRUE(std::isinf(inf.constant->value.float_value));
}

TEST(parser_literals, string_escapes_decode_to_utf8) {
    const std::pair<const char*, const char*> cases[] = {
        {R"("\x41\u00e9\U0001F600")", "41c3a9f09f9880"},
        {R"("\N{BULLET}")", "e280a2"},
        {R"("\N{LATIN SMALL LETTER A}")", "61"},
        {R"("\N{NBSP}")", "c2a0"},  // a name alias
        {R"("\N{nbsp}\N{vs17}\N{latin small letter a}")", "c2a0f3a0848061"},
        {R"("\777")", "c7bf"},
        {R"("\0")", "00"},
        {R"("\q")", "5c71"},  // unknown escapes stay as written
        {R"(r"\n")", "5c6e"},
        {"\"a\\\nb\"", "6162"},
        {"'\\\r\nx'", "78"},
        {"\"\"\"a\r\nb\"\"\"", "610a62"},
    };
    for (const auto& [source, bytes] : cases) {
        Parsed p = constant_of(source);
        ASSERT_TRUE(p.constant) << source;
        EXPECT_EQ(p.constant->value.kind, Kind::Str) << source;
        EXPECT_EQ(hex(p.constant->value.text), bytes) << source;
    }
}

TEST(parser_literals, lone_surrogates_use_generalised_utf8) {
    Parsed p = constant_of(R"("\ud800")");
    ASSERT_TRUE(p.constant);
    EXPECT_EQ(hex(p.constant->value.text), "eda080");
}

TEST(parser_literals, bytes_decode_only_byte_escapes) {
    const std::pair<const char*, const char*> cases[] = {
        {R"(b"\x41\101\n")", "41410a"},
        {R"(b"\u0041")", "5c7530303431"},
        {R"(rb"\x")", "5c78"},
    };
    for (const auto& [source, bytes] : cases) {
        Parsed p = constant_of(source);
        ASSERT_TRUE(p.constant) << source;
        EXPECT_EQ(p.constant->value.kind, Kind::Bytes) << source;
        EXPECT_EQ(hex(p.constant->value.text), bytes) << source;
    }
}

TEST(parser_literals, adjacent_strings_join_and_keep_the_first_prefix_kind) {
    Parsed joined = constant_of(R"("a" "b")");
    ASSERT_TRUE(joined.constant);
    EXPECT_EQ(joined.constant->value.text, "ab");
    EXPECT_EQ(joined.constant->kind.data(), nullptr);

    Parsed u = constant_of(R"(u"x")");
    ASSERT_TRUE(u.constant);
    EXPECT_EQ(u.constant->kind, "u");
}

}  // namespace
}  // namespace norvex::pyast
