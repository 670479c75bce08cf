// Python's compile check: the error compile(code, filename, "exec") raises, or none.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace norvex::pyast {

// The first error CPython 3.14 reports when compiling a module: a syntax
// error from the parser, or one from the symbol table or the code generator
// ("'return' outside function", "no binding for nonlocal 'x' found", ...).
struct CompileError {
    std::string message;   // e.g. "'return' outside function"
    int lineno = 0;        // 0 if none
    int offset = 0;        // 1-based column as Python reports it (0 if none)
    std::string filename;  // as given; empty where Python reports no file (null bytes, parser stack overflow)
    // Python's str() of the error: "msg (name.py, line N)", with the file's base name.
    std::string text() const;
    // The exception class: "SyntaxError", "IndentationError", "TabError", "MemoryError", or
    // "UnicodeEncodeError" for a lone surrogate, which a str may hold but UTF-8 cannot.
    std::string type = "SyntaxError";
};

// What compile(code, filename, "exec") raises for `code` (UTF-8 text, taken
// as a str is: a coding cookie is ignored), or none when it compiles.
std::optional<CompileError> compile_check(std::string_view code, std::string_view filename);

}  // namespace norvex::pyast
