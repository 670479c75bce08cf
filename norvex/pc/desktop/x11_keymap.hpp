// The core keyboard map: finding the key that types a keysym, and binding spare keys for a while.
#pragma once

#include <X11/Xlib.h>

#include <optional>
#include <utility>
#include <vector>

namespace norvex::pc::x11 {

// A key to press, with Shift when the keysym sits on the shifted level.
struct Stroke {
    KeyCode code = 0;
    bool shift = false;
};

// A copy of the server's core keyboard map.
class KeyMap {
public:
    explicit KeyMap(Display* display);

    // The key whose plain (else shifted) level holds `keysym`, or a keysym
    // standing for the same character `c` (when c is not 0).
    std::optional<Stroke> find(KeySym keysym, char32_t c = 0) const;
    // A keycode with no keysym in any column, not among `taken`.
    std::optional<KeyCode> spare(const std::vector<KeyCode>& taken) const;
    // The keysyms of one keycode, all columns.
    std::vector<KeySym> row(KeyCode code) const;
    int keysyms_per_keycode() const noexcept { return per_; }

private:
    KeySym at(int code, int column) const { return syms_[static_cast<std::size_t>((code - min_) * per_ + column)]; }

    int min_ = 0;
    int max_ = 0;
    int per_ = 0;
    std::vector<KeySym> syms_;
};

// Keysyms bound to spare keycodes, each undone by restore() or the destructor.
//
// A client translates a key event with the map it fetches after the
// MappingNotify that precedes the event; restoring the map before it has done
// so would make the key type nothing. So restore() first waits a short
// while after the last key event, then puts every keycode back as it was.
//
// That wait is what typing text the layout lacks costs, once per batch of
// keysyms bound together, so each spare key carries two: a keysym alone sits
// on both levels (Shift and Caps Lock cannot change it), and once every
// spare is taken a second keysym goes on the shifted level of a key that
// has one, its case partner where there is one. A US layout under Xvfb
// leaves 19 spare keycodes, so a batch holds 38 keysyms: a whole alphabet
// such as Cyrillic's 33 lower-case letters.
class SpareKeys {
public:
    // `settle_seconds`: the wait of the destructor's restore. `lost`: the
    // flag the display's exit handler sets when the connection breaks;
    // from then on nothing is sent (there is no map left to restore).
    SpareKeys(Display* display, const KeyMap& map, double settle_seconds, const bool& lost)
        : display_(display), map_(map), settle_seconds_(settle_seconds), lost_(lost) {}
    ~SpareKeys();
    SpareKeys(const SpareKeys&) = delete;
    SpareKeys& operator=(const SpareKeys&) = delete;

    // The key (and level) now typing `keysym`: one bound earlier, or a spare
    // bound now; empty when no room is left. Throws DesktopError when the
    // server refuses. Bind every keysym of a batch before sending its first
    // key event: a second keysym changes the row of a key bound earlier.
    std::optional<Stroke> bind(KeySym keysym);
    // Waits `settle_seconds` when anything is bound, then unbinds it all.
    void restore(double settle_seconds);
    // Leaves every binding in place for the caller to undo (a spare keycode
    // has no keysyms, so undoing means clearing its row).
    void keep() noexcept { bound_.clear(); }

private:
    struct Binding {
        KeySym keysym;           // on the plain level (and the shifted one while alone)
        KeySym shifted;          // a second keysym on the shifted level, or NoSymbol
        KeyCode code;
        std::vector<KeySym> original;
    };
    // Writes the binding's row to the server.
    void send_row(const Binding& binding);
    Display* display_;
    const KeyMap& map_;
    double settle_seconds_;
    const bool& lost_;
    std::vector<Binding> bound_;
};


}  // namespace norvex::pc::x11
