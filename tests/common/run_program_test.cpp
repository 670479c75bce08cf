// The one runner of outside programs (clipboard and capture programs, display reports, user lookups) against real programs.
#include "norvex/common/errors.hpp"
#include "norvex/common/run_program.hpp"

#include "../support/process_census.hpp"
#include "../support/scratch_dir.hpp"

#include <gmock/gmock.h>

#include <chrono>
#include <fstream>
#include <sstream>

namespace norvex::testing {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream got;
    got << in.rdbuf();
    return got.str();
}

TEST(RunProgram, FeedsInputKeepsWhatItWritesAndReportsTheExitStatus) {
    ScratchDir dir;
    const std::string out = (dir.path() / "out").string();
    const auto run = run_program({"/bin/sh", "-c", "cat > '" + out + "'; echo said; echo oops >&2; exit 3"}, 5.0,
                                     {.input = "payload\n", .keep_output = true});
    EXPECT_EQ(run.exit_status, 3);
    EXPECT_EQ(run.out, "said\n");
    EXPECT_EQ(run.err, "oops\n");
    EXPECT_EQ(read_file(out), "payload\n");

    // Without input the program reads end of input at once; without
    // keep_output its standard output goes nowhere. Found on PATH.
    const auto quiet = run_program({"sh", "-c", "cat; echo gone"}, 5.0);
    EXPECT_EQ(quiet.exit_status, 0);
    EXPECT_EQ(quiet.out, "");

    // Ended by a signal: 128 + its number.
    EXPECT_EQ(run_program({"sh", "-c", "kill -TERM $$"}, 5.0).exit_status, 128 + 15);
}

TEST(RunProgram, TalkativeProgramsNeverBlockAndTheErrorKeepsItsEnd) {
    // Far more than a pipe holds on either stream while it runs.
    const auto run = run_program(
        {"sh", "-c", "head -c 1000000 /dev/zero; head -c 200000 /dev/zero | tr '\\0' e >&2; printf END >&2"}, 10.0,
        {.keep_output = true});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.out.size(), 1000000u);
    EXPECT_EQ(run.err.size(), 64u * 1024u);
    EXPECT_THAT(run.err, EndsWith("eeeEND"));
}

TEST(RunProgram, ItsExitEndsTheWaitThoughAServerItLeftHoldsItsOutput) {
    // As xclip does: a child keeps the program's output streams open.
    const auto start = std::chrono::steady_clock::now();
    const auto run = run_program({"sh", "-c", "sleep 4 & echo started; echo warned >&2"}, 10.0, {.keep_output = true});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.out, "started\n");
    EXPECT_EQ(run.err, "warned\n");
}

TEST(RunProgram, ProgramThatQuitsWithoutReadingDoesNotHurtUs) {
    // Writing into a closed reader would raise SIGPIPE with a pipe.
    const std::string big(4 << 20, 'x');
    EXPECT_EQ(run_program({"/bin/true"}, 5.0, {.input = big}).exit_status, 0);
}

TEST(RunProgram, ProgramPastItsLimitIsKilledReapedAndReported) {
    const auto before = child_pids();
    const int fds = open_fd_count();
    const auto start = std::chrono::steady_clock::now();
    try {
        run_program({"sleep", "30"}, 0.3);
        FAIL() << "no error for a program past its time";
    } catch (const TimeoutError& e) {
        EXPECT_STREQ(e.what(), "sleep did not finish within 0.3 seconds and was stopped");
    }
    // One that closes its output but keeps running, and one that never reads
    // an input longer than a socket buffer holds: the write has to give up.
    EXPECT_THROW(run_program({"sh", "-c", "exec >&- 2>&-; sleep 30"}, 0.3, {.keep_output = true}), TimeoutError);
    EXPECT_THROW(run_program({"/bin/sleep", "30"}, 0.3, {.input = std::string(8 << 20, 'x')}), TimeoutError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(child_pids(), before);
    EXPECT_EQ(open_fd_count(), fds);
}

TEST(RunProgram, EnvironmentOverridesReachTheProgram) {
    ::setenv("NORVEX_PROBE_KEPT", "kept", 1);
    const auto run = run_program({"/bin/sh", "-c", "printf '%s %s' \"$NORVEX_PROBE\" \"$NORVEX_PROBE_KEPT\""}, 5.0,
                                     {.keep_output = true, .env_overrides = {"NORVEX_PROBE=seen"}});
    ::unsetenv("NORVEX_PROBE_KEPT");
    EXPECT_EQ(run.out, "seen kept");
}

TEST(RunProgram, AProgramThatCannotStartSaysWhatToCheck) {
    try {
        run_program({"norvex-no-such-capture-program"}, 1.0);
        FAIL() << "no exception";
    } catch (const ProgramError& e) {
        EXPECT_STREQ(e.what(),
                     "cannot run norvex-no-such-capture-program: No such file or directory (is it installed and on PATH?)");
    }
    EXPECT_THROW(run_program({"/nonexistent/prog"}, 1.0, {.input = ""}), ProgramError);
    EXPECT_THROW(run_program({}, 1.0), std::invalid_argument);
}

}  // namespace
}  // namespace norvex::testing
