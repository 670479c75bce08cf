// HelpFormatter: CLI11's help with the program's own words.
#include "help_format.hpp"

#include <CLI/App.hpp>

namespace norvex::cli {

HelpFormatter::HelpFormatter() {
    label("SUBCOMMAND", "COMMAND");
    label("SUBCOMMANDS", "COMMANDS");
}

std::string HelpFormatter::make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const {
    std::string out = CLI::Formatter::make_help(app, std::move(name), mode);
    // CLI11 puts a blank line before every group of options after the first,
    // also before the hidden one that prints nothing: one blank line is enough.
    for (std::size_t at = out.find("\n\n\n"); at != std::string::npos; at = out.find("\n\n\n", at)) out.erase(at, 1);
    return out;
}

}  // namespace norvex::cli
