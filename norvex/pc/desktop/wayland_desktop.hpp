// The desktop of a wlroots Wayland compositor: capture by wlr-screencopy, input by virtual pointer and keyboard.
#pragma once

#include "norvex/pc/desktop/desktop.hpp"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace norvex::pc {

struct WaylandDesktopOptions {
    // The output to drive, by its name ("HEADLESS-1", "DP-2"); empty: the
    // first output the compositor announces.
    std::string output_name;
    // The keyboard layout of the keys this desktop sends (an xkb layout
    // such as "us" or "de", and its variant). The compositor hands our
    // keymap to the focused client with our keys, so this need not match
    // the user's own keyboard; empty: xkbcommon's default ($XKB_DEFAULT_LAYOUT, else "us").
    std::string keyboard_layout;
    std::string keyboard_variant;
    // How long a call waits for the compositor to answer before it gives up
    // with DesktopError: a compositor that is stopped (not gone) would
    // otherwise hang the caller.
    double answer_timeout_seconds = 5.0;
};

// One output of the compositor as this desktop sees it.
struct WaylandOutputInfo {
    std::string name;        // "HEADLESS-1"; empty when the compositor gives none
    int x = 0;               // position in the compositor's layout, logical units
    int y = 0;
    int logical_width = 0;   // size in the layout, logical units
    int logical_height = 0;
    int pixel_width = 0;     // size of its screenshots, pixels
    int pixel_height = 0;
    int scale = 1;           // the integer scale the compositor reports
};

// One connection to one Wayland compositor that offers the wlroots protocols
// (zwlr_screencopy_manager_v1, zwlr_virtual_pointer_manager_v1 and
// zwp_virtual_keyboard_manager_v1: sway, Hyprland, river, labwc, Wayfire),
// driven by one caller at a time.
//
// Desktop coordinates are the pixels of the output's screenshots: on a
// scale-2 output of mode 1920x1080, the screenshot is 1920x1080 and a click
// at (1000, 500) lands at layout point (500, 250), on the screenshot's pixel
// (1000, 500). A point read off a screenshot is where the click lands.
//
// The compositor has no request that reports where the pointer is, so
// position() is where this desktop last put it (the output's centre before
// its first motion); a user moving the real mouse is not seen.
//
// Keys are sent with a keymap of our own (see WaylandDesktopOptions). A
// character the keymap lacks is typed by uploading, for the run of such
// characters, the same keymap with the characters put on keys that type
// nothing useful (unused keys, then the media keys), and the plain keymap
// afterwards. The compositor hands each new keymap to the focused client
// before the keys that follow it, so unlike X11 no wait is needed.
//
// Once the connection is lost (the compositor stopped or closed it, or
// ended it over a protocol error), every call throws DesktopLostError at
// once; destroying the object then sends nothing and never blocks.
class WaylandDesktop final : public Desktop {
public:
    // The compositor named by $WAYLAND_DISPLAY (a socket name in
    // $XDG_RUNTIME_DIR, or an absolute path).
    WaylandDesktop();
    // The compositor of that socket; throws DesktopError when it cannot be
    // reached or lacks a protocol (the error names every missing one).
    explicit WaylandDesktop(const std::string& socket, WaylandDesktopOptions options = {});
    ~WaylandDesktop() override;
    WaylandDesktop(const WaylandDesktop&) = delete;
    WaylandDesktop& operator=(const WaylandDesktop&) = delete;

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

    // The output this desktop drives, as last reported by the compositor.
    WaylandOutputInfo output();
    // The socket this object is connected to, as it was given.
    const std::string& socket() const noexcept;

    struct Impl;

private:
    void wheel(bool horizontal, int steps);

    std::unique_ptr<Impl> impl_;
};

// What the compositor of `socket` lacks of the three protocols above (their
// interface names), empty when it has them all; throws DesktopError when it
// cannot be reached. Used to choose a backend without opening one.
std::vector<std::string> wayland_missing_protocols(const std::string& socket);

// The pixel size of the output a WaylandDesktop with `options` would drive
// (its screenshots' size), without opening one; throws DesktopError when the
// compositor cannot be reached or has no such output.
std::pair<int, int> wayland_screen_size(const std::string& socket, const WaylandDesktopOptions& options = {});

}  // namespace norvex::pc
