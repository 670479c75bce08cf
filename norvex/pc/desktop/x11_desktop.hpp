// The desktop of an X server: input through XTest, capture of the primary output.
#pragma once

#include "norvex/pc/desktop/desktop.hpp"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace norvex::pc {

// A rectangle of the X screen, in root-window pixels.
struct ScreenRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct X11DesktopOptions {
    // How long typing waits after the last key event before it gives back
    // the spare keycodes it lent to characters the keyboard map lacks. A
    // client reads the new map only when it handles the key event, so a
    // client (or a machine) that is this far behind loses those characters;
    // a longer wait is safer and makes such text slower to type.
    double remap_settle_seconds = 0.2;
};

// One connection to one X display, driven by one caller at a time.
//
// Screen space is the primary output's rectangle (XRandR); without a primary
// output with an active mode it is the whole default screen. Pointer
// coordinates are offset by that rectangle's origin and screenshots cover
// only it, so what is captured and what is clicked are the same space. The
// rectangle is looked up again whenever the server reports a screen change.
//
// Xlib's error handlers are process-wide, so they are replaced only for the
// duration of a call and put back before it returns: the protocol error
// handler around the few requests that may fail (shared-memory attach, image
// fetch, keyboard remapping), the I/O error handler around every call, so a
// server that goes away makes the calls throw DesktopError instead of ending
// the process. Errors of the host's own displays still reach the host's
// handlers. Another thread of the host installing its own handler during one
// of these calls is not guarded against.
//
// Once the connection is lost, every call throws DesktopLostError at once and
// nothing more is sent; destroying the object then sends nothing either, and
// it may happen on another thread than the one that saw the break.
class X11Desktop final : public Desktop {
public:
    // The display named by $DISPLAY.
    X11Desktop();
    // The display of that name (":99", "host:0.0"); throws DesktopError when it cannot be opened.
    explicit X11Desktop(const std::string& display_name, X11DesktopOptions options = {});
    ~X11Desktop() override;
    X11Desktop(const X11Desktop&) = delete;
    X11Desktop& operator=(const X11Desktop&) = delete;

    void click(int x, int y, int clicks = 1, MouseButton button = MouseButton::left) override;
    void move_to(int x, int y, double duration_seconds) override;
    void mouse_down(MouseButton button = MouseButton::left) override;
    void mouse_up(MouseButton button = MouseButton::left) override;
    std::pair<int, int> position() override;
    void scroll(int steps) override;
    void hscroll(int steps) override;

    void press(const std::string& key) override;
    void hotkey(const std::vector<std::string>& keys) override;
    void key_down(const std::string& key) override;
    void key_up(const std::string& key) override;
    void write(const std::string& text, double interval_seconds) override;

    RgbImage screenshot() override;
    void screenshot_into(RgbImage& out) override;

    // The primary output's rectangle in root-window pixels.
    ScreenRect screen_rect();
    // The name of the display this object is connected to.
    const std::string& display_name() const noexcept;

    struct Impl;

private:
    // `steps` wheel clicks of one of two buttons, by sign.
    void wheel(unsigned positive_button, unsigned negative_button, int steps);

    std::unique_ptr<Impl> impl_;
};

}  // namespace norvex::pc
