// hostkit: the screen size of real X servers and the capture program of this machine.
#include "desktop_fixture.hpp"

#include "norvex/common/run_program.hpp"
#include "norvex/pc/hostkit/hostkit.hpp"

#include "../../support/scratch_dir.hpp"

#include <gmock/gmock.h>

#include <cstdlib>
#include <fstream>

namespace norvex::testing {
namespace {

namespace hostkit = pc::hostkit;

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value != nullptr) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

using HostkitFullHd = XvfbSuite<1920, 1080>;
using HostkitLaptop = XvfbSuite<1280, 800>;

TEST_F(HostkitFullHd, ScreenSizeOfDisplay) {
    EXPECT_EQ(hostkit::get_screen_size_linux(display()), std::pair(1920, 1080));
    ScopedEnv env("DISPLAY", display().c_str());
    EXPECT_EQ(hostkit::get_screen_size_linux(), std::pair(1920, 1080));
}

TEST_F(HostkitLaptop, ScreenSizeOfDisplay) {
    ScopedEnv env("DISPLAY", display().c_str());
    EXPECT_EQ(hostkit::get_screen_size_linux(), std::pair(1280, 800));
}

TEST(Hostkit, NoDisplayGivesNoSize) {
    ScopedEnv env("DISPLAY", nullptr);
    EXPECT_EQ(hostkit::get_screen_size_linux(), std::nullopt);
    EXPECT_EQ(hostkit::get_screen_size_linux(":4242"), std::nullopt);
}

TEST_F(HostkitLaptop, ScreenshotCommandIsScrotAndWritesThePathGivenLast) {
    if (!find_program("scrot")) GTEST_SKIP() << "scrot is not installed";
    auto words = hostkit::get_screenshot_command();
    ASSERT_THAT(words, ::testing::ElementsAre("scrot", "-o"));

    ScratchDir dir;
    const std::string path = (dir.path() / "shot.png").string();
    dir.write("shot.png", "stale");  // -o: an existing file is overwritten, not renamed around
    words.push_back(path);
    const auto run = run_program(words, 10.0, {.env_overrides = {"DISPLAY=" + display()}});
    ASSERT_EQ(run.exit_status, 0) << run.err;
    std::ifstream in(path, std::ios::binary);
    std::string head(8, '\0');
    in.read(head.data(), 8);
    EXPECT_EQ(head, "\x89PNG\r\n\x1a\n");
}

TEST(Hostkit, NoCaptureProgramGivesNoCommand) {
    ScratchDir empty;
    ScopedEnv path("PATH", empty.path().c_str());
    EXPECT_TRUE(hostkit::get_screenshot_command().empty());
}

}  // namespace
}  // namespace norvex::testing
