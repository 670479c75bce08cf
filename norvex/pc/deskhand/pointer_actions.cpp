// The pointer handlers: the click family, moving, dragging, the left button alone, the pointer's position, scrolling.
#include "norvex/pc/deskhand/actions.hpp"
#include "norvex/pc/deskhand/executor.hpp"
#include "norvex/pc/deskhand/params.hpp"

#include <fmt/format.h>

#include <limits>
#include <stdexcept>

namespace norvex::pc::deskhand {

namespace {

bool usable(const DeskhandExecutor::Coordinate& c) { return c && c->size() == 2; }

int to_int(std::int64_t v) {
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        throw std::invalid_argument(fmt::format("coordinate {} lies far outside any screen; send [x, y] within the "
                                                "screenshot's size",
                                                v));
    return static_cast<int>(v);
}

std::string at(int x, int y) { return fmt::format("({}, {})", x, y); }

}  // namespace

std::pair<int, int> DeskhandExecutor::_screen_point(const boost::json::array& coordinate) const {
    const auto [x, y] = _to_screen_coords(coordinate_number(coordinate[0]), coordinate_number(coordinate[1]));
    return {to_int(x), to_int(y)};
}

boost::json::object DeskhandExecutor::_click_like(const char* action, const Coordinate& coordinate,
                                                  const std::function<std::string(Desktop&, int, int)>& act) {
    if (!usable(coordinate)) return error_result(std::string(action) + " requires coordinate [x, y]");
    Desktop& desktop = _desktop();
    const auto [x, y] = _screen_point(*coordinate);
    return text_result(act(desktop, x, y));
}

boost::json::object DeskhandExecutor::_action_left_click(const Coordinate& coordinate) {
    return _click_like("left_click", coordinate, [](Desktop& d, int x, int y) {
        d.click(x, y);
        return "Clicked at " + at(x, y);
    });
}

boost::json::object DeskhandExecutor::_action_right_click(const Coordinate& coordinate) {
    return _click_like("right_click", coordinate, [](Desktop& d, int x, int y) {
        d.right_click(x, y);
        return "Right-clicked at " + at(x, y);
    });
}

boost::json::object DeskhandExecutor::_action_middle_click(const Coordinate& coordinate) {
    return _click_like("middle_click", coordinate, [](Desktop& d, int x, int y) {
        d.middle_click(x, y);
        return "Middle-clicked at " + at(x, y);
    });
}

boost::json::object DeskhandExecutor::_action_double_click(const Coordinate& coordinate) {
    return _click_like("double_click", coordinate, [](Desktop& d, int x, int y) {
        d.double_click(x, y);
        return "Double-clicked at " + at(x, y);
    });
}

boost::json::object DeskhandExecutor::_action_triple_click(const Coordinate& coordinate) {
    return _click_like("triple_click", coordinate, [](Desktop& d, int x, int y) {
        d.click(x, y, 3);
        return "Triple-clicked at " + at(x, y);
    });
}

boost::json::object DeskhandExecutor::_action_mouse_move(const Coordinate& coordinate) {
    return _click_like("mouse_move", coordinate, [](Desktop& d, int x, int y) {
        d.move_to(x, y, 0.3);
        return "Moved cursor to " + at(x, y);
    });
}

boost::json::object DeskhandExecutor::_action_left_click_drag(const Coordinate& start_coordinate,
                                                              const Coordinate& coordinate) {
    if (!usable(start_coordinate)) return error_result("left_click_drag requires start_coordinate [x, y]");
    if (!usable(coordinate)) return error_result("left_click_drag requires coordinate [x, y]");
    Desktop& desktop = _desktop();
    const auto [sx, sy] = _screen_point(*start_coordinate);
    const auto [ex, ey] = _screen_point(*coordinate);
    desktop.move_to(sx, sy, 0.1);
    desktop.mouse_down();
    try {
        desktop.move_to(ex, ey, 0.5);
    } catch (...) {
        // A button left down would turn the model's next move into a drag.
        try {
            desktop.mouse_up();
        } catch (...) {
        }
        throw;
    }
    desktop.mouse_up();
    return text_result("Dragged from " + at(sx, sy) + " to " + at(ex, ey));
}

boost::json::object DeskhandExecutor::_action_left_mouse_down(const Coordinate& coordinate) {
    Desktop& desktop = _desktop();
    if (usable(coordinate)) {
        const auto [x, y] = _screen_point(*coordinate);
        desktop.move_to(x, y, 0.1);
    }
    desktop.mouse_down();
    return text_result("Left mouse button down");
}

boost::json::object DeskhandExecutor::_action_left_mouse_up() {
    _desktop().mouse_up();
    return text_result("Left mouse button up");
}

boost::json::object DeskhandExecutor::_action_cursor_position() {
    const auto [x, y] = _desktop().position();
    const auto ax = static_cast<std::int64_t>(static_cast<double>(x) * _scale_factor);
    const auto ay = static_cast<std::int64_t>(static_cast<double>(y) * _scale_factor);
    return text_result(fmt::format("Cursor position: ({}, {})", ax, ay));
}

boost::json::object DeskhandExecutor::_action_scroll(const Coordinate& coordinate, const std::string& direction,
                                                     std::int64_t amount) {
    // Refused before anything moves.
    if (amount < -MAX_SCROLL_AMOUNT || amount > MAX_SCROLL_AMOUNT)
        return error_result(fmt::format(
            "scroll amount {} is out of range: give -{} to {} wheel steps (a step is about three lines); "
            "to go farther, scroll again after a screenshot, or press keys such as Page_Down or ctrl+End",
            amount, MAX_SCROLL_AMOUNT, MAX_SCROLL_AMOUNT));
    Desktop& desktop = _desktop();
    if (usable(coordinate)) {
        const auto [x, y] = _screen_point(*coordinate);
        desktop.move_to(x, y, 0.1);
    }
    const int steps = static_cast<int>(amount);
    const int n = (direction == "up" || direction == "right") ? steps : -steps;
    if (direction == "left" || direction == "right")
        desktop.hscroll(n);
    else
        desktop.scroll(n);
    return text_result(fmt::format("Scrolled {} by {}", direction, amount));
}

}  // namespace norvex::pc::deskhand
