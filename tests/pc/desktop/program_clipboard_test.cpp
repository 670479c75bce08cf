// The clipboard programs against a real X server, and the helper that runs them.
#include "desktop_fixture.hpp"

#include "norvex/pc/desktop/program_clipboard.hpp"
#include "norvex/pc/desktop/spawn.hpp"

#include "../../support/process_census.hpp"
#include "../../support/scratch_dir.hpp"

#include <gmock/gmock.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace norvex::testing {
namespace {

using ::testing::HasSubstr;

// The process ids of this process's children, zombies included.
std::set<int> children() {
    std::set<int> out;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream in(task.path() / "children");
        int pid = 0;
        while (in >> pid) out.insert(pid);
    }
    return out;
}

std::string read_clipboard(const std::string& display) {
    const std::string command = "DISPLAY=" + display + " xclip -o -selection clipboard 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    ::pclose(pipe);
    return out;
}

// Sets PATH for one test, restoring it afterwards.
class ScopedPath {
public:
    explicit ScopedPath(const std::string& value) : old_(std::getenv("PATH") ? std::getenv("PATH") : "") {
        ::setenv("PATH", value.c_str(), 1);
    }
    ~ScopedPath() { ::setenv("PATH", old_.c_str(), 1); }

private:
    std::string old_;
};

using ProgramClipboardTest = XvfbSuite<640, 480>;

TEST_F(ProgramClipboardTest, XclipHoldsTheTextAndLeavesNoChildOrDescriptor) {
    const auto xclip = pc::find_program("xclip");
    if (!xclip) GTEST_SKIP() << "xclip is not installed";
    const auto children_before = children();
    const int fds_before = open_fd_count();
    pc::ProgramClipboard clipboard({*xclip, "-selection", "clipboard"}, display());

    const std::string text = "first line\nzweite Zeile: h\u00e9llo \u20ac\u2192";
    clipboard.set_text(text);
    EXPECT_EQ(read_clipboard(display()), text);
    clipboard.set_text("replaced");
    EXPECT_EQ(read_clipboard(display()), "replaced");

    EXPECT_EQ(children(), children_before) << "xclip's selection server must not stay our child";
    EXPECT_EQ(open_fd_count(), fds_before);
}

TEST_F(ProgramClipboardTest, XselWorksTheSame) {
    const auto xsel = pc::find_program("xsel");
    if (!xsel || !pc::find_program("xclip")) GTEST_SKIP() << "xsel and xclip are needed";
    pc::ProgramClipboard clipboard({*xsel, "--clipboard", "--input"}, display());
    clipboard.set_text("from xsel \u00e4");
    EXPECT_EQ(read_clipboard(display()), "from xsel \u00e4");
}

TEST_F(ProgramClipboardTest, FactoryPrefersXclip) {
    if (!pc::find_program("xclip")) GTEST_SKIP() << "xclip is not installed";
    ScopedPath path(std::getenv("PATH"));
    ::unsetenv("WAYLAND_DISPLAY");
    auto clipboard = pc::make_program_clipboard(display());
    EXPECT_THAT(clipboard->command(), ::testing::ElementsAre(HasSubstr("xclip"), "-selection", "clipboard"));
    clipboard->set_text("via factory");
    EXPECT_EQ(read_clipboard(display()), "via factory");
}

TEST(ProgramClipboardMissing, NoProgramOnPathSaysWhatToInstall) {
    ScratchDir empty;
    ScopedPath path(empty.path().string());
    EXPECT_TRUE(pc::find_clipboard_command().empty());
    try {
        pc::make_program_clipboard();
        FAIL() << "a clipboard without any program";
    } catch (const pc::DesktopError& e) {
        EXPECT_STREQ(e.what(), "no clipboard program found: install xclip, xsel or wl-clipboard");
    }
}

TEST(ProgramClipboardMissing, ProgramFailureReportsItsExitAndMessage) {
    // xclip against a display that is not there fails, and says so.
    const auto xclip = pc::find_program("xclip");
    if (!xclip) GTEST_SKIP() << "xclip is not installed";
    pc::ProgramClipboard clipboard({*xclip, "-selection", "clipboard"}, ":4242");
    try {
        clipboard.set_text("x");
        FAIL() << "no error from a failing program";
    } catch (const pc::DesktopError& e) {
        EXPECT_THAT(e.what(), HasSubstr("could not set the clipboard (exit 1)"));
        EXPECT_THAT(e.what(), HasSubstr("4242"));
    }
}

TEST(RunWithInput, FeedsStandardInputAndReportsTheExitCode) {
    ScratchDir dir;
    const std::string out = (dir.path() / "out").string();
    const auto run = pc::run_with_input({"/bin/sh", "-c", "cat > '" + out + "'; echo oops >&2; exit 3"}, "payload\n");
    EXPECT_EQ(run.exit_code, 3);
    EXPECT_EQ(run.error_text, "oops\n");
    std::ifstream in(out);
    std::stringstream got;
    got << in.rdbuf();
    EXPECT_EQ(got.str(), "payload\n");
}

TEST(RunWithInput, ProgramThatQuitsWithoutReadingDoesNotHurtUs) {
    // Writing into a closed reader would raise SIGPIPE with a pipe.
    const std::string big(4 << 20, 'x');
    const auto run = pc::run_with_input({"/bin/true"}, big);
    EXPECT_EQ(run.exit_code, 0);
}

TEST(RunWithInput, ProgramThatHangsIsKilledAndReaped) {
    const auto before = children();
    const auto start = std::chrono::steady_clock::now();
    try {
        pc::run_with_input({"/bin/sleep", "30"}, "", {}, 0.2);
        FAIL() << "no error for a program past its time";
    } catch (const pc::DesktopError& e) {
        EXPECT_THAT(e.what(), HasSubstr("did not finish"));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(children(), before);
}

TEST(RunWithInput, ProgramThatNeverReadsALongInputIsStoppedInTime) {
    // More than a socket buffer holds: the write itself has to give up.
    const std::string big(8 << 20, 'x');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(pc::run_with_input({"/bin/sleep", "30"}, big, {}, 0.3), pc::DesktopError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(RunWithInput, EnvironmentOverridesReachTheProgram) {
    ScratchDir dir;
    const std::string out = (dir.path() / "env").string();
    pc::run_with_input({"/bin/sh", "-c", "printf %s \"$NORVEX_PROBE\" > '" + out + "'"}, "", {"NORVEX_PROBE=seen"});
    std::ifstream in(out);
    std::string got;
    in >> got;
    EXPECT_EQ(got, "seen");
}

TEST(RunWithInput, MissingProgramSaysItCannotStart) {
    EXPECT_THROW(pc::run_with_input({"/nonexistent/prog"}, ""), pc::DesktopError);
}

}  // namespace
}  // namespace norvex::testing
