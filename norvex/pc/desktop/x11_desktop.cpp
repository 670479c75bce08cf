// X11Desktop: the connection, screen space and pointer actions.
#include "norvex/pc/desktop/x11_impl.hpp"
#include "norvex/pc/desktop/x11_screen.hpp"

#include <X11/extensions/XTest.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

namespace norvex::pc {

namespace {

unsigned x_button(MouseButton button) {
    switch (button) {
        case MouseButton::left: return 1;
        case MouseButton::middle: return 2;
        case MouseButton::right: return 3;
    }
    return 1;
}

std::string display_from_environment() {
    const char* value = std::getenv("DISPLAY");
    return value != nullptr ? value : "";
}

}  // namespace

X11Desktop::Impl::~Impl() {
    if (display == nullptr) return;
    x11::IoErrorScope io(display);
    release_shm();
    // On a lost connection this only frees memory and the socket: Xlib sends
    // nothing more on it.
    XCloseDisplay(display);
}

void X11Desktop::Impl::check_alive() const {
    if (lost)
        throw DesktopLostError("the connection to X display '" + name + "' was lost (the X server stopped or closed it)");
}

void X11Desktop::Impl::fake_motion(int x, int y) {
    check_alive();
    XTestFakeMotionEvent(display, screen, x, y, CurrentTime);
}

void X11Desktop::Impl::fake_button(unsigned button, bool down) {
    check_alive();
    XTestFakeButtonEvent(display, button, down ? True : False, CurrentTime);
}

void X11Desktop::Impl::fake_key(KeyCode code, bool down) {
    check_alive();
    XTestFakeKeyEvent(display, code, down ? True : False, CurrentTime);
}

void X11Desktop::Impl::take_notifications() {
    // Our connection gets only the RandR notifications selected at start and
    // the mapping notifications every client gets.
    sync();
    XEvent event;
    while (XPending(display) > 0) {
        XNextEvent(display, &event);
        if (event.type == MappingNotify) {
            keys.reset();
        } else if (randr && event.type >= randr_event_base && event.type <= randr_event_base + RRNotify) {
            XRRUpdateConfiguration(&event);
            rect_stale = true;
        }
    }
}

const ScreenRect& X11Desktop::Impl::screen_space() {
    take_notifications();
    if (rect_stale) {
        rect = x11::primary_output_rect(display);
        rect_stale = false;
    }
    return rect;
}

const x11::KeyMap& X11Desktop::Impl::keymap() {
    take_notifications();
    if (!keys) keys.emplace(display);
    return *keys;
}

X11Desktop::X11Desktop() : X11Desktop(display_from_environment()) {}

X11Desktop::X11Desktop(const std::string& display_name, X11DesktopOptions options)
    : impl_(std::make_unique<Impl>()) {
    impl_->name = display_name;
    impl_->options = options;
    const bool from_environment = display_name == display_from_environment();
    impl_->display = XOpenDisplay(display_name.empty() ? nullptr : display_name.c_str());
    if (impl_->display == nullptr) {
        if (display_name.empty())
            throw DesktopError("cannot open X display: DISPLAY is not set; start an X server or set DISPLAY");
        throw DesktopError("cannot open X display '" + display_name + "'" + (from_environment ? " ($DISPLAY)" : "") +
                           "; start an X server or set DISPLAY");
    }
    // A broken connection must not end the host's process (Xlib's default):
    // this display's exit handler only notes it, and the next call throws.
    x11::note_connection_loss(impl_->display, &impl_->lost);
    // A server that goes away while we set up makes this throw, like any call.
    x11::IoErrorScope io(impl_->display);
    int event_base = 0;
    int error_base = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(impl_->display, &event_base, &error_base, &major, &minor)) {
        impl_->check_alive();
        throw DesktopError("X display '" + display_name +
                           "' has no XTEST extension, so input cannot be sent; enable XTEST in the X server");
    }
    impl_->screen = DefaultScreen(impl_->display);
    impl_->root = RootWindow(impl_->display, impl_->screen);
    // Make our own fake input win over a server grab by another client.
    XTestGrabControl(impl_->display, True);

    int randr_error_base = 0;
    if (XRRQueryExtension(impl_->display, &impl_->randr_event_base, &randr_error_base)) {
        impl_->randr = true;
        XRRSelectInput(impl_->display, impl_->root,
                       RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    }
    impl_->rect = x11::primary_output_rect(impl_->display);
    impl_->sync();
}

X11Desktop::~X11Desktop() = default;

const std::string& X11Desktop::display_name() const noexcept { return impl_->name; }

ScreenRect X11Desktop::screen_rect() {
    x11::CallScope call(*impl_);
    return impl_->screen_space();
}

void X11Desktop::move_to(int x, int y, double duration_seconds) {
    x11::CallScope call(*impl_);
    const ScreenRect& rect = impl_->screen_space();
    Display* d = impl_->display;
    const int target_x = rect.x + x;
    const int target_y = rect.y + y;
    if (duration_seconds > 0) {
        Window root_return = 0;
        Window child = 0;
        int start_x = 0;
        int start_y = 0;
        int win_x = 0;
        int win_y = 0;
        unsigned mask = 0;
        XQueryPointer(d, impl_->root, &root_return, &child, &start_x, &start_y, &win_x, &win_y, &mask);
        glide({start_x, start_y}, {target_x, target_y}, duration_seconds, [&](int px, int py) {
            impl_->fake_motion(px, py);
            XFlush(d);
        });
    }
    impl_->fake_motion(target_x, target_y);
    impl_->sync();
}

void X11Desktop::click(int x, int y, int clicks, MouseButton button) {
    x11::CallScope call(*impl_);
    const ScreenRect& rect = impl_->screen_space();
    // The motion and the buttons travel together; the server handles them in order.
    impl_->fake_motion(rect.x + x, rect.y + y);
    const unsigned b = x_button(button);
    for (int i = 0; i < clicks; ++i) {
        impl_->fake_button(b, true);
        impl_->fake_button(b, false);
    }
    impl_->sync();
}

void X11Desktop::mouse_down(MouseButton button) {
    x11::CallScope call(*impl_);
    impl_->fake_button(x_button(button), true);
    impl_->sync();
}

void X11Desktop::mouse_up(MouseButton button) {
    x11::CallScope call(*impl_);
    impl_->fake_button(x_button(button), false);
    impl_->sync();
}

std::pair<int, int> X11Desktop::position() {
    x11::CallScope call(*impl_);
    const ScreenRect& rect = impl_->screen_space();
    Window root_return = 0;
    Window child = 0;
    int x = 0;
    int y = 0;
    int win_x = 0;
    int win_y = 0;
    unsigned mask = 0;
    XQueryPointer(impl_->display, impl_->root, &root_return, &child, &x, &y, &win_x, &win_y, &mask);
    return {x - rect.x, y - rect.y};
}

void X11Desktop::wheel(unsigned positive_button, unsigned negative_button, int steps) {
    x11::CallScope call(*impl_);
    const unsigned button = steps > 0 ? positive_button : negative_button;
    const long count = std::labs(static_cast<long>(steps));
    for (long i = 0; i < count; ++i) {
        interruption_point();
        impl_->fake_button(button, true);
        impl_->fake_button(button, false);
    }
    impl_->sync();
}

// Buttons 4 and 5 are the wheel's up and down.
void X11Desktop::scroll(int steps) { wheel(4, 5, steps); }

// Buttons 6 and 7 are the wheel's left and right.
void X11Desktop::hscroll(int steps) { wheel(7, 6, steps); }

}  // namespace norvex::pc
