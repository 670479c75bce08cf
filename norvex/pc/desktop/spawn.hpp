// Short-lived helper programs of the desktop layer: finding them and feeding them input.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace norvex::pc {

// The full path of an executable `name` on PATH, or empty.
std::optional<std::string> find_program(const std::string& name);

struct ProgramRun {
    int exit_code = -1;       // -1 when killed by a signal
    std::string error_text;   // what it wrote to standard error before exiting
};

// Runs `argv` (its first word looked up on PATH unless it holds a slash) with `input` on its standard input (closed after writing) and
// standard output discarded, waits up to `timeout_seconds` for it to exit and
// reaps it; kills it and throws DesktopError when it takes longer. The program
// inherits no descriptor of ours but its three standard streams, so a
// background process it leaves behind holds nothing of this process.
// `env_overrides` are "NAME=value" entries replacing or adding to our environment.
ProgramRun run_with_input(const std::vector<std::string>& argv, const std::string& input,
                          const std::vector<std::string>& env_overrides = {},
                          double timeout_seconds = 5.0);

}  // namespace norvex::pc
