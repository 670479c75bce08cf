// `norvex mcp`: the components as tools of a Model Context Protocol server on stdin and stdout.
#include "commands.hpp"

#include "mcp/providers.hpp"
#include "mcp/session.hpp"
#include "mcp/stdio_server.hpp"
#include "mcp/tool_catalog.hpp"

#include "norvex/common/logging.hpp"
#include "norvex/core/forkyard/forkyard.hpp"

#include <CLI/CLI.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/use_future.hpp>
#include <spdlog/sinks/stdout_sinks.h>

#include <csignal>
#include <map>

namespace norvex::cli {

namespace asio = boost::asio;

namespace {

const std::map<std::string, spdlog::level::level_enum> LOG_LEVELS{
    {"debug", spdlog::level::debug}, {"info", spdlog::level::info}, {"warning", spdlog::level::warn},
    {"error", spdlog::level::err},   {"off", spdlog::level::off},
};

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
    command.app->add_option("--log-level", command.log_level, "Records written to stderr from this level up")
        ->check(CLI::IsMember({"debug", "info", "warning", "error", "off"}))
        ->capture_default_str();
    command.app->add_option("--data-dir", command.data_dir,
                            "Folder of the saved skills, the improvement log and screenshots (default ~/.norvex)");
    command.app->add_option("--max-workers", command.max_workers, "Analysis workers allowed to run at once")
        ->check(CLI::Range(1, 64))
        ->capture_default_str();
}

int run_mcp(const McpCommand& command) {
    // stdout carries protocol messages only; every record goes to stderr.
    logging::add_sink(std::make_shared<spdlog::sinks::stderr_sink_mt>());
    logging::set_level(LOG_LEVELS.at(command.log_level));
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

    auto done = asio::co_spawn(io, [&]() -> asio::awaitable<void> {
        co_await server.run();
        co_await yard.cleanup();
    }, asio::use_future);
    io.run();
    done.get();
    return EXIT_OK;
}

}  // namespace norvex::cli
