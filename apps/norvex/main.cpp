// The norvex command line: the front door to the components, with one way of reporting for every command.
#include "command_tree.hpp"
#include "commands.hpp"
#include "help_format.hpp"
#include "stdout_check.hpp"
#include "usage.hpp"
#include "verbosity.hpp"

#include "norvex/common/error_text.hpp"

#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>

namespace {

using namespace norvex::cli;

constexpr const char* TOP_FOOTER =
    "Run 'norvex help COMMAND' (or 'norvex COMMAND --help') for what a command takes.\n"
    "Output is text for people; --json, where a command has it, prints JSON for programs.\n"
    "\n"
    "Exit status: 0 when the command did its work, 1 when it failed, 2 for a wrong command\n"
    "line, 130 when interrupted with Ctrl-C, 143 when ended by SIGTERM (the commands that run\n"
    "workers stop them first).";

// CLI11's own complaints, given the command they are about and what to do.
int report_parse_error(const CLI::App& root, const CLI::ParseError& e, const CLI::App* computer_app) {
    const CLI::App& at = deepest_parsed(root);
    const std::string path = command_path(at);
    const bool no_command = dynamic_cast<const CLI::RequiredError*>(&e) != nullptr &&
                            at.get_require_subcommand_min() > 0 && at.get_subcommands().empty();
    if (no_command) {
        const std::string help = &at == &root ? "norvex help" : "norvex help" + path.substr(path.find(' '));
        std::cerr << path << ": no command given; '" << help << "' lists the commands\n";
    } else {
        // Scripts written for the older command line passed the parameters with --json.
        const bool old_params = &at == computer_app && dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr;
        std::cerr << path << ": " << e.what()
                  << (old_params ? "; the action's parameters go with --params JSON" : "") << " (see '" << path
                  << " --help')\n";
    }
    return EXIT_USAGE;
}

// "Commands" rather than CLI11's "Subcommands", in every help.
void title_commands(CLI::App& app) {
    for (CLI::App* sub : app.get_subcommands([](CLI::App* s) { return !s->get_name().empty(); })) {
        sub->group("Commands");
        title_commands(*sub);
    }
}

int run(int argc, char** argv) {
    CLI::App app{"norvex: the runtime components of a desktop AI agent", "norvex"};
    app.formatter(std::make_shared<HelpFormatter>());
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.set_version_flag("--version", "norvex " NORVEX_VERSION, "Print the version and exit");
    app.require_subcommand(1);
    app.footer(TOP_FOOTER);

    AnalyzeCommand analyze;
    add_analyze(app, analyze);
    AstCommand ast;
    add_ast(app, ast);
    ScanCommand scan;
    add_scan(app, scan);
    SkillsCommand skills;
    add_skills(app, skills);
    ComputerCommand computer;
    add_computer(app, computer);
    McpCommand mcp;
    add_mcp(app, mcp);
    HelpCommand help;
    add_help(app, help);
    CompletionCommand completion;
    add_completion(app, completion);
    Verbosity verbosity;
    add_verbosity_flags(app, verbosity);
    title_commands(app);

    try {
        // Checked before parsing: CLI11 would call a mistyped command an unexpected argument.
        if (const auto unknown = find_unknown_command(app, std::vector<std::string>(argv + 1, argv + argc))) {
            std::cerr << unknown_command_message(*unknown) << '\n';
            return EXIT_USAGE;
        }
        app.parse(argc, argv);
        check_verbosity(verbosity);
    } catch (const CLI::ParseError& e) {
        // --help and --version arrive as "errors" with a zero exit code.
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return app.exit(e);
        return report_parse_error(app, e, computer.app);
    } catch (const UsageError& e) {
        std::cerr << command_path(deepest_parsed(app)) << ": " << e.what() << '\n';
        return EXIT_USAGE;
    }

    if (!*mcp.app) start_logging(verbosity);  // the server picks its own level
    try {
        if (*analyze.app) return run_analyze(analyze);
        if (*ast.app) return run_ast(ast);
        if (*scan.app) return run_scan(scan, verbosity);
        if (*skills.app) return run_skills(skills);
        if (*computer.app) return run_computer(computer);
        if (*mcp.app) return run_mcp(mcp, verbosity);
        if (*help.app) return run_help(help, app);
        if (*completion.app) return run_completion(completion, app);
    } catch (const UsageError& e) {
        std::cerr << command_path(deepest_parsed(app)) << ": " << e.what() << '\n';
        return EXIT_USAGE;
    } catch (const std::exception& e) {
        std::cerr << command_path(deepest_parsed(app)) << ": " << norvex::error_message(e) << '\n';
        return EXIT_FAILED;
    }
    return EXIT_USAGE;
}

}  // namespace

int main(int argc, char** argv) {
    CheckedStdout out;
    return out.finish(run(argc, argv));
}
