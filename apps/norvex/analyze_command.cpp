// `norvex analyze`: one call of the code-analysis tool, through forkyard and the astprobe worker.
#include "commands.hpp"

#include "analyze_text.hpp"
#include "stdin_file.hpp"
#include "stop_signals.hpp"
#include "usage.hpp"

#include "norvex/common/pyjson.hpp"
#include "norvex/common/pystr.hpp"
#include "norvex/tools/sourcelens.hpp"

#include <CLI/CLI.hpp>
#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>

#include <exception>
#include <iostream>
#include <optional>
#include <vector>

namespace norvex::cli {

namespace asio = boost::asio;

namespace {

// The tool's answer, or nothing when a signal stopped the analysis first.
std::optional<std::string> run_tool(const std::string& operation, const std::string& path, int& stopped_by) {
    asio::io_context io;
    sourcelens::SourcelensTool tool{io.get_executor()};
    asio::cancellation_signal cancel;
    StopSignals signals{io, [&](int) {
        cancel.emit(asio::cancellation_type::terminal);
        tool.manager().kill_all();
    }};
    boost::json::object kwargs;
    kwargs["operation"] = operation;
    // The command line holds bytes; the tool takes text, as Python's sys.argv holds it.
    kwargs["path"] = pystr::fsdecode(path);
    std::optional<std::string> text;
    std::exception_ptr failure;
    asio::co_spawn(io, tool.execute(std::move(kwargs)),
                   asio::bind_cancellation_slot(cancel.slot(), [&](std::exception_ptr e, std::string answer) {
                       signals.disarm();
                       failure = e;
                       text = std::move(answer);
                   }));
    io.run();
    stopped_by = signals.stopped_by();
    if (stopped_by != 0) return std::nullopt;
    if (failure) std::rethrow_exception(failure);
    return text;
}

// The path as a shell word, for the command line the readable view suggests.
std::string shell_word(const std::string& path) {
    const bool plain = !path.empty() && path.find_first_not_of(
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-./+,:@%=") == std::string::npos;
    if (plain) return path;
    std::string quoted = "'";
    for (const char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

void add_analyze(CLI::App& parent, AnalyzeCommand& command) {
    command.app = parent.add_subcommand("analyze", "Analyze a Python file in a worker process");
    command.app->add_option("path", command.path, "The Python file; - reads it from standard input")
        ->type_name("FILE")
        ->required();
    // A typo is a usage error here, not a round trip to the worker.
    command.app->add_option("--op", command.operation, "The analysis to run")
        ->type_name("OPERATION")
        ->check(one_of("--op", {sourcelens::OPERATIONS.begin(), sourcelens::OPERATIONS.end()}))
        ->capture_default_str();
    command.app->add_flag("--json", command.json, "Print the tool's answer as JSON (indent 2), as a model gets it");
    command.app->footer(
        "The default analysis shows the file's imports, classes, functions with their complexity,\n"
        "and its TODO/FIXME markers; --json adds the symbols and the call graph.");
}

int run_analyze(const AnalyzeCommand& command) {
    // The worker takes a path, so standard input goes through a file of its own.
    std::optional<StdinFile> copy;
    if (command.path == "-") copy.emplace();
    const std::string path = copy ? copy->path() : command.path;
    int stopped_by = 0;
    std::optional<std::string> analysed = run_tool(command.operation, path, stopped_by);
    if (!analysed) return EXIT_SIGNAL_BASE + stopped_by;  // interrupted: no answer to print
    std::string answer = std::move(*analysed);
    if (copy) answer = copy->hide_path(std::move(answer));

    // The tool's failures are text for a model; for a shell they are an error stream and a status.
    if (answer.starts_with("[ERROR] ")) {
        // A name that is not UTF-8 is shown in its own bytes, as the terminal shows it elsewhere.
        std::cerr << "norvex analyze: " << pystr::fsencode_replace(answer.substr(8)) << '\n';
        return EXIT_FAILED;
    }
    if (command.json) {
        std::cout << answer << '\n';
    } else {
        // The view is text, as the answer's paths are; it goes out as the bytes the names have.
        std::string again = "norvex analyze " + (copy ? std::string("-") : pystr::fsdecode(shell_word(command.path)));
        if (command.operation != "analyze") again += " --op " + command.operation;
        const std::string view = analysis_text(command.operation, pyjson::parse(answer), again + " --json");
        std::cout << pystr::fsencode_replace(view);
    }
    return EXIT_OK;
}

}  // namespace norvex::cli
