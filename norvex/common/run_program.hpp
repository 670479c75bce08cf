// Short-lived outside programs (clipboard and capture programs, display reports, user lookups): finding them and running them with a time limit.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace norvex {

// The full path of an executable `name` on PATH, or empty.
std::optional<std::string> find_program(const std::string& name);

struct ProgramRun {
    int exit_status = 0;  // its exit status; 128 + N when signal N ended it
    std::string out;      // its standard output, when kept
    std::string err;      // its standard error (the last 64 KiB)
};

struct ProgramOptions {
    // Written to its standard input, which is then closed; none: /dev/null.
    std::optional<std::string> input{};
    // Standard output kept in ProgramRun::out; otherwise discarded.
    bool keep_output = false;
    // "NAME=value" entries replacing or adding to our environment.
    std::vector<std::string> env_overrides{};
};

// Runs `argv` (its first word looked up on PATH unless it holds a slash; no
// shell) and waits up to `time_limit_seconds` for it to exit; the exit
// status is not judged here. What it wrote is taken while it runs, so a
// talkative program never blocks on a full pipe, and its exit is what ends
// the wait, not the end of its output: a program that leaves a server
// behind holding its standard error (xclip does) still returns at once. It
// inherits no descriptor of ours but its three standard streams.
//
// Throws std::invalid_argument for an empty argv, ProgramError when the
// program cannot be started (naming it, the reason and what to check) and
// norvex::TimeoutError when it outlasts the limit; it is then killed and
// reaped first.
ProgramRun run_program(const std::vector<std::string>& argv, double time_limit_seconds,
                       const ProgramOptions& options = {});

}  // namespace norvex
