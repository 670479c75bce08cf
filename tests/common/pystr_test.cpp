// Tests for the Python str helpers; expected values come from CPython.
#include "norvex/common/pystr.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ps = norvex::pystr;
using Lines = std::vector<std::string_view>;

TEST(PystrLength, CountsCodePointsIncludingSurrogatesAndBadBytes) {
    EXPECT_EQ(ps::length(""), 0u);
    EXPECT_EQ(ps::length("héllo wörld"), 11u);
    EXPECT_EQ(ps::length("日本語"), 3u);
    EXPECT_EQ(ps::length("a\xf0\x9f\x98\x80" "b"), 3u);
    EXPECT_EQ(ps::length("x\xed\xa0\x80y"), 3u);                // lone surrogate
    EXPECT_EQ(ps::length("\xed\xa0\x80\xed\xb0\x80"), 2u);      // a pair stays two
    EXPECT_EQ(ps::length("\xff"), 1u);
    EXPECT_EQ(ps::length("\xe2\x82" "A"), 3u);                  // truncated: a byte each
    EXPECT_EQ(ps::length("\xc0\x80"), 2u);                      // overlong
    EXPECT_EQ(ps::length("\xf4\x90\x80\x80"), 4u);              // past U+10FFFF
}

TEST(PystrLength, CutNeverSplitsACharacter) {
    EXPECT_EQ(ps::cut("abc", 0), "");
    EXPECT_EQ(ps::cut("abc", 2), "ab");
    EXPECT_EQ(ps::cut("abc", 99), "abc");
    EXPECT_EQ(ps::cut("héllo", 2), "hé");
    EXPECT_EQ(ps::cut("日本語", 2), "日本");
    EXPECT_EQ(ps::cut("a\xf0\x9f\x98\x80" "b", 2), "a\xf0\x9f\x98\x80");
    EXPECT_EQ(ps::cut("\xed\xa0\x80\xed\xb0\x80", 1), "\xed\xa0\x80");
    EXPECT_EQ(ps::cut("\xe2\x82" "A", 1), "\xe2");
    // Around the eight-byte ASCII steps: a wide character before, at and
    // after each block edge.
    for (std::size_t k = 0; k < 20; ++k) {
        const std::string a(k, 'a');
        const std::string s = a + "é" + std::string(11, 'b');
        EXPECT_EQ(ps::length(s), k + 12) << k;
        EXPECT_EQ(ps::cut(s, k), a) << k;
        EXPECT_EQ(ps::cut(s, k + 1), a + "é") << k;
        EXPECT_EQ(ps::cut(s, k + 9), a + "é" + std::string(8, 'b')) << k;
    }
}

TEST(PystrSpace, MatchesPythonsWhiteSpaceSet) {
    const std::vector<char32_t> python_set = {
        0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x1C, 0x1D, 0x1E, 0x1F, 0x20, 0x85, 0xA0, 0x1680,
        0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005, 0x2006, 0x2007, 0x2008, 0x2009,
        0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000};
    std::vector<char32_t> found;
    for (char32_t c = 0; c < 0x110000; ++c)
        if (ps::is_space(c)) found.push_back(c);
    EXPECT_EQ(found, python_set);

    EXPECT_TRUE(ps::isspace(" \xe2\x80\x80\xe2\x80\x8a "));
    EXPECT_TRUE(ps::isspace("\x1c\x1f\xc2\x85"));
    EXPECT_FALSE(ps::isspace(""));
    EXPECT_FALSE(ps::isspace(" \xe2\x80\x8b"));  // U+200B is not space
    EXPECT_FALSE(ps::isspace("\xe1\xa0\x8e"));   // nor U+180E
}

TEST(PystrSpace, StripFamily) {
    EXPECT_EQ(ps::strip("  \t a b \n"), "a b");
    EXPECT_EQ(ps::lstrip("  \t a b \n"), "a b \n");
    EXPECT_EQ(ps::rstrip("  \t a b \n"), "  \t a b");
    const char* wide = "\xe3\x80\x80\xc2\xa0x\xe2\x80\xa8\xe2\x81\x9f";  // U+3000 NBSP x U+2028 U+205F
    EXPECT_EQ(ps::strip(wide), "x");
    EXPECT_EQ(ps::lstrip(wide), "x\xe2\x80\xa8\xe2\x81\x9f");
    EXPECT_EQ(ps::rstrip(wide), "\xe3\x80\x80\xc2\xa0x");
    EXPECT_EQ(ps::strip("\x1c\x1fx\xc2\x85"), "x");
    EXPECT_EQ(ps::strip("\xe2\x80\x8bx\xe2\x80\x8b"), "\xe2\x80\x8bx\xe2\x80\x8b");
    EXPECT_EQ(ps::strip("\xef\xbb\xbfx"), "\xef\xbb\xbfx");  // BOM is not space
    EXPECT_EQ(ps::strip(" \xe2\x80\x80 "), "");
    EXPECT_EQ(ps::strip(""), "");
    // A stray continuation byte after NBSP's bytes is a character of its own,
    // not part of the space.
    EXPECT_EQ(ps::rstrip("a\xc2\xa0\x80"), "a\xc2\xa0\x80");
    EXPECT_EQ(ps::rstrip("a\xe2\x80"), "a\xe2\x80");
}

