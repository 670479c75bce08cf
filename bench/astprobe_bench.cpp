// The code-analysis worker against its Python equivalent, in one run: analyses in process, start-up, one request end to end.
//
// Usage: astprobe_bench [--repeat N] [--runs N] [--python INTERPRETER] [--only inprocess|startup|roundtrip|baseline]
//                       [--baseline PROGRAM] [FOLDER]
//   FOLDER: where the ten largest .py files are taken from (default /usr/lib/python3.11)
//   PROGRAM: another build of the astprobe program (an earlier commit's, say)
//            whose round trip is timed in blocks of 20 alternating with this
//            build's, so that both meet the same load on a shared machine
//
// 1. In process: full_analysis(path) on each of the ten largest files, best
//    of N per file and best of N passes over all ten, against
//    bench/astprobe_reference.py's full_analysis under Python
//    (python/astprobe_full_analysis.py). Every file is read once first, so
//    both sides read it from the page cache. The answers of the two sides
//    are compared as JSON text, so the Python side is known to do the same
//    work.
// 2. Start-up: the astprobe program started with /dev/null as input (it
//    reads end of input and exits), median of N; the Python worker the same way.
// 3. One request end to end: Forkyard::spawn of worker type "sourcelens"
//    with {"action": "summarize"} on bench/data/ledger.py (200 lines), from
//    the call to its result (the child started, answered, told to quit and
//    reaped); median and p90 of N. The Python side is the same spawn through
//    the same manager, with the reference as the only worker program of its
//    folder ("astprobe.py", run under the interpreter given).
#include "../tests/support/scratch_dir.hpp"

#include "norvex/common/pyjson.hpp"
#include "norvex/core/forkyard/forkyard.hpp"
#include "norvex/workers/astprobe/parse_file.hpp"
#include "norvex/workers/astprobe/summary.hpp"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/json/parse.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace asio = boost::asio;
namespace fs = std::filesystem;
using norvex::testing::ScratchDir;
namespace json = boost::json;
namespace astprobe = norvex::astprobe;

namespace {

using Clock = std::chrono::steady_clock;

const fs::path BENCH_DIR = NORVEX_BENCH_SOURCE_DIR;
const fs::path ASTPROBE = NORVEX_BENCH_ASTPROBE;
constexpr int LARGEST_FILES = 10;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double percentile(std::vector<double> values, double pct) {
    std::sort(values.begin(), values.end());
    const double rank = pct / 100.0 * static_cast<double>(values.size() - 1);
    const auto lo = static_cast<std::size_t>(rank);
    const std::size_t hi = std::min(lo + 1, values.size() - 1);
    return values[lo] + (values[hi] - values[lo]) * (rank - static_cast<double>(lo));
}

double median(std::vector<double> values) { return percentile(std::move(values), 50.0); }

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Runs a shell command and gives what it printed.
std::string capture(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("cannot run: " + command);
    char buf[65536];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    const int rc = ::pclose(pipe);
    if (rc != 0) throw std::runtime_error("failed (status " + std::to_string(rc) + "): " + command);
    return out;
}

std::string quoted(const std::string& s) { return "'" + s + "'"; }

std::vector<fs::path> largest_python_files(const fs::path& root, int count) {
    std::vector<std::pair<std::uintmax_t, fs::path>> files;
    for (const auto& entry : fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied)) {
        if (entry.is_regular_file() && entry.path().extension() == ".py") files.emplace_back(entry.file_size(), entry.path());
    }
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<fs::path> out;
    for (int i = 0; i < count && i < static_cast<int>(files.size()); ++i) out.push_back(files[static_cast<std::size_t>(i)].second);
    return out;
}

template <typename F>
double best_of(int repeat, F&& f) {
    double best = 1e300;
    for (int i = 0; i < repeat; ++i) {
        const auto start = Clock::now();
        f();
        best = std::min(best, seconds_since(start));
    }
    return best;
}

