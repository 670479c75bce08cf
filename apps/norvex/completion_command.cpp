// `norvex completion bash`: the completion script for the program's command tree.
#include "commands.hpp"

#include "completion.hpp"
#include "usage.hpp"

#include <CLI/CLI.hpp>

#include <iostream>

namespace norvex::cli {

void add_completion(CLI::App& parent, CompletionCommand& command) {
    command.app = parent.add_subcommand("completion", "Print a shell completion script (norvex completion bash)");
    command.app->add_option("shell", command.shell, "The shell")->type_name("SHELL")->check(one_of("the shell", {"bash"}))->required();
    command.app->footer(
        "Load it in the current shell with: source <(norvex completion bash)\n"
        "or install it as a completion file, e.g. norvex completion bash > /usr/share/bash-completion/completions/norvex");
}

int run_completion(const CompletionCommand& /*command*/, const CLI::App& root) {
    std::cout << bash_completion(root);
    return EXIT_OK;
}

}  // namespace norvex::cli
