// The recording desktop and clipboard: every call kept as a line of text.
#include "norvex/pc/desktop/recording_desktop.hpp"

#include "norvex/common/pyjson.hpp"

#include <fmt/format.h>

namespace norvex::pc {

namespace {

const char* button_name(MouseButton b) {
    switch (b) {
        case MouseButton::left: return "left";
        case MouseButton::middle: return "middle";
        case MouseButton::right: return "right";
    }
    return "?";
}

}  // namespace

void RecordingDesktop::add(std::string name, const std::vector<std::string>& args) {
    calls_.push_back(fmt::format("{}({})", name, fmt::join(args, ", ")));
    if (!fail_on.empty() && name == fail_on && fail_after-- <= 0) fail("recording desktop told to fail on " + name);
}

void RecordingDesktop::fail(const std::string& why) const {
    if (failures_are_lost) throw DesktopLostError("the recording desktop's connection was lost (" + why + ")");
    throw DesktopError(why);
}

void RecordingDesktop::record(std::string line) { calls_.push_back(std::move(line)); }

void RecordingDesktop::click(int x, int y, int clicks, MouseButton button) {
    pointer = {x, y};
    add("click", {std::to_string(x), std::to_string(y), std::to_string(clicks), button_name(button)});
}

void RecordingDesktop::move_to(int x, int y, double duration_seconds) {
    add("move_to", {std::to_string(x), std::to_string(y), pyjson::float_repr(duration_seconds)});
    pointer = {x, y};
}

void RecordingDesktop::mouse_down(MouseButton button) { add("mouse_down", {button_name(button)}); }
void RecordingDesktop::mouse_up(MouseButton button) { add("mouse_up", {button_name(button)}); }

std::pair<int, int> RecordingDesktop::position() {
    add("position", {});
    return pointer;
}

void RecordingDesktop::scroll(int steps) { add("scroll", {std::to_string(steps)}); }
void RecordingDesktop::hscroll(int steps) { add("hscroll", {std::to_string(steps)}); }
void RecordingDesktop::press(const std::string& key) { add("press", {key}); }
void RecordingDesktop::hotkey(const std::vector<std::string>& keys) { add("hotkey", keys); }
void RecordingDesktop::key_down(const std::string& key) { add("key_down", {key}); }
void RecordingDesktop::key_up(const std::string& key) { add("key_up", {key}); }

void RecordingDesktop::write(const std::string& text, double interval_seconds) {
    add("write", {text, pyjson::float_repr(interval_seconds)});
}

RgbImage RecordingDesktop::screenshot() {
    add("screenshot", {});
    if (screenshot_fails) fail("recording desktop told to fail its screenshot");
    return image;
}

RgbImage RecordingDesktop::gradient(int width, int height) {
    RgbImage img{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
    std::size_t i = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool grid = x % 16 == 0 || y % 16 == 0;
            img.pixels[i++] = grid ? 20 : static_cast<std::uint8_t>(x * 255 / (width > 1 ? width - 1 : 1));
            img.pixels[i++] = grid ? 20 : static_cast<std::uint8_t>(y * 255 / (height > 1 ? height - 1 : 1));
            img.pixels[i++] = grid ? 20 : static_cast<std::uint8_t>(255 - (x + y) % 256);
        }
    }
    return img;
}

void RecordingClipboard::set_text(const std::string& text) {
    if (fails) throw DesktopError("recording clipboard told to fail: no clipboard reachable");
    texts_.push_back(text);
}

}  // namespace norvex::pc
