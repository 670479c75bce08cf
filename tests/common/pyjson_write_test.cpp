// Tests for pyjson::dumps, dump_to and float_repr against json.dumps and repr().
#include "norvex/common/pyjson.hpp"

#include <gtest/gtest.h>

#include <boost/json.hpp>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

namespace json = boost::json;
using norvex::pyjson::dump_to;
using norvex::pyjson::dumps;
using norvex::pyjson::float_repr;
using norvex::pyjson::Layout;
using norvex::pyjson::parse;

constexpr double inf = std::numeric_limits<double>::infinity();

// Inputs are built with Boost's own parser so the writer is tested on its own.
const json::value nested = json::parse(
    R"({"name": "x", "list": [1, 2.5, [], {}, [[]], {"a": {}}], "empty": {}, "n": null, "t": true, "f": false})");

TEST(PyjsonWrite, CompactLayout) {
    EXPECT_EQ(dumps(nested),
              R"({"name": "x", "list": [1, 2.5, [], {}, [[]], {"a": {}}], "empty": {}, "n": null, "t": true, "f": false})");
    EXPECT_EQ(dumps(json::array{}), "[]");
    EXPECT_EQ(dumps(json::object{}), "{}");
}

TEST(PyjsonWrite, Indent2Layout) {
    EXPECT_EQ(dumps(nested, Layout::indent2),
              "{\n  \"name\": \"x\",\n  \"list\": [\n    1,\n    2.5,\n    [],\n    {},\n    [\n      []\n    ],\n"
              "    {\n      \"a\": {}\n    }\n  ],\n  \"empty\": {},\n  \"n\": null,\n  \"t\": true,\n  \"f\": false\n}");
    EXPECT_EQ(dumps(json::array{}, Layout::indent2), "[]");
    EXPECT_EQ(dumps(json::object{}, Layout::indent2), "{}");
    EXPECT_EQ(dumps(json::value("s"), Layout::indent2), "\"s\"");
    const json::value keyed = json::parse(R"({"k\u00e9\n": {"\"": [1]}})");
    EXPECT_EQ(dumps(keyed, Layout::indent2), "{\n  \"k\\u00e9\\n\": {\n    \"\\\"\": [\n      1\n    ]\n  }\n}");
}

TEST(PyjsonWrite, Numbers) {
    const json::array numbers{1.0,
                              1e16,
                              -0.0,
                              inf,
                              -inf,
                              std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<std::int64_t>::min(),
                              std::numeric_limits<std::uint64_t>::max(),
                              std::uint64_t{9223372036854775808ULL},
                              0.1,
                              1e-7,
                              100.0};
    EXPECT_EQ(dumps(numbers), "[1.0, 1e+16, -0.0, Infinity, -Infinity, NaN, -9223372036854775808, "
                              "18446744073709551615, 9223372036854775808, 0.1, 1e-07, 100.0]");
}

TEST(PyjsonWrite, StringEscapesAreAsciiOnly) {
    std::string controls;
    for (char c = 0; c < 0x20; ++c) controls += c;
    EXPECT_EQ(dumps(json::value(controls + "\x7f \"\\/")),
              R"("\u0000\u0001\u0002\u0003\u0004\u0005\u0006\u0007\b\t\n\u000b\f\r\u000e\u000f)"
              R"(\u0010\u0011\u0012\u0013\u0014\u0015\u0016\u0017\u0018\u0019\u001a\u001b\u001c\u001d\u001e\u001f)"
              R"(\u007f \"\\/")");
    EXPECT_EQ(dumps(json::value("é中😀\u2028\uffff\U0010ffff~")),
              R"("\u00e9\u4e2d\ud83d\ude00\u2028\uffff\udbff\udfff~")");
    EXPECT_EQ(dumps(json::object{{"é", "x"}}), R"({"\u00e9": "x"})");
}

TEST(PyjsonWrite, LoneSurrogatesAndBadBytes) {
    // Generalised UTF-8 surrogates come out as the escapes they were read from.
    EXPECT_EQ(dumps(json::value("\xed\xa0\x80")), R"("\ud800")");
    EXPECT_EQ(dumps(json::value("\xed\xbf\xbf")), R"("\udfff")");
    EXPECT_EQ(dumps(json::value("a\xed\xa0\x80\xed\xb0\x80" "b")), R"("a\ud800\udc00b")");
    // Anything else malformed is U+FFFD, one per maximal bad run, as
    // bytes.decode("utf-8", "replace") counts them.
    const struct {
        const char* bytes;
        const char* text;
    } bad[] = {
        {"\xff", R"("\ufffd")"},
        {"a\xc3", R"("a\ufffd")"},
        {"\xe2\x82x", R"("\ufffdx")"},
        {"\xf0\x9f\x98", R"("\ufffd")"},
        {"\xc0\xaf", R"("\ufffd\ufffd")"},
        {"\xe0\x80\x80", R"("\ufffd\ufffd\ufffd")"},
        {"\xf4\x90\x80\x80", R"("\ufffd\ufffd\ufffd\ufffd")"},
        {"\xf8\x88\x80\x80\x80", R"("\ufffd\ufffd\ufffd\ufffd\ufffd")"},
        {"\x80\xbf", R"("\ufffd\ufffd")"},
    };
    for (const auto& c : bad) EXPECT_EQ(dumps(json::value(c.bytes)), c.text) << c.text;
}

