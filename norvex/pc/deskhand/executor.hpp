// The computer-use executor: the model's desktop actions, in its image space, carried out on the real screen.
#pragma once

#include "norvex/pc/desktop/desktop.hpp"
#include "norvex/common/run_program.hpp"

#include <boost/json/object.hpp>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace norvex::pc::deskhand {

// What an outside program left: exit status, standard output and error.
using CommandOutput = ProgramRun;

// The services the executor uses from its host. Every default is the real
// one; tests replace them.
struct DeskhandOptions {
    // Reported in the tool definition only; it selects nothing.
    std::optional<std::int64_t> display_number{};
    // "Linux", "Darwin", "Windows", ...; empty means this machine's (uname).
    std::string system_name{};
    // Holds screenshots/latest.png; empty means ~/.norvex.
    std::filesystem::path data_dir{};
    // Opens the desktop the actions drive, on the first action that needs
    // it; a failure fails that action, and the next action tries again.
    // A desktop that throws DesktopLostError is dropped, and the next action
    // opens a new one (measuring the screen again). Default: the desktop
    // of the session, X11 or Wayland (deskhand::open_session_desktop).
    std::function<std::unique_ptr<Desktop>()> open_desktop{};
    // No longer used: "type" sends key events, which reach terminals as
    // well as editors and leave the user's clipboard alone. Kept so that
    // hosts setting it still build.
    std::function<std::unique_ptr<Clipboard>()> open_clipboard{};
    // The primary screen's size, or nothing when it cannot tell (systems
    // other than Windows and Darwin). Default: hostkit::get_screen_size_linux.
    std::function<std::optional<std::pair<std::int64_t, std::int64_t>>()> screen_size{};
    // Words of a command capturing the screen into the file appended as
    // its last word, or nothing. Default: hostkit::get_screenshot_command.
    std::function<std::vector<std::string>()> screenshot_command{};
    // Pauses the caller; default: the real clock. A host that cancels
    // actions from another thread gives one that ends early (by throwing)
    // when the action is cancelled.
    std::function<void(double seconds)> sleep{};
    // Whether the caller wants the running action stopped. Asked on the
    // action's thread before an action starts and between the steps of the
    // long ones (wheel steps, characters typed key by key, the points of a
    // timed motion): true stops it there with an error result, no key or
    // button left down. Hosts that run actions on a thread of their own set
    // it from their cancellation, as `norvex mcp` does; default: never.
    std::function<bool()> interrupted{};
    // Runs system_profiler and the fallback capture programs (no input, the
    // output kept); default: run_program.
    std::function<CommandOutput(const std::vector<std::string>& argv, double time_limit_seconds)> run{};
};

// Carries out the actions of the model's computer-use tool.
//
// The model sees screenshots shrunk to fit its image limits and answers in
// the coordinates of those images; the executor maps them back to screen
// pixels. Every action answers with a result map of one of three shapes:
//
//     {"type": "text", "text": "Clicked at (671, 402)"}
//     {"type": "image", "base64": "iVBORw0...", "media_type": "image/png"}
//     {"type": "error", "error": "left_click requires coordinate [x, y]"}
//
//     DeskhandExecutor computer;                      // the real desktop of $DISPLAY
//     send_to_model(computer.get_tool_definition());
//     auto shot = computer.execute_action("screenshot");
//     auto click = computer.execute_action("left_click", {{"coordinate", {500, 300}}});
//
// Calls block until the desktop has done what was asked (movements, pauses,
// outside programs), or until DeskhandOptions::interrupted says to stop.
// The screen is measured on the first public call, and again when a desktop
// opens after the last one was lost or when only the fallback size was
// known: an action that finds the display connection broken fails, and the
// next one connects again, so a long-lived host recovers once the display
// server is back.
// From its first screenshot on, the executor keeps that screenshot's image
// buffers (about 20 MB at 1920 x 1080) for the next one.
// One caller at a time; no locks.
class DeskhandExecutor {
public:
    explicit DeskhandExecutor(DeskhandOptions options = {});
    ~DeskhandExecutor();
    DeskhandExecutor(const DeskhandExecutor&) = delete;
    DeskhandExecutor& operator=(const DeskhandExecutor&) = delete;

