// Python's own answers about file-name bytes, from /usr/bin/python3: the reference for surrogate escapes.
#pragma once

#include "norvex/common/run_program.hpp"

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace norvex::testing {

inline const std::string PYTHON3 = "/usr/bin/python3";

inline bool have_python3() { return ::access(PYTHON3.c_str(), X_OK) == 0; }

// Runs `script` with one input per line on its standard input, each as the
// hex digits of its bytes (the script reads them with bytes.fromhex), and
// gives the lines it prints.
inline std::vector<std::string> python_lines(const std::string& script, const std::vector<std::string>& inputs) {
    static constexpr char hex[] = "0123456789abcdef";
    std::string input;
    for (const std::string& bytes : inputs) {
        for (const char c : bytes) {
            input += hex[static_cast<unsigned char>(c) >> 4];
            input += hex[static_cast<unsigned char>(c) & 15];
        }
        input += '\n';
    }
    const ProgramRun run = run_program({PYTHON3, "-c", script}, 120, {.input = input, .keep_output = true});
    if (run.exit_status != 0) throw std::runtime_error("python3 failed: " + run.err);
    std::vector<std::string> lines;
    std::string_view out = run.out;
    while (!out.empty()) {
        const std::size_t nl = out.find('\n');
        lines.emplace_back(out.substr(0, nl));
        out.remove_prefix(nl == std::string_view::npos ? out.size() : nl + 1);
    }
    return lines;
}

// json.dumps(os.fsdecode(name)) for each name: how Python writes the name as JSON text.
inline std::vector<std::string> python_fsdecode_json(const std::vector<std::string>& names) {
    return python_lines("import json, os, sys\n"
                        "for line in sys.stdin:\n"
                        "    print(json.dumps(os.fsdecode(bytes.fromhex(line.strip()))))\n",
                        names);
}

}  // namespace norvex::testing
