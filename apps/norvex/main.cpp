// The norvex command line: the front door to the analysis tool and the Python front end.
#include "commands.hpp"

#include "norvex/common/logging.hpp"

#include <CLI/CLI.hpp>
#include <spdlog/sinks/stdout_sinks.h>

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    using namespace norvex::cli;

    CLI::App app{"norvex: the runtime components of a desktop AI agent", "norvex"};
    app.set_version_flag("--version", "norvex " NORVEX_VERSION);
    app.require_subcommand(1);
    bool verbose = false;
    app.add_flag("-v,--verbose", verbose, "Log the components' records on stderr");

    AnalyzeCommand analyze;
    add_analyze(app, analyze);
    AstCommand ast;
    add_ast(app, ast);
    McpCommand mcp;
    add_mcp(app, mcp);
    ScanCommand scan;
    add_scan(app, scan);

    SkillsCommand skills;
    add_skills(app, skills);
    ComputerCommand computer;
    add_computer(app, computer);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help and --version arrive as "errors" with a zero exit code.
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return app.exit(e);
        app.exit(e);
        return EXIT_USAGE;
    }

    // The libraries never choose where their records go; the program does.
    if (verbose) {
        norvex::logging::add_sink(std::make_shared<spdlog::sinks::stderr_sink_mt>());
        norvex::logging::set_level(spdlog::level::debug);
    }

    try {
        if (*analyze.app) return run_analyze(analyze);
        if (*ast.app) return run_ast(ast);
        if (*mcp.app) return run_mcp(mcp);
        if (*scan.app) return run_scan(scan);
        if (*skills.app) return run_skills(skills);
        if (*computer.app) return run_computer(computer);
    } catch (const std::exception& e) {
        std::cerr << "norvex: " << e.what() << '\n';
        return EXIT_FAILED;
    }
    return EXIT_USAGE;
}
