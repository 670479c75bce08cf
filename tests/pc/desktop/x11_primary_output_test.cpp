// Screen space is the primary output: its origin offsets the pointer and bounds the capture.
#include "desktop_fixture.hpp"

#include "norvex/pc/hostkit/hostkit.hpp"

#include <X11/extensions/Xrandr.h>

namespace norvex::testing {
namespace {

// Makes the server's one output an 800 x 600 primary monitor at (100, 50) of
// the 1280 x 800 screen, as a second monitor's layout would place it.
void make_offset_primary(const std::string& display) {
    Display* d = XOpenDisplay(display.c_str());
    const Window root = DefaultRootWindow(d);
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(d, root);
    char name[] = "800x600";
    XRRModeInfo info{};
    info.width = 800;
    info.height = 600;
    info.dotClock = 40000000;
    info.hTotal = 1056;
    info.vTotal = 628;
    info.name = name;
    info.nameLength = sizeof name - 1;
    // The suite's tests share one server: the mode may be there already.
    RRMode mode = 0;
    for (int i = 0; i < resources->nmode; ++i)
        if (std::string(resources->modes[i].name) == name) mode = resources->modes[i].id;
    if (mode == 0) {
        mode = XRRCreateMode(d, root, &info);
        XRRAddOutputMode(d, resources->outputs[0], mode);
    }
    XRRSetCrtcConfig(d, resources, resources->crtcs[0], CurrentTime, 100, 50, mode, RR_Rotate_0, &resources->outputs[0], 1);
    XRRSetOutputPrimary(d, root, resources->outputs[0]);
    XSync(d, False);
    XRRFreeScreenResources(resources);
    XCloseDisplay(d);
}

using X11PrimaryOutput = DesktopTest;

TEST_F(X11PrimaryOutput, LayoutChangeMovesScreenSpaceToThePrimaryOutput) {
    // The desktop was opened before the change and must notice it.
    EXPECT_EQ(desktop().screen_rect().width, 1280);
    make_offset_primary(display());
    const pc::ScreenRect rect = desktop().screen_rect();
    EXPECT_EQ(rect.x, 100);
    EXPECT_EQ(rect.y, 50);
    EXPECT_EQ(rect.width, 800);
    EXPECT_EQ(rect.height, 600);
    EXPECT_EQ(pc::hostkit::get_screen_size_linux(display()), std::pair(800, 600));
}

TEST_F(X11PrimaryOutput, PointerCoordinatesAreOffsetByTheOutputOrigin) {
    make_offset_primary(display());
    desktop().click(10, 20);
    const auto events = window().wait_for_count(ButtonRelease, 1);
    ASSERT_FALSE(events.empty());
    const SeenEvent& press = events[events.size() - 2];
    ASSERT_EQ(press.type, ButtonPress);
    // The recording window covers the whole screen from (0, 0).
    EXPECT_EQ(std::pair(press.x, press.y), std::pair(110, 70));
    EXPECT_EQ(desktop().position(), std::pair(10, 20));
}

TEST_F(X11PrimaryOutput, ScreenshotCoversOnlyThePrimaryOutput) {
    make_offset_primary(display());
    window().fill(0, 0, 1280, 800, 0x000000);
    window().fill(100, 50, 1, 1, 0xff8000);    // the output's first pixel
    window().fill(899, 649, 1, 1, 0x0080ff);   // its last
    window().fill(99, 49, 1, 1, 0xffffff);     // just outside it
    const pc::RgbImage image = desktop().screenshot();
    ASSERT_EQ(image.width, 800);
    ASSERT_EQ(image.height, 600);
    auto at = [&](int x, int y) {
        const auto* p = &image.pixels[(static_cast<std::size_t>(y) * 800 + x) * 3];
        return (p[0] << 16) | (p[1] << 8) | p[2];
    };
    EXPECT_EQ(at(0, 0), 0xff8000);
    EXPECT_EQ(at(799, 599), 0x0080ff);
    EXPECT_EQ(at(1, 1), 0);
}

}  // namespace
}  // namespace norvex::testing
