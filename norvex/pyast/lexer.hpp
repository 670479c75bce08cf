// The tokenizer: Python 3.14 source text to the token stream CPython's parser reads.
//
// What the stream holds (the parser relies on each point):
// - No COMMENT, NL or ENCODING tokens. NEWLINE ends each logical line (its
//   text is empty or, after a trailing comment, the comment, and it sits on
//   the newline character: start == end unless a comment precedes it). At
//   the end a NEWLINE is added when the last logical line lacks one, then
//   the DEDENTs, then ENDMARKER.
// - INDENT, DEDENT and ENDMARKER have col_offset == end_col_offset == -1, as
//   in CPython; their lineno is the line they belong to.
// - f-strings and t-strings come as FSTRING_START (prefix and quotes),
//   FSTRING_MIDDLE (literal text), LBRACE ... RBRACE (replacement fields, a
//   top-level ':' gives COLON and switches to the format spec, whose text
//   comes as FSTRING_MIDDLE and may hold nested fields), FSTRING_END (the
//   quotes); the TSTRING_* kinds likewise. A middle's text is the raw source
//   slice, escapes undecoded, except that a doubled brace "{{" or "}}" ends
//   the middle after its first brace and the second brace belongs to no
//   token: the middle text already reads as the decoded brace. A named
//   escape "\N{...}" also ends its middle (the next middle follows right
//   after). Middles may span lines; their text keeps "\r\n" and "\r" as in
//   the source, like STRING. Empty middles appear where CPython has them
//   (before the '}' of a format spec, and before a "{{" that opens it).
//   The text of a '=' self-documenting field is source().substr(lbrace.end,
//   equal.end - lbrace.end) (from after '{' through '=').
//   A quote inside a format spec ends the literal (FSTRING_END) while its
//   field is still open: the field's '{' then stays open as a plain bracket,
//   so the parser fails at the FSTRING_END, as CPython's does.
// - "\r\n" and a lone "\r" end lines like "\n" (Python translates them
//   before tokenizing); columns and lines count accordingly.
// - A leading UTF-8 byte order mark is skipped (columns start after it).
// - STRING spans the whole literal, prefix and quotes included, undecoded.
// - A NAME with non-ASCII letters has its NFKC form as its text when that
//   differs from the source (stored in the arena, the token marked
//   `normalized`); `start`/`end` still cover the source bytes. Keywords are recognised on the source spelling.
// - Characters that begin no token ('$', '?', '`') come as OP tokens; the
//   parser reports them as "invalid syntax". "<>" comes as NOTEQUAL with its
//   own text, as in CPython (valid only under barry_as_FLUFL). '!' outside
//   "!=" is always EXCLAMATION.
// - On an error the stream ends with one ERRORTOKEN at the error's position
//   and error() holds CPython's message, type and position (offsets from 1
//   in code points, as SyntaxError.offset). CPython tokenizes on demand, so
//   a parser error on a token before the ERRORTOKEN wins over it; an
//   unclosed bracket at the end ("'(' was never closed": the ERRORTOKEN
//   comes last, where ENDMARKER would, but carries the bracket's position)
//   and bad indentation come the same way. Null bytes
//   and bytes that are not UTF-8 are found up front but reported where
//   CPython reports them (null bytes before any token, bad UTF-8 when the
//   tokenizer reaches the line that holds it).
#pragma once

#include "norvex/pyast/ast.hpp"
#include "norvex/pyast/parse.hpp"
#include "norvex/pyast/token.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norvex::pyast {

class Tokenizer {
public:
    // `source` must outlive the tokenizer and its tokens; a leading UTF-8
    // byte order mark is skipped. Normalised names are stored in `arena`.
    Tokenizer(std::string_view source, Arena& arena);

    // The next token in order; after ENDMARKER or ERRORTOKEN, that token again.
    const Token& next();
    // The i-th token (from 0), tokenizing as far as needed; an index past
    // the end gives the last token (ENDMARKER or ERRORTOKEN). References stay
    // valid as long as the tokenizer.
    const Token& at(std::size_t i);
    // Tokenizes to the end and returns every token.
    const TokenStore& all();
    // The tokens produced so far.
    const TokenStore& tokens() const noexcept { return tokens_; }
    // A token's text (see TokenStore::text).
    std::string_view text(const Token& t) const noexcept { return tokens_.text(t); }
    bool finished() const noexcept { return done_; }

    const std::optional<SyntaxError>& error() const noexcept { return error_; }
    // "'(' was never closed" for the innermost bracket still open at the
    // error, if any: CPython reports it instead of an earlier syntax error
    // on a later line than the bracket when its tokenizer stops there
    // without an error of its own (a stray line continuation).
    const std::optional<SyntaxError>& unclosed_at_error() const noexcept { return unclosed_at_error_; }
    std::string_view source() const noexcept { return src_; }

private:
    // A place in the source: byte offset, line number, offset of the line's start.
    struct Mark {
        std::uint32_t pos;
        std::int32_t line;
        std::uint32_t line_start;
    };
    struct Paren {
        char ch;
        bool field;  // the '{' that opens an f-string replacement field
        Mark at;
    };
    // The open f-strings and their replacement fields, innermost last.
    struct Frame {
        bool field = false;
        // for an f-string
        char quote = '\'';
        std::uint8_t quote_len = 1;
        bool raw = false;
        bool tstring = false;
        Mark start{};
        std::uint32_t paren_base = 0;  // open brackets when the literal began
        // for a replacement field
        std::uint32_t paren_depth = 0;  // open brackets, its own '{' included
        bool in_spec = false;
        // A field nested in the spec has closed: CPython then reads "{{" as
        // an escape and a line end as the end of a single-quoted literal.
        bool resumed = false;
        std::uint32_t owner = 0;  // index of its f-string's frame
    };

