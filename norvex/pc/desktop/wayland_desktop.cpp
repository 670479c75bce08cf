// WaylandDesktop: the connection, the compositor's globals, its outputs, and waiting without hanging.
#include "norvex/pc/desktop/wayland_impl.hpp"

#include <poll.h>
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace norvex::pc {

namespace wl {

Output::~Output() {
    if (xdg != nullptr) zxdg_output_v1_destroy(xdg);
    if (output == nullptr) return;
    if (wl_output_get_version(output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) wl_output_release(output);
    else wl_output_destroy(output);
}

void ShmBuffer::release() {
    if (buffer != nullptr) wl_buffer_destroy(buffer);
    if (data != nullptr) munmap(data, size);
    *this = ShmBuffer{};
}

}  // namespace wl

namespace {

using Impl = WaylandDesktop::Impl;

// The names of the three protocols this backend cannot work without, and what each is for.
struct Needed {
    const char* interface;
    const char* purpose;
};
constexpr Needed NEEDED[] = {
    {"zwlr_screencopy_manager_v1", "screenshots"},
    {"zwlr_virtual_pointer_manager_v1", "pointer input"},
    {"zwp_virtual_keyboard_manager_v1", "keyboard input"},
};

std::string socket_from_environment() {
    const char* value = std::getenv("WAYLAND_DISPLAY");
    return value != nullptr ? value : "";
}

std::string label(const std::string& socket) {
    return "Wayland compositor '" + (socket.empty() ? std::string("wayland-0") : socket) + "'";
}

// ---- output events ----

void output_geometry(void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t, std::int32_t,
                     const char*, const char*, std::int32_t transform) {
    auto* o = static_cast<wl::Output*>(data);
    o->x = x;
    o->y = y;
    o->transform = transform;
}

void output_mode(void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height, std::int32_t) {
    if ((flags & WL_OUTPUT_MODE_CURRENT) == 0) return;
    auto* o = static_cast<wl::Output*>(data);
    o->mode_width = width;
    o->mode_height = height;
}

void output_done(void*, wl_output*) {}

void output_scale(void* data, wl_output*, std::int32_t factor) { static_cast<wl::Output*>(data)->scale = factor; }

void output_name(void* data, wl_output*, const char* name) { static_cast<wl::Output*>(data)->name = name; }

void output_description(void*, wl_output*, const char*) {}

const wl_output_listener OUTPUT_LISTENER = {output_geometry, output_mode, output_done,
                                            output_scale, output_name, output_description};

// xdg-output gives the layout position and size (wl_output's position is
// only a hint on some compositors, and its size is in pixels).
void xdg_position(void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
    auto* o = static_cast<wl::Output*>(data);
    o->x = x;
    o->y = y;
}

void xdg_size(void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
    auto* o = static_cast<wl::Output*>(data);
    o->logical_width = width;
    o->logical_height = height;
}

void xdg_done(void*, zxdg_output_v1*) {}

void xdg_name(void* data, zxdg_output_v1*, const char* name) {
    auto* o = static_cast<wl::Output*>(data);
    if (o->name.empty()) o->name = name;
}

void xdg_description(void*, zxdg_output_v1*, const char*) {}

const zxdg_output_v1_listener XDG_OUTPUT_LISTENER = {xdg_position, xdg_size, xdg_done, xdg_name, xdg_description};

void watch_xdg_output(Impl& impl, wl::Output& o) {
    if (impl.xdg_outputs == nullptr || o.xdg != nullptr) return;
    o.xdg = zxdg_output_manager_v1_get_xdg_output(impl.xdg_outputs, o.output);
    zxdg_output_v1_add_listener(o.xdg, &XDG_OUTPUT_LISTENER, &o);
}

// ---- the registry ----

template <typename T>
T* bind(wl_registry* registry, std::uint32_t name, const wl_interface* interface, std::uint32_t offered, std::uint32_t wanted) {
    return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, wanted)));
}

