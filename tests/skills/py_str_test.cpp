// Python's str() and repr() of decoded JSON values.
#include "norvex/common/pyjson.hpp"
#include "norvex/skills/creator/py_str.hpp"

#include <gtest/gtest.h>

using norvex::pyjson::parse;
using norvex::skills::creator::py_repr;
using norvex::skills::creator::py_str;

TEST(PyStr, ScalarsReadAsPythonPrintsThem) {
    EXPECT_EQ(py_str(parse("3")), "3");
    EXPECT_EQ(py_str(parse("-7")), "-7");
    EXPECT_EQ(py_str(parse("18446744073709551615")), "18446744073709551615");
    EXPECT_EQ(py_str(parse("2.5")), "2.5");
    EXPECT_EQ(py_str(parse("1e-05")), "1e-05");
    EXPECT_EQ(py_str(parse("1e16")), "1e+16");
    EXPECT_EQ(py_str(parse("60.0")), "60.0");
    EXPECT_EQ(py_str(parse("true")), "True");
    EXPECT_EQ(py_str(parse("false")), "False");
    EXPECT_EQ(py_str(parse("null")), "None");
    // Text is itself, quotes and escapes untouched.
    EXPECT_EQ(py_str(parse(R"("it's \"x\"\t")")), "it's \"x\"\t");
}

TEST(PyStr, ContainersQuoteTextAsRepr) {
    // The expectation is str() of the same JSON under CPython 3.11.
    const auto value = parse(
        R"([1, 2.5, true, null, "it's", "say \"hi\"", "'\"", "a\tb\n\u0001\u007f\\",)"
        R"( "\u00e9\u200b\u00a0\ud83d\ude00\ue000\udbff\udffd", {"k": [], "e": {}}, "\ud800x"])");
    EXPECT_EQ(py_str(value),
              "[1, 2.5, True, None, \"it's\", 'say \"hi\"', '\\'\"', 'a\\tb\\n\\x01\\x7f\\\\', "
              "'\xC3\xA9\\u200b\\xa0\xF0\x9F\x98\x80\\ue000\\U0010fffd', {'k': [], 'e': {}}, '\\ud800x']");
    EXPECT_EQ(py_str(parse(R"({"a": {"b": [null, false]}})")), "{'a': {'b': [None, False]}}");
    EXPECT_EQ(py_repr("plain"), "'plain'");
}
