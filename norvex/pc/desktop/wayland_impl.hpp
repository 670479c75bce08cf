// The state behind WaylandDesktop, shared by its connection, pointer, keyboard and capture files.
#pragma once

#include "norvex/pc/desktop/wayland_desktop.hpp"
#include "norvex/pc/desktop/wayland_keymap.hpp"

#include <wayland-client.h>

#include "virtual-keyboard-unstable-v1-client.h"
#include "wlr-screencopy-unstable-v1-client.h"
#include "wlr-virtual-pointer-unstable-v1-client.h"
#include "xdg-output-unstable-v1-client.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace norvex::pc {

namespace wl {

// One wl_output and what the compositor told of it.
struct Output {
    wl_output* output = nullptr;
    zxdg_output_v1* xdg = nullptr;
    std::uint32_t global = 0;
    std::string name;
    int x = 0;
    int y = 0;
    int mode_width = 0;
    int mode_height = 0;
    int scale = 1;
    std::int32_t transform = WL_OUTPUT_TRANSFORM_NORMAL;
    int logical_width = 0;  // from xdg-output; 0 until it reports
    int logical_height = 0;

    // The output's size in pixels as screenshots show it (the mode, turned by the transform).
    int pixel_width() const { return transform % 2 == 1 ? mode_height : mode_width; }
    int pixel_height() const { return transform % 2 == 1 ? mode_width : mode_height; }
    // Its size in the layout: xdg-output's report, else the pixels over the scale.
    int layout_width() const { return logical_width > 0 ? logical_width : pixel_width() / std::max(scale, 1); }
    int layout_height() const { return logical_height > 0 ? logical_height : pixel_height() / std::max(scale, 1); }

    ~Output();
};

// The shared-memory buffer screenshots are copied into, kept between them.
struct ShmBuffer {
    wl_buffer* buffer = nullptr;
    void* data = nullptr;
    std::size_t size = 0;
    std::uint32_t format = 0;
    int width = 0;
    int height = 0;
    int stride = 0;
    // Destroys the buffer and unmaps its memory (the owner calls it before disconnecting).
    void release();
};

}  // namespace wl

struct WaylandDesktop::Impl {
    wl_display* display = nullptr;
    std::string name;
    WaylandDesktopOptions options;
    // Set when the connection broke; `lost_text` says how. From then on
    // nothing is sent and every call throws DesktopLostError.
    bool lost = false;
    std::string lost_text;

    wl_registry* registry = nullptr;
    wl_shm* shm = nullptr;
    wl_seat* seat = nullptr;
    zxdg_output_manager_v1* xdg_outputs = nullptr;
    zwlr_screencopy_manager_v1* screencopy = nullptr;
    std::uint32_t screencopy_version = 0;
    zwlr_virtual_pointer_manager_v1* pointer_manager = nullptr;
    std::uint32_t pointer_manager_version = 0;
    zwp_virtual_keyboard_manager_v1* keyboard_manager = nullptr;
    std::vector<std::unique_ptr<wl::Output>> outputs;

    // The output driven, and the pointer device made for it (remade when the output changes).
    wl::Output* output = nullptr;
    zwlr_virtual_pointer_v1* pointer = nullptr;
    wl::Output* pointer_output = nullptr;
    std::pair<int, int> pointer_at{-1, -1};

    // Keyboard: the device, the layout, what the compositor was given last,
    // and our own view of the modifiers (the compositor takes them from us).
    zwp_virtual_keyboard_v1* keyboard = nullptr;
    wl::XkbContext xkb;
    std::optional<wl::Keymap> layout;
    const wl::CompiledKeymap* uploaded = nullptr;
    std::optional<wl::CompiledKeymap> lent_keymap;  // uploaded while lent keys are in use
    wl::XkbState state;
    // Keys put down by key_down and not yet released.
    struct HeldKey {
        xkb_keysym_t keysym = 0;
        xkb_keycode_t code = 0;
        bool shift = false;   // Shift put down with it
        bool lent = false;    // on a lent key, which goes back when it is released
    };
    std::vector<HeldKey> held;
    // Per lendable key of the layout: the keysym lent to it now, or NoSymbol.
    std::vector<xkb_keysym_t> lent;
    // The modifiers the compositor was last told of.
    std::array<xkb_mod_mask_t, 4> sent_mods{~0u, ~0u, ~0u, ~0u};
    // Typing's pace, kept across calls so that texts typed one after
    // another cannot flood a client either: key events that may go out now
    // without waiting (negative: owed), as of `key_budget_at` (the clock's
    // start at first, so the budget is full then).
    double key_budget = 0;
    std::chrono::steady_clock::time_point key_budget_at{};

    wl::ShmBuffer capture;

    ~Impl();

    // Throws DesktopLostError once the connection is gone.
    void check_alive();
    // Records the break, with the compositor's protocol error when there
    // was one, and throws DesktopLostError.
    [[noreturn]] void mark_lost();
    // Sends what is queued; waits (up to the timeout) while the socket is full.
    void flush();
    // Reads and handles events until `done()` holds; throws DesktopError
    // after the timeout, DesktopLostError when the connection breaks.
    void dispatch_until(const std::function<bool()>& done, const char* waiting_for);
    // A round trip: every request sent before it has been handled.
    void roundtrip();

    // The output driven now; throws DesktopError when the compositor has none.
    wl::Output& current_output();
    // The pointer device for the current output.
    zwlr_virtual_pointer_v1* pointer_device();

    // Milliseconds for input events' time stamps.
    static std::uint32_t now_ms();

    // Keyboard: sends the keymap to the compositor (and starts a fresh
    // modifier state for it, with the held keys down).
    void upload(const wl::CompiledKeymap& keymap);
    // The layout with the keys lent now, uploaded if it is not what the compositor has.
    void upload_lent();
    void send_key(xkb_keycode_t code, bool down);
};

namespace wl {

// What every WaylandDesktop call holds: a lost connection makes it throw at once.
inline void begin_call(WaylandDesktop::Impl& impl) { impl.check_alive(); }

}  // namespace wl

}  // namespace norvex::pc
