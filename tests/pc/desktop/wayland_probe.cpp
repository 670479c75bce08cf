// A Wayland client for the tests: a fullscreen window whose pixels encode their own position, printing the input it gets.
//
// Usage: wayland_probe SCALE   (WAYLAND_DISPLAY names the compositor)
//
// The window's buffer is SCALE times its size in pixels, so each buffer
// pixel is one output pixel; pixel (x, y) has red x % 256, green y % 256 and
// blue (x / 256) * 16 + y / 256, so a screenshot can be checked pixel by
// pixel. One line per event on stdout:
//   shown W H            the first frame is on screen (W x H buffer pixels)
//   pointer-enter X Y | motion X Y      surface coordinates, two decimals
//   button CODE pressed|released
//   axis vertical|horizontal VALUE   discrete vertical|horizontal STEPS
//   keymap                a new keymap arrived
//   key CODE pressed|released KEYSYM_NAME HEX_UTF8   (HEX_UTF8 "-" when none)
//   focus                 the keyboard focus arrived
#include "xdg-shell-client.h"

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

namespace {

struct Client {
    wl_display* display = nullptr;
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    wl_seat* seat = nullptr;
    xdg_wm_base* wm = nullptr;
    wl_surface* surface = nullptr;
    xdg_surface* xsurface = nullptr;
    xdg_toplevel* toplevel = nullptr;
    wl_pointer* pointer = nullptr;
    wl_keyboard* keyboard = nullptr;
    wl_buffer* buffer = nullptr;
    int scale = 1;
    int width = 0;   // surface size, from the configure
    int height = 0;
    int drawn_width = 0;  // the size of the buffer last drawn for
    int drawn_height = 0;
    xkb_context* xkb = nullptr;
    xkb_keymap* keymap = nullptr;
    xkb_state* state = nullptr;
};

void line(const std::string& text) {
    std::fputs((text + "\n").c_str(), stdout);
    std::fflush(stdout);
}

std::string fixed(wl_fixed_t v) {
    char s[32];
    std::snprintf(s, sizeof s, "%.2f", wl_fixed_to_double(v));
    return s;
}

void draw(Client& c) {
    const int w = c.width * c.scale;
    const int h = c.height * c.scale;
    const int stride = w * 4;
    const std::size_t size = static_cast<std::size_t>(stride) * h;
    const int fd = memfd_create("wayland-probe", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) std::exit(3);
    auto* px = static_cast<std::uint32_t*>(mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
    if (px == MAP_FAILED) std::exit(3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint32_t r = x % 256, g = y % 256, b = (x / 256) * 16 + y / 256;
            px[static_cast<std::size_t>(y) * w + x] = 0xff000000u | r << 16 | g << 8 | b;
        }
    munmap(px, size);
    wl_shm_pool* pool = wl_shm_create_pool(c.shm, fd, static_cast<int32_t>(size));
    if (c.buffer != nullptr) wl_buffer_destroy(c.buffer);
    c.buffer = wl_shm_pool_create_buffer(pool, 0, w, h, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_surface_set_buffer_scale(c.surface, c.scale);
    wl_surface_attach(c.surface, c.buffer, 0, 0);
    wl_surface_damage(c.surface, 0, 0, c.width, c.height);
    static const wl_callback_listener shown = {[](void* data, wl_callback* cb, uint32_t) {
        auto* cl = static_cast<Client*>(data);
        line("shown " + std::to_string(cl->width * cl->scale) + " " + std::to_string(cl->height * cl->scale));
        wl_callback_destroy(cb);
    }};
    wl_callback_add_listener(wl_surface_frame(c.surface), &shown, &c);
    wl_surface_commit(c.surface);
}

// ---- xdg-shell ----

const xdg_wm_base_listener WM_LISTENER = {[](void*, xdg_wm_base* wm, uint32_t serial) { xdg_wm_base_pong(wm, serial); }};

const xdg_surface_listener XSURFACE_LISTENER = {[](void* data, xdg_surface* s, uint32_t serial) {
    auto& c = *static_cast<Client*>(data);
    xdg_surface_ack_configure(s, serial);
    if (c.width > 0 && c.height > 0 && (c.width != c.drawn_width || c.height != c.drawn_height)) {
        c.drawn_width = c.width;
        c.drawn_height = c.height;
        draw(c);
    } else {
        wl_surface_commit(c.surface);
    }
}};

const xdg_toplevel_listener TOPLEVEL_LISTENER = {
    [](void* data, xdg_toplevel*, int32_t w, int32_t h, wl_array*) {
        auto& c = *static_cast<Client*>(data);
        // 0 x 0 leaves the size to us: a small window until the fullscreen size comes.
        c.width = w > 0 ? w : 64;
        c.height = h > 0 ? h : 64;
    },
    [](void*, xdg_toplevel*) { std::exit(0); },
    nullptr,  // configure_bounds and wm_capabilities: not in the version bound
    nullptr,
};

// ---- pointer ----

const wl_pointer_listener POINTER_LISTENER = {
    [](void*, wl_pointer* p, uint32_t serial, wl_surface*, wl_fixed_t x, wl_fixed_t y) {
        wl_pointer_set_cursor(p, serial, nullptr, 0, 0);  // no cursor over our pixels
        line("pointer-enter " + fixed(x) + " " + fixed(y));
    },
    [](void*, wl_pointer*, uint32_t, wl_surface*) { line("pointer-leave"); },
    [](void*, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) { line("motion " + fixed(x) + " " + fixed(y)); },
    [](void*, wl_pointer*, uint32_t, uint32_t, uint32_t button, uint32_t state) {
        line("button " + std::to_string(button) + (state == WL_POINTER_BUTTON_STATE_PRESSED ? " pressed" : " released"));
    },
    [](void*, wl_pointer*, uint32_t, uint32_t axis, wl_fixed_t value) {
        line(std::string("axis ") + (axis == WL_POINTER_AXIS_VERTICAL_SCROLL ? "vertical " : "horizontal ") + fixed(value));
    },
    [](void*, wl_pointer*) {},
    [](void*, wl_pointer*, uint32_t) {},
    [](void*, wl_pointer*, uint32_t, uint32_t) {},
    [](void*, wl_pointer*, uint32_t axis, int32_t discrete) {
        line(std::string("discrete ") + (axis == WL_POINTER_AXIS_VERTICAL_SCROLL ? "vertical " : "horizontal ") +
             std::to_string(discrete));
    },
    nullptr,  // axis_value120: not in the version bound
};

// ---- keyboard ----

const wl_keyboard_listener KEYBOARD_LISTENER = {
    [](void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
        auto& c = *static_cast<Client*>(data);
        if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
            close(fd);
            return;
        }
        void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        close(fd);
        if (text == MAP_FAILED) std::exit(4);
        xkb_keymap* km = xkb_keymap_new_from_string(c.xkb, static_cast<const char*>(text), XKB_KEYMAP_FORMAT_TEXT_V1,
                                                    XKB_KEYMAP_COMPILE_NO_FLAGS);
        munmap(text, size);
        if (km == nullptr) {
            line("keymap-refused");
            return;
        }
        if (c.state != nullptr) xkb_state_unref(c.state);
        if (c.keymap != nullptr) xkb_keymap_unref(c.keymap);
        c.keymap = km;
        c.state = xkb_state_new(km);
        line("keymap");
    },
    [](void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) { line("focus"); },
    [](void*, wl_keyboard*, uint32_t, wl_surface*) { line("unfocus"); },
    [](void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
        auto& c = *static_cast<Client*>(data);
        std::string name = "-";
        std::string hex = "-";
        if (c.state != nullptr) {
            const xkb_keysym_t sym = xkb_state_key_get_one_sym(c.state, key + 8);
            char buf[64];
            if (xkb_keysym_get_name(sym, buf, sizeof buf) > 0) name = buf;
            char text[64];
            const int n = xkb_state_key_get_utf8(c.state, key + 8, text, sizeof text);
            if (n > 0) {
                hex.clear();
                for (int i = 0; i < n; ++i) {
                    char two[3];
                    std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(text[i]));
                    hex += two;
                }
            }
        }
        line("key " + std::to_string(key) + (state == WL_KEYBOARD_KEY_STATE_PRESSED ? " pressed " : " released ") + name +
             " " + hex);
    },
    [](void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched, uint32_t locked, uint32_t group) {
        auto& c = *static_cast<Client*>(data);
        if (c.state != nullptr) xkb_state_update_mask(c.state, depressed, latched, locked, 0, 0, group);
    },
    [](void*, wl_keyboard*, int32_t, int32_t) {},
};

const wl_seat_listener SEAT_LISTENER = {
    [](void* data, wl_seat* seat, uint32_t caps) {
        auto& c = *static_cast<Client*>(data);
        if ((caps & WL_SEAT_CAPABILITY_POINTER) && c.pointer == nullptr) {
            c.pointer = wl_seat_get_pointer(seat);
            wl_pointer_add_listener(c.pointer, &POINTER_LISTENER, &c);
        }
        if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && c.keyboard == nullptr) {
            c.keyboard = wl_seat_get_keyboard(seat);
            wl_keyboard_add_listener(c.keyboard, &KEYBOARD_LISTENER, &c);
        }
    },
    [](void*, wl_seat*, const char*) {},
};

