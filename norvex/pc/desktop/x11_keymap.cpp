// Reading the core keyboard map and lending its unused keycodes to keysyms it lacks.
#include "norvex/pc/desktop/x11_keymap.hpp"

#include "norvex/pc/desktop/desktop.hpp"
#include "norvex/pc/desktop/x11_error_trap.hpp"
#include "norvex/pc/desktop/x11_keys.hpp"

#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace norvex::pc::x11 {

KeyMap::KeyMap(Display* display) {
    XDisplayKeycodes(display, &min_, &max_);
    KeySym* syms = XGetKeyboardMapping(display, static_cast<KeyCode>(min_), max_ - min_ + 1, &per_);
    if (syms == nullptr) throw DesktopError("cannot read the keyboard map of the X display; check that the X server is running");
    syms_.assign(syms, syms + static_cast<std::size_t>((max_ - min_ + 1) * per_));
    XFree(syms);
}

std::optional<Stroke> KeyMap::find(KeySym keysym, char32_t c) const {
    // Only the first two columns: the plain and shifted levels of the first
    // group, which are reachable without switching groups.
    const int columns = std::min(per_, 2);
    for (int column = 0; column < columns; ++column) {
        for (int code = min_; code <= max_; ++code) {
            const KeySym ks = at(code, column);
            if (ks == NoSymbol) continue;
            if (ks == keysym || (c != 0 && char_of_keysym(ks) == c))
                return Stroke{static_cast<KeyCode>(code), column == 1};
        }
    }
    return std::nullopt;
}

std::optional<KeyCode> KeyMap::spare(const std::vector<KeyCode>& taken) const {
    // From the top: the high keycodes are the ones no physical key sends.
    for (int code = max_; code >= min_; --code) {
        if (std::find(taken.begin(), taken.end(), static_cast<KeyCode>(code)) != taken.end()) continue;
        bool unused = true;
        for (int column = 0; column < per_ && unused; ++column) unused = at(code, column) == NoSymbol;
        if (unused) return static_cast<KeyCode>(code);
    }
    return std::nullopt;
}

std::vector<KeySym> KeyMap::row(KeyCode code) const {
    std::vector<KeySym> out;
    for (int column = 0; column < per_; ++column) out.push_back(at(code, column));
    return out;
}

SpareKeys::~SpareKeys() {
    try {
        restore(settle_seconds_);
    } catch (...) {
        // The display went away: there is no map left to restore.
    }
}

std::optional<Stroke> SpareKeys::bind(KeySym keysym) {
    for (const Binding& b : bound_) {
        if (b.keysym == keysym) return Stroke{b.code, false};
        if (b.shifted == keysym) return Stroke{b.code, true};
    }
    std::vector<KeyCode> taken;
    for (const Binding& b : bound_) taken.push_back(b.code);
    if (const auto code = map_.spare(taken)) {
        Binding binding{keysym, NoSymbol, *code, map_.row(*code)};
        send_row(binding);
        bound_.push_back(std::move(binding));
        return Stroke{*code, false};
    }
    // Every spare is taken: the shifted level of one that has a keysym alone,
    // the key of its lower case when that is one (so the pair reads as a
    // letter key, and Caps Lock works on it as on any other).
    Binding* partner = nullptr;
    for (Binding& b : bound_) {
        if (b.shifted != NoSymbol) continue;
        KeySym lower = NoSymbol;
        KeySym upper = NoSymbol;
        XConvertCase(b.keysym, &lower, &upper);
        if (upper == keysym && lower == b.keysym) {
            partner = &b;
            break;
        }
        if (partner == nullptr) partner = &b;
    }
    if (partner == nullptr) return std::nullopt;
    Binding widened = *partner;
    widened.shifted = keysym;
    send_row(widened);
    *partner = std::move(widened);
    return Stroke{partner->code, true};
}

void SpareKeys::send_row(const Binding& binding) {
    if (lost_)
        throw DesktopLostError("the connection to the X display was lost (the X server stopped or closed it)");
    std::vector<KeySym> row(static_cast<std::size_t>(map_.keysyms_per_keycode()), NoSymbol);
    row[0] = binding.keysym;
    if (row.size() > 1) row[1] = binding.shifted != NoSymbol ? binding.shifted : binding.keysym;
    ErrorTrap trap(display_);
    XChangeKeyboardMapping(display_, binding.code, map_.keysyms_per_keycode(), row.data(), 1);
    if (trap.failed())
        throw DesktopError("the X server refused to bind a spare key for typing (" + trap.error_text() +
                           "); try again, and if it keeps refusing, reset the keyboard map with setxkbmap");
}

void SpareKeys::restore(double settle_seconds) {
    if (bound_.empty()) return;
    XSync(display_, False);
    if (lost_) {
        // The server and its keyboard map are gone.
        bound_.clear();
        return;
    }
    if (settle_seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(settle_seconds));
    ErrorTrap trap(display_);
    for (Binding& b : bound_)
        XChangeKeyboardMapping(display_, b.code, static_cast<int>(b.original.size()), b.original.data(), 1);
    bound_.clear();
    if (trap.failed())
        throw DesktopError("the X server refused to restore the keyboard map (" + trap.error_text() +
                           "); reset it with setxkbmap");
}

}  // namespace norvex::pc::x11
