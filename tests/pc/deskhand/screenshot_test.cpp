// The screenshot action on a recording desktop, and its capture-program fallback on each system.
#include "executor_rig.hpp"

#include "norvex/pc/deskhand/image_codec.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace norvex::pc::deskhand {
namespace {

using testing::ExecutorRig;
using Calls = std::vector<std::string>;

RgbImage image_of(const boost::json::object& result) {
    EXPECT_EQ(result.at("type").as_string(), "image") << pyjson::dumps(result);
    EXPECT_EQ(result.at("media_type").as_string(), "image/png");
    return decode_png(base64_decode(result.at("base64").as_string()));
}

TEST(Screenshot, ShrinksToTheApiSizeAndKeepsTheSameImageInLatestPng) {
    ExecutorRig rig;
    auto ex = rig.make();
    const auto result = ex->execute_action("screenshot");
    std::vector<std::string> keys;
    for (const auto& kv : result) keys.emplace_back(kv.key());
    EXPECT_EQ(keys, (Calls{"type", "base64", "media_type"}));
    const RgbImage sent = image_of(result);
    EXPECT_EQ(sent.width, 1429);
    EXPECT_EQ(sent.height, 804);
    const auto latest = rig.data.path() / "screenshots" / "latest.png";
    const RgbImage saved = read_png_file(latest);
    EXPECT_EQ(saved.width, 1429);
    EXPECT_EQ(saved.pixels, sent.pixels);
    EXPECT_EQ(resize_bicubic(RecordingDesktop::gradient(1920, 1080), 1429, 804).pixels, sent.pixels);
    EXPECT_EQ(ex->get_display_info().at("last_screenshot").as_string(), latest.string());
    EXPECT_TRUE(rig.programs.empty());
}

TEST(Screenshot, FullSizeWhenTheFactorIsOne) {
    ExecutorRig rig;
    rig.screen = {{1280, 800}};
    rig.prepare = [](RecordingDesktop& d) { d.image = RecordingDesktop::gradient(1280, 800); };
    auto ex = rig.make();
    const RgbImage sent = image_of(ex->execute_action("screenshot"));
    EXPECT_EQ(sent.width, 1280);
    EXPECT_EQ(sent.height, 800);
    EXPECT_EQ(sent.pixels, RecordingDesktop::gradient(1280, 800).pixels);
}

TEST(Screenshot, EachShotReplacesTheFileAndLeavesNoTemporaries) {
    ExecutorRig rig;
    rig.screen = {{64, 48}};
    rig.prepare = [](RecordingDesktop& d) { d.image = RecordingDesktop::gradient(64, 48); };
    auto ex = rig.make();
    ex->execute_action("screenshot");
    rig.desktop->image = RecordingDesktop::gradient(64, 48);
    rig.desktop->image.pixels[0] = 200;
    const RgbImage second = image_of(ex->execute_action("screenshot"));
    EXPECT_EQ(read_png_file(rig.data.path() / "screenshots" / "latest.png").pixels, second.pixels);
    EXPECT_EQ(second.pixels[0], 200);
    int files = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(rig.data.path() / "screenshots")) ++files;
    EXPECT_EQ(files, 1);
}

TEST(Screenshot, ShrunkShotsInARowEachShowTheScreenOfTheirMoment) {
    // The executor keeps its image buffers between shots; each shot must
    // still be made from its own capture only.
    ExecutorRig rig;
    auto ex = rig.make();
    const RgbImage first = image_of(ex->execute_action("screenshot"));
    RgbImage changed = RecordingDesktop::gradient(1920, 1080);
    for (std::size_t i = 0; i < changed.pixels.size(); i += 7) changed.pixels[i] = static_cast<std::uint8_t>(i >> 5);
    rig.desktop->image = changed;
    const RgbImage second = image_of(ex->execute_action("screenshot"));
    EXPECT_EQ(second.pixels, resize_bicubic(changed, 1429, 804).pixels);
    EXPECT_NE(second.pixels, first.pixels);
    rig.desktop->image = RecordingDesktop::gradient(1920, 1080);
    EXPECT_EQ(image_of(ex->execute_action("screenshot")).pixels, first.pixels);
    EXPECT_EQ(read_png_file(rig.data.path() / "screenshots" / "latest.png").pixels, first.pixels);
}

// A capture program stand-in: writes a 1920x1080 PNG to the path it is given.
CommandOutput write_capture(const std::vector<std::string>& argv, double) {
    const auto png = encode_png(RecordingDesktop::gradient(1920, 1080), PngEffort::quick);
    std::ofstream(argv.back(), std::ios::binary) << png;
    return {};
}

TEST(Fallback, LinuxRunsTheHostCommandWithThePathAppended) {
    ExecutorRig rig;
    rig.prepare = [](RecordingDesktop& d) { d.screenshot_fails = true; };
    rig.screenshot_command = {"import", "-window", "root"};
    rig.on_run = write_capture;
    auto ex = rig.make();
    const RgbImage sent = image_of(ex->execute_action("screenshot"));
    const auto latest = (rig.data.path() / "screenshots" / "latest.png").string();
    ASSERT_EQ(rig.programs.size(), 1u);
    EXPECT_EQ(rig.programs[0], (Calls{"import", "-window", "root", latest, "limit=5.0"}));
    EXPECT_EQ(sent.width, 1429);
    // The captured file is replaced by the shrunk image.
    const RgbImage saved = read_png_file(latest);
    EXPECT_EQ(saved.width, 1429);
    EXPECT_EQ(saved.pixels, sent.pixels);
    EXPECT_EQ(ex->_last_screenshot_path, latest);
}

