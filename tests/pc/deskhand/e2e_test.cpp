// The executor on a real Xvfb: screenshots of a drawn pattern at both scales, and a click landing where the model meant.
#include "tests/support/scratch_dir.hpp"

#include "norvex/common/pyjson.hpp"
#include "norvex/pc/deskhand/executor.hpp"
#include "norvex/pc/deskhand/image_codec.hpp"

// Xlib's macros (Bool, Status, ...) after every header that uses those names.
#include "tests/pc/desktop/desktop_fixture.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <optional>
#include <thread>

namespace norvex::testing {
namespace {

using pc::RgbImage;
namespace dh = pc::deskhand;

// Blocks of distinct colours with thin bright lines through them: flat
// areas check the colours, edges check the resampling and the placement.
RgbImage draw_pattern(EventWindow& window, int width, int height) {
    RgbImage expected{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
    auto put = [&](int x, int y, int w, int h, std::uint32_t rgb) {
        window.fill(x, y, w, h, rgb);
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i) {
                auto* p = &expected.pixels[(static_cast<std::size_t>(j) * width + i) * 3];
                p[0] = static_cast<std::uint8_t>(rgb >> 16);
                p[1] = static_cast<std::uint8_t>(rgb >> 8);
                p[2] = static_cast<std::uint8_t>(rgb);
            }
    };
    const int bw = width / 8, bh = height / 5;
    for (int by = 0; by < 5; ++by)
        for (int bx = 0; bx < 8; ++bx) {
            const std::uint32_t rgb = (static_cast<std::uint32_t>(bx * 32 + 10) << 16) |
                                      (static_cast<std::uint32_t>(by * 50 + 20) << 8) |
                                      static_cast<std::uint32_t>(255 - bx * 20 - by * 10);
            put(bx * bw, by * bh, bx == 7 ? width - 7 * bw : bw, by == 4 ? height - 4 * bh : bh, rgb);
        }
    put(width / 3, 0, 2, height, 0xffffff);
    put(0, height / 2, width, 3, 0x000000);
    return expected;
}

int max_difference(const RgbImage& a, const RgbImage& b) {
    int worst = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) worst = std::max(worst, std::abs(a.pixels[i] - b.pixels[i]));
    return worst;
}

// The executor with every real default but the data folder, on the test's display.
template <int Width, int Height>
class ExecutorOnXvfb : public XvfbSuite<Width, Height> {
protected:
    void SetUp() override {
        XvfbSuite<Width, Height>::SetUp();
        if (this->IsSkipped()) return;
        const char* old = std::getenv("DISPLAY");
        old_display_ = old ? std::optional<std::string>(old) : std::nullopt;
        ::setenv("DISPLAY", this->display().c_str(), 1);
        window_.emplace(this->display());
        executor_ = std::make_unique<dh::DeskhandExecutor>(dh::DeskhandOptions{.data_dir = data_.path()});
    }
    void TearDown() override {
        executor_.reset();
        window_.reset();
        if (old_display_)
            ::setenv("DISPLAY", old_display_->c_str(), 1);
        else
            ::unsetenv("DISPLAY");
    }
    std::filesystem::path latest() const { return data_.path() / "screenshots" / "latest.png"; }

    ScratchDir data_{"norvex_deskhand_e2e_"};
    std::optional<EventWindow> window_;
    std::unique_ptr<dh::DeskhandExecutor> executor_;
    std::optional<std::string> old_display_;
};

using FullHd = ExecutorOnXvfb<1920, 1080>;
using Laptop = ExecutorOnXvfb<1280, 800>;

TEST_F(FullHd, ScreenshotIsTheShrunkScreenAndLatestPngHoldsIt) {
    const RgbImage screen = draw_pattern(*window_, 1920, 1080);
    // Keep the pointer over a flat block so it cannot show in the capture.
    executor_->execute_action("mouse_move", {{"coordinate", {20, 20}}});
    const auto result = executor_->execute_action("screenshot");
    ASSERT_EQ(result.at("type").as_string(), "image") << pyjson::dumps(result);
    const std::string png = dh::base64_decode(result.at("base64").as_string());
    const RgbImage sent = dh::decode_png(png);
    ASSERT_EQ(sent.width, 1429);
    ASSERT_EQ(sent.height, 804);
    EXPECT_LE(max_difference(sent, dh::resize_bicubic(screen, 1429, 804)), 1);
    EXPECT_EQ(dh::read_png_file(latest()).pixels, sent.pixels);
    const auto info = executor_->get_display_info();
    EXPECT_EQ(pyjson::dumps(info), R"({"screen_width": 1920, "screen_height": 1080, "api_width": 1429, )"
                                   R"("api_height": 804, "scale_factor": 0.745, "last_screenshot": ")" +
                                       latest().string() + R"("})");
}