void run_in_process(const fs::path& root, int repeat, const std::string& python, const ScratchDir& scratch) {
    const std::vector<fs::path> files = largest_python_files(root, LARGEST_FILES);
    if (files.empty()) throw std::runtime_error("no .py files under " + root.string());
    std::uintmax_t bytes = 0;
    const fs::path list = scratch.path() / "files.txt";
    {
        std::ofstream out(list);
        for (const auto& f : files) {
            bytes += read_file(f).size();  // into the page cache, for both sides
            out << f.string() << "\n";
        }
    }

    std::map<std::string, double> ours_per_file;
    for (const auto& f : files) {
        ours_per_file[f.string()] = best_of(repeat, [&] {
            json::object answer = astprobe::full_analysis(f.string());
            if (!answer.at("success").as_bool()) throw std::runtime_error("full_analysis failed on " + f.string());
        });
    }
    const double ours_total = best_of(repeat, [&] {
        for (const auto& f : files) (void)astprobe::full_analysis(f.string());
    });
    const double ours_parse = best_of(repeat, [&] {
        for (const auto& f : files) (void)astprobe::parse_file(f.string());
    });

    const fs::path answers = scratch.path() / "answers.jsonl";
    const std::string command = quoted(python) + " " + quoted((BENCH_DIR / "python" / "astprobe_full_analysis.py").string()) +
                                " " + quoted(list.string()) + " --repeat " + std::to_string(repeat) + " --answers " +
                                quoted(answers.string());
    const json::object theirs = json::parse(capture(command)).as_object();
    const double theirs_total = theirs.at("best_pass_seconds").to_number<double>();
    const double theirs_parse = theirs.at("parse_seconds").to_number<double>();
    const json::object& theirs_per_file = theirs.at("per_file_seconds").as_object();

    // The same answers, text for text, or the comparison means nothing.
    std::ifstream in(answers);
    std::string line;
    int agree = 0;
    for (const auto& f : files) {
        std::getline(in, line);
        if (norvex::pyjson::dumps(astprobe::full_analysis(f.string())) == line) {
            ++agree;
        } else {
            std::printf("  answers differ on %s\n", f.c_str());
        }
    }

    std::printf("== in process: full_analysis on the %zu largest .py files under %s (%ju bytes), best of %d\n",
                files.size(), root.c_str(), bytes, repeat);
    std::printf("  %-48s %10s %10s %8s\n", "file", "astprobe ms", "Python ms", "ratio");
    for (const auto& f : files) {
        const double o = ours_per_file[f.string()];
        const double t = theirs_per_file.at(f.string()).to_number<double>();
        std::printf("  %-48s %10.3f %10.3f %7.1fx\n", fs::relative(f, root).c_str(), o * 1e3, t * 1e3, t / o);
    }
    std::printf("  %-48s %10.3f %10.3f %7.1fx\n", "all ten, best pass", ours_total * 1e3, theirs_total * 1e3,
                theirs_total / ours_total);
    std::printf("  %-48s %10.3f %10.3f %7.1fx\n", "  of which reading and parsing (parse_file)", ours_parse * 1e3,
                theirs_parse * 1e3, theirs_parse / ours_parse);
    std::printf("  %-48s %10.3f %10.3f %7.1fx\n", "  the analyses (the rest)", (ours_total - ours_parse) * 1e3,
                (theirs_total - theirs_parse) * 1e3, (theirs_total - theirs_parse) / (ours_total - ours_parse));
    std::printf("  answers identical: %d of %zu files (Python %s)\n", agree, files.size(),
                theirs.at("python").as_string().c_str());
    std::printf("  full analysis >= 20x the Python reference: %s (%.1fx)\n\n",
                theirs_total / ours_total >= 20 ? "met" : "NOT met", theirs_total / ours_total);
}

