// Tests for pyjson::parse: json.loads' values, their Python type names, messages and error positions.
#include "norvex/common/pyjson.hpp"

#include <gtest/gtest.h>

#include <boost/json.hpp>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace {

namespace json = boost::json;
using namespace std::string_view_literals;
using norvex::pyjson::DecodeError;
using norvex::pyjson::parse;

// Runs parse and returns the error it raised; fails the test when it raised none.
DecodeError error_of(std::string_view text) {
    try {
        parse(text);
    } catch (const DecodeError& e) {
        return e;
    }
    ADD_FAILURE() << "no DecodeError for: " << text;
    return DecodeError("none", "", 0);
}

TEST(PyjsonParse, Scalars) {
    EXPECT_TRUE(parse("null").is_null());
    EXPECT_EQ(parse(" true ").as_bool(), true);
    EXPECT_EQ(parse("\t\r\nfalse\n").as_bool(), false);
    EXPECT_EQ(parse("\"hi\"").as_string(), "hi");
    EXPECT_EQ(parse("-0").as_int64(), 0);
    EXPECT_EQ(parse("1.5E-3").as_double(), 0.0015);
    EXPECT_TRUE(std::signbit(parse("-0.0").as_double()));
    EXPECT_TRUE(std::isnan(parse("NaN").as_double()));
    EXPECT_EQ(parse("Infinity").as_double(), std::numeric_limits<double>::infinity());
    EXPECT_EQ(parse("[-Infinity]").as_array()[0].as_double(), -std::numeric_limits<double>::infinity());
}

