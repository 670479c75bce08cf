// The xkb keymap a Wayland desktop types with: finding keys, and lending keys to characters it lacks.
#pragma once

#include <xkbcommon/xkbcommon.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace norvex::pc::wl {

struct XkbDeleter {
    void operator()(xkb_context* c) const noexcept { xkb_context_unref(c); }
    void operator()(xkb_keymap* k) const noexcept { xkb_keymap_unref(k); }
    void operator()(xkb_state* s) const noexcept { xkb_state_unref(s); }
};
using XkbContext = std::unique_ptr<xkb_context, XkbDeleter>;
using XkbKeymap = std::unique_ptr<xkb_keymap, XkbDeleter>;
using XkbState = std::unique_ptr<xkb_state, XkbDeleter>;

// A key to press (an xkb keycode: evdev code + 8), with Shift when the keysym sits on the shifted level.
struct Stroke {
    xkb_keycode_t code = 0;
    bool shift = false;
};

// A compiled keymap and its text, as the compositor is given it.
struct CompiledKeymap {
    XkbKeymap keymap;
    std::string text;
};

// The layout keymap, and the same layout with extra keysyms on lent keys.
class Keymap {
public:
    // Compiles the layout; throws DesktopError naming it when xkb cannot.
    Keymap(xkb_context* context, const std::string& layout, const std::string& variant);

    const CompiledKeymap& plain() const noexcept { return plain_; }
    // The key whose plain (else shifted) level of the first layout types
    // `keysym`; empty when the layout has none.
    std::optional<Stroke> find(xkb_keysym_t keysym) const;
    // The keycode of Left Shift (else Right Shift), or 0.
    xkb_keycode_t shift_code() const noexcept { return shift_code_; }
    // How many keysyms one extended keymap can add.
    std::size_t lendable() const noexcept { return lendable_.size(); }
    // The keycode of the i-th lendable key.
    xkb_keycode_t lendable_code(std::size_t i) const { return lendable_.at(i); }
    // The layout with `keysyms[i]` on the i-th lendable key (NoSymbol: that
    // key as the layout has it); at most lendable() keysyms. Throws
    // DesktopError when xkb refuses the result.
    CompiledKeymap extended(const std::vector<xkb_keysym_t>& keysyms) const;

private:
    xkb_context* context_;
    CompiledKeymap plain_;
    xkb_keycode_t shift_code_ = 0;
    // Keys that type nothing, then keys that type only media and vendor
    // keysyms: the keys a typed character may borrow.
    std::vector<xkb_keycode_t> lendable_;
};

// The text of a compiled keymap; throws DesktopError when xkb cannot write it.
std::string keymap_text(xkb_keymap* keymap);

}  // namespace norvex::pc::wl