void registry_global(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version) {
    auto& impl = *static_cast<Impl*>(data);
    const std::string_view iface = interface;
    if (iface == wl_shm_interface.name && impl.shm == nullptr) {
        impl.shm = bind<wl_shm>(registry, name, &wl_shm_interface, version, 1);
    } else if (iface == wl_seat_interface.name && impl.seat == nullptr) {
        impl.seat = bind<wl_seat>(registry, name, &wl_seat_interface, version, 1);
    } else if (iface == wl_output_interface.name) {
        auto o = std::make_unique<wl::Output>();
        o->global = name;
        o->output = bind<wl_output>(registry, name, &wl_output_interface, version, 4);
        wl_output_add_listener(o->output, &OUTPUT_LISTENER, o.get());
        watch_xdg_output(impl, *o);
        impl.outputs.push_back(std::move(o));
    } else if (iface == zxdg_output_manager_v1_interface.name && impl.xdg_outputs == nullptr) {
        impl.xdg_outputs = bind<zxdg_output_manager_v1>(registry, name, &zxdg_output_manager_v1_interface, version, 2);
        for (auto& o : impl.outputs) watch_xdg_output(impl, *o);
    } else if (iface == zwlr_screencopy_manager_v1_interface.name && impl.screencopy == nullptr) {
        impl.screencopy_version = std::min<std::uint32_t>(version, 3);
        impl.screencopy = bind<zwlr_screencopy_manager_v1>(registry, name, &zwlr_screencopy_manager_v1_interface, version, 3);
    } else if (iface == zwlr_virtual_pointer_manager_v1_interface.name && impl.pointer_manager == nullptr) {
        impl.pointer_manager_version = std::min<std::uint32_t>(version, 2);
        impl.pointer_manager =
            bind<zwlr_virtual_pointer_manager_v1>(registry, name, &zwlr_virtual_pointer_manager_v1_interface, version, 2);
    } else if (iface == zwp_virtual_keyboard_manager_v1_interface.name && impl.keyboard_manager == nullptr) {
        impl.keyboard_manager =
            bind<zwp_virtual_keyboard_manager_v1>(registry, name, &zwp_virtual_keyboard_manager_v1_interface, version, 1);
    }
}

void registry_global_remove(void* data, wl_registry*, std::uint32_t name) {
    auto& impl = *static_cast<Impl*>(data);
    auto it = std::find_if(impl.outputs.begin(), impl.outputs.end(), [&](const auto& o) { return o->global == name; });
    if (it == impl.outputs.end()) return;
    if (impl.output == it->get()) impl.output = nullptr;
    if (impl.pointer_output == it->get()) {
        zwlr_virtual_pointer_v1_destroy(impl.pointer);
        impl.pointer = nullptr;
        impl.pointer_output = nullptr;
    }
    impl.outputs.erase(it);
}

const wl_registry_listener REGISTRY_LISTENER = {registry_global, registry_global_remove};

// Connects and learns the compositor's globals and outputs.
void connect(Impl& impl, const std::string& socket) {
    if (socket.empty())
        throw DesktopError("No Wayland compositor to drive: WAYLAND_DISPLAY is not set; start the executor inside "
                           "a Wayland session or set WAYLAND_DISPLAY (for example WAYLAND_DISPLAY=wayland-1)");
    impl.name = socket;
    impl.display = wl_display_connect(socket.c_str());
    if (impl.display == nullptr) {
        const int error = errno;
        throw DesktopError("cannot connect to the " + label(socket) + ": " + std::strerror(error) +
                           "; start the compositor, or set WAYLAND_DISPLAY to its socket (a name in "
                           "XDG_RUNTIME_DIR or an absolute path)");
    }
    impl.registry = wl_display_get_registry(impl.display);
    wl_registry_add_listener(impl.registry, &REGISTRY_LISTENER, &impl);
    impl.roundtrip();  // the globals
    impl.roundtrip();  // what the bound outputs report
}

std::vector<std::string> missing_of(const Impl& impl) {
    std::vector<std::string> missing;
    if (impl.screencopy == nullptr) missing.push_back(NEEDED[0].interface);
    if (impl.pointer_manager == nullptr) missing.push_back(NEEDED[1].interface);
    if (impl.keyboard_manager == nullptr) missing.push_back(NEEDED[2].interface);
    return missing;
}

}  // namespace

