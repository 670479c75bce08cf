// Tokenizer tests: names, keywords, Unicode identifiers and characters that start no token.
#include "lexer_test_util.hpp"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace norvex::pyast {
namespace {

const Token& first(Tokenizer& tok) { return tok.at(0); }

TEST(lexer_names, hard_keywords_are_marked_and_stay_names) {
    // keyword.kwlist of Python 3.14.
    const char* words[] = {"False", "None", "True", "and", "as", "assert", "async", "await", "break", "class",
                           "continue", "def", "del", "elif", "else", "except", "finally", "for", "from", "global",
                           "if", "import", "in", "is", "lambda", "nonlocal", "not", "or", "pass", "raise",
                           "return", "try", "while", "with", "yield"};
    for (const char* w : words) {
        Arena arena;
        Tokenizer tok(w, arena);
        EXPECT_EQ(first(tok).kind, TokenKind::NAME) << w;
        EXPECT_NE(first(tok).keyword, Keyword::None_) << w;
        EXPECT_EQ(tok.text(first(tok)), w);
    }
    Arena arena;
    Tokenizer tok("if elif else iffy If", arena);
    EXPECT_EQ(tok.at(0).keyword, Keyword::if_);
    EXPECT_EQ(tok.at(1).keyword, Keyword::elif);
    EXPECT_EQ(tok.at(2).keyword, Keyword::else_);
    EXPECT_EQ(tok.at(3).keyword, Keyword::None_);
    EXPECT_EQ(tok.at(4).keyword, Keyword::None_);
}

TEST(lexer_names, soft_keywords_are_names_with_a_mark) {
    // keyword.softkwlist of Python 3.14: _, case, match, type.
    Arena arena;
    Tokenizer tok("match case type _ matches __", arena);
    EXPECT_EQ(tok.at(0).soft, SoftKeyword::match);
    EXPECT_EQ(tok.at(1).soft, SoftKeyword::case_);
    EXPECT_EQ(tok.at(2).soft, SoftKeyword::type);
    EXPECT_EQ(tok.at(3).soft, SoftKeyword::underscore);
    EXPECT_EQ(tok.at(4).soft, SoftKeyword::none);
    EXPECT_EQ(tok.at(5).soft, SoftKeyword::none);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(tok.at(i).kind, TokenKind::NAME);
        EXPECT_EQ(tok.at(i).keyword, Keyword::None_);
    }
    EXPECT_EQ(kinds("match x:\n case _: type = 1\n"), "NAME NAME COLON NEWLINE INDENT NAME NAME COLON NAME EQUAL NUMBER NEWLINE DEDENT ENDMARKER");
    EXPECT_EQ(kinds("async def f(): await x"), "NAME NAME NAME LPAR RPAR COLON NAME NAME NEWLINE ENDMARKER");
}

TEST(lexer_names, unicode_names_carry_their_nfkc_form) {
    // The forms ast.parse gives as Name.id.
    struct Case {
        const char* source;
        const char* id;
    } cases[] = {{"\xEF\xAC\x81 = 1", "fi"}, {"\xE2\x84\x8C = 2", "H"}, {"\xEF\xBC\xA1 = 3", "A"},
                 {"\xE2\x84\xAB = 2", "\xC3\x85"}};
    for (const Case& c : cases) {
        Arena arena;
        Tokenizer tok(c.source, arena);
        EXPECT_EQ(first(tok).kind, TokenKind::NAME) << c.source;
        EXPECT_EQ(tok.text(first(tok)), c.id) << c.source;
        // The token still covers the source spelling.
        EXPECT_EQ(first(tok).start, 0u);
        EXPECT_EQ(first(tok).end, std::string_view(c.source).find(' '));
    }
    Arena arena;
    std::string_view source = "\xC3\xA9t\xC3\xA9 = 1";
    Tokenizer tok(source, arena);
    EXPECT_EQ(tok.text(first(tok)).data(), source.data());  // already normal: no copy
    EXPECT_EQ(first(tok).end_col_offset, 5);          // columns count bytes
}

