// The compile check's driver: the source text, the parser, then future imports, the symbol table and the code generator.
#include "norvex/pyast/compile_check.hpp"

#include "norvex/pyast/compile_check_impl.hpp"
#include "norvex/pyast/parse.hpp"

#include <cstdio>

namespace norvex::pyast {

std::string CompileError::text() const {
    // Python's SyntaxError.__str__: the place in parentheses, as much of it
    // as is known, with only the file's base name.
    const std::string_view base = std::string_view(filename).substr(filename.rfind('/') + 1);
    if (base.empty() && lineno <= 0) return message;
    std::string out = message + " (";
    out += base;
    if (lineno > 0) out += (base.empty() ? "line " : ", line ") + std::to_string(lineno);
    return out + ")";
}

namespace {

// A lone surrogate in the generalised UTF-8 form (ED A0..BF xx) at byte i.
bool surrogate_at(std::string_view s, std::size_t i) {
    return i + 2 < s.size() && static_cast<unsigned char>(s[i]) == 0xED &&
           (static_cast<unsigned char>(s[i + 1]) & 0xE0) == 0xA0 && (static_cast<unsigned char>(s[i + 2]) & 0xC0) == 0x80;
}

// compile() first encodes its str to UTF-8, which a lone surrogate (what a
// JSON "\ud800" escape becomes) cannot pass: the error names the first run
// of them by code point position, as Python's strict UTF-8 encoder does.
std::optional<CompileError> surrogate_error(std::string_view code) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < code.size(); ++i) {
        if ((static_cast<unsigned char>(code[i]) & 0xC0) == 0x80) continue;
        if (!surrogate_at(code, i)) {
            ++chars;
            continue;
        }
        std::size_t first = chars, last = chars;
        const unsigned value = ((static_cast<unsigned char>(code[i + 1]) & 0x3F) << 6) |
                               (static_cast<unsigned char>(code[i + 2]) & 0x3F);
        for (std::size_t j = i + 3; surrogate_at(code, j); j += 3) ++last;
        char buf[128];
        if (first == last) {
            std::snprintf(buf, sizeof buf,
                          "'utf-8' codec can't encode character '\\ud%03x' in position %zu: surrogates not allowed",
                          value & 0xFFF, first);
        } else {
            std::snprintf(buf, sizeof buf,
                          "'utf-8' codec can't encode characters in position %zu-%zu: surrogates not allowed", first,
                          last);
        }
        return CompileError{buf, 0, 0, "", "UnicodeEncodeError"};
    }
    return std::nullopt;
}

}  // namespace

std::optional<CompileError> compile_check(std::string_view code, std::string_view filename) {
    const std::string name(filename);
    if (auto error = surrogate_error(code)) return error;
    // A str handed to compile() is checked before it is tokenized, and the
    // error carries no place at all.
    if (code.find('\0') != std::string_view::npos) {
        return CompileError{"source code string cannot contain null bytes", 0, 0, "", "SyntaxError"};
    }
    // Only bytes lose a leading byte order mark; in a str it is a character
    // the tokenizer rejects.
    if (code.substr(0, 3) == "\xEF\xBB\xBF") {
        return CompileError{"invalid non-printable character U+FEFF", 1, 1, name, "SyntaxError"};
    }
    ParseResult parsed = parse(std::string(code));
    if (parsed.error) {
        const SyntaxError& e = *parsed.error;
        // Running out of parser stack is a MemoryError that names no place.
        if (e.type == SyntaxError::Type::MemoryError) return CompileError{e.msg, 0, 0, "", "MemoryError"};
        return CompileError{e.msg, e.lineno, e.offset, name, std::string(name_of(e.type))};
    }

    using namespace compile_detail;
    try {
        const FutureFeatures future = check_future(parsed.tree->root);
        SymbolTable table;
        build_symtable(parsed.tree->root, future, table);
        analyze_symtable(table);
        check_codegen(parsed.tree->root, future, table);
    } catch (const Failure& failure) {
        if (failure.recursion) return CompileError{failure.message, 0, 0, "", "RecursionError"};
        // The compiler's columns are UTF-8 byte offsets plus one, unlike the parser's.
        return CompileError{failure.message, failure.where.lineno, failure.where.col_offset + 1, name, "SyntaxError"};
    }
    return std::nullopt;
}

}  // namespace norvex::pyast
