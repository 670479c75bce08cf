// `norvex analyze` stopped by SIGTERM or Ctrl-C: its worker busy (the real astprobe) or stuck (a stand-in).
#include "terminal_run.hpp"

#include "../support/standin_program.hpp"
#include "../support/worker_census.hpp"

#include <gmock/gmock.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>

using namespace norvex::testing;
namespace fs = std::filesystem;

namespace {
const std::string STANDIN_WORKER = NORVEX_STANDIN_WORKER;
}  // namespace

// The worker goes with the program, whether it is analysing a large file
// (it would otherwise run to the end) or stuck, reading and answering
// nothing, as a worker blocked in a system call is (it would otherwise wait
// for ever); the status is 128 + the signal. The stuck worker is the
// stand-in of a private copy of the program. Stopped, the program still
// leaves nothing in the temporary folder.
TEST(NorvexAnalyze, SignalStopsTheWorkerWhetherBusyOrStuck) {
    ScratchDir scratch{"norvex_analyze_signal_"};
    std::string large;
    for (int i = 0; i < 200000; ++i) large += "def f" + std::to_string(i) + "(a):\n    return a if a else 0\n";
    const std::string busy = scratch.write("large.py", large);
    const std::string stuck = scratch.write("stuck.py", "x = 1\n");
    const std::string standin = standin_program(scratch.path() / "tree", NORVEX_PROGRAM_PATH, STANDIN_WORKER).string();
    const fs::path tmp = scratch.path() / "tmp";
    fs::create_directories(tmp);
    OrphanCatcher catcher;
    ASSERT_TRUE(catcher.active());

    for (const std::string& path : {busy, stuck}) {
        for (const int signal_number : {SIGTERM, SIGINT}) {
            SCOPED_TRACE(fs::path(path).filename().string() + ", " + strsignal(signal_number));
            const std::string out_file = (scratch.path() / "out").string();
            TerminalRun run({"analyze", path}, out_file, {{"TMPDIR", tmp.string()}},
                            path == busy ? NORVEX_PROGRAM_PATH : standin);
            std::vector<pid_t> workers;
            for (int attempt = 0; attempt < 1000; ++attempt) {
                workers = children_named(run.pid());
                if (!workers.empty()) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            ASSERT_EQ(workers.size(), 1u) << "no worker seen running";
            ASSERT_EQ(::kill(run.pid(), signal_number), 0);

            const std::string err = run.read_to_end();
            const int status = run.wait();
            ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
            EXPECT_EQ(WEXITSTATUS(status), 128 + signal_number);
            // Stopped before its answer: nothing printed, no complaint either.
            EXPECT_EQ(read_file(out_file), "");
            EXPECT_EQ(err, "");
            EXPECT_FALSE(is_running(workers[0])) << "worker " << workers[0] << " survived";
            EXPECT_TRUE(catcher.orphans().empty()) << "a worker outlived the program";
            EXPECT_TRUE(fs::is_empty(tmp)) << "the manager's folder was left behind";
        }
    }
}
