// The X11 desktop when its server dies: every call throws, the process lives, teardown neither talks nor hangs.
#include "desktop_fixture.hpp"
#include "../../support/returns.hpp"

#include "norvex/pc/desktop/program_clipboard.hpp"

#include <gmock/gmock.h>

#include <functional>
#include <memory>

namespace norvex::testing {
namespace {

using ::testing::HasSubstr;

// Every call of the desktop, long where it can be: far more requests than
// Xlib's output buffer holds, which is what a dead connection used to overflow.
const std::vector<std::pair<std::string, std::function<void(pc::X11Desktop&)>>>& every_call() {
    static const std::vector<std::pair<std::string, std::function<void(pc::X11Desktop&)>>> calls = {
        {"click", [](pc::X11Desktop& d) { d.click(10, 10, 3); }},
        {"move_to", [](pc::X11Desktop& d) { d.move_to(300, 200, 0.2); }},
        {"mouse_down", [](pc::X11Desktop& d) { d.mouse_down(); }},
        {"mouse_up", [](pc::X11Desktop& d) { d.mouse_up(); }},
        {"position", [](pc::X11Desktop& d) { d.position(); }},
        {"scroll", [](pc::X11Desktop& d) { d.scroll(-100000); }},
        {"hscroll", [](pc::X11Desktop& d) { d.hscroll(100000); }},
        {"press", [](pc::X11Desktop& d) { d.press("enter"); }},
        {"hotkey", [](pc::X11Desktop& d) { d.hotkey({"ctrl", "shift", "a"}); }},
        {"key_down", [](pc::X11Desktop& d) { d.key_down("a"); }},
        {"key_up", [](pc::X11Desktop& d) { d.key_up("a"); }},
        // Shifted letters and characters the layout lacks (lent spare keys).
        {"write", [](pc::X11Desktop& d) { d.write(std::string(5000, 'X') + "\u20ac\u00e5", 0); }},
        {"screenshot", [](pc::X11Desktop& d) { d.screenshot(); }},
        {"screen_rect", [](pc::X11Desktop& d) { d.screen_rect(); }},
    };
    return calls;
}

TEST(X11DesktopLost, EveryCallThrowsOnceTheServerDiedAndTheDesktopGoesQuietly) {
    if (!Xvfb::installed()) GTEST_SKIP() << "Xvfb is not installed";
    for (const auto& [name, call] : every_call()) {
        SCOPED_TRACE(name);
        Xvfb server(640, 480);
        auto desktop = std::make_unique<pc::X11Desktop>(server.display());
        // A shared-memory capture image, which teardown used to detach over the dead connection.
        desktop->screenshot();
        server.kill();

        // The first call finds the break mid-way; the second is refused
        // before it sends anything.
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                call(*desktop);
                ADD_FAILURE() << "no error on attempt " << attempt;
            } catch (const pc::DesktopLostError& e) {
                // Its own kind, so a caller keeping the desktop knows to open a new one.
                EXPECT_EQ(e.what_broke(), "the connection to X display '" + server.display() +
                                              "' was lost (the X server stopped or closed it)");
                EXPECT_THAT(e.what(), HasSubstr("start the display server again and open a new desktop"));
            }
        }
        // Torn down on another thread while this one, which saw the break,
        // lives on: as in `norvex mcp`, whose actions run on a worker thread.
        ASSERT_TRUE(returns([desktop = std::move(desktop)]() mutable { desktop.reset(); }))
            << "destroying the desktop of a dead server hangs";
    }
}

TEST(X11DesktopLost, AServerDyingMidCallEndsTheCallWithTheSameError) {
    if (!Xvfb::installed()) GTEST_SKIP() << "Xvfb is not installed";
    const std::vector<std::pair<std::string, std::function<void(pc::X11Desktop&)>>> long_calls = {
        {"scroll", [](pc::X11Desktop& d) { d.scroll(100000); }},
        {"write", [](pc::X11Desktop& d) { d.write(std::string(5000, 'X'), 0); }},
        {"move_to", [](pc::X11Desktop& d) { d.move_to(600, 400, 0.5); }},
    };
    for (const auto& [name, call] : long_calls) {
        SCOPED_TRACE(name);
        Xvfb server(640, 480);
        auto desktop = std::make_unique<pc::X11Desktop>(server.display());
        // The server is killed from inside the call, between two of its steps.
        int steps = 0;
        desktop->set_interruption([&] {
            if (++steps == 10) server.kill();
        });
        try {
            call(*desktop);
            ADD_FAILURE() << "no error";
        } catch (const pc::DesktopLostError& e) {
            EXPECT_THAT(e.what(), HasSubstr("the connection to X display '" + server.display() + "' was lost"));
        }
        EXPECT_GE(steps, 10);
        ASSERT_TRUE(returns([desktop = std::move(desktop)]() mutable { desktop.reset(); }));
    }
}

TEST(X11DesktopLost, ClipboardWhoseServerDiesWhileItSetsTheTextReturns) {
    if (!Xvfb::installed()) GTEST_SKIP() << "Xvfb is not installed";
    Xvfb server(640, 480);
    // A clipboard program that takes the text as the server dies under it,
    // while the clipboard watches the selection's owner on a connection of its own.
    pc::ProgramClipboard clipboard({"/bin/sh", "-c", "kill -KILL " + std::to_string(server.pid()) + "; cat >/dev/null"},
                                   server.display());
    // The program did its part; the watch just stops (it used to end the process).
    EXPECT_NO_THROW(clipboard.set_text("gone"));
    server.kill();  // reaps it
}

}  // namespace
}  // namespace norvex::testing
