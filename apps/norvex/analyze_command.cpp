// `norvex analyze`: one call of the code-analysis tool, through forkyard and the astprobe worker.
#include "commands.hpp"

#include "norvex/tools/sourcelens.hpp"

#include <CLI/CLI.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/use_future.hpp>

#include <iostream>
#include <vector>

namespace norvex::cli {

namespace asio = boost::asio;

void add_analyze(CLI::App& parent, AnalyzeCommand& command) {
    command.app = parent.add_subcommand("analyze", "Analyze a Python file in a worker process and print the result as JSON");
    command.app->add_option("path", command.path, "The Python file")->required();
    // A typo is a usage error here, not a round trip to the worker.
    const std::vector<std::string> operations(sourcelens::OPERATIONS.begin(), sourcelens::OPERATIONS.end());
    command.app->add_option("--op", command.operation, "The analysis to run")
        ->check(CLI::IsMember(operations))
        ->capture_default_str();
}

int run_analyze(const AnalyzeCommand& command) {
    asio::io_context io;
    sourcelens::SourcelensTool tool{io.get_executor()};
    boost::json::object kwargs;
    kwargs["operation"] = command.operation;
    kwargs["path"] = command.path;
    auto text = asio::co_spawn(io, tool.execute(std::move(kwargs)), asio::use_future);
    io.run();
    const std::string answer = text.get();
    // The tool's failures are text for a model; for a shell they are an error stream and a status.
    if (answer.starts_with("[ERROR] ")) {
        std::cerr << answer << '\n';
        return EXIT_FAILED;
    }
    std::cout << answer << '\n';
    return EXIT_OK;
}

}  // namespace norvex::cli
