// A desktop and a clipboard that only record what they are asked to do, for unit tests.
#pragma once

#include "norvex/pc/desktop/desktop.hpp"

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace norvex::pc {

// Every call lands in calls() as one line, arguments in order:
//   click(671, 402, 1, left)   move_to(0, 0, 0.1)   mouse_down(left)
//   scroll(-3)   hotkey(ctrl, s)   write(abc, 0.02)   screenshot()
// Reals are written as Python writes floats (0.1, 5.0). A test that also
// wants the executor's pauses in the same order calls record() from the
// sleep function it injects.
class RecordingDesktop : public Desktop {
public:
    // What screenshot() gives; a fresh desktop returns a 1920x1080 gradient.
    RgbImage image = gradient(1920, 1080);
    // When true, screenshot() throws DesktopError instead (after recording).
    bool screenshot_fails = false;
    // Where position() says the pointer is; move_to and click update it.
    std::pair<int, int> pointer{0, 0};
    // A call of this name (for example "move_to") throws DesktopError
    // after it has been recorded.
    std::string fail_on;
    // How many calls named fail_on go through before the failing one.
    int fail_after = 0;
    // When true, those failures are a broken connection (DesktopLostError).
    bool failures_are_lost = false;

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

    const std::vector<std::string>& calls() const noexcept { return calls_; }
    void clear() { calls_.clear(); }
    // Appends a line of the test's own (a pause, a clipboard copy) to calls().
    void record(std::string line);

    // A smooth colour ramp with a dark grid every 16 pixels: every pixel
    // differs from its neighbours, so a bad resize or a swapped channel shows.
    static RgbImage gradient(int width, int height);

private:
    void add(std::string name, const std::vector<std::string>& args);
    [[noreturn]] void fail(const std::string& why) const;
    std::vector<std::string> calls_;
};

// Keeps every text it is given; fails every call when told to.
class RecordingClipboard : public Clipboard {
public:
    bool fails = false;
    void set_text(const std::string& text) override;
    const std::vector<std::string>& texts() const noexcept { return texts_; }

private:
    std::vector<std::string> texts_;
};

}  // namespace norvex::pc
