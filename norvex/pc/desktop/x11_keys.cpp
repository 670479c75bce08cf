// Tables from key names and characters to X keysyms.
#include "norvex/pc/desktop/x11_keys.hpp"

#include "norvex/common/logging.hpp"
#include "norvex/common/pystr.hpp"

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <cctype>
#include <string_view>
#include <unordered_map>

namespace norvex::pc::x11 {

namespace {

const std::unordered_map<std::string_view, KeySym>& named_keys() {
    static const std::unordered_map<std::string_view, KeySym> table = {
        {"enter", XK_Return}, {"return", XK_Return}, {"backspace", XK_BackSpace},
        {"delete", XK_Delete}, {"del", XK_Delete}, {"escape", XK_Escape}, {"esc", XK_Escape},
        {"tab", XK_Tab}, {"space", XK_space}, {"insert", XK_Insert},
        {"up", XK_Up}, {"down", XK_Down}, {"left", XK_Left}, {"right", XK_Right},
        {"home", XK_Home}, {"end", XK_End},
        {"pageup", XK_Page_Up}, {"pgup", XK_Page_Up}, {"pagedown", XK_Page_Down}, {"pgdn", XK_Page_Down},
        {"win", XK_Super_L}, {"winleft", XK_Super_L}, {"winright", XK_Super_R},
        {"super", XK_Super_L}, {"command", XK_Super_L}, {"cmd", XK_Super_L},
        {"ctrl", XK_Control_L}, {"control", XK_Control_L}, {"ctrlleft", XK_Control_L}, {"ctrlright", XK_Control_R},
        {"alt", XK_Alt_L}, {"altleft", XK_Alt_L}, {"altright", XK_Alt_R}, {"option", XK_Alt_L},
        {"shift", XK_Shift_L}, {"shiftleft", XK_Shift_L}, {"shiftright", XK_Shift_R},
        {"capslock", XK_Caps_Lock}, {"numlock", XK_Num_Lock}, {"scrolllock", XK_Scroll_Lock},
        {"printscreen", XK_Print}, {"prtsc", XK_Print}, {"prntscrn", XK_Print}, {"print", XK_Print},
        {"pause", XK_Pause}, {"menu", XK_Menu}, {"apps", XK_Menu},
        // Punctuation by name, as key combinations spell it ("ctrl+plus").
        {"plus", XK_plus}, {"minus", XK_minus}, {"comma", XK_comma}, {"period", XK_period},
        {"dot", XK_period}, {"slash", XK_slash}, {"backslash", XK_backslash},
        {"semicolon", XK_semicolon}, {"colon", XK_colon}, {"apostrophe", XK_apostrophe},
        {"quote", XK_apostrophe}, {"doublequote", XK_quotedbl}, {"grave", XK_grave},
        {"backtick", XK_grave}, {"tilde", XK_asciitilde}, {"equal", XK_equal}, {"equals", XK_equal},
        {"bracketleft", XK_bracketleft}, {"bracketright", XK_bracketright},
        {"braceleft", XK_braceleft}, {"braceright", XK_braceright},
        {"parenleft", XK_parenleft}, {"parenright", XK_parenright},
        {"less", XK_less}, {"greater", XK_greater}, {"underscore", XK_underscore},
        {"question", XK_question}, {"exclam", XK_exclam}, {"at", XK_at}, {"numbersign", XK_numbersign},
        {"hash", XK_numbersign}, {"dollar", XK_dollar}, {"percent", XK_percent},
        {"asciicircum", XK_asciicircum}, {"caret", XK_asciicircum}, {"ampersand", XK_ampersand},
        {"asterisk", XK_asterisk}, {"bar", XK_bar}, {"pipe", XK_bar},
        {"volumeup", 0x1008FF13}, {"volumedown", 0x1008FF11}, {"volumemute", 0x1008FF12},
    };
    return table;
}

std::string lowered(const std::string& s) {
    std::string out = s;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// "shift_l" -> "Shift_L", "page_up" -> "Page_Up": the capitalisation of most
// of X's multi-part keysym names.
std::string title_parts(const std::string& s) {
    std::string out = lowered(s);
    bool start = true;
    for (char& c : out) {
        if (start) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        start = c == '_';
    }
    return out;
}

KeySym from_x_name(const std::string& name) {
    return XStringToKeysym(name.c_str());
}

}  // namespace

std::optional<KeySym> keysym_for_key(const std::string& name) {
    if (name.empty()) return std::nullopt;
    const std::u32string chars = pystr::to_u32(name);
    // One character stands for itself ("a", "A", "+", "é"); "A" is typed with shift.
    if (chars.size() == 1 && chars[0] != U'\uFFFD') {
        if (auto ks = keysym_for_char(chars[0])) return ks;
    }
    const std::string lower = lowered(name);
    if (auto it = named_keys().find(lower); it != named_keys().end()) return it->second;
    if (lower.size() >= 2 && lower.size() <= 3 && lower[0] == 'f') {
        const std::string digits = lower.substr(1);
        if (std::isdigit(static_cast<unsigned char>(digits[0])) &&
            (digits.size() == 1 || std::isdigit(static_cast<unsigned char>(digits[1])))) {
            const int n = std::stoi(digits);
            if (n >= 1 && n <= 35) return static_cast<KeySym>(XK_F1 + n - 1);
        }
    }
    for (const std::string& candidate : {name, title_parts(name), lower}) {
        if (KeySym ks = from_x_name(candidate); ks != NoSymbol) return ks;
    }
    return std::nullopt;
}

std::optional<KeySym> keysym_for_char(char32_t c) {
    switch (c) {
        case U'\n':
        case U'\r': return XK_Return;
        case U'\t': return XK_Tab;
        case U'\b': return XK_BackSpace;
        case U'\x1b': return XK_Escape;
        default: break;
    }
    if (c < 0x20 || (c >= 0x7f && c < 0xa0)) return std::nullopt;
    if (c < 0x100) return static_cast<KeySym>(c);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    return static_cast<KeySym>(0x01000000 + c);
}

std::vector<CharKey> keys_to_type(const std::string& text) {
    std::vector<CharKey> keys;
    char32_t previous = 0;
    for (char32_t c : pystr::to_u32(text)) {
        const char32_t before = previous;
        previous = c;
        if (c == U'\n' && before == U'\r') continue;  // one Return for a CRLF line end
        const auto keysym = keysym_for_char(c);
        if (!keysym) {
            logging::get("norvex.pc.deskhand")->debug("write: control character U+{:04X} has no key; skipped",
                                                       static_cast<unsigned>(c));
            continue;
        }
        keys.push_back(CharKey{c, *keysym});
    }
    return keys;
}

char32_t char_of_keysym(KeySym keysym) {
    if ((keysym >= 0x20 && keysym <= 0x7e) || (keysym >= 0xa0 && keysym <= 0xff)) return static_cast<char32_t>(keysym);
    if (keysym >= 0x01000100 && keysym <= 0x0110FFFF) return static_cast<char32_t>(keysym - 0x01000000);
    switch (keysym) {
        case XK_EuroSign: return U'\u20AC';
        default: return 0;
    }
}

}  // namespace norvex::pc::x11