const wl_registry_listener REGISTRY_LISTENER = {
    [](void* data, wl_registry* r, uint32_t name, const char* iface, uint32_t version) {
        auto& c = *static_cast<Client*>(data);
        if (std::strcmp(iface, wl_compositor_interface.name) == 0)
            c.compositor = static_cast<wl_compositor*>(wl_registry_bind(r, name, &wl_compositor_interface, 4));
        else if (std::strcmp(iface, wl_shm_interface.name) == 0)
            c.shm = static_cast<wl_shm*>(wl_registry_bind(r, name, &wl_shm_interface, 1));
        else if (std::strcmp(iface, xdg_wm_base_interface.name) == 0) {
            c.wm = static_cast<xdg_wm_base*>(wl_registry_bind(r, name, &xdg_wm_base_interface, 1));
            xdg_wm_base_add_listener(c.wm, &WM_LISTENER, &c);
        } else if (std::strcmp(iface, wl_seat_interface.name) == 0 && c.seat == nullptr) {
            // Version 5 has the wheel's discrete steps.
            c.seat = static_cast<wl_seat*>(wl_registry_bind(r, name, &wl_seat_interface, std::min(version, 5u)));
            wl_seat_add_listener(c.seat, &SEAT_LISTENER, &c);
        }
    },
    [](void*, wl_registry*, uint32_t) {},
};

}  // namespace

