// Tokens of Python source as the tokenizer hands them to the parser.
#pragma once

#include <cstdint>
#include <string_view>

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
    // Byte offsets into the source, and positions as the tree reports them
    // (lines from 1, columns in UTF-8 bytes).
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    std::int32_t lineno = 0;
    std::int32_t col_offset = 0;
    std::int32_t end_lineno = 0;
    std::int32_t end_col_offset = 0;
    // The token's text: the source slice, except for NAME tokens whose
    // identifier NFKC-normalises to something else (then the normalised
    // name, stored by the tokenizer). FSTRING_MIDDLE/TSTRING_MIDDLE text is
    // undecoded; a doubled brace ends its middle after the first brace and
    // the second belongs to no token (lexer.hpp has the whole stream shape).
    // Empty for NEWLINE (or the trailing comment before it), INDENT, DEDENT,
    // ENDMARKER and ERRORTOKEN; INDENT, DEDENT and ENDMARKER have columns of -1.
    std::string_view text;
};

}  // namespace norvex::pyast