TEST_F(FullHd, ClickLandsOnTheConvertedPixelAndThePositionComesBackInApiSpace) {
    window_->clear();
    const auto result = executor_->execute_action("left_click", {{"coordinate", {500, 300}}});
    EXPECT_EQ(pyjson::dumps(result), R"J({"type": "text", "text": "Clicked at (671, 402)"})J");
    const auto events = window_->wait_for_count(ButtonRelease, 1);
    const auto press = std::find_if(events.begin(), events.end(), [](const SeenEvent& e) { return e.type == ButtonPress; });
    ASSERT_NE(press, events.end());
    EXPECT_EQ(press->button, 1u);
    EXPECT_EQ(press->x, 671);
    EXPECT_EQ(press->y, 402);
    EXPECT_EQ(executor_->execute_action("cursor_position").at("text").as_string(), "Cursor position: (499, 299)");
}

TEST_F(FullHd, ScrollAtACoordinateMovesThereFirst) {
    window_->clear();
    EXPECT_EQ(executor_->execute_action("scroll", {{"coordinate", {1429, 804}}, {"direction", "up"}, {"amount", 2}})
                  .at("text")
                  .as_string(),
              "Scrolled up by 2");
    const auto events = window_->wait_for_count(ButtonPress, 2);
    for (const auto& e : events) {
        if (e.type != ButtonPress) continue;
        EXPECT_EQ(e.button, 4u);  // wheel up
        EXPECT_EQ(e.x, 1918);
        EXPECT_EQ(e.y, 1079);
    }
}

TEST_F(Laptop, TypingStopsBetweenCharactersWhenInterrupted) {
    // Asked once before the action starts and then before each character:
    // the 101st question stops it before the 100th character.
    int asked = 0;
    dh::DeskhandOptions options{.data_dir = data_.path()};
    options.interrupted = [&] { return ++asked > 100; };
    dh::DeskhandExecutor executor(std::move(options));
    std::string text;
    for (int i = 0; i < 3000; ++i) text += static_cast<char>('a' + i % 26);

    window_->clear();
    const boost::json::object result = executor.execute_action("type", {{"text", text}});
    EXPECT_EQ(pyjson::dumps(result), R"({"type": "error", "error": "Action type failed: interrupted by the caller )"
                                     R"(before it finished; take a screenshot to see how far it got"})");
    // A marker typed after the stop: what arrived before it is all that was typed.
    executor_->execute_action("key", {{"text", "Return"}});
    const std::string typed = window_->wait_for_text(100);
    EXPECT_EQ(typed, text.substr(0, 99) + "\r");
    const auto events = window_->events();
    EXPECT_EQ(count_of(events, KeyPress), count_of(events, KeyRelease)) << "every key pressed is released";
}

TEST_F(Laptop, ScreenshotIsFullSizeAtFactorOne) {
    const RgbImage screen = draw_pattern(*window_, 1280, 800);
    executor_->execute_action("mouse_move", {{"coordinate", {20, 20}}});
    const auto def = executor_->get_tool_definition();
    EXPECT_EQ(def.at("display_width_px").as_int64(), 1280);
    EXPECT_EQ(def.at("display_height_px").as_int64(), 800);
    const auto result = executor_->execute_action("screenshot");
    ASSERT_EQ(result.at("type").as_string(), "image") << pyjson::dumps(result);
    const RgbImage sent = dh::decode_png(dh::base64_decode(result.at("base64").as_string()));
    ASSERT_EQ(sent.width, 1280);
    ASSERT_EQ(sent.height, 800);
    EXPECT_EQ(max_difference(sent, screen), 0);
    EXPECT_EQ(dh::read_png_file(latest()).pixels, sent.pixels);
}

}  // namespace
}  // namespace norvex::testing
