// The clipboard programs against a real X server.
#include "desktop_fixture.hpp"

#include "norvex/common/run_program.hpp"
#include "norvex/pc/desktop/program_clipboard.hpp"

#include "../../support/process_census.hpp"
#include "../../support/scratch_dir.hpp"

#include <gmock/gmock.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace norvex::testing {
namespace {

using ::testing::HasSubstr;

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
    const auto xclip = find_program("xclip");
    if (!xclip) GTEST_SKIP() << "xclip is not installed";
    const auto children_before = child_pids();
    const int fds_before = open_fd_count();
    pc::ProgramClipboard clipboard({*xclip, "-selection", "clipboard"}, display());

    const std::string text = "first line\nzweite Zeile: h\u00e9llo \u20ac\u2192";
    clipboard.set_text(text);
    EXPECT_EQ(read_clipboard(display()), text);
    clipboard.set_text("replaced");
    EXPECT_EQ(read_clipboard(display()), "replaced");

    EXPECT_EQ(child_pids(), children_before) << "xclip's selection server must not stay our child";
    EXPECT_EQ(open_fd_count(), fds_before);
}

TEST_F(ProgramClipboardTest, XselWorksTheSame) {
    const auto xsel = find_program("xsel");
    if (!xsel || !find_program("xclip")) GTEST_SKIP() << "xsel and xclip are needed";
    pc::ProgramClipboard clipboard({*xsel, "--clipboard", "--input"}, display());
    clipboard.set_text("from xsel \u00e4");
    EXPECT_EQ(read_clipboard(display()), "from xsel \u00e4");
}

TEST_F(ProgramClipboardTest, FactoryPrefersXclip) {
    if (!find_program("xclip")) GTEST_SKIP() << "xclip is not installed";
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
    // One that was there when chosen but cannot start now is a desktop failure too.
    pc::ProgramClipboard gone({(empty.path() / "xclip").string(), "-selection", "clipboard"}, ":4242");
    EXPECT_THAT([&] { gone.set_text("x"); },
                ::testing::ThrowsMessage<pc::DesktopError>(
                    ::testing::AllOf(HasSubstr("cannot run "), HasSubstr("xclip: No such file or directory"))));
}

TEST(ProgramClipboardMissing, ProgramFailureReportsItsExitAndMessage) {
    // xclip against a display that is not there fails, and says so.
    const auto xclip = find_program("xclip");
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

}  // namespace
}  // namespace norvex::testing
