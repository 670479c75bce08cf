// The Wayland desktop's output, screenshots and pointer against a real headless sway and the probe client.
#include "wayland_fixture.hpp"

#include <linux/input-event-codes.h>

#include <cstdio>

namespace norvex::testing {
namespace {

using ::testing::ElementsAre;

using WaylandScale1 = WaylandTest<1>;
using WaylandScale2 = WaylandTest<2>;

// The colour the probe gives buffer pixel (x, y).
std::array<std::uint8_t, 3> probe_colour(int x, int y) {
    return {static_cast<std::uint8_t>(x % 256), static_cast<std::uint8_t>(y % 256),
            static_cast<std::uint8_t>((x / 256) * 16 + y / 256)};
}

// How many pixels of `image` differ from the probe's pattern.
long pattern_mismatches(const pc::RgbImage& image) {
    long wrong = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const auto want = probe_colour(x, y);
            const std::uint8_t* p = &image.pixels[(static_cast<std::size_t>(y) * image.width + x) * 3];
            if (p[0] != want[0] || p[1] != want[1] || p[2] != want[2]) ++wrong;
        }
    return wrong;
}

std::string button_line(unsigned code, bool pressed) {
    return "button " + std::to_string(code) + (pressed ? " pressed" : " released");
}

TEST_F(WaylandScale1, OutputAndScreenshotAreTheOutputsPixels) {
    const pc::WaylandOutputInfo o = desktop().output();
    EXPECT_EQ(o.name, "HEADLESS-1");
    EXPECT_EQ(o.pixel_width, 1920);
    EXPECT_EQ(o.pixel_height, 1080);
    EXPECT_EQ(o.logical_width, 1920);
    EXPECT_EQ(o.scale, 1);

    const pc::RgbImage shot = desktop().screenshot();
    ASSERT_EQ(shot.width, 1920);
    ASSERT_EQ(shot.height, 1080);
    EXPECT_EQ(pattern_mismatches(shot), 0);
    // A second capture into the same image reuses the buffer and still sees the window.
    pc::RgbImage again;
    desktop().screenshot_into(again);
    desktop().screenshot_into(again);
    EXPECT_EQ(again.pixels, shot.pixels);
}

TEST_F(WaylandScale1, ClicksLandWhereAskedWithTheirButtons) {
    desktop().click(100, 200);
    desktop().click(1919, 1079, 2, pc::MouseButton::right);
    desktop().click(0, 0, 1, pc::MouseButton::middle);
    const auto buttons = probe().wait_for("button", 8);
    EXPECT_THAT(buttons, ElementsAre(button_line(BTN_LEFT, true), button_line(BTN_LEFT, false),
                                     button_line(BTN_RIGHT, true), button_line(BTN_RIGHT, false),
                                     button_line(BTN_RIGHT, true), button_line(BTN_RIGHT, false),
                                     button_line(BTN_MIDDLE, true), button_line(BTN_MIDDLE, false)));
    EXPECT_THAT(probe().starting("motion"), ElementsAre("motion 100.00 200.00", "motion 1919.00 1079.00", "motion 0.00 0.00"));
    // Each click's buttons come after the motion to its point.
    const auto lines = probe().lines();
    EXPECT_EQ(lines[1], button_line(BTN_LEFT, true));
    EXPECT_EQ(lines[lines.size() - 3], "motion 0.00 0.00");
    EXPECT_EQ(desktop().position(), std::make_pair(0, 0));
}

TEST_F(WaylandScale1, HeldButtonsDragAndPointsOffTheOutputAreClamped) {
    desktop().move_to(300, 300, 0);
    desktop().mouse_down();
    desktop().move_to(600, 450, 0.05);
    desktop().mouse_up();
    probe().wait_for("button", 2);
    const auto lines = probe().lines();
    // Down, then the motion (in steps, ending on the target), then up.
    const auto down = std::find(lines.begin(), lines.end(), button_line(BTN_LEFT, true));
    const auto up = std::find(lines.begin(), lines.end(), button_line(BTN_LEFT, false));
    ASSERT_NE(down, lines.end());
    ASSERT_NE(up, lines.end());
    EXPECT_GE(std::count_if(down, up, [](const auto& l) { return l.rfind("motion", 0) == 0; }), 2);
    EXPECT_EQ(*std::prev(up), "motion 600.00 450.00");
    EXPECT_EQ(desktop().position(), std::make_pair(600, 450));

    probe().clear();
    desktop().move_to(5000, -20, 0);
    EXPECT_THAT(probe().wait_for("motion", 1), ElementsAre("motion 1919.00 0.00"));
    EXPECT_EQ(desktop().position(), std::make_pair(1919, 0));
}

TEST_F(WaylandScale1, WheelStepsScrollUpDownLeftAndRight) {
    desktop().move_to(500, 500, 0);
    desktop().scroll(2);
    desktop().scroll(-1);
    desktop().hscroll(1);
    desktop().hscroll(-3);
    const auto discrete = probe().wait_for("discrete", 7);
    // Up is negative on Wayland's vertical axis; right is positive.
    EXPECT_THAT(discrete, ElementsAre("discrete vertical -1", "discrete vertical -1", "discrete vertical 1",
                                      "discrete horizontal 1", "discrete horizontal -1", "discrete horizontal -1",
                                      "discrete horizontal -1"));
    const auto axis = probe().wait_for("axis", 7);
    EXPECT_EQ(axis.front(), "axis vertical -15.00");
    EXPECT_EQ(axis.back(), "axis horizontal -15.00");
}

TEST_F(WaylandScale2, ScreenshotPixelsAreWhereTheClickLands) {
    const pc::WaylandOutputInfo o = desktop().output();
    EXPECT_EQ(o.scale, 2);
    EXPECT_EQ(o.logical_width, 960);
    EXPECT_EQ(o.logical_height, 540);
    // What the executor measures is the screenshot's size, not the layout's.
    EXPECT_EQ(pc::wayland_screen_size(sway().socket()), std::make_pair(1920, 1080));

    // The probe draws at the output's full resolution, so its pattern covers the screenshot pixel for pixel.
    const pc::RgbImage shot = desktop().screenshot();
    ASSERT_EQ(shot.width, 1920);
    ASSERT_EQ(shot.height, 1080);
    EXPECT_EQ(pattern_mismatches(shot), 0);

    // A click on screenshot pixel (1001, 501) lands on the window's point (500.5, 250.5).
    desktop().click(1001, 501);
    desktop().click(1919, 1079);
    probe().wait_for("button", 4);
    EXPECT_THAT(probe().starting("motion"), ElementsAre("motion 500.50 250.50", "motion 959.50 539.50"));
    EXPECT_EQ(desktop().position(), std::make_pair(1919, 1079));
}

}  // namespace
}  // namespace norvex::testing
