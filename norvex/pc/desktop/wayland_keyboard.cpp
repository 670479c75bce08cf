// WaylandDesktop: key presses, hotkeys and typed text through a virtual keyboard with our own keymap.
#include "norvex/pc/desktop/wayland_impl.hpp"
#include "norvex/pc/desktop/x11_keys.hpp"

#include "norvex/common/logging.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <xkbcommon/xkbcommon-keysyms.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace norvex::pc {

namespace {

using Impl = WaylandDesktop::Impl;
using HeldKey = Impl::HeldKey;

// Typing sends what it has queued every this many characters (each may be
// four key requests and two modifier ones: well under the 4 KB the client
// library holds), and waits for the compositor every this many: that bounds
// how far our keys run ahead of it, and costs a round trip each time.
constexpr std::size_t CHARACTERS_PER_FLUSH = 16;
constexpr std::size_t CHARACTERS_PER_ROUND_TRIP = 64;

// How fast typed keys go out. Unlike an X server, a compositor keeps only a
// socket's worth of events for a client that is not reading (busy drawing,
// or unscheduled on a loaded machine) and cuts the client off when that
// fills: sway dropped foot after some 4,000 to 5,500 key events sent back to
// back (1,500 to 2,000 characters of a command line, a third of them
// shifted), and after far fewer sent one character at a time, each then
// going to the client in a write of its own. So keys go in batches: a burst
// at once, then a batch per round trip at a steady pace. A client may stall
// for about a second before its socket fills, and 1,000 characters take
// 0.35 s after a pause, 0.7 s typed right after others (1 s and 1.35 s when
// every one is shifted).
constexpr double KEY_EVENT_BURST = 1000;
constexpr double KEY_EVENTS_PER_SECOND = 3000;

// Charges `events` just sent to the typing budget.
void charge_keys(Impl& impl, double events) {
    const auto now = std::chrono::steady_clock::now();
    const double refill = std::chrono::duration<double>(now - impl.key_budget_at).count() * KEY_EVENTS_PER_SECOND;
    impl.key_budget = std::min(KEY_EVENT_BURST, impl.key_budget + refill) - events;
    impl.key_budget_at = now;
}

// Waits while the typing budget is overdrawn.
void wait_for_key_budget(Impl& impl) {
    if (impl.key_budget >= 0) return;
    std::this_thread::sleep_for(std::chrono::duration<double>(-impl.key_budget / KEY_EVENTS_PER_SECOND));
    impl.key_budget = 0;
    impl.key_budget_at = std::chrono::steady_clock::now();
}

// X keysyms and xkb keysyms are the same numbers, so the X11 desktop's
// tables of key names and characters serve here too (and give the same texts).
xkb_keysym_t resolve_name(const std::string& key) {
    if (auto ks = x11::keysym_for_key(key)) return static_cast<xkb_keysym_t>(*ks);
    throw DesktopError("unknown key name '" + key +
                       "': use a name such as enter, ctrl, shift, f5, pagedown, a single character, or an X keysym name");
}

std::string keysym_name(xkb_keysym_t keysym) {
    char name[64];
    if (xkb_keysym_get_name(keysym, name, sizeof name) > 0) return name;
    return "keysym " + std::to_string(keysym);
}

xkb_keycode_t shift_code(const Impl& impl) {
    if (impl.layout->shift_code() == 0)
        throw DesktopError("the keyboard layout has no Shift key, so shifted characters cannot be typed; "
                           "choose another layout in WaylandDesktopOptions");
    return impl.layout->shift_code();
}

// A lendable key free for `keysym` (or already lent to it); empty when none is left.
std::optional<std::size_t> lend(Impl& impl, xkb_keysym_t keysym) {
    auto it = std::find(impl.lent.begin(), impl.lent.end(), keysym);
    if (it == impl.lent.end()) it = std::find(impl.lent.begin(), impl.lent.end(), XKB_KEY_NoSymbol);
    if (it == impl.lent.end()) return std::nullopt;
    *it = keysym;
    return static_cast<std::size_t>(it - impl.lent.begin());
}

// Puts one key down, with Shift when its keysym needs it, on a lent key when the layout lacks it.
HeldKey put_down(Impl& impl, xkb_keysym_t keysym) {
    HeldKey held{keysym, 0, false, false};
    if (auto stroke = impl.layout->find(keysym)) {
        held.code = stroke->code;
        held.shift = stroke->shift;
        if (held.shift) shift_code(impl);
    } else {
        auto slot = lend(impl, keysym);
        if (!slot)
            throw DesktopError("the keyboard layout has no key for '" + keysym_name(keysym) +
                               "' and no key is left to lend it; release keys held with key_down first");
        impl.upload_lent();
        held.code = impl.layout->lendable_code(*slot);
        held.lent = true;
    }
    if (held.shift) impl.send_key(shift_code(impl), true);
    impl.send_key(held.code, true);
    return held;
}

void lift(Impl& impl, const HeldKey& held) {
    impl.send_key(held.code, false);
    if (held.shift) impl.send_key(shift_code(impl), false);
    if (!held.lent) return;
    // Still held by another key_down: it keeps its key.
    for (const HeldKey& other : impl.held)
        if (other.lent && other.keysym == held.keysym) return;
    std::replace(impl.lent.begin(), impl.lent.end(), held.keysym, xkb_keysym_t{XKB_KEY_NoSymbol});
    impl.upload_lent();
}

}  // namespace

