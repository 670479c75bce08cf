// Names of token kinds, as CPython's token module spells them.
#include "norvex/pyast/token.hpp"

#include <iterator>

namespace norvex::pyast {
namespace {

constexpr std::string_view kind_names[] = {
    "ENDMARKER", "NAME", "NUMBER", "STRING", "NEWLINE", "INDENT", "DEDENT",
    "LPAR", "RPAR", "LSQB", "RSQB", "COLON", "COMMA", "SEMI", "PLUS", "MINUS", "STAR", "SLASH", "VBAR", "AMPER",
    "LESS", "GREATER", "EQUAL", "DOT", "PERCENT", "LBRACE", "RBRACE", "EQEQUAL", "NOTEQUAL", "LESSEQUAL",
    "GREATEREQUAL", "TILDE", "CIRCUMFLEX", "LEFTSHIFT", "RIGHTSHIFT", "DOUBLESTAR", "PLUSEQUAL", "MINEQUAL",
    "STAREQUAL", "SLASHEQUAL", "PERCENTEQUAL", "AMPEREQUAL", "VBAREQUAL", "CIRCUMFLEXEQUAL", "LEFTSHIFTEQUAL",
    "RIGHTSHIFTEQUAL", "DOUBLESTAREQUAL", "DOUBLESLASH", "DOUBLESLASHEQUAL", "AT", "ATEQUAL", "RARROW", "ELLIPSIS",
    "COLONEQUAL", "EXCLAMATION",
    "FSTRING_START", "FSTRING_MIDDLE", "FSTRING_END",
    "TSTRING_START", "TSTRING_MIDDLE", "TSTRING_END",
    "OP", "ERRORTOKEN",
};
static_assert(std::size(kind_names) == static_cast<std::size_t>(TokenKind::ERRORTOKEN) + 1);

}  // namespace

std::string_view name_of(TokenKind kind) noexcept {
    auto i = static_cast<std::size_t>(kind);
    return i < std::size(kind_names) ? kind_names[i] : std::string_view{"?"};
}

}  // namespace norvex::pyast
