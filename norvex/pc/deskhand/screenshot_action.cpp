// The screenshot handler: capture, shrink to the model's size, PNG, Base64, latest.png; and the capture-program fallback.
#include "norvex/pc/deskhand/executor.hpp"
#include "norvex/pc/deskhand/image_codec.hpp"
#include "norvex/pc/deskhand/screenshot_buffers.hpp"
#include "norvex/common/atomic_file.hpp"

#include <fmt/format.h>

namespace norvex::pc::deskhand {

namespace {

constexpr const char* POWERSHELL_CAPTURE =
    "Add-Type -AssemblyName System.Windows.Forms;"
    "[System.Windows.Forms.Screen]::PrimaryScreen | ForEach-Object {"
    "$bmp = New-Object System.Drawing.Bitmap($_.Bounds.Width, $_.Bounds.Height);"
    "$g = [System.Drawing.Graphics]::FromImage($bmp);"
    "$g.CopyFromScreen($_.Bounds.Location, [System.Drawing.Point]::Empty, $_.Bounds.Size);"
    "$bmp.Save('";

std::string quoted_command(const std::vector<std::string>& argv) {
    return fmt::format("{}", fmt::join(argv, " "));
}

}  // namespace

boost::json::object DeskhandExecutor::_finish_screenshot(const std::string& png, const std::filesystem::path& path) {
    _last_screenshot_path = path.string();
    return image_result(base64_encode_json(png));
}

boost::json::object DeskhandExecutor::_action_screenshot() {
    if (!shot_) shot_ = std::make_unique<ScreenshotBuffers>();
    ScreenshotBuffers& b = *shot_;
    try {
        _desktop().screenshot_into(b.screen);
    } catch (const DesktopLostError&) {
        // The capture programs may still reach a server that came back; the
        // next action connects to it anew.
        _drop_lost_desktop();
        return _fallback_screenshot();
    } catch (const std::exception&) {
        return _fallback_screenshot();
    }
    const RgbImage* image = &b.screen;
    if (_scale_factor < 1.0) {
        b.resizer.resize(b.screen, static_cast<int>(_api_width), static_cast<int>(_api_height), b.api);
        image = &b.api;
    }
    b.encoder.encode(*image, b.png);
    const std::string& png = b.png;
    const auto dir = screenshot_dir();
    std::filesystem::create_directories(dir);
    // The file holds the same image; the same bytes serve, one encoding fewer.
    const auto path = dir / "latest.png";
    write_file_atomically(path, png, Durability::replaced_only);
    return _finish_screenshot(png, path);
}

boost::json::object DeskhandExecutor::_fallback_screenshot() {
    const std::string& system = system_name();
    const auto dir = screenshot_dir();
    std::filesystem::create_directories(dir);
    const auto path = dir / "latest.png";
    try {
        std::vector<std::string> argv;
        double limit = 5.0;
        if (system == "Linux") {
            std::vector<std::string> command;
            if (options_.screenshot_command) command = options_.screenshot_command();
            argv = command.empty() ? std::vector<std::string>{"scrot", "-o"} : std::move(command);
            argv.push_back(path.string());
        } else if (system == "Darwin") {
            argv = {"screencapture", "-x", path.string()};
        } else if (system == "Windows") {
            argv = {"powershell", "-Command", std::string(POWERSHELL_CAPTURE) + path.string() + "')}"};
            limit = 10.0;
        } else {
            return error_result("No screenshot method for " + system);
        }
        const CommandOutput run = options_.run(argv, limit);
        if (run.exit_status != 0) {
            std::string detail = run.err;
            while (!detail.empty() && (detail.back() == '\n' || detail.back() == '\r')) detail.pop_back();
            throw std::runtime_error(fmt::format("'{}' exited with status {}{}{}", quoted_command(argv),
                                                 run.exit_status, detail.empty() ? "" : ": ", detail));
        }
        RgbImage image = read_png_file(path);
        if (_scale_factor < 1.0) {
            image = resize_bicubic(image, static_cast<int>(_api_width), static_cast<int>(_api_height));
            write_file_atomically(path, encode_png(image, PngEffort::quick), Durability::replaced_only);
        }
        const std::string png = encode_png(image, PngEffort::small);
        return _finish_screenshot(png, path);
    } catch (const std::exception& e) {
        return error_result(std::string("Screenshot fallback failed: ") + e.what());
    }
}

}  // namespace norvex::pc::deskhand