void Impl::upload(const wl::CompiledKeymap& keymap) {
    check_alive();
    const int fd = memfd_create("norvex-keymap", MFD_CLOEXEC);
    const std::size_t size = keymap.text.size() + 1;  // with its NUL, as clients expect
    bool written = fd >= 0 && ftruncate(fd, static_cast<off_t>(size)) == 0;
    if (written) {
        void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        written = data != MAP_FAILED;
        if (written) {
            std::memcpy(data, keymap.text.c_str(), size);
            munmap(data, size);
        }
    }
    if (!written) {
        const int error = errno;
        if (fd >= 0) close(fd);
        throw DesktopError(std::string("cannot make shared memory for the keyboard keymap: ") + std::strerror(error) +
                           "; check the memory limits of this process");
    }
    // libwayland sends a duplicate of the descriptor: ours can go at once.
    zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, static_cast<std::uint32_t>(size));
    close(fd);
    uploaded = &keymap;
    state.reset(xkb_state_new(keymap.keymap.get()));
    if (!state) throw DesktopError("xkbcommon cannot make a keyboard state; check that libxkbcommon works");
    for (const HeldKey& h : held) {
        if (h.shift) xkb_state_update_key(state.get(), layout->shift_code(), XKB_KEY_DOWN);
        xkb_state_update_key(state.get(), h.code, XKB_KEY_DOWN);
    }
    sent_mods = {~0u, ~0u, ~0u, ~0u};
}

void Impl::upload_lent() {
    const bool any = std::any_of(lent.begin(), lent.end(), [](xkb_keysym_t k) { return k != XKB_KEY_NoSymbol; });
    if (!any) {
        lent_keymap.reset();
        if (uploaded != &layout->plain()) upload(layout->plain());
        return;
    }
    lent_keymap.emplace(layout->extended(lent));
    upload(*lent_keymap);
}

void Impl::send_key(xkb_keycode_t code, bool down) {
    check_alive();
    // Wayland key codes are evdev codes: xkb's less 8.
    zwp_virtual_keyboard_v1_key(keyboard, now_ms(), code - 8,
                                down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    xkb_state_update_key(state.get(), code, down ? XKB_KEY_DOWN : XKB_KEY_UP);
    // The compositor takes the modifiers from us rather than working them out from the keys.
    const std::array<xkb_mod_mask_t, 4> mods{
        xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_DEPRESSED),
        xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_LATCHED),
        xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_LOCKED),
        xkb_state_serialize_layout(state.get(), XKB_STATE_LAYOUT_EFFECTIVE)};
    if (mods != sent_mods) {
        zwp_virtual_keyboard_v1_modifiers(keyboard, mods[0], mods[1], mods[2], mods[3]);
        sent_mods = mods;
    }
}

void WaylandDesktop::key_down(const std::string& key) {
    wl::begin_call(*impl_);
    const xkb_keysym_t keysym = resolve_name(key);
    HeldKey h = put_down(*impl_, keysym);
    impl_->held.push_back(h);
    impl_->roundtrip();
}

void WaylandDesktop::key_up(const std::string& key) {
    wl::begin_call(*impl_);
    const xkb_keysym_t keysym = resolve_name(key);
    auto& held = impl_->held;
    for (auto it = held.rbegin(); it != held.rend(); ++it) {
        if (it->keysym != keysym) continue;
        const HeldKey h = *it;
        held.erase(std::next(it).base());
        lift(*impl_, h);
        impl_->roundtrip();
        return;
    }
    // Not put down by this desktop: release whatever key types it.
    if (auto stroke = impl_->layout->find(keysym)) {
        lift(*impl_, HeldKey{keysym, stroke->code, false, false});
        impl_->roundtrip();
    }
}

