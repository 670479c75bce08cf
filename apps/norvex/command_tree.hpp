// Finding one's way in the CLI11 tree of commands: names, paths, and the words that name no command.
#pragma once

#include <CLI/App.hpp>

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace norvex::cli {

// "norvex skills create": the names from the root down to `app`.
std::string command_path(const CLI::App& app);

// The commands directly below `app`, in the order they were added.
std::vector<const CLI::App*> subcommands_of(const CLI::App& app);

// The names of the options `app` shows in its help (hidden ones left out),
// with those of the commands above it that it hands unknown options to.
std::vector<const CLI::Option*> options_in_reach(const CLI::App& app);

// A word where a command of `parent` belongs that names none of them.
struct UnknownCommand {
    const CLI::App* parent = nullptr;
    std::string word;
};

// "norvex skills: unknown command 'lst'; did you mean 'list'?", or, when no
// command is near, where to look them up.
std::string unknown_command_message(const UnknownCommand& unknown);

// Walks a command line (without the program name) the way the parser will,
// skipping options and their values, and stops at the first word where a
// command belongs but none is named. Stops looking at an option it does not
// know, so that the parser's own message reports it.
std::optional<UnknownCommand> find_unknown_command(const CLI::App& root, const std::vector<std::string>& args);

// The command that the words ("skills", "create") name under `root`.
std::variant<const CLI::App*, UnknownCommand> resolve_command(const CLI::App& root,
                                                              const std::vector<std::string>& words);

// The last command the parser entered: the one an error message is about.
const CLI::App& deepest_parsed(const CLI::App& root);

}  // namespace norvex::cli
