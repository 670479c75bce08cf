// Screen detection, the scale factor, coordinate conversion and the display report.
#include "executor_rig.hpp"

#include "norvex/common/log_capture.hpp"
#include "norvex/pc/deskhand/scaling.hpp"

#include <gtest/gtest.h>

namespace norvex::pc::deskhand {
namespace {

using testing::ExecutorRig;
using testing::obj;

// What a capture program that could not reach the screen leaves.
CommandOutput failed_capture() {
    CommandOutput run;
    run.exit_status = 2;
    run.err = "Can't open X display";
    return run;
}

struct ScaleCase {
    std::int64_t width, height;
    double factor;
    std::int64_t api_width, api_height;
};

class ScaleFactor : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(ScaleFactor, GivesTheFactorAndApiSize) {
    const auto c = GetParam();
    EXPECT_EQ(_get_scale_factor(c.width, c.height), c.factor);
    ExecutorRig rig;
    rig.screen = {{c.width, c.height}};
    auto ex = rig.make();
    const auto info = ex->get_display_info();
    EXPECT_EQ(info.at("api_width").as_int64(), c.api_width);
    EXPECT_EQ(info.at("api_height").as_int64(), c.api_height);
    EXPECT_EQ(ex->_scale_factor, c.factor);
}

INSTANTIATE_TEST_SUITE_P(Screens, ScaleFactor,
                         ::testing::Values(ScaleCase{1920, 1080, 0.7447087010252506, 1429, 804},
                                           ScaleCase{2560, 1440, 0.5585315257689379, 1429, 804},
                                           ScaleCase{3840, 2160, 0.3723543505126253, 1429, 804},
                                           ScaleCase{2000, 500, 0.784, 1568, 392},
                                           ScaleCase{1440, 900, 0.941990275434065, 1356, 847},
                                           ScaleCase{1280, 800, 1.0, 1280, 800},
                                           ScaleCase{1024, 768, 1.0, 1024, 768}));

TEST(ScaleFactorErrors, ZeroAndNegativeSizesFailAsPythonArithmeticDoes) {
    EXPECT_THROW(
        {
            try {
                _get_scale_factor(0, 0);
            } catch (const std::exception& e) {
                EXPECT_STREQ(e.what(), "division by zero");
                throw;
            }
        },
        std::domain_error);
    EXPECT_THROW(
        {
            try {
                _get_scale_factor(-5, 10);
            } catch (const std::exception& e) {
                EXPECT_STREQ(e.what(), "math domain error");
                throw;
            }
        },
        std::domain_error);
}

TEST(Detection, LogsTheScaleWithThreeDecimalsAndReportsTheGeometry) {
    logging::LogCapture logs("norvex.pc.deskhand");
    ExecutorRig rig;
    auto ex = rig.make();
    const auto info = ex->get_display_info();
    EXPECT_EQ(logs.messages(spdlog::level::info),
              std::vector<std::string>{"Screen: 1920x1080, API: 1429x804, Scale: 0.745"});
    EXPECT_EQ(pyjson::dumps(info),
              R"({"screen_width": 1920, "screen_height": 1080, "api_width": 1429, "api_height": 804, )"
              R"("scale_factor": 0.745, "last_screenshot": null})");
}

TEST(Detection, HappensOnceAndOnlyOnFirstUse) {
    ExecutorRig rig;
    auto ex = rig.make();
    EXPECT_EQ(rig.size_queries, 0);
    EXPECT_FALSE(ex->_initialized);
    EXPECT_EQ(ex->_screen_width, 0);
    ex->get_display_info();
    ex->get_display_info();
    ex->get_tool_definition();
    EXPECT_EQ(rig.size_queries, 1);
}

TEST(Detection, FirstActionDetectsEvenWithoutAHandler) {
    ExecutorRig rig;
    auto ex = rig.make();
    EXPECT_EQ(pyjson::dumps(ex->execute_action("fly")), R"({"type": "error", "error": "Unknown action: fly"})");
    EXPECT_EQ(rig.size_queries, 1);
    EXPECT_TRUE(ex->_initialized);
}

TEST(Detection, ZeroSizeWarnsAndFallsBack) {
    logging::LogCapture logs("norvex.pc.deskhand");
    ExecutorRig rig;
    rig.screen = {{0, 0}};
    auto ex = rig.make();
    const auto info = ex->get_display_info();
    EXPECT_EQ(logs.messages(spdlog::level::warn),
              std::vector<std::string>{"Could not detect screen size: division by zero. Using defaults."});
    EXPECT_EQ(info.at("screen_width").as_int64(), 1920);
    EXPECT_EQ(info.at("api_height").as_int64(), 804);
}

TEST(Detection, EmptyOrFailingSizeFallsBackSilently) {
    for (int variant = 0; variant < 2; ++variant) {
        logging::LogCapture logs("norvex.pc.deskhand");
        ExecutorRig rig;
        rig.screen = std::nullopt;
        auto opts = rig.options();
        if (variant == 1)
            opts.screen_size = []() -> std::optional<std::pair<std::int64_t, std::int64_t>> {
                throw std::runtime_error("no display");
            };
        DeskhandExecutor ex(std::move(opts));
        EXPECT_EQ(ex.get_display_info().at("screen_height").as_int64(), 1080) << variant;
        EXPECT_TRUE(logs.messages(spdlog::level::warn).empty()) << variant;
    }
}

// A desktop whose connection breaks is dropped by the action that finds it;
// the next action opens another and measures the screen it shows.
TEST(Detection, ALostDesktopIsReopenedAndTheScreenMeasuredAgain) {
    ExecutorRig rig;
    rig.screen = {{1280, 800}};
    auto ex = rig.make();
    ASSERT_EQ(ex->execute_action("mouse_move", obj(R"({"coordinate": [100, 100]})")).at("type"), "text");
    rig.desktop->fail_on = "position";
    rig.desktop->failures_are_lost = true;
    EXPECT_EQ(ex->execute_action("cursor_position").at("error"),
              "Action cursor_position failed: the recording desktop's connection was lost (recording desktop told "
              "to fail on position); the next action connects to the display again, so repeat it once the display "
              "server is running");
    EXPECT_EQ(rig.desktops_opened, 1);
    EXPECT_EQ(rig.size_queries, 1);

    rig.screen = {{2560, 1440}};
    EXPECT_EQ(ex->execute_action("left_click", obj(R"({"coordinate": [1000, 500]})")).at("text"),
              "Clicked at (1790, 895)");
    EXPECT_EQ(rig.desktops_opened, 2);
    EXPECT_EQ(rig.size_queries, 2);
    EXPECT_EQ(ex->get_display_info().at("api_width"), 1429);
    // Other failures leave the desktop in place.
    rig.desktop->fail_on = "position";
    EXPECT_EQ(ex->execute_action("cursor_position").at("type"), "error");
    EXPECT_EQ(ex->execute_action("mouse_move", obj(R"({"coordinate": [1, 1]})")).at("type"), "text");
    EXPECT_EQ(rig.desktops_opened, 2);
}

TEST(Detection, AScreenshotThatFindsTheConnectionLostFallsBackAndTheNextActionReconnects) {
    ExecutorRig rig;
    rig.screen = {{1280, 800}};
    rig.on_run = [](const std::vector<std::string>&, double) { return failed_capture(); };
    auto ex = rig.make();
    ASSERT_EQ(ex->execute_action("screenshot").at("type"), "image");
    rig.desktop->screenshot_fails = true;
    rig.desktop->failures_are_lost = true;
    const auto shot = ex->execute_action("screenshot");
    EXPECT_EQ(shot.at("type"), "error");
    EXPECT_EQ(rig.programs.size(), 1u) << "the capture program is tried";
    ASSERT_EQ(ex->execute_action("screenshot").at("type"), "image");
    EXPECT_EQ(rig.desktops_opened, 2);
}

// The 1920x1080 fallback is no measurement: the first desktop that opens
// is measured, so a display that appears later gets its own scale.
TEST(Detection, TheFallbackSizeIsMeasuredAgainWhenADesktopOpens) {
    ExecutorRig rig;
    rig.screen = std::nullopt;
    auto ex = rig.make();
    EXPECT_EQ(ex->get_display_info().at("screen_width"), 1920);
    rig.screen = {{1024, 768}};
    EXPECT_EQ(ex->execute_action("left_click", obj(R"({"coordinate": [1000, 700]})")).at("text"),
              "Clicked at (1000, 700)");
    EXPECT_EQ(ex->get_display_info().at("screen_width"), 1024);
    EXPECT_EQ(rig.size_queries, 2);
    // Measured for real now: later actions on the same desktop measure nothing.
    ex->execute_action("left_click", obj(R"({"coordinate": [1, 1]})"));
    EXPECT_EQ(rig.size_queries, 2);
}

TEST(Detection, WindowsWithoutItsDisplayMetricsUsesTheFallback) {
    ExecutorRig rig;
    rig.system = "Windows";
    rig.screen = {{800, 600}};
    auto ex = rig.make();
    EXPECT_EQ(ex->get_display_info().at("screen_width").as_int64(), 1920);
    EXPECT_EQ(rig.size_queries, 0);
}

struct DarwinCase {
    const char* report;
    std::int64_t width, height;
};

class DarwinReport : public ::testing::TestWithParam<DarwinCase> {};

TEST_P(DarwinReport, ReadsTheFirstResolutionLine) {
    logging::LogCapture logs("norvex.pc.deskhand");
    ExecutorRig rig;
    rig.system = "Darwin";
    const std::string report = GetParam().report;
    rig.on_run = [&](const std::vector<std::string>&, double) { return CommandOutput{3, report, ""}; };
    auto ex = rig.make();
    const auto info = ex->get_display_info();
    EXPECT_EQ(info.at("screen_width").as_int64(), GetParam().width);
    EXPECT_EQ(info.at("screen_height").as_int64(), GetParam().height);
    ASSERT_EQ(rig.programs.size(), 1u);
    EXPECT_EQ(rig.programs[0], (std::vector<std::string>{"system_profiler", "SPDisplaysDataType", "limit=5.0"}));
    EXPECT_TRUE(logs.messages(spdlog::level::warn).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Reports, DarwinReport,
    ::testing::Values(
        DarwinCase{"Graphics:\n  Displays:\n    Color LCD:\n      Resolution: 2560 x 1600 Retina\n", 2560, 1600},
        DarwinCase{"Resolution: unknown\nResolution: 3024 x 1964\nResolution: 800 x 600\n", 3024, 1964},
        DarwinCase{"x Resolution 1600\n", 1920, 1080},
        DarwinCase{"Resolution: x 1600\n", 1920, 1080},
        DarwinCase{"Resolution: 2560 x\nResolution: x\n", 1920, 1080},
        DarwinCase{"no displays here\n", 1920, 1080},
        DarwinCase{"Resolution: wide x 1600\n", 1920, 1080},
        DarwinCase{"Resolution:\t1440\tx\t900\n", 1440, 900}),
    // Named by position: the default name prints the record's bytes, a pointer
    // among them, so it changed from build to build.
    [](const ::testing::TestParamInfo<DarwinCase>& info) { return "report" + std::to_string(info.index); });

TEST(Detection, DarwinProgramFailureFallsBack) {
    ExecutorRig rig;
    rig.system = "Darwin";
    rig.on_run = [](const std::vector<std::string>&, double) -> CommandOutput {
        throw TimeoutError("system_profiler did not finish within 5 seconds");
    };
    auto ex = rig.make();
    EXPECT_EQ(ex->get_display_info().at("screen_width").as_int64(), 1920);
}

TEST(Coordinates, ConvertTruncateAndClampOnAShrunkScreen) {
    ExecutorRig rig;
    auto ex = rig.make();
    ex->get_display_info();
    using P = std::pair<std::int64_t, std::int64_t>;
    EXPECT_EQ(ex->_to_screen_coords(500, 300), (P{671, 402}));
    EXPECT_EQ(ex->_to_screen_coords(1429, 804), (P{1918, 1079}));
    EXPECT_EQ(ex->_to_screen_coords(2000, 2000), (P{1919, 1079}));
    EXPECT_EQ(ex->_to_screen_coords(-10, 5), (P{0, 6}));
}

TEST(Coordinates, PassThroughUnchangedAtFactorOne) {
    ExecutorRig rig;
    rig.screen = {{1280, 800}};
    auto ex = rig.make();
    ex->get_display_info();
    EXPECT_EQ(ex->_to_screen_coords(5000, -3), (std::pair<std::int64_t, std::int64_t>{5000, -3}));
}

TEST(ToolDefinition, CarriesTheApiSizeAndTheDisplayNumberOnlyWhenGiven) {
    ExecutorRig rig;
    EXPECT_EQ(pyjson::dumps(rig.make(1)->get_tool_definition()),
              R"({"type": "computer_20250124", "name": "computer", "display_width_px": 1429, )"
              R"("display_height_px": 804, "display_number": 1})");
    EXPECT_FALSE(rig.make()->get_tool_definition().contains("display_number"));
    EXPECT_EQ(rig.make(0)->get_tool_definition().at("display_number").as_int64(), 0);
}

}  // namespace
}  // namespace norvex::pc::deskhand
