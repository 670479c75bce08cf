// Pointer input through XTest, as a plain X client receives it.
#include "desktop_fixture.hpp"

#include <gmock/gmock.h>

#include <chrono>

namespace norvex::testing {
namespace {

using pc::MouseButton;

std::vector<SeenEvent> of_type(const std::vector<SeenEvent>& events, int type) {
    std::vector<SeenEvent> out;
    for (const auto& e : events)
        if (e.type == type) out.push_back(e);
    return out;
}

using X11Pointer = DesktopTest;

TEST_F(X11Pointer, ClickCountsArriveAsPressReleasePairsAtThePoint) {
    for (int clicks : {1, 2, 3}) {
        window().clear();
        desktop().click(100 + clicks, 200, clicks);
        const auto events = window().wait_for_count(ButtonRelease, static_cast<std::size_t>(clicks));
        std::vector<int> order;
        for (const auto& e : events) {
            if (e.type != ButtonPress && e.type != ButtonRelease) continue;
            order.push_back(e.type);
            EXPECT_EQ(e.button, 1u);
            EXPECT_EQ(e.x, 100 + clicks);
            EXPECT_EQ(e.y, 200);
        }
        std::vector<int> expected;
        for (int i = 0; i < clicks; ++i) expected.insert(expected.end(), {ButtonPress, ButtonRelease});
        EXPECT_EQ(order, expected) << clicks << " clicks";
    }
}

TEST_F(X11Pointer, RightAndMiddleClicksUseTheirButtons) {
    desktop().right_click(640, 10);
    desktop().middle_click(5, 790);
    const auto presses = of_type(window().wait_for_count(ButtonRelease, 2), ButtonPress);
    ASSERT_EQ(presses.size(), 2u);
    EXPECT_EQ(presses[0].button, 3u);
    EXPECT_EQ(std::pair(presses[0].x, presses[0].y), std::pair(640, 10));
    EXPECT_EQ(presses[1].button, 2u);
    EXPECT_EQ(std::pair(presses[1].x, presses[1].y), std::pair(5, 790));
}

TEST_F(X11Pointer, DragPressesMovesWithTheButtonHeldAndReleasesAtTheEnd) {
    desktop().move_to(50, 60, 0);
    desktop().mouse_down(MouseButton::left);
    desktop().move_to(300, 400, 0.1);
    desktop().mouse_up(MouseButton::left);
    const auto events = window().wait_for_count(ButtonRelease, 1);
    const auto presses = of_type(events, ButtonPress);
    const auto releases = of_type(events, ButtonRelease);
    ASSERT_EQ(presses.size(), 1u);
    ASSERT_EQ(releases.size(), 1u);
    EXPECT_EQ(std::pair(presses[0].x, presses[0].y), std::pair(50, 60));
    EXPECT_EQ(std::pair(releases[0].x, releases[0].y), std::pair(300, 400));
    EXPECT_TRUE(releases[0].state & Button1Mask);

    // Every motion between press and release carries the held button.
    bool pressed = false;
    int held_motions = 0;
    for (const auto& e : events) {
        if (e.type == ButtonPress) pressed = true;
        if (e.type == ButtonRelease) pressed = false;
        if (e.type == MotionNotify && pressed) {
            EXPECT_TRUE(e.state & Button1Mask);
            ++held_motions;
        }
    }
    EXPECT_GE(held_motions, 3) << "a timed drag should pass through intermediate points";
}

TEST_F(X11Pointer, WheelStepsUseButtonsFourToSevenOncePerStep) {
    desktop().move_to(400, 300, 0);
    desktop().scroll(3);
    desktop().scroll(-2);
    desktop().hscroll(4);
    desktop().hscroll(-1);
    const auto presses = of_type(window().wait_for_count(ButtonRelease, 10), ButtonPress);
    std::vector<unsigned> buttons;
    for (const auto& e : presses) {
        buttons.push_back(e.button);
        EXPECT_EQ(std::pair(e.x, e.y), std::pair(400, 300));
    }
    EXPECT_THAT(buttons, ::testing::ElementsAre(4u, 4u, 4u, 5u, 5u, 7u, 7u, 7u, 7u, 6u));
}

TEST_F(X11Pointer, ZeroScrollSendsNothing) {
    desktop().scroll(0);
    desktop().hscroll(0);
    desktop().click(10, 10);  // a marker that everything before it has arrived
    const auto presses = of_type(window().wait_for_count(ButtonRelease, 1), ButtonPress);
    ASSERT_EQ(presses.size(), 1u);
    EXPECT_EQ(presses[0].button, 1u);
}

TEST_F(X11Pointer, InterruptedScrollStopsBetweenStepsWithNoButtonDown) {
    desktop().move_to(400, 300, 0);
    int asked = 0;
    desktop().set_interruption([&] {
        if (++asked > 7) throw std::runtime_error("stop");
    });
    EXPECT_THROW(desktop().scroll(-100), std::runtime_error);
    desktop().set_interruption({});
    desktop().click(10, 10);  // a marker that everything before it has arrived
    const auto events = window().wait_until([](const std::vector<SeenEvent>& seen) {
        return !seen.empty() && seen.back().type == ButtonRelease && seen.back().button == 1;
    });
    std::vector<unsigned> pressed;
    std::vector<unsigned> released;
    for (const auto& e : events) {
        if (e.type == ButtonPress) pressed.push_back(e.button);
        if (e.type == ButtonRelease) released.push_back(e.button);
    }
    std::vector<unsigned> expected(7, 5u);
    expected.push_back(1u);
    EXPECT_EQ(pressed, expected);
    EXPECT_EQ(released, expected);
}

TEST_F(X11Pointer, PositionIsWhereTheLastMoveEnded) {
    desktop().move_to(123, 456, 0);
    EXPECT_EQ(desktop().position(), std::pair(123, 456));
    desktop().move_to(1279, 799, 0);
    EXPECT_EQ(desktop().position(), std::pair(1279, 799));
}

TEST_F(X11Pointer, TimedMoveGlidesThroughTheWayAndTakesItsTime) {
    desktop().move_to(100, 100, 0);
    window().wait_for_count(MotionNotify, 1);
    window().clear();
    const auto start = std::chrono::steady_clock::now();
    desktop().move_to(700, 500, 0.25);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(elapsed, 0.24);
    EXPECT_EQ(desktop().position(), std::pair(700, 500));

    const auto events = window().wait_until([](const std::vector<SeenEvent>& seen) {
        return !seen.empty() && seen.back().type == MotionNotify && seen.back().x == 700 && seen.back().y == 500;
    });
    const auto motions = of_type(events, MotionNotify);
    ASSERT_GE(motions.size(), 10u) << "about one step every 10 ms";
    for (std::size_t i = 1; i < motions.size(); ++i) {
        EXPECT_GE(motions[i].x, motions[i - 1].x);
        EXPECT_GE(motions[i].y, motions[i - 1].y);
    }
}

}  // namespace
}  // namespace norvex::testing