    // Runs the handler "_action_" + action with `params` bound to its
    // parameters by name. Never throws for a failing action: an unknown
    // name, an unknown or ill-kinded parameter and any desktop failure come
    // back as error result maps.
    boost::json::object execute_action(const std::string& action, const boost::json::object& params = {});

    // type "computer_20250124", name "computer", the API-space size, and
    // "display_number" when one was given.
    boost::json::object get_tool_definition();

    // screen_width, screen_height, api_width, api_height, scale_factor
    // (rounded to 3 places), last_screenshot (path or null).
    boost::json::object get_display_info();

    // Opens the desktop now, as the next action that needs one would (and
    // measures the screen again when the last one was lost or the size was
    // only the fallback); nothing when one is open. Throws DesktopError
    // saying why no desktop can be opened: a caller that must not mistake
    // the fallback size for a real screen asks this first.
    void connect_desktop();

    // Model (API) coordinates to screen pixels: divided by the factor,
    // truncated and clamped to the screen; unchanged when the factor is 1.
    std::pair<std::int64_t, std::int64_t> _to_screen_coords(std::int64_t api_x, std::int64_t api_y) const;

    void _ensure_initialized();
    void _detect_screen_size();
    void _compute_scale();

    std::optional<std::int64_t> _display_number;
    std::int64_t _screen_width = 0;
    std::int64_t _screen_height = 0;
    double _scale_factor = 1.0;
    std::int64_t _api_width = 0;
    std::int64_t _api_height = 0;
    bool _initialized = false;
    std::optional<std::string> _last_screenshot_path;

    // The folder the screenshots go to: <data_dir>/screenshots.
    std::filesystem::path screenshot_dir() const;
    const std::string& system_name() const noexcept { return options_.system_name; }

    // Handlers. A coordinate is an array of numbers, or none.
    using Coordinate = std::optional<boost::json::array>;
    boost::json::object _action_left_click(const Coordinate& coordinate);
    boost::json::object _action_right_click(const Coordinate& coordinate);
    boost::json::object _action_middle_click(const Coordinate& coordinate);
    boost::json::object _action_double_click(const Coordinate& coordinate);
    boost::json::object _action_triple_click(const Coordinate& coordinate);
    boost::json::object _action_mouse_move(const Coordinate& coordinate);
    boost::json::object _action_left_click_drag(const Coordinate& start_coordinate, const Coordinate& coordinate);
    boost::json::object _action_left_mouse_down(const Coordinate& coordinate);
    boost::json::object _action_left_mouse_up();
    boost::json::object _action_cursor_position();
    boost::json::object _action_scroll(const Coordinate& coordinate, const std::string& direction, std::int64_t amount);
    boost::json::object _action_type(const std::string& text);
    boost::json::object _action_key(const std::string& text);
    boost::json::object _action_hold_key(const std::string& text, double duration);
    boost::json::object _action_wait(double duration);
    boost::json::object _action_screenshot();
    boost::json::object _fallback_screenshot();

private:
    // The desktop, opened on first use ("loading the library").
    Desktop& _desktop();
    // Forgets a desktop whose display connection broke, so the next action
    // opens a new one and measures the screen again.
    void _drop_lost_desktop();
    // Throws when DeskhandOptions::interrupted says to stop.
    void _check_interrupted() const;
    void _detect_darwin();
    // The pointer click family: validation, conversion, one call.
    boost::json::object _click_like(const char* action, const Coordinate& coordinate,
                                    const std::function<std::string(Desktop&, int, int)>& act);
    // A two-element coordinate converted to screen pixels.
    std::pair<int, int> _screen_point(const boost::json::array& coordinate) const;
    // Pauses through the injected sleep, refusing what time.sleep refuses.
    void _pause(double seconds);
    // The shared tail of both screenshot paths once the image is known.
    boost::json::object _finish_screenshot(const std::string& png, const std::filesystem::path& path);

    DeskhandOptions options_;
    std::unique_ptr<Desktop> desktop_;
    // The screen is measured again when the next desktop opens: the last
    // one was lost (the server may come back at another size), or the size
    // is the 1920x1080 fallback (no display could tell it).
    bool measure_on_open_ = false;
    std::unique_ptr<struct ScreenshotBuffers> shot_;  // made by the first screenshot
};

// Result maps.
boost::json::object text_result(std::string text);
boost::json::object error_result(std::string error);
boost::json::object image_result(boost::json::string base64);

}  // namespace norvex::pc::deskhand
