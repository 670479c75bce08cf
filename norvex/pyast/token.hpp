// Tokens of Python source as the tokenizer hands them to the parser.
#pragma once

#include <cstdint>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

namespace norvex::pyast {

enum class TokenKind : std::uint8_t {
    ENDMARKER, NAME, NUMBER, STRING, NEWLINE, INDENT, DEDENT,
    LPAR, RPAR, LSQB, RSQB, COLON, COMMA, SEMI, PLUS, MINUS, STAR, SLASH, VBAR, AMPER, LESS, GREATER, EQUAL, DOT,
    PERCENT, LBRACE, RBRACE, EQEQUAL, NOTEQUAL, LESSEQUAL, GREATEREQUAL, TILDE, CIRCUMFLEX, LEFTSHIFT, RIGHTSHIFT,
    DOUBLESTAR, PLUSEQUAL, MINEQUAL, STAREQUAL, SLASHEQUAL, PERCENTEQUAL, AMPEREQUAL, VBAREQUAL, CIRCUMFLEXEQUAL,
    LEFTSHIFTEQUAL, RIGHTSHIFTEQUAL, DOUBLESTAREQUAL, DOUBLESLASH, DOUBLESLASHEQUAL, AT, ATEQUAL, RARROW, ELLIPSIS,
    COLONEQUAL, EXCLAMATION,
    FSTRING_START, FSTRING_MIDDLE, FSTRING_END,
    TSTRING_START, TSTRING_MIDDLE, TSTRING_END,
    // A character that starts no token ('$', '?', '`'); the parser rejects it.
    OP,
    // The tokenizer stopped here with an error (see Tokenizer::error()).
    ERRORTOKEN,
};

std::string_view name_of(TokenKind kind) noexcept;

// Hard keywords are recognised by the tokenizer; soft keywords ("match",
// "case", "type", "_") stay NAME tokens with `soft` set.
enum class Keyword : std::uint8_t {
    None_,
    False_, None, True_, and_, as, assert_, async, await, break_, class_, continue_, def, del, elif, else_, except,
    finally, for_, from, global, if_, import, in, is, lambda, nonlocal, not_, or_, pass, raise, return_, try_,
    while_, with, yield,
};

enum class SoftKeyword : std::uint8_t { none, match, case_, type, underscore };

struct Token {
    TokenKind kind = TokenKind::ENDMARKER;
    Keyword keyword = Keyword::None_;        // for NAME tokens that are hard keywords
    SoftKeyword soft = SoftKeyword::none;    // for NAME tokens that are soft keywords
    // A NAME whose identifier NFKC-normalises to something else than its
    // source spelling: TokenStore::text() gives the normalised name.
    bool normalized = false;
    // Byte offsets into the source, and positions as the tree reports them
    // (lines from 1, columns in UTF-8 bytes).
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    std::int32_t lineno = 0;
    std::int32_t col_offset = 0;
    std::int32_t end_lineno = 0;
    std::int32_t end_col_offset = 0;
};
// Small on purpose: the whole file's tokens are held while it parses.
static_assert(sizeof(Token) == 28);

// The tokens of one source, in chunks of equal size: a reference to a token
// stays valid as more are added, and the memory follows the token count (a
// growing vector would hold its old and new buffer at once).
//
// A token's text is the source slice [start, end), except for a normalized
// NAME (its NFKC form, stored by the tokenizer). FSTRING_MIDDLE/TSTRING_MIDDLE
// text is undecoded; a doubled brace ends its middle after the first brace
// and the second belongs to no token (lexer.hpp has the whole stream shape).
// NEWLINE's text is empty or the trailing comment before it; INDENT, DEDENT,
// ENDMARKER and ERRORTOKEN have empty text, and INDENT, DEDENT and ENDMARKER
// have columns of -1.
class TokenStore {
public:
    // Chunks are sized from the source's length, so a small file takes a small chunk.
    explicit TokenStore(std::string_view source);
    ~TokenStore();
    TokenStore(const TokenStore&) = delete;
    TokenStore& operator=(const TokenStore&) = delete;

    const Token& operator[](std::size_t i) const noexcept { return chunks_[i >> shift_][i & mask_]; }
    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    const Token& back() const noexcept { return (*this)[size_ - 1]; }
    // The position of a token of this store.
    std::size_t index_of(const Token& t) const noexcept;

    std::string_view text(const Token& t) const noexcept {
        if (!t.normalized) return source_.substr(t.start, t.end - t.start);
        return normalized_text(t);
    }

    // A new token at the end, every field at its default.
    Token& push_back() {
        if (free_ == free_end_) add_chunk();
        ++size_;
        return *new (free_++) Token{};
    }
    // Gives the NAME token `t` (the last one added) the normalised text `name`.
    void set_normalized(Token& t, std::string_view name);

    class iterator {
    public:
        iterator(const TokenStore& s, std::size_t i) noexcept : s_(&s), i_(i) {}
        const Token& operator*() const noexcept { return (*s_)[i_]; }
        const Token* operator->() const noexcept { return &(*s_)[i_]; }
        iterator& operator++() noexcept {
            ++i_;
            return *this;
        }
        bool operator==(const iterator& o) const noexcept { return i_ == o.i_; }
        bool operator!=(const iterator& o) const noexcept { return i_ != o.i_; }

    private:
        const TokenStore* s_;
        std::size_t i_;
    };
    iterator begin() const noexcept { return {*this, 0}; }
    iterator end() const noexcept { return {*this, size_}; }

private:
    void add_chunk();
    std::size_t chunk_bytes() const noexcept { return sizeof(Token) * (std::size_t{mask_} + 1); }
    std::string_view normalized_text(const Token& t) const noexcept;

    std::string_view source_;
    std::vector<Token*> chunks_;
    std::uint32_t shift_ = 0;
    std::uint32_t mask_ = 0;
    std::size_t size_ = 0;
    // The unused rest of the last chunk.
    Token* free_ = nullptr;
    Token* free_end_ = nullptr;
    // The normalised NAMEs by start offset, in source order.
    std::vector<std::pair<std::uint32_t, std::string_view>> normalized_;
};

}  // namespace norvex::pyast
