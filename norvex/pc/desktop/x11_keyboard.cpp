// X11Desktop: key presses, hotkeys and typed text.
#include "norvex/pc/desktop/x11_impl.hpp"
#include "norvex/pc/desktop/x11_keymap.hpp"
#include "norvex/pc/desktop/x11_keys.hpp"

#include "norvex/common/logging.hpp"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <optional>
#include <thread>

namespace norvex::pc {

namespace {

using HeldKey = X11Desktop::Impl::HeldKey;

// Typing waits for the server this often: it bounds how far the requests run
// ahead of it (and how much Xlib buffers), and costs a round trip each time.
constexpr std::size_t CHARACTERS_PER_ROUND_TRIP = 64;

KeySym resolve_name(const std::string& key) {
    if (auto ks = x11::keysym_for_key(key)) return *ks;
    throw DesktopError("unknown key name '" + key +
                       "': use a name such as enter, ctrl, shift, f5, pagedown, a single character, or an X keysym name");
}

KeyCode shift_code(const x11::KeyMap& map) {
    if (auto s = map.find(XK_Shift_L)) return s->code;
    if (auto s = map.find(XK_Shift_R)) return s->code;
    throw DesktopError("the X keyboard map has no Shift key, so shifted characters cannot be typed; load a layout with setxkbmap");
}

std::string keysym_name(KeySym keysym) {
    if (const char* name = XKeysymToString(keysym)) return name;
    return "keysym " + std::to_string(keysym);
}

// Puts one key down: with Shift first when its keysym needs it, on a spare
// keycode when the map lacks it (kept bound until the key is released).
HeldKey put_down(X11Desktop::Impl& impl, KeySym keysym) {
    const x11::KeyMap& map = impl.keymap();
    HeldKey held{keysym, 0, 0, false};
    if (auto stroke = map.find(keysym)) {
        held.code = stroke->code;
        if (stroke->shift) held.shift_code = shift_code(map);
    } else {
        x11::SpareKeys spare(impl.display, map, impl.options.remap_settle_seconds, impl.lost);
        // The first keysym of this binder: a whole spare key, never a shifted level.
        auto lent = spare.bind(keysym);
        if (!lent) throw DesktopError("the X keyboard map has no key for '" + keysym_name(keysym) +
                                      "' and no unused keycode to lend it; free a keycode with xmodmap");
        held.code = lent->code;
        held.temporary = true;
        // The binding outlives this scope: key_up undoes it after the release.
        spare.keep();
    }
    if (held.shift_code != 0) impl.fake_key(held.shift_code, true);
    impl.fake_key(held.code, true);
    return held;
}

void lift(X11Desktop::Impl& impl, const HeldKey& held) {
    Display* d = impl.display;
    impl.fake_key(held.code, false);
    if (held.shift_code != 0) impl.fake_key(held.shift_code, false);
    if (held.temporary) {
        XSync(d, False);
        impl.check_alive();
        std::this_thread::sleep_for(std::chrono::duration<double>(impl.options.remap_settle_seconds));
        // A spare keycode had no keysyms: clearing its row restores it.
        const int per = impl.keymap().keysyms_per_keycode();
        std::vector<KeySym> empty(static_cast<std::size_t>(per), NoSymbol);
        XChangeKeyboardMapping(d, held.code, per, empty.data(), 1);
    }
}

}  // namespace

void X11Desktop::key_down(const std::string& key) {
    x11::CallScope call(*impl_);
    const KeySym keysym = resolve_name(key);
    impl_->held.push_back(put_down(*impl_, keysym));
    impl_->sync();
}

void X11Desktop::key_up(const std::string& key) {
    x11::CallScope call(*impl_);
    const KeySym keysym = resolve_name(key);
    auto& held = impl_->held;
    for (auto it = held.rbegin(); it != held.rend(); ++it) {
        if (it->keysym != keysym) continue;
        const HeldKey h = *it;
        held.erase(std::next(it).base());
        lift(*impl_, h);
        impl_->sync();
        return;
    }
    // Not put down by us (or by an earlier object): release whatever key types it.
    if (auto stroke = impl_->keymap().find(keysym)) {
        lift(*impl_, HeldKey{keysym, stroke->code, 0, false});
        impl_->sync();
    }
}

void X11Desktop::press(const std::string& key) { hotkey({key}); }

void X11Desktop::hotkey(const std::vector<std::string>& keys) {
    x11::CallScope call(*impl_);
    // Every name is checked before any key goes down, so a bad name leaves nothing pressed.
    std::vector<KeySym> keysyms;
    for (const std::string& key : keys) keysyms.push_back(resolve_name(key));
    std::vector<HeldKey> down;
    try {
        for (KeySym ks : keysyms) down.push_back(put_down(*impl_, ks));
    } catch (...) {
        for (auto it = down.rbegin(); it != down.rend(); ++it) lift(*impl_, *it);
        impl_->sync();
        throw;
    }
    for (auto it = down.rbegin(); it != down.rend(); ++it) lift(*impl_, *it);
    impl_->sync();
}

void X11Desktop::write(const std::string& text, double interval_seconds) {
    x11::CallScope call(*impl_);
    Display* d = impl_->display;
    // A copy: lending spare keys below makes the server report changes.
    const x11::KeyMap map = impl_->keymap();

    // What each character needs: a key of the map, or a keysym to lend a spare key.
    struct Typed {
        KeySym keysym;
        std::optional<x11::Stroke> stroke;
    };
    std::vector<Typed> typed;
    for (const x11::CharKey& key : x11::keys_to_type(text)) typed.push_back(Typed{key.keysym, map.find(key.keysym, key.c)});

    // Spare keys are bound for a whole run of characters before its first key
    // event, so a client that reads the map while handling any of the run's
    // events sees every binding of the run; runs end where the spares do.
    x11::SpareKeys spare(d, map, impl_->options.remap_settle_seconds, impl_->lost);
    std::size_t i = 0;
    std::size_t sent = 0;
    bool first = true;
    while (i < typed.size()) {
        std::size_t end = i;
        for (; end < typed.size(); ++end)
            if (!typed[end].stroke && !spare.bind(typed[end].keysym)) break;
        if (end == i)
            throw DesktopError("cannot type '" + keysym_name(typed[i].keysym) +
                               "': the X keyboard map has no key for it and no unused keycode to lend; "
                               "free a keycode with xmodmap, then type the rest again");
        for (; i < end; ++i) {
            const x11::Stroke stroke = typed[i].stroke ? *typed[i].stroke : *spare.bind(typed[i].keysym);
            // Between two characters, so a stop leaves no key down.
            interruption_point();
            if (!first && interval_seconds > 0)
                std::this_thread::sleep_for(std::chrono::duration<double>(interval_seconds));
            first = false;
            if (stroke.shift) impl_->fake_key(shift_code(map), true);
            impl_->fake_key(stroke.code, true);
            impl_->fake_key(stroke.code, false);
            if (stroke.shift) impl_->fake_key(shift_code(map), false);
            // Sent at once, so a broken connection is noticed before more
            // requests pile up in Xlib's buffer; a round trip only now and
            // then, which is what keeps typing fast. Events wait in the
            // server's queue for the focused client, so none is lost by
            // not waiting for it.
            XFlush(d);
            if (++sent % CHARACTERS_PER_ROUND_TRIP == 0) impl_->sync();
        }
        spare.restore(impl_->options.remap_settle_seconds);
    }
    impl_->sync();
}

}  // namespace norvex::pc