TEST(PystrSplitlines, BreaksAndKeepends) {
    EXPECT_EQ(ps::splitlines(""), Lines{});
    EXPECT_EQ(ps::splitlines("a\nb\r\nc\rd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(ps::splitlines("a\nb\r\nc\rd", true), (Lines{"a\n", "b\r\n", "c\r", "d"}));
    EXPECT_EQ(ps::splitlines("a\n"), Lines{"a"});
    EXPECT_EQ(ps::splitlines("\n"), Lines{""});
    EXPECT_EQ(ps::splitlines("\n\n", true), (Lines{"\n", "\n"}));
    EXPECT_EQ(ps::splitlines("a\r\r\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(ps::splitlines("a\n\rb", true), (Lines{"a\n", "\r", "b"}));
    // \x1f separates units but is not a line break.
    EXPECT_EQ(ps::splitlines("x\vy\fz\x1cw\x1dv\x1eu\x1ft"),
              (Lines{"x", "y", "z", "w", "v", "u\x1ft"}));
    EXPECT_EQ(ps::splitlines("a\xc2\x85" "b\xe2\x80\xa8" "c\xe2\x80\xa9" "d", true),
              (Lines{"a\xc2\x85", "b\xe2\x80\xa8", "c\xe2\x80\xa9", "d"}));
    EXPECT_EQ(ps::splitlines("\xe2\x80\xa8"), Lines{""});
    // NBSP and U+2027 share lead bytes with breaks but are not breaks.
    EXPECT_EQ(ps::splitlines("a\xc2\xa0" "b\xe2\x80\xa7" "c"), Lines{"a\xc2\xa0" "b\xe2\x80\xa7" "c"});
}

TEST(PystrCase, FullMappingAndFinalSigma) {
    EXPECT_EQ(ps::lower("Hello World 123"), "hello world 123");
    EXPECT_EQ(ps::upper("Hello World 123"), "HELLO WORLD 123");
    EXPECT_EQ(ps::upper("straße"), "STRASSE");
    EXPECT_EQ(ps::lower("İ"), "i\xcc\x87");
    EXPECT_EQ(ps::upper("ŉ"), "\xca\xbcN");
    EXPECT_EQ(ps::upper("ﬃ"), "FFI");
    EXPECT_EQ(ps::upper("ǰ"), "J\xcc\x8c");
    EXPECT_EQ(ps::upper("ῼ"), "ΩΙ");
    EXPECT_EQ(ps::upper("\xcd\x85"), "Ι");  // U+0345
    EXPECT_EQ(ps::lower("ǅ"), "ǆ");
    EXPECT_EQ(ps::upper("ǅ"), "Ǆ");
    EXPECT_EQ(ps::lower("ẞ"), "ß");
    EXPECT_EQ(ps::lower("ÀÉÎõü"), "àéîõü");
    EXPECT_EQ(ps::upper("ÀÉÎõü"), "ÀÉÎÕÜ");

    EXPECT_EQ(ps::lower("ΑΣ"), "ας");
    EXPECT_EQ(ps::lower("ΟΔΟΣ ΟΔΟΣ."), "οδος οδος.");
    EXPECT_EQ(ps::lower("ΣΑ"), "σα");
    EXPECT_EQ(ps::lower("Σ"), "σ");
    EXPECT_EQ(ps::lower("A'Σ"), "a'ς");    // apostrophe is case-ignorable
    EXPECT_EQ(ps::lower("AΣ'b"), "aσ'b");

    // Lone surrogates pass through and break the sigma context, as in Python;
    // invalid bytes behave the same way.
    EXPECT_EQ(ps::lower("A\xed\xa0\x80Σ"), "a\xed\xa0\x80σ");
    EXPECT_EQ(ps::upper("x\xed\xa0\x80Σ"), "X\xed\xa0\x80Σ");
    EXPECT_EQ(ps::lower("A\xffΣ\xc3"), "a\xffσ\xc3");
    EXPECT_EQ(ps::upper("\xe2\x82" "a\xf0\x9f\x98"), "\xe2\x82" "A\xf0\x9f\x98");
}

TEST(PystrClasses, IsUpper) {
    EXPECT_TRUE(ps::isupper("ABC1"));
    EXPECT_FALSE(ps::isupper("1"));
    EXPECT_FALSE(ps::isupper(""));
    EXPECT_FALSE(ps::isupper(" "));
    EXPECT_FALSE(ps::isupper("ǅ"));        // titlecase
    EXPECT_FALSE(ps::isupper("A ǅ"));
    EXPECT_TRUE(ps::isupper("Ⅷ"));         // Other_Uppercase, category Nl
    EXPECT_FALSE(ps::isupper("ⅷ"));
    EXPECT_TRUE(ps::isupper("ÀB"));
    EXPECT_FALSE(ps::isupper("Àb"));
    EXPECT_FALSE(ps::isupper("Aª"));       // Other_Lowercase, category Lo
    EXPECT_FALSE(ps::isupper("A\xcd\x85"));  // U+0345 is Lowercase
    EXPECT_FALSE(ps::isupper("ᾈ"));        // Lt
    EXPECT_TRUE(ps::isupper("ΑΒΓ"));
    EXPECT_TRUE(ps::isupper("A\xed\xa0\x80"));
    EXPECT_FALSE(ps::isupper("ABCDEFGHIJKLMNOPq"));
}

TEST(PystrClasses, IsAlnum) {
    EXPECT_TRUE(ps::isalnum("abc123"));
    EXPECT_FALSE(ps::isalnum("abc 123"));
    EXPECT_FALSE(ps::isalnum(""));
    EXPECT_FALSE(ps::isalnum("a_b"));
    EXPECT_FALSE(ps::isalnum("abcdefghijklmnop!"));
    EXPECT_TRUE(ps::isalnum("é"));
    EXPECT_TRUE(ps::isalnum("٣"));   // decimal
    EXPECT_TRUE(ps::isalnum("²"));   // digit
    EXPECT_TRUE(ps::isalnum("½"));   // numeric
    EXPECT_TRUE(ps::isalnum("三"));  // Unihan numeral
    EXPECT_TRUE(ps::isalnum("xⅠ"));
    EXPECT_TRUE(ps::isalnum("ǅʰ"));  // Lt, Lm
    EXPECT_TRUE(ps::isalnum("\xf0\x9d\x90\x80"));  // U+1D400
    EXPECT_FALSE(ps::isalnum("\xcc\x80"));          // combining mark
    EXPECT_FALSE(ps::isalnum("\xf0\x9f\x98\x80"));
    EXPECT_FALSE(ps::isalnum("a\xed\xa0\x80"));
    EXPECT_FALSE(ps::isalnum("a\xff"));
}

TEST(PystrUtf8, DecodeReplaceUsesMaximalSubparts) {
    struct Case { std::string_view in, out; bool valid; };
    const Case cases[] = {
        {"\xe2\x82", "\xef\xbf\xbd", false},
        {"\xe2\x82" "A", "\xef\xbf\xbd" "A", false},
        {"\xf0\x80\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd", false},
        {"\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd", false},
        {"\xed\x9f\xbf", "\xed\x9f\xbf", true},
        {"\xc0\xaf", "\xef\xbf\xbd\xef\xbf\xbd", false},
        {"\xf4\x90\x80\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd", false},
        {"\xf4\x8f\xbf\xbf", "\xf4\x8f\xbf\xbf", true},
        {"\xf0\x9f\x98", "\xef\xbf\xbd", false},
        {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80", true},
        {"a\x80" "b", "a\xef\xbf\xbd" "b", false},
        {"\xe0\x9f\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd", false},
        {"\xe0\xa0\x80", "\xe0\xa0\x80", true},
        {"\xf5\x80", "\xef\xbf\xbd\xef\xbf\xbd", false},
        {"\xc3\xa9\xc3", "\xc3\xa9\xef\xbf\xbd", false},
        {"\xe2\x82\xe2\x82\xac", "\xef\xbf\xbd\xe2\x82\xac", false},
        {"0123456789\xff" "abcdef", "0123456789\xef\xbf\xbd" "abcdef", false},
        {"\xf8\x88\x80\x80\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd", false},
        {"", "", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ps::decode_utf8_replace(c.in), c.out) << testing::PrintToString(c.in);
        EXPECT_EQ(ps::is_valid_utf8(c.in), c.valid) << testing::PrintToString(c.in);
    }
}

TEST(PystrUtf8, CodePointConversions) {
    EXPECT_EQ(ps::to_u32("a\xc3\xa9\xe6\x97\xa5\xf0\x9f\x98\x80"), (std::u32string{U'a', 0xE9, 0x65E5, 0x1F600}));
    EXPECT_EQ(ps::to_u32("\xed\xa0\x80\xed\xb0\x80"), (std::u32string{0xD800, 0xDC00}));
    EXPECT_EQ(ps::to_u32("\xe2\x82" "A"), (std::u32string{0xFFFD, 0xFFFD, U'A'}));
    EXPECT_EQ(ps::from_u32(std::u32string{0x7F, 0x80, 0x7FF, 0x800, 0xFFFF, 0x10000, 0x10FFFF}),
              "\x7f\xc2\x80\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf\xf0\x90\x80\x80\xf4\x8f\xbf\xbf");
    EXPECT_EQ(ps::from_u32(std::u32string{0xDFFF}), "\xed\xbf\xbf");
    EXPECT_EQ(ps::from_u32(std::u32string{0x110000}), "\xef\xbf\xbd");
    std::string out = "x";
    ps::append_utf8(out, 0x20AC);
    EXPECT_EQ(out, "x\xe2\x82\xac");
}