void WaylandDesktop::press(const std::string& key) { hotkey({key}); }

void WaylandDesktop::hotkey(const std::vector<std::string>& keys) {
    wl::begin_call(*impl_);
    // Every name is checked before any key goes down, so a bad name leaves nothing pressed.
    std::vector<xkb_keysym_t> keysyms;
    for (const std::string& key : keys) keysyms.push_back(resolve_name(key));
    std::vector<HeldKey> down;
    try {
        for (xkb_keysym_t ks : keysyms) down.push_back(put_down(*impl_, ks));
    } catch (const DesktopLostError&) {
        throw;
    } catch (...) {
        for (auto it = down.rbegin(); it != down.rend(); ++it) lift(*impl_, *it);
        impl_->roundtrip();
        throw;
    }
    for (auto it = down.rbegin(); it != down.rend(); ++it) lift(*impl_, *it);
    impl_->roundtrip();
}

void WaylandDesktop::write(const std::string& text, double interval_seconds) {
    wl::begin_call(*impl_);
    Impl& impl = *impl_;

    struct Typed {
        xkb_keysym_t keysym;
        std::optional<wl::Stroke> stroke;  // empty: needs a lent key
    };
    std::vector<Typed> typed;
    for (const x11::CharKey& key : x11::keys_to_type(text)) {
        const auto ks = static_cast<xkb_keysym_t>(key.keysym);
        typed.push_back(Typed{ks, impl.layout->find(ks)});
    }

    // Characters the layout lacks go on lent keys, a run at a time: one
    // keymap for the whole run, ending where the keys to lend do. The
    // layout's own keys type the same in that keymap.
    const std::vector<xkb_keysym_t> held_lent = impl.lent;
    std::size_t i = 0;
    std::size_t sent = 0;
    double batch_events = 0;
    bool first = true;
    try {
        while (i < typed.size()) {
            std::size_t end = i;
            bool lending = false;
            for (; end < typed.size(); ++end) {
                if (typed[end].stroke) continue;
                if (!lend(impl, typed[end].keysym)) break;
                lending = true;
            }
            if (end == i)
                throw DesktopError("cannot type '" + keysym_name(typed[i].keysym) +
                                   "': the keyboard layout has no key for it and no key is left to lend; "
                                   "release keys held with key_down, then type the rest again");
            if (lending) impl.upload_lent();
            for (; i < end; ++i) {
                wl::Stroke stroke;
                if (typed[i].stroke) {
                    stroke = *typed[i].stroke;
                } else {
                    const auto slot = std::find(impl.lent.begin(), impl.lent.end(), typed[i].keysym) - impl.lent.begin();
                    stroke = wl::Stroke{impl.layout->lendable_code(static_cast<std::size_t>(slot)), false};
                }
                // Between two characters, so a stop leaves no key down.
                interruption_point();
                if (!first && interval_seconds > 0)
                    std::this_thread::sleep_for(std::chrono::duration<double>(interval_seconds));
                first = false;
                if (stroke.shift) impl.send_key(shift_code(impl), true);
                impl.send_key(stroke.code, true);
                impl.send_key(stroke.code, false);
                if (stroke.shift) impl.send_key(shift_code(impl), false);
                batch_events += stroke.shift ? 4 : 2;
                // Keys wait in the compositor's queue for the focused client,
                // so none is lost by not waiting; the round trip keeps us from
                // running far ahead of the compositor, the pace from running
                // far ahead of a client that reads late.
                ++sent;
                if (sent % CHARACTERS_PER_FLUSH == 0 || interval_seconds > 0) impl.flush();
                if (sent % CHARACTERS_PER_ROUND_TRIP == 0) {
                    impl.roundtrip();
                    charge_keys(impl, batch_events);
                    batch_events = 0;
                    wait_for_key_budget(impl);
                }
            }
            if (lending) {
                impl.lent = held_lent;
                impl.upload_lent();
            }
        }
    } catch (const DesktopLostError&) {
        throw;
    } catch (...) {
        // Stopped (or refused) inside a run: what was typed goes out now,
        // not with a later call, and the lent keys go back before the error does.
        charge_keys(impl, batch_events);
        if (impl.lent != held_lent) {
            impl.lent = held_lent;
            impl.upload_lent();
        }
        impl.flush();
        throw;
    }
    impl.roundtrip();
    // Owed by the next call, so this one returns as soon as its keys are in.
    charge_keys(impl, batch_events);
}

}  // namespace norvex::pc
