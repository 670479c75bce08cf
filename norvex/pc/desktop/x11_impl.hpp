// The state behind X11Desktop, shared by its pointer, keyboard and capture files.
#pragma once

#include "norvex/pc/desktop/x11_desktop.hpp"
#include "norvex/pc/desktop/x11_error_trap.hpp"
#include "norvex/pc/desktop/x11_keymap.hpp"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <optional>
#include <string>
#include <vector>

namespace norvex::pc {

struct X11Desktop::Impl {
    Display* display = nullptr;
    std::string name;
    // Set when the connection broke. From then on nothing may be sent:
    // Xlib no longer flushes a broken connection, so requests pile up in its
    // fixed output buffer until one does not fit, and Xlib then hands the
    // request's writer a null pointer (XTest writes through it). Every call
    // checks this first, and so does every request sent in a loop.
    bool lost = false;
    X11DesktopOptions options;
    int screen = 0;
    Window root = 0;

    // Screen space, refreshed when XRandR reports a change.
    ScreenRect rect;
    bool rect_stale = false;
    // The keyboard map, dropped when the server reports a mapping change.
    std::optional<x11::KeyMap> keys;
    bool randr = false;
    int randr_event_base = 0;

    // The shared-memory capture image, made on the first screenshot and kept.
    bool shm_tried = false;
    bool shm_usable = false;
    XImage* shm_image = nullptr;
    XShmSegmentInfo shm_info{};

    // Keys put down by key_down and not yet released: what key_up must undo.
    struct HeldKey {
        KeySym keysym = 0;
        KeyCode code = 0;
        KeyCode shift_code = 0;  // the Shift key put down with it, or 0
        bool temporary = false;  // bound to a spare keycode for as long as it is held
    };
    std::vector<HeldKey> held;

    ~Impl();

    // Reads the server's notifications of layout and keyboard-map changes.
    // The round trip first brings in every notification sent before it, so
    // a change another client made just now is seen.
    void take_notifications();
    // The current screen rectangle, re-read if the server reported a change.
    const ScreenRect& screen_space();
    // The current keyboard map, re-read if the server reported a change.
    const x11::KeyMap& keymap();
    // Frees the capture image; tells the server to detach only while the connection holds.
    void release_shm();
    // Sends what was queued and waits until the server has handled it;
    // throws DesktopError when the connection is gone.
    void sync() {
        XSync(display, False);
        check_alive();
    }
    // Throws DesktopError once the connection is gone.
    void check_alive() const;

    // The XTest input requests, each refused (DesktopError) once the connection is gone.
    void fake_motion(int x, int y);
    void fake_button(unsigned button, bool down);
    void fake_key(KeyCode code, bool down);
};

namespace x11 {

// What every X11Desktop call that talks to the server holds: a broken
// connection makes it throw DesktopError instead of ending the process, and a
// connection already lost makes it throw before it sends anything.
class CallScope {
public:
    explicit CallScope(X11Desktop::Impl& impl) : io_(impl.display) { impl.check_alive(); }

private:
    IoErrorScope io_;
};

}  // namespace x11

}  // namespace norvex::pc
