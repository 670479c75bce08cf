// libFuzzer target for astprobe's command line step: any input line, and any file it names, gets one well-formed answer.
//
// Not part of the CMake build. From the repository root:
//   clang++-14 -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. fuzz/astprobe_command_fuzz.cpp \
//     norvex/workers/astprobe/{call_graph,commands,markers,metrics,parse_file,structure,summary}.cpp \
//     norvex/pyast/*.cpp norvex/common/{pyjson_error,pyjson_parse,pyjson_write,float_repr,pystr,pystr_case,py_round}.cpp \
//     -lpcre2-8 -licuuc -licui18n -lboost_json -o build/astprobe_command_fuzz
//   build/astprobe_command_fuzz -max_len=8192 -timeout=10 [corpus-dir]
//
// The input is a command line, then optionally "\n" and the bytes of a Python
// file: the file is written to a scratch path, and "@" in the line stands
// for that path, so the analyses see fuzzed sources as well as fuzzed commands.
#include "norvex/common/pyjson.hpp"
#include "norvex/workers/astprobe/commands.hpp"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include <unistd.h>

namespace {

const std::string& scratch_file() {
    static const std::string path = "/tmp/astprobe_fuzz_" + std::to_string(::getpid()) + ".py";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string line(input.substr(0, input.find('\n')));
    if (const auto nl = input.find('\n'); nl != std::string_view::npos) {
        std::ofstream(scratch_file(), std::ios::binary | std::ios::trunc) << input.substr(nl + 1);
        for (std::size_t at; (at = line.find('@')) != std::string::npos;) line.replace(at, 1, scratch_file());
    }
    const norvex::astprobe::LineOutcome out = norvex::astprobe::respond_to_line(line);
    if (!out.answer) return 0;
    // One ASCII line, ending in its only line feed, holding {"success": true, "result": ...}
    // or {"success": false, "error": "..."}.
    const std::string& text = *out.answer;
    if (text.empty() || text.back() != '\n' || text.find('\n') != text.size() - 1) std::abort();
    for (unsigned char c : text) {
        if (c >= 0x80) std::abort();
    }
    const boost::json::value v = norvex::pyjson::parse(text);
    const boost::json::object* answer = v.if_object();
    if (answer == nullptr || answer->size() != 2 || answer->begin()->key() != "success") std::abort();
    const boost::json::value& ok = answer->begin()->value();
    const auto second = std::next(answer->begin())->key();
    if (ok == true && second != "result") std::abort();
    if (ok == false && (second != "error" || !std::next(answer->begin())->value().is_string())) std::abort();
    if (!ok.is_bool()) std::abort();
    return 0;
}
