// find_todos: the marker pattern as Python's re reads it; expected texts are the Python reference's.
#include "probe_test_util.hpp"

#include "norvex/common/pystr.hpp"
#include "norvex/workers/astprobe/metrics.hpp"

#include <algorithm>
#include <cctype>
#include <random>
#include <regex>
#include <string>
#include <vector>

using namespace norvex::astprobe;
using norvex::testing::text_of;

TEST(FindTodos, MarkersWordsAndTheRestOfTheLine) {
    const std::string source =
        "# todo: tidy up\n#FIXME\nx = 1  # TODOS later\n# NOTE: first # BUG: second\ns = \"# hack: in a string\"\n"
        "  #   xxx ::: \t spaced out\t \n# f\xc4\xb1xme dotless\n# HACK\xe2\x84\xaa kelvin\n# BUG\xc3\xa9 no\n"
        "# Bug\xcc\x81 mark\n# note\x1f: sep\n# todo_x no\n# TODO1 no\n# todo\x0b# bug: after vt\n# note\x0c# fixme: ff\n"
        "a\xc2\x85# xxx: nel\nb\xe2\x80\xa8# todo: ls\n# Todo:\xe3\x80\x80ideographic\xe3\x80\x80\n#\xc2\xa0todo nbsp\n"
        "# t\xc3\xb6" "do no\n#\xe1\xa0\x8etodo mvs\n# F\xc4\xb0XME dotted\r# bug: cr\r\n# todo: crlf\x1c# hack: fs\x1d"
        "# xxx: gs\x1e# note: rs\n";
    EXPECT_EQ(text_of(find_todos(source)),
              R"([{"line": 1, "type": "TODO", "text": "tidy up"}, {"line": 2, "type": "FIXME", "text": ""}, )"
              R"({"line": 4, "type": "NOTE", "text": "first # BUG: second"}, {"line": 5, "type": "HACK", "text": "in a string\""}, )"
              R"({"line": 6, "type": "XXX", "text": "spaced out"}, {"line": 7, "type": "FIXME", "text": "dotless"}, )"
              R"({"line": 10, "type": "BUG", "text": "\u0301 mark"}, {"line": 11, "type": "NOTE", "text": "sep"}, )"
              R"({"line": 14, "type": "TODO", "text": ""}, {"line": 15, "type": "BUG", "text": "after vt"}, )"
              R"({"line": 16, "type": "NOTE", "text": ""}, {"line": 17, "type": "FIXME", "text": "ff"}, )"
              R"({"line": 19, "type": "XXX", "text": "nel"}, {"line": 21, "type": "TODO", "text": "ls"}, )"
              R"({"line": 22, "type": "TODO", "text": "ideographic"}, {"line": 23, "type": "TODO", "text": "nbsp"}, )"
              R"({"line": 26, "type": "F\u0130XME", "text": "dotted"}, {"line": 27, "type": "BUG", "text": "cr"}, )"
              R"({"line": 28, "type": "TODO", "text": "crlf"}, {"line": 29, "type": "HACK", "text": "fs"}, )"
              R"({"line": 30, "type": "XXX", "text": "gs"}, {"line": 31, "type": "NOTE", "text": "rs"}])");
    EXPECT_EQ(text_of(find_todos("# hac\xe2\x84\xaa: kelvin\n")), R"([{"line": 1, "type": "HAC\u212a", "text": "kelvin"}])");
    EXPECT_TRUE(find_todos("").empty());
    EXPECT_TRUE(find_todos("x = 1\n# nothing to see\n").empty());
}

