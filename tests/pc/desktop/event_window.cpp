// The recording test window: its own connection, a pump thread, an input context for text.
#include "event_window.hpp"

#include <X11/Xutil.h>

#include <clocale>
#include <stdexcept>

#include <poll.h>

namespace norvex::testing {

namespace {

// Xlib is shared by this window's thread and the test's thread.
const bool threads_ready = XInitThreads() != 0;

}  // namespace

std::size_t count_of(const std::vector<SeenEvent>& events, int type) {
    std::size_t n = 0;
    for (const auto& e : events) n += e.type == type;
    return n;
}

EventWindow::EventWindow(const std::string& display) {
    if (!threads_ready) throw std::runtime_error("XInitThreads failed");
    display_ = XOpenDisplay(display.c_str());
    if (display_ == nullptr) throw std::runtime_error("cannot open " + display);
    const int screen = DefaultScreen(display_);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = BlackPixel(display_, screen);
    attributes.event_mask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask | KeyReleaseMask |
                            StructureNotifyMask | ExposureMask;
    window_ = XCreateWindow(display_, RootWindow(display_, screen), 0, 0,
                            static_cast<unsigned>(DisplayWidth(display_, screen)),
                            static_cast<unsigned>(DisplayHeight(display_, screen)), 0, CopyFromParent, InputOutput,
                            CopyFromParent, CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
    XMapRaised(display_, window_);
    XEvent event;
    do XWindowEvent(display_, window_, StructureNotifyMask, &event);
    while (event.type != MapNotify);
    XSetInputFocus(display_, window_, RevertToPointerRoot, CurrentTime);

    // An input context turns key events into UTF-8 the way applications do;
    // "@im=none" keeps any input method of the machine out of the test.
    std::setlocale(LC_CTYPE, "C.UTF-8");
    XSetLocaleModifiers("@im=none");
    im_ = XOpenIM(display_, nullptr, nullptr, nullptr);
    if (im_ != nullptr)
        ic_ = XCreateIC(im_, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, window_,
                        XNFocusWindow, window_, nullptr);
    XSync(display_, False);
    thread_ = std::thread([this] { pump(); });
}

EventWindow::~EventWindow() {
    stop_ = true;
    thread_.join();
    if (ic_ != nullptr) XDestroyIC(ic_);
    if (im_ != nullptr) XCloseIM(im_);
    XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
}

void EventWindow::pump() {
    pollfd fd{ConnectionNumber(display_), POLLIN, 0};
    while (!stop_) {
        ::poll(&fd, 1, 5);
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == MappingNotify) {
                XRefreshKeyboardMapping(&event.xmapping);
                continue;
            }
            SeenEvent seen;
            seen.type = event.type;
            switch (event.type) {
                case ButtonPress:
                case ButtonRelease:
                    seen.button = event.xbutton.button;
                    seen.x = event.xbutton.x;
                    seen.y = event.xbutton.y;
                    seen.state = event.xbutton.state;
                    break;
                case MotionNotify:
                    seen.x = event.xmotion.x;
                    seen.y = event.xmotion.y;
                    seen.state = event.xmotion.state;
                    break;
                case KeyPress:
                case KeyRelease: {
                    seen.state = event.xkey.state;
                    seen.keycode = event.xkey.keycode;
                    char buffer[64] = {};
                    KeySym keysym = NoSymbol;
                    if (event.type == KeyPress && ic_ != nullptr) {
                        Status status = 0;
                        const int n = Xutf8LookupString(ic_, &event.xkey, buffer, sizeof buffer - 1, &keysym, &status);
                        if (status == XLookupChars || status == XLookupBoth) seen.text.assign(buffer, static_cast<std::size_t>(n));
                        if (status != XLookupKeySym && status != XLookupBoth) keysym = NoSymbol;
                    } else {
                        const int n = XLookupString(&event.xkey, buffer, sizeof buffer - 1, &keysym, nullptr);
                        if (event.type == KeyPress) seen.text.assign(buffer, static_cast<std::size_t>(n));
                    }
                    seen.keysym = keysym;
                    break;
                }
                default:
                    continue;
            }
            std::lock_guard lock(mutex_);
            events_.push_back(seen);
            changed_.notify_all();
        }
    }
}

std::vector<SeenEvent> EventWindow::wait_until(const std::function<bool(const std::vector<SeenEvent>&)>& done,
                                               std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return done(events_); });
    return events_;
}

std::vector<SeenEvent> EventWindow::wait_for_count(int type, std::size_t n) {
    return wait_until([&](const std::vector<SeenEvent>& events) { return count_of(events, type) >= n; });
}

std::vector<SeenEvent> EventWindow::events() {
    std::lock_guard lock(mutex_);
    return events_;
}

void EventWindow::clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
}

namespace {
std::string text_of(const std::vector<SeenEvent>& events) {
    std::string out;
    for (const auto& e : events)
        if (e.type == KeyPress) out += e.text;
    return out;
}
}  // namespace

std::string EventWindow::typed_text() { return text_of(events()); }

std::string EventWindow::wait_for_text(std::size_t bytes) {
    return text_of(wait_until([&](const std::vector<SeenEvent>& events) { return text_of(events).size() >= bytes; }));
}

void EventWindow::fill(int x, int y, int width, int height, std::uint32_t rgb) {
    // A 24-bit TrueColor screen takes 0xRRGGBB as its pixel value.
    GC gc = XCreateGC(display_, window_, 0, nullptr);
    XSetForeground(display_, gc, rgb);
    XFillRectangle(display_, window_, gc, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XFreeGC(display_, gc);
    XSync(display_, False);
}

}  // namespace norvex::testing