TEST(PyjsonWrite, DumpToAppends) {
    std::string out = "answer: ";
    dump_to(out, json::parse(R"({"ok": [true]})"));
    dump_to(out, json::value(nullptr), Layout::indent2);
    EXPECT_EQ(out, R"(answer: {"ok": [true]}null)");
}

TEST(PyjsonWrite, FloatReprMatchesPython) {
    const struct {
        double x;
        const char* repr;
    } cases[] = {
        {60.0, "60.0"},
        {0.5, "0.5"},
        {1e-05, "1e-05"},
        {1e16, "1e+16"},
        {123456789012345.0, "123456789012345.0"},
        {1e15, "1000000000000000.0"},
        {9999999999999998.0, "9999999999999998.0"},
        {12345678901234567.0, "1.2345678901234568e+16"},
        {1e-4, "0.0001"},
        {0.00009999, "9.999e-05"},
        {0.000123, "0.000123"},
        {1.23e-5, "1.23e-05"},
        {-1.5e-7, "-1.5e-07"},
        {1.5e300, "1.5e+300"},
        {1e22, "1e+22"},
        {5e-324, "5e-324"},
        {2.5e-310, "2.5e-310"},
        {1.7976931348623157e308, "1.7976931348623157e+308"},
        {0.1 + 0.2, "0.30000000000000004"},
        {9007199254740992.0, "9007199254740992.0"},
        {-123.0, "-123.0"},
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        {inf, "inf"},
        {-inf, "-inf"},
        {std::numeric_limits<double>::quiet_NaN(), "nan"},
    };
    for (const auto& c : cases) EXPECT_EQ(float_repr(c.x), c.repr);
}

TEST(PyjsonWrite, FloatReprReadsBackExactly) {
    std::mt19937_64 bits(20240601);
    for (int i = 0; i < 20000; ++i) {
        const std::uint64_t b = bits();
        double x;
        std::memcpy(&x, &b, sizeof x);
        if (!std::isfinite(x)) continue;
        const std::string text = float_repr(x);
        double back = 0;
        ASSERT_EQ(std::from_chars(text.data(), text.data() + text.size(), back).ec, std::errc{}) << text;
        ASSERT_EQ(std::memcmp(&back, &x, sizeof x), 0) << text;
        ASSERT_TRUE(text.find_first_of(".e") != std::string::npos) << text;
    }
}

TEST(PyjsonRoundTrip, PythonDocumentReadsAndWritesAsPythonDoes) {
    const json::value v = parse(
        R"({"b": [1, 2.50, -0, 1E2, 12345678901234567890], "a": "\u00e9\ud83d\ude00\ud800", )"
        R"("b": {"x": NaN, "y": -Infinity}, "c": "\/"})");
    EXPECT_EQ(dumps(v), R"({"b": {"x": NaN, "y": -Infinity}, "a": "\u00e9\ud83d\ude00\ud800", "c": "/"})");
    EXPECT_EQ(dumps(v, Layout::indent2),
              "{\n  \"b\": {\n    \"x\": NaN,\n    \"y\": -Infinity\n  },\n"
              "  \"a\": \"\\u00e9\\ud83d\\ude00\\ud800\",\n  \"c\": \"/\"\n}");
}

TEST(PyjsonRoundTrip, ParseOfDumpsGivesTheSameValue) {
    json::object o;
    o["text"] = "tab\t quote\" é 😀 \xed\xb0\x80 \x7f";
    o["numbers"] = json::array{0, -1, std::numeric_limits<std::int64_t>::min(),
                               std::numeric_limits<std::uint64_t>::max(), 0.1, -0.0, 1e300, 5e-324, inf, -inf};
    o["nested"] = json::array{json::object{}, json::array{}, json::object{{"k", json::array{nullptr, true}}}};
    const json::value v = o;
    for (Layout layout : {Layout::compact, Layout::indent2}) {
        const json::value back = parse(dumps(v, layout));
        EXPECT_EQ(back, v);
        EXPECT_TRUE(std::signbit(back.at("numbers").as_array()[5].as_double()));
    }
}

}  // namespace