    void find_bad_utf8();
    void produce();
    bool lex_regular();
    bool start_line();
    bool at_end_of_input(const Mark& comment);
    bool lex_name(const Mark& b);
    bool lex_prefixed_string(const Mark& b, std::uint32_t quote);
    bool lex_number(const Mark& b);
    bool verify_end_of_number(const Mark& b, const char* kind);
    bool lex_string(const Mark& b, bool raw, bool bytes, bool fstring, bool tstring);
    bool lex_fstring_text();
    bool skip_named_escape(const Frame& fs);  // after "\N{"; true when it reached its '}'
    bool lex_format_spec();
    bool lex_operator(const Mark& b);
    bool open_paren(const Mark& b, char ch, bool field);
    bool close_paren(const Mark& b, char ch);
    bool invalid_character(std::uint32_t at);

    Mark here() const noexcept { return {pos_, line_, line_start_}; }
    unsigned char cur() const noexcept { return pos_ < size_ ? static_cast<unsigned char>(src_[pos_]) : 0; }
    unsigned char peek(std::uint32_t ahead) const noexcept {
        return pos_ + ahead < size_ ? static_cast<unsigned char>(src_[pos_ + ahead]) : 0;
    }
    bool at_eof() const noexcept { return pos_ >= size_; }
    bool at_newline() const noexcept { return pos_ < size_ && (src_[pos_] == '\n' || src_[pos_] == '\r'); }
    // Steps over "\n", "\r\n" or "\r" and starts the next line. CPython reads
    // a line into a buffer that starts afresh only when no token is in
    // progress: a line read inside a string or after a line continuation
    // joins the buffer of the line before (`within_token`).
    void consume_newline(bool within_token = false) noexcept;
    // SyntaxError.offset of the character after a stray line continuation,
    // as CPython counts it from the start of its line buffer.
    int continuation_offset(const Mark& after) const noexcept;
    // The line the input ends on, as CPython numbers it for the end tokens.
    std::int32_t eof_line() const noexcept;
    Frame& owner_of(const Frame& field) noexcept { return frames_[field.owner]; }

    // Inline: a token a few bytes long is mostly this.
    Token& emit(TokenKind kind, const Mark& b, const Mark& e) {
        Token& t = tokens_.push_back();
        t.kind = kind;
        t.start = b.pos;
        t.end = e.pos;
        t.lineno = b.line;
        t.col_offset = static_cast<std::int32_t>(b.pos - b.line_start);
        t.end_lineno = e.line;
        t.end_col_offset = static_cast<std::int32_t>(e.pos - e.line_start);
        if (kind != TokenKind::NEWLINE && kind != TokenKind::INDENT && kind != TokenKind::DEDENT) need_newline_ = true;
        return t;
    }
    // Columns from 1 in code points, as SyntaxError.offset counts them.
    int char_offset(std::uint32_t line_start, std::uint32_t pos) const noexcept;
    bool fail(SyntaxError::Type type, std::string msg, const Mark& at, int offset, int end_lineno, int end_offset);
    SyntaxError never_closed(const Paren& p) const;
    bool fail_at(std::string msg, const Mark& at);  // offset: the character at `at`, end: the same
    std::string unterminated_message(const Frame& fs, std::int32_t detected) const;

    std::string_view src_;
    Arena& arena_;
    std::uint32_t size_ = 0;
    std::uint32_t pos_ = 0;
    std::int32_t line_ = 1;
    std::uint32_t line_start_ = 0;
    std::uint32_t buffer_start_ = 0;  // where CPython's line buffer begins (see consume_newline)

    bool at_bol_ = true;
    bool blank_line_ = false;
    bool need_newline_ = false;  // a token since the last NEWLINE
    bool done_ = false;
    int pending_ = 0;  // INDENTs (> 0) or DEDENTs (< 0) owed
    // Where the last middle stopped before a brace: the brace's turn is next.
    std::uint32_t stop_mark_ = 0xFFFFFFFFu;
    std::vector<int> indents_{0};
    std::vector<int> alt_indents_{0};
    std::vector<Paren> parens_;
    std::vector<Frame> frames_;

    TokenStore tokens_;
    std::size_t cursor_ = 0;
    std::optional<SyntaxError> error_;
    std::optional<SyntaxError> unclosed_at_error_;
    std::optional<Mark> bad_utf8_;  // the first byte that is not UTF-8
};

}  // namespace norvex::pyast
