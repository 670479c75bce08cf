// A plain Xlib window covering the screen that records the input it receives.
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace norvex::testing {

struct SeenEvent {
    int type = 0;          // ButtonPress, ButtonRelease, MotionNotify, KeyPress, KeyRelease
    unsigned button = 0;   // buttons
    int x = 0;             // pointer position in the window
    int y = 0;
    unsigned state = 0;    // modifier and button mask before the event
    unsigned keycode = 0;  // keys: the keycode pressed
    KeySym keysym = 0;     // keys: the keysym the client's own lookup found
    std::string text;      // key presses: the UTF-8 text the client's lookup gave
};

class EventWindow {
public:
    // Opens its own connection to `display`, maps a borderless window over
    // the whole screen, takes the focus and records events on a thread.
    explicit EventWindow(const std::string& display);
    ~EventWindow();
    EventWindow(const EventWindow&) = delete;
    EventWindow& operator=(const EventWindow&) = delete;

    // Waits (up to `timeout`) until `done(events)` holds; returns a copy of the events.
    std::vector<SeenEvent> wait_until(const std::function<bool(const std::vector<SeenEvent>&)>& done,
                                      std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));
    // Waits until `n` events of `type` have arrived.
    std::vector<SeenEvent> wait_for_count(int type, std::size_t n);
    // Events seen so far; clear() forgets them.
    std::vector<SeenEvent> events();
    void clear();

    // Fills a rectangle with an RGB colour (0xRRGGBB) and waits until the server has drawn it.
    void fill(int x, int y, int width, int height, std::uint32_t rgb);

    // The typed text: the concatenated text of every KeyPress so far.
    std::string typed_text();
    // Waits until at least `bytes` bytes of text have been typed; gives the text.
    std::string wait_for_text(std::size_t bytes);

private:
    void pump();

    Display* display_ = nullptr;
    Window window_ = 0;
    XIM im_ = nullptr;
    XIC ic_ = nullptr;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<SeenEvent> events_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::size_t count_of(const std::vector<SeenEvent>& events, int type);

}  // namespace norvex::testing
