// Screen size and capture program of a Linux host.
#include "norvex/pc/hostkit/hostkit.hpp"

namespace norvex::pc::hostkit {

std::optional<std::pair<int, int>> get_screen_size_linux() { return std::nullopt; }
std::optional<std::pair<int, int>> get_screen_size_linux(const std::string&) { return std::nullopt; }
std::vector<std::string> get_screenshot_command() { return {}; }

}  // namespace norvex::pc::hostkit
