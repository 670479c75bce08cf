// Helpers for the tokenizer tests: the token stream as text, one token a line, as CPython's tokenizer shows it.
#pragma once

#include "norvex/pyast/lexer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace norvex::pyast {

// "KIND 'text' line:col-line:col; " per token; an error ends it with
// "ERROR type: msg @ line:offset-line:offset; ".
inline std::string dump(std::string_view source) {
    Arena arena;
    Tokenizer tok(source, arena);
    std::string out;
    for (const Token& t : tok.all()) {
        if (t.kind == TokenKind::ERRORTOKEN) break;
        out += std::string(name_of(t.kind)) + " '" + std::string(tok.text(t)) + "' " + std::to_string(t.lineno) + ":" +
               std::to_string(t.col_offset) + "-" + std::to_string(t.end_lineno) + ":" +
               std::to_string(t.end_col_offset) + "; ";
    }
    if (const auto& e = tok.error()) {
        static constexpr const char* types[] = {"SyntaxError", "IndentationError", "TabError"};
        out += std::string("ERROR ") + types[static_cast<int>(e->type)] + ": " + e->msg + " @ " +
               std::to_string(e->lineno) + ":" + std::to_string(e->offset) + "-" + std::to_string(e->end_lineno) +
               ":" + std::to_string(e->end_offset) + "; ";
    }
    return out;
}

// The kinds of the tokens before any error, space-separated.
inline std::string kinds(std::string_view source) {
    Arena arena;
    Tokenizer tok(source, arena);
    std::string out;
    for (const Token& t : tok.all()) {
        if (t.kind == TokenKind::ERRORTOKEN) break;
        if (!out.empty()) out += ' ';
        out += name_of(t.kind);
    }
    return out;
}

// "Type: msg @ line:offset-end_line:end_offset", or "none".
inline std::string error_of(std::string_view source) {
    Arena arena;
    Tokenizer tok(source, arena);
    tok.all();
    const auto& e = tok.error();
    if (!e) return "none";
    static constexpr const char* types[] = {"SyntaxError", "IndentationError", "TabError"};
    return std::string(types[static_cast<int>(e->type)]) + ": " + e->msg + " @ " + std::to_string(e->lineno) + ":" +
           std::to_string(e->offset) + "-" + std::to_string(e->end_lineno) + ":" + std::to_string(e->end_offset);
}

}  // namespace norvex::pyast
