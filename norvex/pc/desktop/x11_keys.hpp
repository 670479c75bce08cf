// Key names of the executor and characters of typed text, as X keysyms.
#pragma once

#include <X11/X.h>

#include <optional>
#include <string>
#include <vector>

namespace norvex::pc::x11 {

// The keysym of a key name: the executor's names ("enter", "ctrl", "pagedown",
// "f5", "command"), single characters ("a", "+", "é"), and X's own keysym
// names ("Return", "shift_l" in any case). Empty when the name means nothing.
std::optional<KeySym> keysym_for_key(const std::string& name);

// The keysym that types code point `c`: Latin-1 keysyms for Latin-1, the
// Unicode keysym range (0x01000000 + c) for the rest; newline and carriage
// return type Return, tab types Tab, backspace BackSpace, escape Escape.
// Empty for other control characters.
std::optional<KeySym> keysym_for_char(char32_t c);

// One character of a text to type, with the keysym that types it.
struct CharKey {
    char32_t c;
    KeySym keysym;
};

// The characters of UTF-8 `text` as a keyboard types them: a carriage
// return's newline is dropped (one Return for a CRLF line end),
// and a control character no key types is skipped (logged at debug level).
std::vector<CharKey> keys_to_type(const std::string& text);

// The code point a keysym stands for, or 0 (the inverse for the keysyms a
// keyboard map holds for printable characters: Latin-1, the Unicode range and
// the few legacy keysyms of common layouts, such as EuroSign).
char32_t char_of_keysym(KeySym keysym);

}  // namespace norvex::pc::x11