TEST(lexer_names, identifier_characters_follow_xid_start_and_xid_continue) {
    EXPECT_EQ(kinds("x·y = 4"), "NAME EQUAL NUMBER NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("à = 5"), "NAME EQUAL NUMBER NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("x\xe2\x80\x8d = 1"), "NAME EQUAL NUMBER NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("é́ = 1"), "NAME EQUAL NUMBER NEWLINE ENDMARKER");
    EXPECT_EQ(kinds("x = 1\nÿ"), "NAME EQUAL NUMBER NEWLINE NAME NEWLINE ENDMARKER");
    EXPECT_EQ(error_of("́x = 1"), "SyntaxError: invalid character '́' (U+0301) @ 1:1-1:1");
}

TEST(lexer_names, characters_that_start_no_token_are_errors) {
    EXPECT_EQ(error_of("x = \x0b""1"), "SyntaxError: invalid non-printable character U+000B @ 1:5-1:5");
    EXPECT_EQ(error_of("x = 😀"), "SyntaxError: invalid character '😀' (U+1F600) @ 1:5-1:5");
    EXPECT_EQ(error_of("x = €"), "SyntaxError: invalid character '€' (U+20AC) @ 1:5-1:5");
    EXPECT_EQ(error_of("x = \xc2\xa0"), "SyntaxError: invalid non-printable character U+00A0 @ 1:5-1:5");
    EXPECT_EQ(error_of("x = \xe2\x80\x8b"), "SyntaxError: invalid non-printable character U+200B @ 1:5-1:5");
    EXPECT_EQ(error_of("x = 1\x01"), "SyntaxError: invalid non-printable character U+0001 @ 1:6-1:6");
    EXPECT_EQ(error_of("x = \xe2\x80\xa8"), "SyntaxError: invalid non-printable character U+2028 @ 1:5-1:5");
    EXPECT_EQ(error_of("print('hi')\x7f"), "SyntaxError: invalid non-printable character U+007F @ 1:12-1:12");
    EXPECT_EQ(error_of("a \xee\x80\x80"), "SyntaxError: invalid non-printable character U+E000 @ 1:3-1:3");
}

TEST(lexer_names, a_name_ends_at_the_first_byte_that_cannot_continue_it) {
    // Every ASCII byte after names of every length around the eight-byte steps.
    const std::string filler = "Az_9mQ0z";
    for (std::size_t len = 0; len <= 18; ++len) {
        std::string name = "a";
        for (std::size_t i = 0; i < len; ++i) name += filler[i % filler.size()];
        for (int c = 1; c < 128; ++c) {
            const bool continues = std::isalnum(c) != 0 || c == '_';
            const std::string source = name + static_cast<char>(c) + "zz\n";
            Arena arena;
            Tokenizer tok(source, arena);
            const Token& t = tok.at(0);
            ASSERT_EQ(t.kind, TokenKind::NAME) << source;
            EXPECT_EQ(t.end, name.size() + (continues ? 3 : 0)) << "byte " << c << " after " << name;
        }
        // A non-ASCII letter continues it, wherever it falls.
        const std::string source = name + "\xC3\xA9zz = 1\n";
        Arena arena;
        Tokenizer tok(source, arena);
        EXPECT_EQ(tok.at(0).end, name.size() + 4) << name;
        EXPECT_EQ(tok.at(1).kind, TokenKind::EQUAL);
    }
}

TEST(lexer_names, near_misses_of_keywords_are_plain_names) {
    // One letter changed anywhere, one added or dropped at either end, or the case of one changed.
    const std::string words[] = {"False", "None", "True", "and", "as", "assert", "async", "await", "break", "class",
                                 "continue", "def", "del", "elif", "else", "except", "finally", "for", "from",
                                 "global", "if", "import", "in", "is", "lambda", "nonlocal", "not", "or", "pass",
                                 "raise", "return", "try", "while", "with", "yield", "match", "case", "type", "_"};
    std::vector<std::string> misses;
    for (const std::string& w : words) {
        for (std::size_t i = 0; i < w.size(); ++i) {
            std::string changed = w;
            changed[i] = changed[i] == 'x' ? 'y' : 'x';
            misses.push_back(changed);
            std::string recased = w;
            recased[i] = static_cast<char>(std::isupper(static_cast<unsigned char>(w[i])) ? std::tolower(w[i]) : std::toupper(w[i]));
            if (recased != w) misses.push_back(recased);
        }
        misses.push_back(w + "s");
        misses.push_back("x" + w);
        if (w.size() > 1) misses.push_back(w.substr(1));
        if (w.size() > 1) misses.push_back(w.substr(0, w.size() - 1));
    }
    for (const std::string& m : misses) {
        if (std::find(std::begin(words), std::end(words), m) != std::end(words)) continue;  // "is" from "in", ...
        Arena arena;
        Tokenizer tok(m, arena);
        if (tok.at(0).kind != TokenKind::NAME) continue;  // a string prefix or a number after all
        EXPECT_EQ(tok.at(0).keyword, Keyword::None_) << m;
        EXPECT_EQ(tok.at(0).soft, SoftKeyword::none) << m;
    }
}

}  // namespace
}  // namespace norvex::pyast