Impl::~Impl() {
    if (display == nullptr) return;
    // Only frees our side: a destructor request on a broken connection is
    // dropped by libwayland, and nothing here waits for the compositor.
    capture.release();
    if (keyboard != nullptr) zwp_virtual_keyboard_v1_destroy(keyboard);
    if (pointer != nullptr) zwlr_virtual_pointer_v1_destroy(pointer);
    if (keyboard_manager != nullptr) zwp_virtual_keyboard_manager_v1_destroy(keyboard_manager);
    if (pointer_manager != nullptr) zwlr_virtual_pointer_manager_v1_destroy(pointer_manager);
    if (screencopy != nullptr) zwlr_screencopy_manager_v1_destroy(screencopy);
    outputs.clear();
    if (xdg_outputs != nullptr) zxdg_output_manager_v1_destroy(xdg_outputs);
    if (seat != nullptr) wl_seat_destroy(seat);
    if (shm != nullptr) wl_shm_destroy(shm);
    if (registry != nullptr) wl_registry_destroy(registry);
    // Never blocks: a full socket just leaves the rest unsent.
    if (!lost) wl_display_flush(display);
    wl_display_disconnect(display);
}

void Impl::mark_lost() {
    if (!lost) {
        lost = true;
        const int error = wl_display_get_error(display);
        if (error == EPROTO) {
            const wl_interface* interface = nullptr;
            std::uint32_t id = 0;
            const std::uint32_t code = wl_display_get_protocol_error(display, &interface, &id);
            lost_text = "the " + label(name) + " ended the connection over a protocol error (code " +
                        std::to_string(code) + " on " + (interface != nullptr ? interface->name : "an unknown interface") + ")";
        } else {
            lost_text = "the connection to the " + label(name) + " was lost (the compositor stopped or closed it)";
        }
    }
    throw DesktopLostError(lost_text);
}

void Impl::check_alive() {
    if (lost || wl_display_get_error(display) != 0) mark_lost();
}

std::uint32_t Impl::now_ms() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

namespace {

int remaining_ms(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::int64_t>(0, left.count()));
}

std::chrono::steady_clock::time_point deadline_of(double seconds) {
    return std::chrono::steady_clock::now() +
           std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

void Impl::flush() {
    check_alive();
    const auto deadline = deadline_of(options.answer_timeout_seconds);
    while (wl_display_flush(display) < 0) {
        if (errno != EAGAIN) mark_lost();
        // The socket is full: wait until the compositor reads some of it.
        pollfd p{wl_display_get_fd(display), POLLOUT, 0};
        const int r = poll(&p, 1, remaining_ms(deadline));
        if (r == 0)
            throw DesktopError("the " + label(name) + " stopped reading our input for " +
                               std::to_string(options.answer_timeout_seconds) + " s; check that it still runs");
        if (r < 0 && errno != EINTR) mark_lost();
        if (r > 0 && (p.revents & (POLLERR | POLLHUP)) != 0) mark_lost();
    }
}

void Impl::dispatch_until(const std::function<bool()>& done, const char* waiting_for) {
    const auto deadline = deadline_of(options.answer_timeout_seconds);
    while (true) {
        check_alive();
        while (wl_display_prepare_read(display) != 0) {
            if (wl_display_dispatch_pending(display) < 0) mark_lost();
            if (done()) return;
        }
        if (done()) {
            wl_display_cancel_read(display);
            return;
        }
        try {
            flush();
        } catch (...) {
            wl_display_cancel_read(display);
            throw;
        }
        pollfd p{wl_display_get_fd(display), POLLIN, 0};
        const int r = poll(&p, 1, remaining_ms(deadline));
        if (r <= 0) {
            wl_display_cancel_read(display);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) mark_lost();
            throw DesktopError("the " + label(name) + " did not answer within " +
                               std::to_string(static_cast<int>(std::lround(options.answer_timeout_seconds))) +
                               " s while we waited for " + waiting_for + "; check that it still runs and is not stopped");
        }
        if (wl_display_read_events(display) < 0) mark_lost();
        if (wl_display_dispatch_pending(display) < 0) mark_lost();
        if (done()) return;
    }
}

