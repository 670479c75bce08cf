// `norvex mcp`: the components as tools of a Model Context Protocol server on stdin and stdout.
#include "commands.hpp"
#include "stop_signals.hpp"
#include "usage.hpp"

#include "mcp/providers.hpp"
#include "mcp/session.hpp"
#include "mcp/stdio_server.hpp"
#include "mcp/tool_catalog.hpp"

#include "norvex/common/logging.hpp"
#include "norvex/core/forkyard/forkyard.hpp"

#include <CLI/CLI.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <fmt/format.h>
#include <spdlog/sinks/stdout_sinks.h>

#include <csignal>
#include <cstring>
#include <exception>
#include <map>
#include <vector>

namespace norvex::cli {

namespace asio = boost::asio;

namespace {

// Analysis workers at once: at least one, and no more than a desktop should start.
constexpr int MIN_WORKERS = 1;
constexpr int MAX_WORKERS = 64;

const std::map<std::string, spdlog::level::level_enum> LOG_LEVELS{
    {"debug", spdlog::level::debug}, {"info", spdlog::level::info}, {"warning", spdlog::level::warn},
    {"error", spdlog::level::err},   {"off", spdlog::level::off},
};

// The records a server writes on stderr: info by default, errors only with
// -q, debug with -v. --log-level is older; MCP clients (the Inspector's CLI
// among them) take that name for their own option, so it is kept for the
// scripts that use it but no longer shown.
spdlog::level::level_enum server_level(const McpCommand& command, const Verbosity& verbosity) {
    if (!command.log_level.empty()) {
        if (verbosity.verbose || verbosity.quiet) {
            throw UsageError("--log-level and -q/-v both choose the records shown; give one of them (-q or -v)");
        }
        return LOG_LEVELS.at(command.log_level);
    }
    if (verbosity.quiet) return spdlog::level::err;
    if (verbosity.verbose) return spdlog::level::debug;
    return spdlog::level::info;
}

// The skill tools need their data folder; without one the other tools are still served.
void add_skill_tools(mcp::ToolCatalog& catalog, const McpCommand& command) {
    skills::creator::SkillCreatorOptions options;
    if (!command.data_dir.empty()) options.data_dir = command.data_dir;
    try {
        catalog.add(mcp::make_skills_provider(std::make_unique<skills::creator::SkillCreator>(options)));
    } catch (const std::exception& e) {
        logging::get("norvex.mcp")->warn("Skill tools left out: {}; give a writable folder with --data-dir", e.what());
    }
}

}  // namespace

void add_mcp(CLI::App& parent, McpCommand& command) {
    command.app = parent.add_subcommand(
        "mcp", "Serve the norvex tools to an MCP client over stdin and stdout (JSON-RPC, one message per line)");
    std::vector<std::string> levels;
    for (const auto& [name, level] : LOG_LEVELS) levels.push_back(name);
    command.app->add_option("--log-level", command.log_level, "Records written to stderr from this level up")
        ->type_name("LEVEL")
        ->check(one_of("--log-level", levels))
        ->group("");
    command.app->add_option("--data-dir", command.data_dir,
                            "Folder of the saved skills, the improvement log and screenshots (default ~/.norvex)")
        ->type_name("DIR");
    command.app
        ->add_option("--max-workers", command.max_workers,
                     fmt::format("Analysis workers allowed to run at once, {} to {}", MIN_WORKERS, MAX_WORKERS))
        ->type_name("N")
        ->check(integer_range("--max-workers", MIN_WORKERS, MAX_WORKERS))
        ->capture_default_str();
    command.app->footer(
        "stdout carries the protocol's messages only; records go to stderr: from the info level by\n"
        "default, errors only with -q, everything (debug) with -v.\n"
        "Register it with an MCP client by its command line, e.g. \"command\": \"norvex\", \"args\": [\"mcp\", \"-q\"].");
}

int run_mcp(const McpCommand& command, const Verbosity& verbosity) {
    const spdlog::level::level_enum level = server_level(command, verbosity);
    // stdout carries protocol messages only; every record goes to stderr.
    logging::add_sink(std::make_shared<spdlog::sinks::stderr_sink_mt>());
    logging::set_level(level);
    // A client that goes away closes our stdout; that is an error to handle, not a reason to die.
    std::signal(SIGPIPE, SIG_IGN);

    asio::io_context io;
    forkyard::Forkyard yard{io.get_executor(), {.max_workers = command.max_workers}};
    mcp::ToolCatalog catalog;
    catalog.add(mcp::make_sourcelens_provider(yard));
    add_skill_tools(catalog, command);
    if (mcp::desktop_available()) {
        catalog.add(mcp::make_computer_provider(io.get_executor(), command.data_dir));
    } else {
        logging::get("norvex.mcp")->info("Computer tools left out: the X display of $DISPLAY cannot be opened");
    }

    mcp::Session session({.name = "norvex", .version = NORVEX_VERSION}, catalog.tools());
    mcp::StdioServer server(io.get_executor(), session, catalog);
    logging::get("norvex.mcp")->info("Serving {} tools over stdio", catalog.tools().size());

    // A client stops its server with SIGTERM (and SIGKILL soon after): the calls are cancelled
    // and their workers killed at once, so none outlives the server.
    StopSignals signals{io, [&](int signal_number) {
        logging::get("norvex.mcp")->info("{}: stopping", ::strsignal(signal_number));
        server.stop();
    }};
    std::exception_ptr failure;
    asio::co_spawn(io, [&]() -> asio::awaitable<void> {
        co_await server.run();
        co_await yard.cleanup();
    }, [&](std::exception_ptr e) {
        // Served, stopped or failed: nothing more to watch for, and the loop may end.
        signals.disarm();
        failure = e;
    });
    io.run();
    if (failure) std::rethrow_exception(failure);
    return signals.stopped_by() != 0 ? signals.exit_status() : EXIT_OK;
}

}  // namespace norvex::cli
