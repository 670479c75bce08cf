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

// Cuts a byte stream into lines at "\n"; what follows the last "\n" at the
// end of input is a line too.
class LineSplitter {
public:
    void feed(std::string_view bytes) { buffer_.append(bytes); }
    // The next complete line without its "\n", or none until more arrives.
    std::optional<std::string> next_line();
    // At end of input: the unterminated rest, if any.
    std::optional<std::string> finish();

private:
    std::string buffer_;
    std::size_t head_ = 0;     // start of the unread part of buffer_
    std::size_t scanned_ = 0;  // bytes already known to hold no "\n"
};

// The command loop over file descriptors: answers every line read from `in`
// on `out`, until end of input or "quit". Returns the process exit status: 0,
// also when `out` is a closed pipe.
int run_command_loop(int in, int out);

}  // namespace norvex::astprobe
