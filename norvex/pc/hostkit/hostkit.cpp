// Screen size and capture program of a Linux host.
#include "norvex/pc/hostkit/hostkit.hpp"

#include "norvex/common/run_program.hpp"
#include "norvex/pc/desktop/x11_error_trap.hpp"
#include "norvex/pc/desktop/x11_screen.hpp"

#include <X11/Xlib.h>

#include <cstdlib>

namespace norvex::pc::hostkit {

namespace {

std::optional<std::pair<int, int>> size_of(const char* display_name) {
    Display* display = XOpenDisplay(display_name);
    if (display == nullptr) return std::nullopt;
    // A server that goes away meanwhile gives no size, not the end of the process.
    bool lost = false;
    x11::note_connection_loss(display, &lost);
    x11::IoErrorScope io(display);
    const ScreenRect rect = x11::primary_output_rect(display);
    XCloseDisplay(display);
    if (lost) return std::nullopt;
    return std::pair{rect.width, rect.height};
}

}  // namespace

std::optional<std::pair<int, int>> get_screen_size_linux() {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') return std::nullopt;
    return size_of(name);
}

std::optional<std::pair<int, int>> get_screen_size_linux(const std::string& display_name) {
    return size_of(display_name.c_str());
}

std::vector<std::string> get_screenshot_command() {
    // Each writes the whole screen to the path appended as the last word.
    const std::vector<std::vector<std::string>> candidates = {
        {"scrot", "-o"},
        {"gnome-screenshot", "-f"},
        {"import", "-window", "root"},
        {"maim"},
        {"grim"},
    };
    for (const auto& words : candidates)
        if (find_program(words[0])) return words;
    return {};
}

}  // namespace norvex::pc::hostkit
