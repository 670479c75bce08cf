// The worker's command vocabulary, and the line step the command loop drives.
#pragma once

#include <boost/json/object.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace norvex::astprobe {

// One command -> its answer: {"success": true, "result": ...} or
// {"success": false, "error": ...}. Never throws for any command.
boost::json::object handle_command(const boost::json::object& command);

// What one input line gives: the answer line to write ("\n"-terminated, ASCII
// JSON), none for a blank line, and whether the loop ends after it.
struct LineOutcome {
    std::optional<std::string> answer;
    bool quit = false;
};

// Strips the line, decodes it as JSON and runs the command. Never throws.
LineOutcome respond_to_line(std::string_view line);

// The command loop over file descriptors: answers every line read from `in`
// on `out`, until end of input or "quit". Returns the process exit status: 0,
// also when `out` is a closed pipe.
int run_command_loop(int in, int out);

}  // namespace norvex::astprobe
