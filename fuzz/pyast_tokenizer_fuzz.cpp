// libFuzzer target for the pyast tokenizer: any bytes must tokenize to a well-formed stream, never crash or hang.
//
// Not part of the CMake build. From the repository root:
//   clang++-14 -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. fuzz/pyast_tokenizer_fuzz.cpp \
//     norvex/pyast/lexer*.cpp norvex/pyast/token.cpp norvex/pyast/ast.cpp -licuuc -licui18n \
//     -o build/pyast_tokenizer_fuzz
//   build/pyast_tokenizer_fuzz -max_len=4096 -timeout=5 [corpus-dir]
#include "norvex/pyast/lexer.hpp"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace norvex::pyast;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view source(reinterpret_cast<const char*>(data), size);
    Arena arena;
    Tokenizer tok(source, arena);
    const TokenStore& tokens = tok.all();
    // The shape the parser relies on: one terminal token, last; an error exactly with ERRORTOKEN.
    if (tokens.empty()) std::abort();
    const Token& last = tokens.back();
    bool error_token = last.kind == TokenKind::ERRORTOKEN;
    if (!error_token && last.kind != TokenKind::ENDMARKER) std::abort();
    if (error_token != tok.error().has_value()) std::abort();
    std::uint32_t previous = 0;
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.kind == TokenKind::ENDMARKER || t.kind == TokenKind::ERRORTOKEN) std::abort();
        if (t.start > t.end || t.end > size || t.start < previous || t.lineno > t.end_lineno) std::abort();
        previous = t.start;
    }
    return 0;
}
