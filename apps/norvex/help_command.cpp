// `norvex help [COMMAND...]`: the help of the program or of any command, as --help prints it.
#include "commands.hpp"

#include "command_tree.hpp"

#include <CLI/CLI.hpp>

#include <iostream>

namespace norvex::cli {

void add_help(CLI::App& parent, HelpCommand& command) {
    command.app = parent.add_subcommand("help", "Print the help of norvex or of a command (norvex help skills create)");
    command.app->add_option("command", command.words, "The command, with its subcommand if it has one")
        ->type_name("COMMAND");
}

int run_help(const HelpCommand& command, const CLI::App& root) {
    const auto found = resolve_command(root, command.words);
    if (const auto* unknown = std::get_if<UnknownCommand>(&found)) {
        std::cerr << unknown_command_message(*unknown) << '\n';
        return EXIT_USAGE;
    }
    const CLI::App& target = *std::get<const CLI::App*>(found);
    // Formatted directly: App::help() would follow the parsed "help" command instead.
    std::cout << target.get_formatter()->make_help(&target, command_path(target), CLI::AppFormatMode::Normal);
    return EXIT_OK;
}

}  // namespace norvex::cli
