// Wrong command lines: the error they raise, integer options checked against a range, echoes of what was typed.
#pragma once

#include <CLI/Error.hpp>
#include <CLI/Validators.hpp>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace norvex::cli {

// A command line the program cannot run; the text says what is wrong and
// what would be right. main() prints it after "norvex CMD: " and exits 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What the user typed, quoted for a message: at most 20 characters, a longer
// text cut to 16 and "…", so a pasted page never floods the terminal.
std::string echo(std::string_view typed);

// The check of an integer option (`option` is its name as the user knows it,
// "--jobs"): anything but an integer from `low` to `high` throws UsageError
// naming the range. Runs on the text before CLI11 converts it, so a number
// too large for any integer type is refused, never wrapped.
CLI::Validator integer_range(std::string option, std::int64_t low, std::int64_t high);

// The check of an option that takes one of `names`: anything else throws
// UsageError listing them, with the nearest one suggested. Its description,
// "{a,b,c}", shows the names in the help, and the completion offers them.
CLI::Validator one_of(std::string option, std::vector<std::string> names);

// The description part of one_of alone, worked out only when shown: for a
// list that is costly to make and is checked elsewhere.
CLI::Validator choices_hint(std::function<std::vector<std::string>()> names);

}  // namespace norvex::cli
