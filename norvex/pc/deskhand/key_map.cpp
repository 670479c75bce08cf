// The model's key names and the desktop layer's.
#include "norvex/pc/deskhand/key_map.hpp"

namespace norvex::pc::deskhand {

const std::map<std::string, std::string, std::less<>>& key_map() {
    static const std::map<std::string, std::string, std::less<>> map = {
        {"Return", "enter"},     {"return", "enter"},     {"Enter", "enter"},
        {"BackSpace", "backspace"}, {"Backspace", "backspace"},
        {"Delete", "delete"},    {"Escape", "escape"},    {"Tab", "tab"},
        {"space", "space"},      {"Space", "space"},
        {"Up", "up"},            {"Down", "down"},        {"Left", "left"},     {"Right", "right"},
        {"Home", "home"},        {"End", "end"},          {"Page_Up", "pageup"}, {"Page_Down", "pagedown"},
        {"super", "win"},        {"Super_L", "win"},      {"Super_R", "win"},
        {"ctrl", "ctrl"},        {"Control_L", "ctrl"},
        {"alt", "alt"},          {"Alt_L", "alt"},
        {"shift", "shift"},      {"Shift_L", "shift"},
    };
    return map;
}

std::optional<std::string> mapped_key(std::string_view key) {
    const auto& map = key_map();
    if (auto it = map.find(key); it != map.end()) return it->second;
    return std::nullopt;
}

}  // namespace norvex::pc::deskhand
