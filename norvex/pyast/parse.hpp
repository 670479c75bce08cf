// Parsing Python source into a syntax tree.
#pragma once

#include "norvex/pyast/ast.hpp"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace norvex::pyast {

// A syntax error as Python reports it. Source nested past what the parser
// handles comes back as MemoryError, as CPython raises it ("Parser stack
// overflowed - Python source too complex to parse").
struct SyntaxError {
    enum class Type : std::uint8_t { SyntaxError, IndentationError, TabError, MemoryError };
    Type type = Type::SyntaxError;
    std::string msg;          // e.g. "invalid syntax", "expected ':'"
    int lineno = 0;           // from 1
    int offset = 0;           // column from 1, in characters, as Python's SyntaxError.offset
    int end_lineno = 0;
    int end_offset = 0;
};

// "SyntaxError", "IndentationError", "TabError" or "MemoryError".
inline std::string_view name_of(SyntaxError::Type type) noexcept {
    switch (type) {
        case SyntaxError::Type::IndentationError: return "IndentationError";
        case SyntaxError::Type::TabError: return "TabError";
        case SyntaxError::Type::MemoryError: return "MemoryError";
        default: return "SyntaxError";
    }
}

struct ParseResult {
    std::unique_ptr<Tree> tree;          // set when the source parsed
    std::optional<SyntaxError> error;    // set when it did not
};

// Parses a module (ast.parse(source) in "exec" mode). The source is UTF-8
// text; a leading byte order mark is skipped. Never throws for bad input:
// every problem comes back as the error.
ParseResult parse(std::string source);

}  // namespace norvex::pyast
