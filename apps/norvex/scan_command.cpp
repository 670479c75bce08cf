// `norvex scan`: every Python file of a folder through the code-analysis tool, a pool of workers at a time.
#include "commands.hpp"
#include "progress_line.hpp"
#include "scan_report.hpp"
#include "scan_walk.hpp"
#include "stop_signals.hpp"
#include "usage.hpp"

#include "norvex/common/error_text.hpp"
#include "norvex/common/pyjson.hpp"
#include "norvex/common/pystr.hpp"
#include "norvex/core/crewhall/crewhall.hpp"
#include "norvex/tools/sourcelens.hpp"

#include <CLI/CLI.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <fmt/format.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <thread>

namespace norvex::cli {

namespace asio = boost::asio;
namespace fs = std::filesystem;

namespace {

// The pool's own bounds for its limit.
constexpr int MIN_JOBS = 1;
constexpr int MAX_JOBS = 20;
// No report lists more functions; the bound only keeps the number sane.
constexpr int MAX_TOP = 1000000;

constexpr std::string_view ERROR_PREFIX = "[ERROR] ";

asio::awaitable<std::string> run_operation(sourcelens::SourcelensTool& tool, std::string_view operation,
                                           const std::string& path) {
    boost::json::object kwargs;
    kwargs["operation"] = operation;
    kwargs["path"] = path;
    std::string text = co_await tool.execute(std::move(kwargs));
    if (text.starts_with(ERROR_PREFIX)) throw std::runtime_error(text.substr(ERROR_PREFIX.size()));
    co_return text;
}

// One file's job in the pool: its summary, then its complexity records. The
// outcome is written here; a failure also fails the pool's worker.
asio::awaitable<std::string> analyse_file(sourcelens::SourcelensTool& tool, std::size_t index, FileOutcome& outcome) {
    try {
        const std::string summary = co_await run_operation(tool, "summarize", outcome.path);
        const std::string complexity = co_await run_operation(tool, "complexity", outcome.path);
        outcome.figures = figures_from(outcome.path, index, pyjson::parse(summary), pyjson::parse(complexity));
    } catch (const std::exception& e) {
        outcome.error = error_message(e);
        throw;
    }
    co_return "analyzed";
}

// Submits every file's job, and no more once the scan was stopped.
asio::awaitable<void> submit_all(crewhall::Crewhall& pool, const std::vector<FileOutcome>& outcomes,
                                 const int& stopped_by) {
    for (std::size_t i = 0; i < outcomes.size() && stopped_by == 0; ++i) {
        crewhall::WorkerTask task;
        task.name = outcomes[i].path;
        task.timeout = 2 * sourcelens::ANALYSIS_TIMEOUT;
        task.metadata["index"] = static_cast<std::int64_t>(i);
        co_await pool.submit(std::move(task));
    }
}

int default_jobs() {
    const unsigned cores = std::thread::hardware_concurrency();
    return std::clamp(cores == 0 ? 1 : static_cast<int>(cores), MIN_JOBS, MAX_JOBS);
}

}  // namespace

void add_scan(CLI::App& parent, ScanCommand& command) {
    command.app = parent.add_subcommand(
        "scan", "Analyze every Python file under a folder: totals, failures, the most complex functions");
    command.app->add_option("dir", command.dir, "The folder to scan")->type_name("DIR")->required();
    command.app
        ->add_option("-j,--jobs", command.jobs,
                     fmt::format("Files analyzed at once, {} to {} (default: the number of cores)", MIN_JOBS, MAX_JOBS))
        ->type_name("N")
        ->check(integer_range("--jobs", MIN_JOBS, MAX_JOBS));
    command.app
        ->add_option("-k,--top", command.top,
                     fmt::format("How many of the most complex functions to list, 0 to {}", MAX_TOP))
        ->type_name("K")
        ->check(integer_range("--top", 0, MAX_TOP))
        ->capture_default_str();
    command.app->add_flag("--json", command.json, "Print the report as one JSON document");
    command.app->footer(
        "Hidden folders, virtual environments and __pycache__ are left out.\n"
        "On a terminal, stderr shows a progress line (not with -q); Ctrl-C stops the scan and its\n"
        "workers and exits with status 130 (SIGTERM: 143). Files that cannot be analyzed are listed\n"
        "in the report; they do not change the exit status.");
}

int run_scan(const ScanCommand& command, const Verbosity& verbosity) {
    std::error_code ec;
    const fs::path root{command.dir};
    const fs::file_status status = fs::status(root, ec);
    if (!fs::exists(status)) {
        std::cerr << "norvex scan: no such folder: " << command.dir << " (give an existing folder to scan)\n";
        return EXIT_FAILED;
    }
    if (!fs::is_directory(status)) {
        std::cerr << "norvex scan: not a folder: " << command.dir
                  << " (give a folder; `norvex analyze FILE` analyzes a single file)\n";
        return EXIT_FAILED;
    }

    const int jobs = command.jobs > 0 ? command.jobs : default_jobs();

    asio::io_context io;
    // Watched from the start: a Ctrl-C during the walk is handled once the loop runs.
    StopSignals signals{io};
    const PythonFiles found = find_python_files(root);
    if (!verbosity.quiet) {
        for (const UnreadableFolder& folder : found.unreadable) {
            std::cerr << "norvex scan: cannot read folder " << folder.path.string() << ": " << folder.reason
                      << " (its files are left out; check its permissions)\n";
        }
    }
    std::vector<FileOutcome> outcomes(found.files.size());
    // Paths are text from here on, as Python holds file names: the tool
    // takes them so, and the report shows them so.
    for (std::size_t i = 0; i < found.files.size(); ++i) outcomes[i].path = pystr::fsdecode(found.files[i].native());

    ProgressLine progress{progress_wanted(verbosity.quiet) && !found.files.empty(), found.files.size()};
    int stopped_by = 0;  // the signal that stopped the scan
    {
        // One manager for every file; each file's job holds at most one
        // worker process at a time, so the manager's limit never refuses one.
        forkyard::Forkyard yard{io.get_executor(), {.max_workers = jobs}};
        sourcelens::SourcelensTool tool{yard};
        std::size_t ended = 0;
        crewhall::Crewhall pool{
            io.get_executor(),
            {
                .max_workers = jobs,
                .executor = [&tool, &outcomes](const crewhall::WorkerTask& task, crewhall::UpdateStatus,
                                               double) -> asio::awaitable<std::string> {
                    const auto index = static_cast<std::size_t>(task.metadata.at("index").as_int64());
                    return analyse_file(tool, index, outcomes[index]);
                },
                .on_status_change =
                    [&](const crewhall::WorkerStatus& s) {
                        if (!crewhall::is_terminal(s.state)) return;
                        progress.finished(s.state == crewhall::WorkerState::COMPLETED);
                        // The last file done: nothing more to interrupt, and the loop may end.
                        if (++ended == outcomes.size()) signals.disarm();
                    },
            }};
        signals.on_stop([&](int signal_number) {
            stopped_by = signal_number;
            // The line goes first, so the shell's prompt starts on a clean line.
            progress.clear();
            asio::co_spawn(io, [&]() -> asio::awaitable<void> {
                // The jobs are cancelled before the kill, so none starts a worker after it; a busy
                // worker would otherwise hold its job's stop for the whole grace period.
                co_await pool.cleanup();
                yard.kill_all();
                co_await yard.cleanup();
            }, asio::detached);
        });
        if (outcomes.empty()) signals.disarm();
        std::exception_ptr submit_failure;
        asio::co_spawn(io, submit_all(pool, outcomes, stopped_by), [&](std::exception_ptr failure) {
            // The files never submitted never end: stop waiting for them.
            if (failure) signals.disarm();
            submit_failure = failure;
        });
        // Returns once every worker's job has ended (or was stopped): nothing else keeps the loop busy.
        io.run();
        if (submit_failure) std::rethrow_exception(submit_failure);
    }
    if (stopped_by != 0) return signals.exit_status();
    progress.clear();

    for (FileOutcome& outcome : outcomes) {
        if (!outcome.figures && outcome.error.empty()) outcome.error = "Not analyzed (its worker never ran)";
    }
    std::vector<std::string> skipped;
    for (const fs::path& folder : found.skipped) skipped.push_back(pystr::fsdecode(folder.native()));
    const ScanReport report = build_report(pystr::fsdecode(command.dir), jobs, outcomes, std::move(skipped),
                                           static_cast<std::size_t>(command.top));

    if (command.json) {
        std::cout << pyjson::dumps(report_json(report), pyjson::Layout::indent2) << '\n';
    } else {
        std::cout << pystr::fsencode_replace(report_table(report));
    }
    return EXIT_OK;
}

}  // namespace norvex::cli
