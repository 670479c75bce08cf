// Running an outside program with a time limit and taking its output.
#pragma once

#include <string>
#include <vector>

namespace norvex::pc::deskhand {

struct CommandOutput {
    int exit_status = 0;  // 128 + signal number when a signal ended it
    std::string out;      // its standard output
    std::string err;      // its standard error (the last 64 KiB)
};

// Starts argv[0] (looked up on PATH, no shell) with standard input from
// /dev/null, waits up to `time_limit_seconds` and gives what it wrote.
// Throws std::runtime_error when the program cannot be started (naming it
// and the reason) and norvex::TimeoutError when it outlasts the limit; the
// program is then killed and reaped. The exit status is not judged here.
CommandOutput run_command(const std::vector<std::string>& argv, double time_limit_seconds);

}  // namespace norvex::pc::deskhand
