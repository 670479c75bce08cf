// Screenshots of the primary output, and opening displays.
#include "desktop_fixture.hpp"

#include <gmock/gmock.h>

#include <cstdint>

namespace norvex::testing {
namespace {

struct Rect {
    int x, y, w, h;
    std::uint32_t rgb;
};

std::uint32_t pixel(const pc::RgbImage& image, int x, int y) {
    const auto* p = &image.pixels[(static_cast<std::size_t>(y) * image.width + x) * 3];
    return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
}

// Counts pixels that differ from what drawing `rects` over black gives.
int mismatches(const pc::RgbImage& image, const std::vector<Rect>& rects) {
    int wrong = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            std::uint32_t expected = 0;
            for (const Rect& r : rects)
                if (x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h) expected = r.rgb;
            wrong += pixel(image, x, y) != expected;
        }
    return wrong;
}

using X11Capture = DesktopTest;

TEST_F(X11Capture, ScreenshotHoldsTheDrawnPatternPixelForPixel) {
    // Distinct values in every channel catch swapped channels and byte orders;
    // edge rectangles catch an offset or a wrong row stride.
    const std::vector<Rect> rects = {
        {0, 0, 1280, 800, 0x000000},  {10, 20, 300, 200, 0xff0000}, {400, 20, 100, 100, 0x00ff00},
        {600, 300, 50, 400, 0x0000ff}, {1200, 0, 80, 30, 0x80c040},  {0, 780, 1280, 20, 0x7f7f7f},
        {0, 0, 1, 1, 0x123456},        {1279, 799, 1, 1, 0xfedcba},
    };
    desktop().move_to(1270, 5, 0);  // the pointer must not show in the capture
    for (const Rect& r : rects) window().fill(r.x, r.y, r.w, r.h, r.rgb);
    const pc::RgbImage image = desktop().screenshot();
    ASSERT_EQ(image.width, 1280);
    ASSERT_EQ(image.height, 800);
    ASSERT_EQ(image.pixels.size(), 1280u * 800u * 3u);
    EXPECT_EQ(pixel(image, 0, 0), 0x123456u);
    EXPECT_EQ(pixel(image, 1279, 799), 0xfedcbau);
    EXPECT_EQ(pixel(image, 15, 25), 0xff0000u);
    EXPECT_EQ(mismatches(image, rects), 0);
}

TEST_F(X11Capture, RepeatedScreenshotsSeeWhatChangedSinceTheLast) {
    window().fill(0, 0, 1280, 800, 0x000000);
    window().fill(100, 100, 10, 10, 0x00ff00);
    const pc::RgbImage first = desktop().screenshot();
    EXPECT_EQ(pixel(first, 105, 105), 0x00ff00u);
    window().fill(100, 100, 10, 10, 0xff00ff);
    const pc::RgbImage second = desktop().screenshot();
    EXPECT_EQ(pixel(second, 105, 105), 0xff00ffu);
    EXPECT_EQ(pixel(second, 99, 99), 0x000000u);
}

TEST_F(X11Capture, CaptureIntoAReusedBufferTakesTheScreenSizeAndEveryPixel) {
    window().fill(0, 0, 1280, 800, 0x000000);
    window().fill(0, 0, 1, 1, 0x102030);
    window().fill(1279, 799, 1, 1, 0x405060);
    // A leftover buffer of another size with stale bytes in it: neither its
    // size nor its content may survive the capture.
    pc::RgbImage reused{4000, 3000, std::vector<std::uint8_t>(4000u * 3000u * 3u, 0xab)};
    desktop().screenshot_into(reused);
    ASSERT_EQ(reused.width, 1280);
    ASSERT_EQ(reused.height, 800);
    ASSERT_EQ(reused.pixels.size(), 1280u * 800u * 3u);
    EXPECT_EQ(pixel(reused, 0, 0), 0x102030u);
    EXPECT_EQ(pixel(reused, 1279, 799), 0x405060u);
    EXPECT_EQ(mismatches(reused, {{0, 0, 1, 1, 0x102030}, {1279, 799, 1, 1, 0x405060}}), 0);
    window().fill(640, 400, 1, 1, 0xffffff);
    desktop().screenshot_into(reused);
    EXPECT_EQ(pixel(reused, 640, 400), 0xffffffu);
    EXPECT_EQ(reused.pixels, desktop().screenshot().pixels);
}

TEST_F(X11Capture, ScreenRectIsTheWholeScreenWithoutAPrimaryOutput) {
    const pc::ScreenRect rect = desktop().screen_rect();
    EXPECT_EQ(rect.x, 0);
    EXPECT_EQ(rect.y, 0);
    EXPECT_EQ(rect.width, 1280);
    EXPECT_EQ(rect.height, 800);
}

TEST(X11DesktopOpen, MissingDisplayNamesItAndSaysWhatToDo) {
    try {
        pc::X11Desktop desktop(":4242");
        FAIL() << "opened a display that does not exist";
    } catch (const pc::DesktopError& e) {
        EXPECT_THAT(e.what(), ::testing::HasSubstr("cannot open X display ':4242'"));
        EXPECT_THAT(e.what(), ::testing::HasSubstr("start an X server or set DISPLAY"));
    }
}

TEST(X11DesktopOpen, DisplayFromTheEnvironmentIsNamedAsSuch) {
    const char* old = std::getenv("DISPLAY");
    const std::string saved = old != nullptr ? old : "";
    ::setenv("DISPLAY", ":4243", 1);
    try {
        pc::X11Desktop desktop;
        FAIL() << "opened a display that does not exist";
    } catch (const pc::DesktopError& e) {
        EXPECT_STREQ(e.what(), "cannot open X display ':4243' ($DISPLAY); start an X server or set DISPLAY");
    }
    ::unsetenv("DISPLAY");
    EXPECT_THROW(pc::X11Desktop(), pc::DesktopError);
    if (old != nullptr) ::setenv("DISPLAY", saved.c_str(), 1);
}

}  // namespace
}  // namespace norvex::testing