TEST(Fallback, LinuxWithoutAHostCommandRunsScrot) {
    ExecutorRig rig;
    rig.prepare = [](RecordingDesktop& d) { d.screenshot_fails = true; };
    rig.on_run = write_capture;
    auto ex = rig.make();
    EXPECT_EQ(ex->execute_action("screenshot").at("type").as_string(), "image");
    const auto latest = (rig.data.path() / "screenshots" / "latest.png").string();
    EXPECT_EQ(rig.programs.at(0), (Calls{"scrot", "-o", latest, "limit=5.0"}));
}

TEST(Fallback, DarwinAndWindowsUseTheirOwnProgramsAndLimits) {
    ExecutorRig mac;
    mac.system = "Darwin";
    mac.screen = std::nullopt;
    mac.on_run = [](const std::vector<std::string>& argv, double limit) {
        // The display report for detection, then the capture.
        return argv[0] == "system_profiler" ? CommandOutput{0, "Resolution: 1920 x 1080\n", ""} : write_capture(argv, limit);
    };
    mac.prepare = [](RecordingDesktop& d) { d.screenshot_fails = true; };
    EXPECT_EQ(mac.make()->execute_action("screenshot").at("type").as_string(), "image");
    const auto mac_latest = (mac.data.path() / "screenshots" / "latest.png").string();
    EXPECT_EQ(mac.programs.at(1), (Calls{"screencapture", "-x", mac_latest, "limit=5.0"}));

    ExecutorRig win;
    win.system = "Windows";
    win.prepare = [](RecordingDesktop& d) { d.screenshot_fails = true; };
    const auto win_latest = (win.data.path() / "screenshots" / "latest.png").string();
    win.on_run = [&](const std::vector<std::string>&, double limit) { return write_capture({win_latest}, limit); };
    EXPECT_EQ(win.make()->execute_action("screenshot").at("type").as_string(), "image");
    ASSERT_EQ(win.programs.at(0).size(), 4u);
    EXPECT_EQ(win.programs[0][0], "powershell");
    EXPECT_EQ(win.programs[0][1], "-Command");
    const std::string& script = win.programs[0][2];
    EXPECT_EQ(script.size(), 326 + win_latest.size() + 3);
    EXPECT_TRUE(script.starts_with("Add-Type -AssemblyName System.Windows.Forms;[System.Windows.Forms.Screen]"));
    EXPECT_TRUE(script.ends_with("$bmp.Save('" + win_latest + "')}"));
    EXPECT_EQ(win.programs[0][3], "limit=10.0");
}

TEST(Fallback, OtherSystemsHaveNoMethodButTheFolderExists) {
    ExecutorRig rig;
    rig.system = "Plan9";
    rig.prepare = [](RecordingDesktop& d) { d.screenshot_fails = true; };
    auto ex = rig.make();
    EXPECT_EQ(pyjson::dumps(ex->execute_action("screenshot")),
              R"({"type": "error", "error": "No screenshot method for Plan9"})");
    EXPECT_TRUE(std::filesystem::is_directory(rig.data.path() / "screenshots"));
    EXPECT_FALSE(ex->_last_screenshot_path);
}

TEST(Fallback, FailuresComeBackAsResults) {
    ExecutorRig rig;
    rig.prepare = [](RecordingDesktop& d) { d.screenshot_fails = true; };
    rig.on_run = [](const std::vector<std::string>&, double) { return CommandOutput{2, "", "scrot: cannot open display\n"}; };
    auto ex = rig.make();
    const auto latest = (rig.data.path() / "screenshots" / "latest.png").string();
    EXPECT_EQ(ex->execute_action("screenshot").at("error").as_string(),
              "Screenshot fallback failed: 'scrot -o " + latest + "' exited with status 2: scrot: cannot open display");

    rig.on_run = [](const std::vector<std::string>&, double) -> CommandOutput {
        throw TimeoutError("scrot did not finish within 5 seconds and was stopped");
    };
    EXPECT_EQ(ex->execute_action("screenshot").at("error").as_string(),
              "Screenshot fallback failed: scrot did not finish within 5 seconds and was stopped");

    // Exit status 0 but no image written.
    rig.on_run = [](const std::vector<std::string>& argv, double) {
        std::ofstream(argv.back()) << "not a png";
        return CommandOutput{};
    };
    const std::string error(ex->execute_action("screenshot").at("error").as_string());
    EXPECT_TRUE(error.starts_with("Screenshot fallback failed: " + latest + ": not a")) << error;
    EXPECT_FALSE(ex->_last_screenshot_path);
}

TEST(Fallback, ADesktopThatCannotOpenAlsoFallsBack) {
    ExecutorRig rig;
    auto opts = rig.options();
    opts.open_desktop = []() -> std::unique_ptr<Desktop> { throw DesktopError("no display"); };
    rig.on_run = write_capture;
    DeskhandExecutor ex(std::move(opts));
    EXPECT_EQ(ex.execute_action("screenshot").at("type").as_string(), "image");
    EXPECT_EQ(rig.programs.size(), 1u);
}

}  // namespace
}  // namespace norvex::pc::deskhand
