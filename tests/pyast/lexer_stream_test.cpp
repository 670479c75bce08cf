// Tokenizer tests: the stream interface, and that no input crashes, loops or breaks the stream's shape.
#include "lexer_test_util.hpp"

#include <random>

namespace norvex::pyast {
namespace {

// Every stream ends with exactly one ENDMARKER or ERRORTOKEN, error() is set
// exactly for the latter, tokens advance through the source, and each
// token's text is its source slice (names may be normalised instead).
void check_shape(std::string_view source) {
    Arena arena;
    Tokenizer tok(source, arena);
    const TokenStore& tokens = tok.all();
    ASSERT_FALSE(tokens.empty());
    const Token& last = tokens.back();
    ASSERT_TRUE(last.kind == TokenKind::ENDMARKER || last.kind == TokenKind::ERRORTOKEN);
    EXPECT_EQ(last.kind == TokenKind::ERRORTOKEN, tok.error().has_value());
    std::uint32_t previous = 0;
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
        const Token& t = tokens[i];
        EXPECT_NE(t.kind, TokenKind::ENDMARKER);
        EXPECT_NE(t.kind, TokenKind::ERRORTOKEN);
        EXPECT_LE(t.start, t.end);
        EXPECT_LE(t.end, source.size());
        EXPECT_GE(t.start, previous);
        EXPECT_LE(t.lineno, t.end_lineno);
        previous = t.start;
        if (t.kind != TokenKind::NAME && t.kind != TokenKind::INDENT && t.kind != TokenKind::DEDENT) {
            EXPECT_EQ(tok.text(t), source.substr(t.start, t.end - t.start));
        }
    }
    if (tok.error()) {
        EXPECT_FALSE(tok.error()->msg.empty());
    }
}

TEST(lexer_stream, next_walks_the_tokens_then_repeats_the_last) {
    Arena arena;
    Tokenizer tok("a + b\n", arena);
    EXPECT_EQ(tok.next().kind, TokenKind::NAME);
    EXPECT_EQ(tok.next().kind, TokenKind::PLUS);
    EXPECT_EQ(tok.text(tok.next()), "b");
    EXPECT_EQ(tok.next().kind, TokenKind::NEWLINE);
    EXPECT_EQ(tok.next().kind, TokenKind::ENDMARKER);
    EXPECT_EQ(tok.next().kind, TokenKind::ENDMARKER);
    EXPECT_TRUE(tok.finished());
    EXPECT_FALSE(tok.error());
}

TEST(lexer_stream, at_tokenizes_only_as_far_as_asked) {
    Arena arena;
    Tokenizer tok("a\nb\nc\n", arena);
    EXPECT_EQ(tok.text(tok.at(0)), "a");
    EXPECT_LT(tok.tokens().size(), 7u);
    EXPECT_FALSE(tok.finished());
    EXPECT_EQ(tok.text(tok.at(4)), "c");
    EXPECT_EQ(tok.at(100).kind, TokenKind::ENDMARKER);
    EXPECT_EQ(tok.all().size(), 7u);
}

TEST(lexer_stream, an_error_ends_the_stream_with_one_error_token) {
    Arena arena;
    Tokenizer tok("x = (1,\n 'abc\n", arena);
    const auto& tokens = tok.all();
    ASSERT_EQ(tokens.size(), 6u);
    EXPECT_EQ(tokens.back().kind, TokenKind::ERRORTOKEN);
    EXPECT_EQ(tokens.back().lineno, 2);
    EXPECT_EQ(tok.at(1000).kind, TokenKind::ERRORTOKEN);
    ASSERT_TRUE(tok.error());
    EXPECT_EQ(tok.error()->msg, "unterminated string literal (detected at line 2)");
}

TEST(lexer_stream, bytes_that_are_not_utf8_fail_their_whole_line) {
    // What ast.parse gives for the same bytes.
    EXPECT_EQ(kinds("x = 1\n\xFF\n"), "NAME EQUAL NUMBER NEWLINE");
    EXPECT_EQ(error_of("x = 1\n\xFF\n"),
              "SyntaxError: Non-UTF-8 code starting with '\\xff' on line 2, but no encoding declared; see "
              "https://peps.python.org/pep-0263/ for details @ 2:1-2:1");
    EXPECT_EQ(error_of("x = \"\xFF\""),
              "SyntaxError: Non-UTF-8 code starting with '\\xff' on line 1, but no encoding declared; see "
              "https://peps.python.org/pep-0263/ for details @ 1:6-1:6");
    EXPECT_EQ(kinds("x = 1 # \xFF"), "");
    EXPECT_EQ(error_of("a\xE2\x82"),
              "SyntaxError: Non-UTF-8 code starting with '\\xe2' on line 1, but no encoding declared; see "
              "https://peps.python.org/pep-0263/ for details @ 1:2-1:2");
    // A UTF-8-encoded surrogate is not UTF-8.
    EXPECT_EQ(error_of("\xED\xA0\x80"),
              "SyntaxError: Non-UTF-8 code starting with '\\xed' on line 1, but no encoding declared; see "
              "https://peps.python.org/pep-0263/ for details @ 1:1-1:1");
    EXPECT_EQ(error_of("y = \"abc\xC3(\""),
              "SyntaxError: Non-UTF-8 code starting with '\\xc3' on line 1, but no encoding declared; see "
              "https://peps.python.org/pep-0263/ for details @ 1:9-1:9");
}

TEST(lexer_stream, odd_inputs_keep_the_stream_shape) {
    const char* sources[] = {
        "", "\n", "\\", "\\\n", "\r", "\r\r\n", "(", ")", "{", "}", "f'", "f'{", "f'{x:", "f'{x:{", "f'''{x:{y:",
        "t'{x!r:{y}}", "'", "'''", "\"\"\"\\", "0x", "1e", "1_", "\xEF\xBB\xBF", "\xEF\xBB", "\xFF", "\xC3",
        "a\xC3", "\xE2\x82", "x = \xF0\x9F\x98\x80", "if 1:\n\tx\n        y", " x", "\f", "#", "# \xFF",
        "f'{x!r}}'", "f'{{{{'", "f'}}}}'", "rf'\\", "f'\\N{", "f'{'''", "f'{\"\"\"\n",
    };
    for (const char* s : sources) {
        SCOPED_TRACE(s);
        check_shape(s);
    }
}

TEST(lexer_stream, random_inputs_keep_the_stream_shape) {
    // Pieces that steer the tokenizer into every mode and out of it again.
    const char* pieces[] = {"f'", "t'", "rf\"", "'''", "\"", "'", "{", "}", "{{", "}}", ":", "!", "=", "(", ")",
                            "[", "]", "\n", "\r\n", "\\", "\\\n", " ", "\t", "\f", "#", "x", "if", "0", "0x",
                            "1e", "_", ".", "1.5j", "\xC3\xA9", "\xE2\x82\xAC", "\xFF", "b'", "u\"", "N{"};
    std::mt19937 rng(20261208);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> length(1, 40);
    for (int round = 0; round < 3000; ++round) {
        std::string s;
        for (int n = length(rng); n > 0; --n) s += pieces[pick(rng)];
        SCOPED_TRACE(s);
        check_shape(s);
        if (HasFailure()) break;
    }
}

}  // namespace
}  // namespace norvex::pyast