TEST(FindTodos, WhiteSpaceBetweenHashAndWordIsPythonsWhiteSpace) {
    // re's \s on str, listed by Python 3.11 over every code point.
    const std::vector<char32_t> python_space = {
        0x9, 0xa, 0xb, 0xc, 0xd, 0x1c, 0x1d, 0x1e, 0x1f, 0x20, 0x85, 0xa0, 0x1680, 0x2000, 0x2001, 0x2002, 0x2003,
        0x2004, 0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200a, 0x2028, 0x2029, 0x202f, 0x205f, 0x3000};
    for (char32_t c = 1; c < 0x3100; ++c) {
        if ((c >= 0xd800 && c < 0xe000) || c == '#') continue;
        std::string line = "#";
        norvex::pystr::append_utf8(line, c);
        line += "todo x";
        const bool space = std::find(python_space.begin(), python_space.end(), c) != python_space.end();
        const auto records = find_todos(line);
        // A line break leaves "todo x" alone on the next line, without its hash.
        const bool breaks = c == 0xa || c == 0xb || c == 0xc || c == 0xd || (c >= 0x1c && c <= 0x1e) || c == 0x85 ||
                            c == 0x2028 || c == 0x2029;
        EXPECT_EQ(!records.empty(), space && !breaks) << std::hex << static_cast<unsigned>(c);
    }
}

TEST(FindTodos, CaseInsensitiveWordsAsPythonFoldsThem) {
    // The letters re.IGNORECASE matches for each marker letter, listed by Python 3.11.
    const std::pair<const char*, const char*> words[] = {
        {"t\xc4\xb1" "dy", nullptr},  // no marker has this; guards against matching too much
        {"F\xc4\xb1XME", "FIXME"}, {"f\xc4\xb0xme", "F\xc4\xb0XME"}, {"hac\xe2\x84\xaa", "HAC\xe2\x84\xaa"},
        {"xXx", "XXX"}, {"nOtE", "NOTE"}, {"bUg", "BUG"}, {"T\xc3\x96" "DO", nullptr}, {"\xc5\xbf" "ug", nullptr}};
    for (const auto& [word, type] : words) {
        const auto records = find_todos(std::string("# ") + word + " x");
        if (type == nullptr) {
            EXPECT_TRUE(records.empty()) << word;
        } else {
            ASSERT_EQ(records.size(), 1u) << word;
            EXPECT_EQ(records[0].at("type"), type);
        }
    }
}

TEST(FindTodos, MalformedUtf8ReadsAsReplacementCharacters) {
    EXPECT_EQ(text_of(find_todos("# TODO: caf\xff\n")), R"([{"line": 1, "type": "TODO", "text": "caf\ufffd"}])");
}

TEST(FindTodos, AsciiLinesAgreeWithTheRegularExpression) {
    // The same pattern in std::regex, whose \s, \b and case folding are
    // Python's on ASCII text, over random lines made of the characters where
    // the pattern decides something.
    const std::regex pattern("#[\\t\\n\\v\\f\\r\\x1c-\\x1f ]*(TODO|FIXME|HACK|XXX|NOTE|BUG)\\b[:\\t\\v\\f\\x1c-\\x1f ]*(.*)",
                             std::regex::icase);
    const std::string alphabet = "##  \t:\x1f\x0b" "TODOtodoFIXMEfixmeHACKhackXXXxNOTEnoteBUGbug_1a.";
    std::mt19937 random(20261209);
    std::string source;
    std::string expected = "[";
    for (int number = 1; number <= 20000; ++number) {
        std::string line;
        const std::size_t length = random() % 16;
        for (std::size_t i = 0; i < length; ++i) line += alphabet[random() % alphabet.size()];
        source += line + "\n";
        std::smatch m;
        if (!std::regex_search(line, m, pattern)) continue;
        std::string type = m[1].str();
        std::transform(type.begin(), type.end(), type.begin(), [](char c) { return static_cast<char>(std::toupper(c)); });
        if (expected.size() > 1) expected += ", ";
        expected += R"({"line": )" + std::to_string(number) + R"(, "type": ")" + type + R"(", "text": )" +
                    text_of(boost::json::string(norvex::pystr::strip(m[2].str()))) + "}";
    }
    expected += "]";
    EXPECT_EQ(text_of(find_todos(source)), expected);
}