// posix_spawn with stdin from /dev/null and stdout, stderr to /dev/null; until reaped.
double spawn_and_reap(const std::vector<std::string>& argv) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const auto start = Clock::now();
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::system_error(rc, std::generic_category(), "posix_spawn " + argv[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double took = seconds_since(start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(argv[0] + " did not exit with 0");
    return took;
}

void run_startup(int runs, const std::string& python) {
    const std::vector<std::string> ours{ASTPROBE.string()};
    const std::vector<std::string> theirs{python, (BENCH_DIR / "astprobe_reference.py").string()};
    for (int i = 0; i < 5; ++i) spawn_and_reap(ours), spawn_and_reap(theirs);
    std::vector<double> ours_ms, theirs_ms;
    for (int i = 0; i < runs; ++i) ours_ms.push_back(spawn_and_reap(ours) * 1e3);
    for (int i = 0; i < std::max(runs / 4, 10); ++i) theirs_ms.push_back(spawn_and_reap(theirs) * 1e3);
    std::printf("== start-up: the worker started with /dev/null as input, until reaped\n");
    std::printf("  %-48s %10s %10s\n", "", "median ms", "p90 ms");
    std::printf("  %-48s %10.3f %10.3f\n", "astprobe", median(ours_ms), percentile(ours_ms, 90));
    std::printf("  %-48s %10.3f %10.3f\n\n", "astprobe_reference.py (Python)", median(theirs_ms),
                percentile(theirs_ms, 90));
}

struct RoundTrips {
    std::vector<double> ms;
    json::value answer;
};

RoundTrips spawn_summaries(const fs::path& workers_dir, const fs::path& scratch_dir, const std::string& file,
                           int runs, int untimed = 5) {
    asio::io_context io;
    norvex::forkyard::ForkyardOptions options;
    options.workers_dir = workers_dir;
    options.temp_dir = scratch_dir.string();
    norvex::forkyard::Forkyard yard(io.get_executor(), options);
    RoundTrips out;
    std::exception_ptr failure;
    asio::co_spawn(
        io,
        [&]() -> asio::awaitable<void> {
            for (int i = -untimed; i < runs; ++i) {
                norvex::forkyard::SubprocessTask task;
                task.worker_type = "sourcelens";
                task.command = json::object{{"action", "summarize"}, {"path", file}};
                task.timeout = 30.0;
                const auto start = Clock::now();
                const auto result = co_await yard.spawn(std::move(task));
                const double took = seconds_since(start);
                if (result.status != norvex::forkyard::WorkerStatus::COMPLETED)
                    throw std::runtime_error("spawn failed: " + result.error.value_or("?"));
                if (i >= 0) out.ms.push_back(took * 1e3);
                out.answer = result.output;
            }
        },
        [&](std::exception_ptr e) { failure = e; });
    io.run();
    if (failure) std::rethrow_exception(failure);
    return out;
}

// This build's round trips and those of `baseline` (a program path), in
// alternating blocks; the baseline runs as the only program of its folder.
void run_baseline_roundtrip(int runs, const fs::path& baseline, const ScratchDir& scratch) {
    const std::string file = (BENCH_DIR / "data" / "ledger.py").string();
    const fs::path baseline_workers = scratch.path() / "baseline-workers";
    fs::create_directories(baseline_workers);
    fs::copy_file(baseline, baseline_workers / "astprobe", fs::copy_options::overwrite_existing);
    constexpr int BLOCK = 20;
    std::vector<double> ours_ms, theirs_ms;
    json::value ours_answer, theirs_answer;
    for (int done = 0; done < runs; done += BLOCK) {
        const int block = std::min(BLOCK, runs - done);
        RoundTrips ours = spawn_summaries(ASTPROBE.parent_path(), scratch.path(), file, block, 2);
        RoundTrips theirs = spawn_summaries(baseline_workers, scratch.path(), file, block, 2);
        ours_ms.insert(ours_ms.end(), ours.ms.begin(), ours.ms.end());
        theirs_ms.insert(theirs_ms.end(), theirs.ms.begin(), theirs.ms.end());
        ours_answer = std::move(ours.answer);
        theirs_answer = std::move(theirs.answer);
    }
    std::printf("== one request end to end against %s, alternating blocks of %d\n", baseline.c_str(), BLOCK);
    std::printf("  %-48s %10s %10s %10s\n", "", "median ms", "p90 ms", "runs");
    std::printf("  %-48s %10.3f %10.3f %10zu\n", "forkyard + astprobe (this build)", median(ours_ms),
                percentile(ours_ms, 90), ours_ms.size());
    std::printf("  %-48s %10.3f %10.3f %10zu\n", "forkyard + astprobe (baseline)", median(theirs_ms),
                percentile(theirs_ms, 90), theirs_ms.size());
    std::printf("  answers identical: %s; this build takes %.2fx the baseline's median\n\n",
                ours_answer == theirs_answer ? "yes" : "NO", median(ours_ms) / median(theirs_ms));
}

void run_roundtrip(int runs, const std::string& python, const ScratchDir& scratch) {
    const std::string file = (BENCH_DIR / "data" / "ledger.py").string();
    // The Python worker: the reference alone in its folder under the name
    // astprobe.py, and "python" on PATH being the interpreter asked for (the
    // manager runs .py workers under the "python" or "python3" it finds there).
    const fs::path py_workers = scratch.path() / "py-workers";
    const fs::path py_bin = scratch.path() / "py-bin";
    fs::create_directories(py_workers);
    fs::create_directories(py_bin);
    fs::copy_file(BENCH_DIR / "astprobe_reference.py", py_workers / "astprobe.py");
    fs::create_symlink(python, py_bin / "python");
    const std::string old_path = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (py_bin.string() + ":" + old_path).c_str(), 1);

    const RoundTrips ours = spawn_summaries(ASTPROBE.parent_path(), scratch.path(), file, runs);
    const RoundTrips theirs = spawn_summaries(py_workers, scratch.path(), file, std::max(runs / 4, 20));
    ::setenv("PATH", old_path.c_str(), 1);

    const double ratio = median(theirs.ms) / median(ours.ms);
    std::printf("== one request end to end: Forkyard::spawn, \"summarize\" on bench/data/ledger.py (200 lines)\n");
    std::printf("  %-48s %10s %10s %10s\n", "", "median ms", "p90 ms", "runs");
    std::printf("  %-48s %10.3f %10.3f %10zu\n", "forkyard + astprobe", median(ours.ms), percentile(ours.ms, 90),
                ours.ms.size());
    std::printf("  %-48s %10.3f %10.3f %10zu\n", "forkyard + astprobe_reference.py (Python)", median(theirs.ms),
                percentile(theirs.ms, 90), theirs.ms.size());
    std::printf("  answers identical: %s\n", ours.answer == theirs.answer ? "yes" : "NO");
    std::printf("  median <= 5 ms: %s (%.3f ms); >= 10x the Python worker: %s (%.1fx)\n\n",
                median(ours.ms) <= 5.0 ? "met" : "NOT met", median(ours.ms), ratio >= 10 ? "met" : "NOT met", ratio);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        int repeat = 5;
        int runs = 200;
        std::string python = "/usr/bin/python3";
        std::string only;
        fs::path baseline;
        fs::path root = "/usr/lib/python3.11";
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            if (arg == "--repeat" && i + 1 < argc) repeat = std::max(1, std::atoi(argv[++i]));
            else if (arg == "--runs" && i + 1 < argc) runs = std::max(10, std::atoi(argv[++i]));
            else if (arg == "--python" && i + 1 < argc) python = argv[++i];
            else if (arg == "--only" && i + 1 < argc) only = argv[++i];
            else if (arg == "--baseline" && i + 1 < argc) baseline = argv[++i];
            else if (!arg.empty() && arg[0] == '-') {
                std::fprintf(stderr, "astprobe_bench: unknown option %s (see the usage at the top of astprobe_bench.cpp)\n",
                             arg.c_str());
                return 2;
            } else root = arg;
        }
        ScratchDir scratch{"norvex_bench_"};
        if (only.empty() || only == "inprocess") run_in_process(root, repeat, python, scratch);
        if (only.empty() || only == "startup") run_startup(runs, python);
        if (only.empty() || only == "roundtrip") run_roundtrip(runs, python, scratch);
        if (!baseline.empty()) run_baseline_roundtrip(runs, baseline, scratch);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "astprobe_bench: %s\n", e.what());
        return 1;
    }
}
