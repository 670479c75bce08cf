// The input-and-capture layer under the computer-use executor: what it needs of a desktop.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace norvex::pc {

// An RGB image, 3 bytes per pixel, rows top to bottom, no padding.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // width * height * 3
};

// What a desktop failure throws; its message says what went wrong and what to do.
struct DesktopError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What a desktop throws once its connection to the display server has
// broken (the server stopped, or closed the connection). The desktop stays
// broken: every later call throws this too, and only a new desktop, opened
// once the server runs again, can act. A caller that keeps a desktop for
// long (the executor) tells this apart from other failures to know when to
// open a new one.
struct DesktopLostError : DesktopError {
    // `what_broke` says which connection broke and why, without advice:
    // "the connection to X display ':0' was lost (the X server stopped or closed it)".
    explicit DesktopLostError(const std::string& what_broke)
        : DesktopError(what_broke + "; start the display server again and open a new desktop"),
          what_broke_(what_broke) {}
    const std::string& what_broke() const noexcept { return what_broke_; }

private:
    std::string what_broke_;
};

enum class MouseButton { left, middle, right };

// One desktop. Coordinates are screen pixels of the primary output. Every call
// blocks until its effect has been sent to the display (and, for timed calls,
// until the time has passed). Key names are the executor's: "enter", "ctrl",
// "f5", "a", "+", ... An unknown key name throws DesktopError.
class Desktop {
public:
    virtual ~Desktop() = default;

    // Pointer moved to (x, y), then `clicks` clicks of `button` there.
    virtual void click(int x, int y, int clicks = 1, MouseButton button = MouseButton::left) = 0;
    // A smooth motion to (x, y) taking `duration_seconds` (0 jumps); returns when it is there.
    virtual void move_to(int x, int y, double duration_seconds) = 0;
    virtual void mouse_down(MouseButton button = MouseButton::left) = 0;
    virtual void mouse_up(MouseButton button = MouseButton::left) = 0;
    virtual std::pair<int, int> position() = 0;
    // Wheel steps at the pointer: positive scrolls up (vertical) or right (horizontal).
    virtual void scroll(int steps) = 0;
    virtual void hscroll(int steps) = 0;

    virtual void press(const std::string& key) = 0;
    // Keys pressed in the order given, released in reverse order.
    virtual void hotkey(const std::vector<std::string>& keys) = 0;
    virtual void key_down(const std::string& key) = 0;
    virtual void key_up(const std::string& key) = 0;
    // UTF-8 text typed one character at a time, as key events, into the
    // window that has the keyboard focus; `interval_seconds` apart, or as
    // fast as the display server takes them when 0. Characters the keyboard
    // layout lacks are typed too; one that cannot be typed at all throws
    // DesktopError there.
    virtual void write(const std::string& text, double interval_seconds) = 0;

    // The whole primary output, pixel for pixel.
    virtual RgbImage screenshot() = 0;
    // The same into `out`, whose buffer a desktop may reuse: a caller taking
    // screenshot after screenshot keeps its memory mapped instead of having
    // megabytes freed and faulted in again on every call.
    virtual void screenshot_into(RgbImage& out) { out = screenshot(); }

    // Convenience forms of click, as the executor names them.
    void right_click(int x, int y) { click(x, y, 1, MouseButton::right); }
    void middle_click(int x, int y) { click(x, y, 1, MouseButton::middle); }
    void double_click(int x, int y) { click(x, y, 2, MouseButton::left); }

    // How a caller stops a call that runs long (many wheel steps, text typed
    // key by key, a timed motion): `check` is called on the calling thread
    // between the steps of such calls, and an exception it throws ends the
    // call there and reaches the caller, with no key or button left down.
    // A cancellation made on another thread gets in through it. Empty (the
    // default): calls run to their end. A desktop that hands its calls to
    // another one hands this on too.
    virtual void set_interruption(std::function<void()> check) { interruption_ = std::move(check); }

protected:
    // Where a long call may stop: between two steps, never inside one.
    void interruption_point() const {
        if (interruption_) interruption_();
    }
    // The steps of a timed motion from one point to another: about one every
    // 10 ms on a fixed schedule (so the motion takes the time asked however
    // long each step takes), eased in and out as a hand slows near both
    // ends. `step` moves the pointer to each point on the way; returns at
    // the end of the time, leaving the last move, to the target, to the caller.
    void glide(std::pair<int, int> from, std::pair<int, int> to, double duration_seconds,
               const std::function<void(int, int)>& step) const;

private:
    std::function<void()> interruption_;
};

// The system clipboard: holds `text` after set_text returns.
class Clipboard {
public:
    virtual ~Clipboard() = default;
    virtual void set_text(const std::string& text) = 0;
};

}  // namespace norvex::pc