void Impl::roundtrip() {
    bool done = false;
    static const wl_callback_listener listener = {
        [](void* data, wl_callback* callback, std::uint32_t) {
            *static_cast<bool*>(data) = true;
            wl_callback_destroy(callback);
        }};
    wl_callback* callback = wl_display_sync(display);
    wl_callback_add_listener(callback, &listener, &done);
    try {
        dispatch_until([&] { return done; }, "a round trip");
    } catch (...) {
        // The callback may still come; destroyed, it is dropped instead of writing to `done`.
        if (!done) wl_callback_destroy(callback);
        throw;
    }
}

wl::Output& Impl::current_output() {
    if (output == nullptr) {
        for (auto& o : outputs) {
            if (o->mode_width <= 0 || o->mode_height <= 0) continue;
            if (options.output_name.empty() || o->name == options.output_name) {
                output = o.get();
                break;
            }
        }
    }
    if (output == nullptr) {
        if (!options.output_name.empty()) {
            std::string names;
            for (auto& o : outputs) names += (names.empty() ? "" : ", ") + o->name;
            throw DesktopError("the " + label(name) + " has no output named '" + options.output_name + "'" +
                               (names.empty() ? std::string(" (it has none)") : " (it has " + names + ")") +
                               "; name one of its outputs");
        }
        throw DesktopError("the " + label(name) + " has no output with a mode; connect or enable a display");
    }
    return *output;
}

WaylandDesktop::WaylandDesktop() : WaylandDesktop(socket_from_environment()) {}

WaylandDesktop::WaylandDesktop(const std::string& socket, WaylandDesktopOptions options)
    : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
    connect(*impl_, socket);
    Impl& impl = *impl_;
    const auto missing = missing_of(impl);
    if (!missing.empty()) {
        std::string list;
        for (const Needed& n : NEEDED)
            if (std::find(missing.begin(), missing.end(), n.interface) != missing.end())
                list += (list.empty() ? "" : ", ") + std::string(n.interface) + " (" + n.purpose + ")";
        throw DesktopError("the " + label(socket) + " does not offer " + list +
                           ", which wlroots compositors (sway, Hyprland, river, labwc, Wayfire) offer. On GNOME or "
                           "KDE, log in to an X11 session instead (driving them through their remote-desktop portal "
                           "is not supported yet); XWayland alone would reach only X programs");
    }
    if (impl.shm == nullptr)
        throw DesktopError("the " + label(socket) + " offers no wl_shm, so screenshots cannot be shared with it; use another compositor");
    if (impl.seat == nullptr)
        throw DesktopError("the " + label(socket) + " has no seat (wl_seat), so there is nothing to send input to; "
                           "check the compositor's seat configuration");
    impl.current_output();
    impl.xkb.reset(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (!impl.xkb) throw DesktopError("cannot start xkbcommon; check that libxkbcommon and xkb-data are installed");
    impl.layout.emplace(impl.xkb.get(), impl.options.keyboard_layout, impl.options.keyboard_variant);
    impl.lent.assign(impl.layout->lendable(), XKB_KEY_NoSymbol);
    impl.keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(impl.keyboard_manager, impl.seat);
    impl.upload(impl.layout->plain());
    // The pointer too is made now, not at the first action: a seat that had
    // no pointer gains one, and clients take a while to start listening to it.
    impl.pointer_device();
    // The compositor refuses a keyboard (ends the connection) when it does not
    // allow us one; better to learn it here than at the first key.
    impl.roundtrip();
}

WaylandDesktop::~WaylandDesktop() = default;

const std::string& WaylandDesktop::socket() const noexcept { return impl_->name; }

WaylandOutputInfo WaylandDesktop::output() {
    wl::begin_call(*impl_);
    impl_->roundtrip();
    const wl::Output& o = impl_->current_output();
    return WaylandOutputInfo{o.name, o.x, o.y, o.layout_width(), o.layout_height(), o.pixel_width(), o.pixel_height(), o.scale};
}

std::vector<std::string> wayland_missing_protocols(const std::string& socket) {
    Impl impl;
    connect(impl, socket);
    return missing_of(impl);
}

std::pair<int, int> wayland_screen_size(const std::string& socket, const WaylandDesktopOptions& options) {
    Impl impl;
    impl.options = options;
    connect(impl, socket);
    const wl::Output& o = impl.current_output();
    return {o.pixel_width(), o.pixel_height()};
}

}  // namespace norvex::pc
