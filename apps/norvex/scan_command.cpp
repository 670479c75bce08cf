// `norvex scan`: every Python file of a folder through the code-analysis tool, a pool of workers at a time.
#include "commands.hpp"
#include "scan_report.hpp"
#include "scan_walk.hpp"

#include "norvex/common/pyjson.hpp"
#include "norvex/core/crewhall/crewhall.hpp"
#include "norvex/tools/sourcelens.hpp"

#include <CLI/CLI.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/use_future.hpp>
#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <thread>

#include <unistd.h>

namespace norvex::cli {

namespace asio = boost::asio;
namespace fs = std::filesystem;

namespace {

// The pool's own bounds for its limit.
constexpr int MIN_JOBS = 1;
constexpr int MAX_JOBS = 20;

constexpr std::string_view ERROR_PREFIX = "[ERROR] ";

// The files done so far, redrawn on one line of a terminal's stderr.
class ProgressLine {
public:
    ProgressLine(bool enabled, std::size_t total) : enabled_(enabled), total_(total) { draw(); }

    void finished(bool ok) {
        ++done_;
        if (!ok) ++failed_;
        // Redrawing for every file would cost more than the analysis of a small one.
        const auto now = std::chrono::steady_clock::now();
        if (done_ == total_ || now - last_ >= std::chrono::milliseconds(80)) draw();
    }

    void clear() {
        if (!enabled_) return;
        std::fputs("\r\x1b[K", stderr);
        std::fflush(stderr);
    }

private:
    void draw() {
        if (!enabled_) return;
        last_ = std::chrono::steady_clock::now();
        std::fprintf(stderr, "\r\x1b[Kscanning: %zu/%zu files, %zu failed", done_, total_, failed_);
        std::fflush(stderr);
    }

    bool enabled_;
    std::size_t total_;
    std::size_t done_ = 0;
    std::size_t failed_ = 0;
    std::chrono::steady_clock::time_point last_{};
};

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
        outcome.error = e.what();
        throw;
    }
    co_return "analyzed";
}

asio::awaitable<void> submit_all(crewhall::Crewhall& pool, const std::vector<FileOutcome>& outcomes) {
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
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
        "scan", "Analyze every Python file under a folder (hidden folders and virtual environments left out) "
                "and report totals, failures and the most complex functions");
    command.app->add_option("dir", command.dir, "The folder to scan")->required();
    command.app
        ->add_option("-j,--jobs", command.jobs,
                     fmt::format("Files analyzed at once, {} to {} (default: the number of cores)", MIN_JOBS, MAX_JOBS))
        ->check(CLI::PositiveNumber);
    command.app->add_option("-k,--top", command.top, "How many of the most complex functions to list")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    command.app->add_flag("--json", command.json, "Print the report as one JSON document");
}

int run_scan(const ScanCommand& command) {
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

    int jobs = command.jobs > 0 ? command.jobs : default_jobs();
    if (jobs > MAX_JOBS) {
        std::cerr << "norvex scan: --jobs " << jobs << " is more than the pool runs at once; using " << MAX_JOBS
                  << '\n';
        jobs = MAX_JOBS;
    }

    const PythonFiles found = find_python_files(root);
    for (const UnreadableFolder& folder : found.unreadable) {
        std::cerr << "norvex scan: cannot read folder " << folder.path.string() << ": " << folder.reason
                  << " (its files are left out; check its permissions)\n";
    }
    std::vector<FileOutcome> outcomes(found.files.size());
    for (std::size_t i = 0; i < found.files.size(); ++i) outcomes[i].path = found.files[i].string();

    ProgressLine progress{::isatty(STDERR_FILENO) == 1 && !found.files.empty(), found.files.size()};
    {
        asio::io_context io;
        // One manager for every file; each file's job holds at most one
        // worker process at a time, so the manager's limit never refuses one.
        forkyard::Forkyard yard{io.get_executor(), {.max_workers = jobs}};
        sourcelens::SourcelensTool tool{yard};
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
                    [&progress](const crewhall::WorkerStatus& s) {
                        if (crewhall::is_terminal(s.state)) progress.finished(s.state == crewhall::WorkerState::COMPLETED);
                    },
            }};
        auto submitted = asio::co_spawn(io, submit_all(pool, outcomes), asio::use_future);
        // Returns once every worker's job has ended: nothing else keeps the loop busy.
        io.run();
        submitted.get();
    }
    progress.clear();

    for (FileOutcome& outcome : outcomes) {
        if (!outcome.figures && outcome.error.empty()) outcome.error = "Not analyzed (its worker never ran)";
    }
    std::vector<std::string> skipped;
    for (const fs::path& folder : found.skipped) skipped.push_back(folder.string());
    const ScanReport report =
        build_report(command.dir, jobs, outcomes, std::move(skipped), static_cast<std::size_t>(command.top));

    if (command.json) {
        std::cout << pyjson::dumps(report_json(report), pyjson::Layout::indent2) << '\n';
    } else {
        std::cout << report_table(report);
    }
    return EXIT_OK;
}

}  // namespace norvex::cli
