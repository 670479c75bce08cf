// What the executor asks of the host system on Linux: the screen's size and a capture program.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace norvex::pc::hostkit {

// Width and height of the primary output of $DISPLAY (XRandR), else of its
// default screen; empty when no display can be opened.
std::optional<std::pair<int, int>> get_screen_size_linux();

// The same for a named display.
std::optional<std::pair<int, int>> get_screen_size_linux(const std::string& display_name);

// The words of an installed capture program that writes the whole screen to a
// path given as the last word ({"scrot", "-o"}, {"gnome-screenshot", "-f"},
// {"import", "-window", "root"}, ...), or empty when none is installed.
std::vector<std::string> get_screenshot_command();

}  // namespace norvex::pc::hostkit
