// libFuzzer target for the pyast parser: any bytes parse to a tree or one well-formed syntax error, and every tree dumps.
//
// Not part of the CMake build: fuzz/build.sh compiles it (clang++-14, libFuzzer +
// ASan + UBSan) into build/fuzz/pyast_parser_fuzz; fuzz/run-smoke.sh runs it.
//   build/fuzz/pyast_parser_fuzz -max_len=8192 -timeout=10 [corpus-dir]
#include "norvex/pyast/dump.hpp"
#include "norvex/pyast/parse.hpp"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace norvex::pyast;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ParseResult result = parse(std::string(reinterpret_cast<const char*>(data), size));
    // Exactly one of the two: callers branch on the tree and read the error otherwise.
    if (static_cast<bool>(result.tree) == result.error.has_value()) std::abort();
    if (result.error) {
        const SyntaxError& e = *result.error;
        // Positions feed caret lines in messages; a zero or inverted line would point nowhere.
        if (e.msg.empty() || e.lineno < 0 || e.offset < 0) std::abort();
        return 0;
    }
    if (result.tree->root == nullptr) std::abort();
    // Dumping walks every node and field, so dangling or half-built nodes show up here.
    std::string text = dump(result.tree->root, DumpOptions{.indent = std::nullopt, .include_attributes = true});
    if (text.rfind("Module(", 0) != 0) std::abort();
    return 0;
}