TEST(PyjsonParse, IntegersKeepTheirWidthUntilTheyNeedADouble) {
    EXPECT_EQ(parse("9223372036854775807").as_int64(), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(parse("-9223372036854775808").as_int64(), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(parse("9223372036854775808").as_uint64(), 9223372036854775808ULL);
    EXPECT_EQ(parse("18446744073709551615").as_uint64(), std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(parse("18446744073709551616").as_double(), 18446744073709551616.0);
    EXPECT_EQ(parse("-9223372036854775809").as_double(), -9223372036854775808.0);
}

TEST(PyjsonParse, FloatsAreCorrectlyRoundedAndSaturate) {
    EXPECT_EQ(parse("0.1").as_double(), 0.1);
    EXPECT_EQ(parse("2.2250738585072014e-308").as_double(), 2.2250738585072014e-308);
    EXPECT_EQ(parse("1.7976931348623157e308").as_double(), 1.7976931348623157e308);
    EXPECT_EQ(parse("5e-324").as_double(), 5e-324);
    // Past the double range Python gives inf and 0.0 rather than an error.
    EXPECT_EQ(parse("1e400").as_double(), std::numeric_limits<double>::infinity());
    EXPECT_EQ(parse("-1e400").as_double(), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(parse("1.7976931348623159e308").as_double(), std::numeric_limits<double>::infinity());
    EXPECT_EQ(parse("0.00001e-400").as_double(), 0.0);
    EXPECT_TRUE(std::signbit(parse("-1e-400").as_double()));
    EXPECT_EQ(parse("1" + std::string(400, '0')).as_double(), std::numeric_limits<double>::infinity());
}

TEST(PyjsonParse, Escapes) {
    EXPECT_EQ(parse(R"("\"\\\/\b\f\n\r\t")").as_string(), "\"\\/\b\f\n\r\t");
    EXPECT_EQ(parse(R"("a\u0000b")").as_string(), std::string("a\0b", 3));
    EXPECT_EQ(parse(R"("\u00e9\u4E2D")").as_string(), "é中");
    EXPECT_EQ(parse(R"("\ud83d\ude00")").as_string(), "😀");
    EXPECT_EQ(parse(R"("\uDBFF\uDFFF")").as_string(), "\xf4\x8f\xbf\xbf");
    // Text outside escapes passes through untouched, including DEL.
    EXPECT_EQ(parse("\"é中😀\x7f\"").as_string(), "é中😀\x7f");
}

TEST(PyjsonParse, LoneSurrogatesStayAsGeneralisedUtf8) {
    EXPECT_EQ(parse(R"("\ud800")").as_string(), "\xed\xa0\x80");
    EXPECT_EQ(parse(R"("\udfff")").as_string(), "\xed\xbf\xbf");
    // A high surrogate joins only a following low one.
    EXPECT_EQ(parse(R"("\ud800\u0041")").as_string(), "\xed\xa0\x80" "A");
    EXPECT_EQ(parse(R"("\udc00\ud800")").as_string(), "\xed\xb0\x80\xed\xa0\x80");
    EXPECT_EQ(parse(R"("\ud800x\udc00")").as_string(), "\xed\xa0\x80x\xed\xb0\x80");
}

TEST(PyjsonParse, ContainersKeepOrderAndLastDuplicateWinsInPlace) {
    const json::value v = parse(R"( { "b" : [1, 2.5, [], {}, [[]]] , "a":{"x":null},"c":"" } )");
    const json::object& o = v.as_object();
    ASSERT_EQ(o.size(), 3u);
    EXPECT_EQ(o.begin()[0].key(), "b");
    EXPECT_EQ(o.begin()[1].key(), "a");
    EXPECT_EQ(o.begin()[2].key(), "c");
    EXPECT_EQ(o.at("b"), json::parse("[1, 2.5, [], {}, [[]]]"));

    const json::object dup = parse(R"({"a": 1, "b": 2, "a": {"z": 3}, "c": 4, "b": 5})").as_object();
    ASSERT_EQ(dup.size(), 3u);
    EXPECT_EQ(dup.begin()[0].key(), "a");
    EXPECT_EQ(dup.begin()[0].value(), json::parse(R"({"z": 3})"));
    EXPECT_EQ(dup.begin()[1].key(), "b");
    EXPECT_EQ(dup.begin()[1].value().as_int64(), 5);
    EXPECT_EQ(dup.begin()[2].key(), "c");
}

struct ErrorCase {
    std::string_view text;
    const char* what;
    std::size_t pos, lineno, colno;
};

// Every row is json.loads' message on CPython 3.14.
const ErrorCase error_cases[] = {
    // structure
    {"", "Expecting value: line 1 column 1 (char 0)", 0, 1, 1},
    {"   ", "Expecting value: line 1 column 4 (char 3)", 3, 1, 4},
    {"[1 2]", "Expecting ',' delimiter: line 1 column 4 (char 3)", 3, 1, 4},
    {"{\"a\" 1}", "Expecting ':' delimiter: line 1 column 6 (char 5)", 5, 1, 6},
    {"{1:2}", "Expecting property name enclosed in double quotes: line 1 column 2 (char 1)", 1, 1, 2},
    {"{\"a\":1 \"b\":2}", "Expecting ',' delimiter: line 1 column 8 (char 7)", 7, 1, 8},
    {"[1,,]", "Expecting value: line 1 column 4 (char 3)", 3, 1, 4},
    {"{\"a\":1,,}", "Expecting property name enclosed in double quotes: line 1 column 8 (char 7)", 7, 1, 8},
    {"[", "Expecting value: line 1 column 2 (char 1)", 1, 1, 2},
    {"{", "Expecting property name enclosed in double quotes: line 1 column 2 (char 1)", 1, 1, 2},
    {"{\"a\"", "Expecting ':' delimiter: line 1 column 5 (char 4)", 4, 1, 5},
    {"{\"a\":", "Expecting value: line 1 column 6 (char 5)", 5, 1, 6},
    {"[1", "Expecting ',' delimiter: line 1 column 3 (char 2)", 2, 1, 3},
    {"[1]]", "Extra data: line 1 column 4 (char 3)", 3, 1, 4},
    {"1 2", "Extra data: line 1 column 3 (char 2)", 2, 1, 3},
    {"truex", "Extra data: line 1 column 5 (char 4)", 4, 1, 5},
    {"nul", "Expecting value: line 1 column 1 (char 0)", 0, 1, 1},
    {"-", "Expecting value: line 1 column 1 (char 0)", 0, 1, 1},
    {"-foo", "Expecting value: line 1 column 1 (char 0)", 0, 1, 1},
    {"+1", "Expecting value: line 1 column 1 (char 0)", 0, 1, 1},
    {".5", "Expecting value: line 1 column 1 (char 0)", 0, 1, 1},
    {"01", "Extra data: line 1 column 2 (char 1)", 1, 1, 2},
    {"1.", "Extra data: line 1 column 2 (char 1)", 1, 1, 2},
    {"1e", "Extra data: line 1 column 2 (char 1)", 1, 1, 2},
    {"1.5e+", "Extra data: line 1 column 4 (char 3)", 3, 1, 4},
    {"-Infinit", "Expecting value: line 1 column 1 (char 0)", 0, 1, 1},
    {"nan", "Expecting value: line 1 column 1 (char 0)", 0, 1, 1},
    {"[-]", "Expecting value: line 1 column 2 (char 1)", 1, 1, 2},
    {"\0141", "Expecting value: line 1 column 1 (char 0)", 0, 1, 1},
    // trailing commas
    {"[1,]", "Illegal trailing comma before end of array: line 1 column 3 (char 2)", 2, 1, 3},
    {"{\"a\":1,}", "Illegal trailing comma before end of object: line 1 column 7 (char 6)", 6, 1, 7},
    {"[1,  ]", "Illegal trailing comma before end of array: line 1 column 3 (char 2)", 2, 1, 3},
    {"{\"a\": 1,\n  }", "Illegal trailing comma before end of object: line 1 column 8 (char 7)", 7, 1, 8},
    {"{\n  \"k\": [1,\n    2,]\n}", "Illegal trailing comma before end of array: line 3 column 6 (char 18)", 18, 3, 6},
    {"[,]", "Expecting value: line 1 column 2 (char 1)", 1, 1, 2},
    {"{,}", "Expecting property name enclosed in double quotes: line 1 column 2 (char 1)", 1, 1, 2},
    // strings
    {"\"abc", "Unterminated string starting at: line 1 column 1 (char 0)", 0, 1, 1},
    {"\"abc\\", "Unterminated string starting at: line 1 column 1 (char 0)", 0, 1, 1},
    {"\"ab\ncd\"", "Invalid control character at: line 1 column 4 (char 3)", 3, 1, 4},
    {"\"\000\""sv, "Invalid control character at: line 1 column 2 (char 1)", 1, 1, 2},
    {"\"\037\"", "Invalid control character at: line 1 column 2 (char 1)", 1, 1, 2},
    {"\"a\\x\"", "Invalid \\escape: line 1 column 3 (char 2)", 2, 1, 3},
    {"\"\\U0041\"", "Invalid \\escape: line 1 column 2 (char 1)", 1, 1, 2},
    {"\"\\uzzzz\"", "Invalid \\uXXXX escape: line 1 column 3 (char 2)", 2, 1, 3},
    {"\"\\u12\"", "Invalid \\uXXXX escape: line 1 column 3 (char 2)", 2, 1, 3},
    {"\"\\u+123\"", "Invalid \\uXXXX escape: line 1 column 3 (char 2)", 2, 1, 3},
    {"\"\\u1234", "Invalid \\uXXXX escape: line 1 column 3 (char 2)", 2, 1, 3},
    {"\"\\ud800\\udc00", "Invalid \\uXXXX escape: line 1 column 9 (char 8)", 8, 1, 9},
    {"\"\\ud800\\uzz00x\"", "Invalid \\uXXXX escape: line 1 column 9 (char 8)", 8, 1, 9},
    {"\"\\ud800\\\"", "Unterminated string starting at: line 1 column 1 (char 0)", 0, 1, 1},
    {"{\"a\\q\": 1}", "Invalid \\escape: line 1 column 4 (char 3)", 3, 1, 4},
    // positions count code points; only '\n' starts a line
    {"[\"é\", x]", "Expecting value: line 1 column 7 (char 6)", 6, 1, 7},
    {"[\"😀\", x]", "Expecting value: line 1 column 7 (char 6)", 6, 1, 7},
    {"{\"é\":\n\"😀\" \"x\"}", "Expecting ',' delimiter: line 2 column 5 (char 10)", 10, 2, 5},
    {"\n\n  x", "Expecting value: line 3 column 3 (char 4)", 4, 3, 3},
    {"[\n1,\n\n]", "Illegal trailing comma before end of array: line 2 column 2 (char 3)", 3, 2, 2},
    {"[1,\r\n2\r\n3]", "Expecting ',' delimiter: line 3 column 1 (char 8)", 8, 3, 1},
    {"[\"中文\", \"é\"] 1", "Extra data: line 1 column 13 (char 12)", 12, 1, 13},
    {"\"é\\u00zz\"", "Invalid \\uXXXX escape: line 1 column 4 (char 3)", 3, 1, 4},
    // a byte order mark is refused only at the very start
    {"\xef\xbb\xbf[1]", "Unexpected UTF-8 BOM (decode using utf-8-sig): line 1 column 1 (char 0)", 0, 1, 1},
    {" \xef\xbb\xbf" "1", "Expecting value: line 1 column 2 (char 1)", 1, 1, 2},
    {"[\xef\xbb\xbf]", "Expecting value: line 1 column 2 (char 1)", 1, 1, 2},
};

TEST(PyjsonParse, ErrorsMatchPython) {
    for (const ErrorCase& c : error_cases) {
        SCOPED_TRACE(std::string(c.text));
        const DecodeError e = error_of(c.text);
        EXPECT_STREQ(e.what(), c.what);
        EXPECT_EQ(e.pos(), c.pos);
        EXPECT_EQ(e.lineno(), c.lineno);
        EXPECT_EQ(e.colno(), c.colno);
        EXPECT_EQ(std::string(c.what).rfind(e.msg() + ": line ", 0), 0u);
    }
}

TEST(PyjsonParse, InvalidUtf8IsReportedWhereItStarts) {
    const struct {
        std::string_view text;
        const char* what;
    } cases[] = {
        {"\xff", "Invalid UTF-8 byte 0xff: line 1 column 1 (char 0)"},
        {"[\"a\xfe\"]", "Invalid UTF-8 byte 0xfe: line 1 column 4 (char 3)"},
        {"[\"é\", \xc3]", "Invalid UTF-8 byte 0xc3: line 1 column 7 (char 6)"},  // truncated
        {"\"\xc0\xaf\"", "Invalid UTF-8 byte 0xc0: line 1 column 2 (char 1)"},    // overlong
        {"\"\xed\xa0\x80\"", "Invalid UTF-8 byte 0xed: line 1 column 2 (char 1)"},  // encoded surrogate
        {"\"\xf4\x90\x80\x80\"", "Invalid UTF-8 byte 0xf4: line 1 column 2 (char 1)"},  // above U+10FFFF
        {"\n\"😀\"\n  \xf0\x9f", "Invalid UTF-8 byte 0xf0: line 3 column 3 (char 7)"},
        // Bytes are checked before the grammar, as Python decodes before parsing.
        {"[1, 2] x \x80", "Invalid UTF-8 byte 0x80: line 1 column 10 (char 9)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        EXPECT_STREQ(error_of(c.text).what(), c.what);
    }
}

TEST(PyjsonParse, DeepNestingIsLimitedWithoutExhaustingTheStack) {
    constexpr std::size_t limit = 10000;
    const std::string text = std::string(limit, '[') + std::string(limit, ']');
    const json::value deep = parse(text);
    EXPECT_EQ(norvex::pyjson::dumps(deep), text);
    const json::value* v = &deep;
    std::size_t depth = 0;
    for (; v->is_array() && !v->as_array().empty(); v = &v->as_array()[0]) ++depth;
    EXPECT_EQ(depth, limit - 1);

    EXPECT_STREQ(error_of(std::string(limit + 1, '[') + std::string(limit + 1, ']')).what(),
                 "Nesting too deep (more than 10000 nested arrays and objects): line 1 column 10001 (char 10000)");
    std::string objects;
    for (std::size_t i = 0; i < 100000; ++i) objects += "{\"k\":[";
    EXPECT_EQ(error_of(objects).msg(), "Nesting too deep (more than 10000 nested arrays and objects)");
}

// The names the skill creator's and the executor's messages give the kinds of decoded values.
TEST(PyjsonParse, TypeNamesArePythons) {
    using norvex::pyjson::type_name;
    EXPECT_EQ(type_name(parse("null")), "NoneType");
    EXPECT_EQ(type_name(parse("1")), "int");
    EXPECT_EQ(type_name(parse("18446744073709551615")), "int");
    EXPECT_EQ(type_name(parse("1.0")), "float");
    EXPECT_EQ(type_name(parse("1e400")), "float");
    EXPECT_EQ(type_name(parse("true")), "bool");
    EXPECT_EQ(type_name(parse("\"\"")), "str");
    EXPECT_EQ(type_name(parse("[]")), "list");
    EXPECT_EQ(type_name(parse("{}")), "dict");
}

}  // namespace
