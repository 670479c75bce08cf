// The pointer actions through execute_action: conversion, validation, the desktop calls, binding failures.
#include "executor_rig.hpp"

#include "norvex/common/log_capture.hpp"

#include <gtest/gtest.h>

namespace norvex::pc::deskhand {
namespace {

using testing::ExecutorRig;
using testing::obj;
using Calls = std::vector<std::string>;

std::string text_of(const boost::json::object& r) {
    EXPECT_EQ(r.at("type").as_string(), "text") << pyjson::dumps(r);
    return r.contains("text") ? std::string(r.at("text").as_string()) : "";
}
std::string error_of(const boost::json::object& r) {
    EXPECT_EQ(r.at("type").as_string(), "error") << pyjson::dumps(r);
    return r.contains("error") ? std::string(r.at("error").as_string()) : "";
}

TEST(ClickFamily, ConvertsToScreenPixelsAndMakesOneCall) {
    ExecutorRig rig;
    auto ex = rig.make();
    const auto at = obj(R"({"coordinate": [500, 300]})");
    EXPECT_EQ(text_of(ex->execute_action("left_click", at)), "Clicked at (671, 402)");
    EXPECT_EQ(text_of(ex->execute_action("right_click", at)), "Right-clicked at (671, 402)");
    EXPECT_EQ(text_of(ex->execute_action("middle_click", at)), "Middle-clicked at (671, 402)");
    EXPECT_EQ(text_of(ex->execute_action("double_click", at)), "Double-clicked at (671, 402)");
    EXPECT_EQ(text_of(ex->execute_action("triple_click", at)), "Triple-clicked at (671, 402)");
    EXPECT_EQ(text_of(ex->execute_action("mouse_move", at)), "Moved cursor to (671, 402)");
    EXPECT_EQ(rig.calls(), (Calls{"click(671, 402, 1, left)", "click(671, 402, 1, right)", "click(671, 402, 1, middle)",
                                  "click(671, 402, 2, left)", "click(671, 402, 3, left)", "move_to(671, 402, 0.3)"}));
}

TEST(ClickFamily, RealCoordinatesAreTruncatedFirst) {
    ExecutorRig rig;
    rig.screen = {{1280, 800}};
    auto ex = rig.make();
    EXPECT_EQ(text_of(ex->execute_action("left_click", obj(R"({"coordinate": [10.9, -3.7]})"))), "Clicked at (10, -3)");
}

TEST(ClickFamily, MissingOrMisshapenCoordinateIsAValidationErrorWithoutLogOrMovement) {
    logging::LogCapture logs("norvex.pc.deskhand");
    ExecutorRig rig;
    auto ex = rig.make();
    for (const char* action : {"left_click", "right_click", "middle_click", "double_click", "triple_click", "mouse_move"}) {
        for (const char* params : {"{}", R"({"coordinate": null})", R"({"coordinate": [500]})",
                                   R"({"coordinate": [1, 2, 3]})", R"({"coordinate": []})"}) {
            EXPECT_EQ(error_of(ex->execute_action(action, obj(params))), std::string(action) + " requires coordinate [x, y]")
                << action << " " << params;
        }
    }
    // Validation comes before the desktop is even opened.
    EXPECT_EQ(rig.desktops_opened, 0);
    EXPECT_TRUE(logs.messages(spdlog::level::err).empty());
}

TEST(Drag, MovesPressesMovesReleasesInOrder) {
    ExecutorRig rig;
    auto ex = rig.make();
    EXPECT_EQ(text_of(ex->execute_action("left_click_drag",
                                         obj(R"({"start_coordinate": [0, 0], "coordinate": [1429, 804]})"))),
              "Dragged from (0, 0) to (1918, 1079)");
    EXPECT_EQ(rig.calls(), (Calls{"move_to(0, 0, 0.1)", "mouse_down(left)", "move_to(1918, 1079, 0.5)", "mouse_up(left)"}));
}

TEST(Drag, ReportsTheStartFirstThenTheEnd) {
    ExecutorRig rig;
    auto ex = rig.make();
    EXPECT_EQ(error_of(ex->execute_action("left_click_drag", {})), "left_click_drag requires start_coordinate [x, y]");
    EXPECT_EQ(error_of(ex->execute_action("left_click_drag", obj(R"({"start_coordinate": [1, 2]})"))),
              "left_click_drag requires coordinate [x, y]");
    EXPECT_EQ(rig.desktops_opened, 0);
}

TEST(Drag, ReleasesTheButtonWhenTheSecondMoveFails) {
    ExecutorRig rig;
    rig.prepare = [](RecordingDesktop& d) { d.fail_on = "move_to"; };
    auto ex = rig.make();
    // The first move already fails: nothing pressed.
    EXPECT_EQ(error_of(ex->execute_action("left_click_drag", obj(R"({"start_coordinate": [0, 0], "coordinate": [5, 5]})"))),
              "Action left_click_drag failed: recording desktop told to fail on move_to");
    EXPECT_EQ(rig.calls(), (Calls{"move_to(0, 0, 0.1)"}));

    ExecutorRig second;
    second.prepare = [](RecordingDesktop& d) {
        d.fail_on = "move_to";
        d.fail_after = 1;
    };
    EXPECT_EQ(error_of(second.make()->execute_action(
                  "left_click_drag", obj(R"({"start_coordinate": [0, 0], "coordinate": [5, 5]})"))),
              "Action left_click_drag failed: recording desktop told to fail on move_to");
    EXPECT_EQ(second.calls(), (Calls{"move_to(0, 0, 0.1)", "mouse_down(left)", "move_to(6, 6, 0.5)", "mouse_up(left)"}));
}

TEST(LeftButton, DownMovesOnlyForAPairAndPressesAnyway) {
    ExecutorRig rig;
    auto ex = rig.make();
    EXPECT_EQ(text_of(ex->execute_action("left_mouse_down", obj(R"({"coordinate": [5]})"))), "Left mouse button down");
    EXPECT_EQ(text_of(ex->execute_action("left_mouse_down", obj(R"({"coordinate": [500, 300]})"))), "Left mouse button down");
    EXPECT_EQ(text_of(ex->execute_action("left_mouse_up")), "Left mouse button up");
    EXPECT_EQ(rig.calls(), (Calls{"mouse_down(left)", "move_to(671, 402, 0.1)", "mouse_down(left)", "mouse_up(left)"}));
}

TEST(CursorPosition, ReportsApiSpaceUnclamped) {
    ExecutorRig rig;
    rig.prepare = [](RecordingDesktop& d) { d.pointer = {1919, 1079}; };
    auto ex = rig.make();
    EXPECT_EQ(text_of(ex->execute_action("cursor_position")), "Cursor position: (1429, 803)");

    ExecutorRig full;
    full.screen = {{1280, 800}};
    full.prepare = [](RecordingDesktop& d) { d.pointer = {1279, 799}; };
    EXPECT_EQ(text_of(full.make()->execute_action("cursor_position")), "Cursor position: (1279, 799)");
}

TEST(Scroll, DirectionsPickTheWheelAndTheSign) {
    ExecutorRig rig;
    auto ex = rig.make();
    EXPECT_EQ(text_of(ex->execute_action("scroll")), "Scrolled down by 3");
    EXPECT_EQ(text_of(ex->execute_action("scroll", obj(R"({"direction": "up", "amount": 2})"))), "Scrolled up by 2");
    EXPECT_EQ(text_of(ex->execute_action("scroll", obj(R"({"direction": "left", "amount": 5})"))), "Scrolled left by 5");
    EXPECT_EQ(text_of(ex->execute_action("scroll", obj(R"({"direction": "right", "amount": 4.9})"))), "Scrolled right by 4");
    EXPECT_EQ(text_of(ex->execute_action("scroll", obj(R"({"direction": "sideways", "amount": 2})"))),
              "Scrolled sideways by 2");
    EXPECT_EQ(text_of(ex->execute_action("scroll", obj(R"({"coordinate": [500, 300], "amount": 1})"))),
              "Scrolled down by 1");
    EXPECT_EQ(rig.calls(), (Calls{"scroll(-3)", "scroll(2)", "hscroll(-5)", "hscroll(4)", "scroll(-2)",
                                  "move_to(671, 402, 0.1)", "scroll(-1)"}));
}

TEST(Scroll, AmountsPastTheBoundAreRefusedBeforeAnythingMoves) {
    ExecutorRig rig;
    auto ex = rig.make();
    for (const char* amount : {"101", "-101", "9223372036854775807", "1e18"}) {
        const std::string error = error_of(ex->execute_action(
            "scroll", obj(std::string(R"({"coordinate": [500, 300], "amount": )") + amount + "}")));
        EXPECT_TRUE(error.starts_with("scroll amount ")) << error;
        EXPECT_NE(error.find(" is out of range: give -100 to 100 wheel steps"), std::string::npos) << error;
        EXPECT_NE(error.find("Page_Down"), std::string::npos) << "says how to go farther: " << error;
    }
    EXPECT_EQ(rig.calls(), Calls{});
    EXPECT_EQ(text_of(ex->execute_action("scroll", obj(R"({"amount": 100})"))), "Scrolled down by 100");
    EXPECT_EQ(text_of(ex->execute_action("scroll", obj(R"({"direction": "left", "amount": -100})"))),
              "Scrolled left by -100");
    EXPECT_EQ(rig.calls(), (Calls{"scroll(-100)", "hscroll(100)"}));
}

TEST(Interruption, ACallCancelledBeforeItStartsDoesNothing) {
    ExecutorRig rig;
    auto options = rig.options();
    bool cancelled = false;
    options.interrupted = [&] { return cancelled; };
    DeskhandExecutor ex(std::move(options));
    EXPECT_EQ(text_of(ex.execute_action("left_click", obj(R"({"coordinate": [500, 300]})"))), "Clicked at (671, 402)");
    cancelled = true;
    EXPECT_EQ(error_of(ex.execute_action("left_click", obj(R"({"coordinate": [500, 300]})"))),
              "Action left_click failed: interrupted by the caller before it finished; take a screenshot to see how "
              "far it got");
    EXPECT_EQ(rig.calls(), Calls{"click(671, 402, 1, left)"});
}

TEST(Binding, UnknownParameterFailsTheActionAndLogsOnce) {
    logging::LogCapture logs("norvex.pc.deskhand");
    ExecutorRig rig;
    auto ex = rig.make();
    EXPECT_EQ(error_of(ex->execute_action("scroll", obj(R"({"bogus": 1})"))),
              "Action scroll failed: _action_scroll() got an unexpected keyword argument 'bogus'");
    EXPECT_EQ(error_of(ex->execute_action("left_mouse_up", obj(R"({"coordinate": [1, 2]})"))),
              "Action left_mouse_up failed: _action_left_mouse_up() got an unexpected keyword argument 'coordinate'");
    const auto errors = logs.messages(spdlog::level::err);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_TRUE(errors[0].starts_with("Action scroll failed\n")) << errors[0];
    EXPECT_NE(errors[0].find("unexpected keyword argument 'bogus'"), std::string::npos);
    EXPECT_EQ(rig.calls(), Calls{});
}

TEST(Binding, WrongKindsFailTheAction) {
    ExecutorRig rig;
    auto ex = rig.make();
    EXPECT_EQ(error_of(ex->execute_action("left_click", obj(R"({"coordinate": "500,300"})"))),
              "Action left_click failed: _action_left_click() argument 'coordinate' must be a list [x, y], not str");
    EXPECT_EQ(error_of(ex->execute_action("left_click", obj(R"({"coordinate": ["a", 3]})"))),
              "Action left_click failed: coordinate values must be numbers, not str; send the coordinate as [x, y]");
    EXPECT_EQ(error_of(ex->execute_action("scroll", obj(R"({"direction": 1})"))),
              "Action scroll failed: _action_scroll() argument 'direction' must be str, not int");
    EXPECT_EQ(error_of(ex->execute_action("scroll", obj(R"({"amount": "3"})"))),
              "Action scroll failed: _action_scroll() argument 'amount' must be int, not str");
    EXPECT_EQ(error_of(ex->execute_action("wait", obj(R"({"duration": null})"))),
              "Action wait failed: _action_wait() argument 'duration' must be float, not NoneType");
    EXPECT_EQ(error_of(ex->execute_action("type", obj(R"({"text": ["a"]})"))),
              "Action type failed: _action_type() argument 'text' must be str, not list");
}

TEST(Binding, DesktopThatCannotOpenFailsTheActionAndIsRetried) {
    ExecutorRig rig;
    auto opts = rig.options();
    int attempts = 0;
    opts.open_desktop = [&attempts]() -> std::unique_ptr<Desktop> {
        ++attempts;
        throw DesktopError("Cannot open the X display ':42': no server");
    };
    DeskhandExecutor ex(std::move(opts));
    EXPECT_EQ(error_of(ex.execute_action("left_mouse_up")),
              "Action left_mouse_up failed: Cannot open the X display ':42': no server");
    EXPECT_EQ(error_of(ex.execute_action("cursor_position")),
              "Action cursor_position failed: Cannot open the X display ':42': no server");
    EXPECT_EQ(attempts, 2);
}

}  // namespace
}  // namespace norvex::pc::deskhand