int main(int argc, char** argv) {
    Client c;
    c.scale = argc > 1 ? std::atoi(argv[1]) : 1;
    if (c.scale < 1) c.scale = 1;
    c.xkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    c.display = wl_display_connect(nullptr);
    if (c.display == nullptr) {
        std::fprintf(stderr, "wayland_probe: cannot connect to the compositor\n");
        return 2;
    }
    wl_registry* registry = wl_display_get_registry(c.display);
    wl_registry_add_listener(registry, &REGISTRY_LISTENER, &c);
    wl_display_roundtrip(c.display);
    if (c.compositor == nullptr || c.shm == nullptr || c.wm == nullptr) {
        std::fprintf(stderr, "wayland_probe: the compositor lacks wl_compositor, wl_shm or xdg_wm_base\n");
        return 2;
    }
    c.surface = wl_compositor_create_surface(c.compositor);
    c.xsurface = xdg_wm_base_get_xdg_surface(c.wm, c.surface);
    xdg_surface_add_listener(c.xsurface, &XSURFACE_LISTENER, &c);
    c.toplevel = xdg_surface_get_toplevel(c.xsurface);
    xdg_toplevel_add_listener(c.toplevel, &TOPLEVEL_LISTENER, &c);
    xdg_toplevel_set_title(c.toplevel, "wayland_probe");
    xdg_toplevel_set_fullscreen(c.toplevel, nullptr);
    wl_surface_commit(c.surface);
    while (wl_display_dispatch(c.display) >= 0) {
    }
    return 0;
}
