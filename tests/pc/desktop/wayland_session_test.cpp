// Choosing the desktop backend by session and NORVEX_DESKTOP, a compositor lacking the wlroots protocols, and a compositor that dies or stops.
#include "wayland_fixture.hpp"
#include "bare_compositor.hpp"
#include "../../support/scratch_dir.hpp"

#include "norvex/common/pyjson.hpp"
#include "norvex/pc/deskhand/executor.hpp"
#include "norvex/pc/deskhand/host_defaults.hpp"

#include <boost/json/parse.hpp>

#include <cstdlib>
#include <future>
#include <map>
#include <signal.h>

namespace norvex::testing {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;

// Sets environment variables for one test and puts the old values back.
class Environment {
public:
    void set(const std::string& name, const char* value) {
        if (saved_.count(name) == 0) {
            const char* old = std::getenv(name.c_str());
            saved_[name] = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value != nullptr) ::setenv(name.c_str(), value, 1);
        else ::unsetenv(name.c_str());
    }
    ~Environment() {
        for (const auto& [name, value] : saved_) {
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
        }
    }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

std::string error_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const pc::DesktopError& e) {
        return e.what();
    }
    return "(no error)";
}

using SessionChoice = SwaySuite<1>;

TEST_F(SessionChoice, AWaylandSessionGetsTheWaylandDesktopAndNorvexDesktopOverrides) {
    Environment env;
    env.set("NORVEX_DESKTOP", nullptr);
    env.set("WAYLAND_DISPLAY", sway().socket().c_str());
    env.set("XDG_SESSION_TYPE", "wayland");
    env.set("DISPLAY", nullptr);
    auto desktop = pc::deskhand::open_session_desktop();
    ASSERT_NE(dynamic_cast<pc::WaylandDesktop*>(desktop.get()), nullptr);
    EXPECT_EQ(desktop->screenshot().width, 1920);
    // The executor measures the same screen it will drive, even with an X display at hand.
    env.set("DISPLAY", ":0");
    pc::deskhand::DeskhandOptions options;
    pc::deskhand::fill_defaults(options);
    EXPECT_EQ(options.screen_size(), (std::pair<std::int64_t, std::int64_t>{1920, 1080}));
    env.set("DISPLAY", nullptr);

    // The same session told to use X11 looks for an X display, and says it has none.
    env.set("NORVEX_DESKTOP", "x11");
    EXPECT_THAT(error_of([] { pc::deskhand::open_session_desktop(); }), HasSubstr("DISPLAY is not set"));
    // An X11 session (a nested compositor's socket is set) stays on X11...
    env.set("NORVEX_DESKTOP", nullptr);
    env.set("XDG_SESSION_TYPE", "x11");
    EXPECT_THAT(error_of([] { pc::deskhand::open_session_desktop(); }), HasSubstr("No X display"));
    // ...unless told otherwise.
    env.set("NORVEX_DESKTOP", "wayland");
    auto forced = pc::deskhand::open_session_desktop();
    EXPECT_NE(dynamic_cast<pc::WaylandDesktop*>(forced.get()), nullptr);

    // A socket name that leads nowhere beside an X display is an X11 session's
    // copied environment; alone, it is a Wayland session whose compositor is gone.
    env.set("NORVEX_DESKTOP", nullptr);
    env.set("XDG_SESSION_TYPE", nullptr);
    env.set("WAYLAND_DISPLAY", "wayland-absent");
    env.set("DISPLAY", ":0");
    EXPECT_FALSE(pc::deskhand::session_uses_wayland());
    env.set("WAYLAND_DISPLAY", sway().socket().c_str());
    EXPECT_TRUE(pc::deskhand::session_uses_wayland());
    env.set("WAYLAND_DISPLAY", "wayland-absent");
    env.set("DISPLAY", nullptr);
    EXPECT_THAT(error_of([] { pc::deskhand::open_session_desktop(); }), HasSubstr("Wayland compositor 'wayland-absent'"));

    env.set("NORVEX_DESKTOP", "mir");
    EXPECT_THAT(error_of([] { pc::deskhand::open_session_desktop(); }),
                AllOf(HasSubstr("NORVEX_DESKTOP is 'mir'"), HasSubstr("x11 or wayland")));
}

TEST_F(SessionChoice, AnOutputOrLayoutThatDoesNotExistIsAClearError) {
    pc::WaylandDesktopOptions options;
    options.output_name = "DP-9";
    EXPECT_THAT(error_of([&] { pc::WaylandDesktop d(sway().socket(), options); }),
                AllOf(HasSubstr("no output named 'DP-9'"), HasSubstr("it has HEADLESS-1")));
    options.output_name = "HEADLESS-1";
    options.keyboard_layout = "no-such-layout";
    EXPECT_THAT(error_of([&] { pc::WaylandDesktop d(sway().socket(), options); }),
                AllOf(HasSubstr("xkb layout 'no-such-layout'"), HasSubstr("xkb-data")));
    options.keyboard_layout = "de";
    pc::WaylandDesktop german(sway().socket(), options);
    EXPECT_EQ(german.output().name, "HEADLESS-1");
}

TEST(WaylandWithoutWlroots, TheErrorNamesEveryMissingProtocolAndWhatWorksInstead) {
    const std::string path = "/tmp/norvex-bare-wayland-" + std::to_string(::getpid());
    BareCompositor bare(path);
    EXPECT_THAT(pc::wayland_missing_protocols(path),
                ::testing::ElementsAre("zwlr_screencopy_manager_v1", "zwlr_virtual_pointer_manager_v1",
                                       "zwp_virtual_keyboard_manager_v1"));
    Environment env;
    env.set("NORVEX_DESKTOP", nullptr);
    env.set("WAYLAND_DISPLAY", path.c_str());
    env.set("XDG_SESSION_TYPE", "wayland");
    // An X display too, as XWayland gives one: the choice still does not fall back to it.
    env.set("DISPLAY", ":0");
    const std::string error = error_of([] { pc::deskhand::open_session_desktop(); });
    EXPECT_THAT(error, AllOf(HasSubstr("zwlr_screencopy_manager_v1 (screenshots)"),
                             HasSubstr("zwlr_virtual_pointer_manager_v1 (pointer input)"),
                             HasSubstr("zwp_virtual_keyboard_manager_v1 (keyboard input)"),
                             HasSubstr("X11 session"), HasSubstr("remote-desktop portal")));
    EXPECT_THAT(error_of([&] { pc::WaylandDesktop d(path + "-absent"); }),
                AllOf(HasSubstr("cannot connect"), HasSubstr("-absent")));
}

// Runs `f` on another thread and says whether it ended within a generous
// bound: a safety net against a hang, not a speed check.
bool ends(std::function<void()> f) {
    auto done = std::async(std::launch::async, std::move(f));
    return done.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
}

TEST(WaylandLostCompositor, EveryActionFailsAsLostAndDestructionDoesNotBlock) {
    if (!Sway::unavailable().empty()) GTEST_SKIP() << Sway::unavailable();
    Sway sway;
    auto desktop = std::make_unique<pc::WaylandDesktop>(sway.socket());
    desktop->click(10, 10);
    sway.kill();

    const std::vector<std::pair<std::string, std::function<void()>>> actions = {
        {"position", [&] { desktop->position(); }},
        {"click", [&] { desktop->click(5, 5); }},
        {"move_to", [&] { desktop->move_to(50, 50, 0.02); }},
        {"mouse_down", [&] { desktop->mouse_down(); }},
        {"mouse_up", [&] { desktop->mouse_up(); }},
        {"scroll", [&] { desktop->scroll(3); }},
        {"hscroll", [&] { desktop->hscroll(-3); }},
        {"press", [&] { desktop->press("enter"); }},
        {"hotkey", [&] { desktop->hotkey({"ctrl", "c"}); }},
        {"key_down", [&] { desktop->key_down("shift"); }},
        {"key_up", [&] { desktop->key_up("shift"); }},
        {"write", [&] { desktop->write("h\xc3\xa9llo", 0); }},
        {"screenshot", [&] { desktop->screenshot(); }},
        {"output", [&] { desktop->output(); }},
    };
    for (const auto& [name, action] : actions) {
        bool lost = false;
        std::string text;
        ASSERT_TRUE(ends([&] {
            try {
                action();
            } catch (const pc::DesktopLostError& e) {
                lost = true;
                text = e.what();
            } catch (const pc::DesktopError&) {
            }
        })) << name << " hung on a dead compositor";
        EXPECT_TRUE(lost) << name << " did not report the compositor lost";
        EXPECT_THAT(text, AllOf(HasSubstr(sway.socket()), HasSubstr("was lost"), HasSubstr("open a new desktop"))) << name;
    }
    EXPECT_TRUE(ends([&] { desktop.reset(); })) << "destroying the desktop of a dead compositor hung";
}

TEST(WaylandLostCompositor, TheExecutorsActionAfterARestartUsesTheNewCompositorAndMeasuresItsScreen) {
    if (!Sway::unavailable().empty()) GTEST_SKIP() << Sway::unavailable();
    Sway sway(1280, 800);
    Environment env;
    env.set("NORVEX_DESKTOP", nullptr);
    env.set("WAYLAND_DISPLAY", sway.socket().c_str());
    env.set("XDG_SESSION_TYPE", "wayland");
    env.set("DISPLAY", nullptr);
    ScratchDir data{"norvex_wayland_restart_"};
    // The executor's own defaults: the session's desktop and its measured screen.
    pc::deskhand::DeskhandExecutor executor(pc::deskhand::DeskhandOptions{.data_dir = data.path()});
    auto move = [&](int x, int y) {
        boost::json::object params;
        params["coordinate"] = boost::json::array{x, y};
        return executor.execute_action("mouse_move", params);
    };
    ASSERT_EQ(move(10, 10).at("type"), "text");
    const boost::json::object before = executor.get_display_info();
    EXPECT_EQ(before.at("screen_width"), 1280);
    EXPECT_EQ(before.at("api_width"), 1280) << "a screen this small is not scaled";

    sway.kill();
    const boost::json::object lost = move(20, 20);
    ASSERT_EQ(lost.at("type"), "error") << pyjson::dumps(lost);
    EXPECT_EQ(std::string(lost.at("error").as_string()),
              "Action mouse_move failed: the connection to the Wayland compositor '" + sway.socket() +
                  "' was lost (the compositor stopped or closed it); the next action connects to the display "
                  "again, so repeat it once the display server is running");

    // Back on the same socket, larger: past the image limits, so the scale changes too.
    sway.start_again(2560, 1440);
    const boost::json::object moved = move(1000, 500);
    ASSERT_EQ(moved.at("type"), "text") << pyjson::dumps(moved);
    const boost::json::object info = executor.get_display_info();
    EXPECT_EQ(info.at("screen_width"), 2560);
    EXPECT_EQ(info.at("screen_height"), 1440);
    const double scale = info.at("scale_factor").as_double();
    EXPECT_LT(scale, 1.0);
    // The shown factor is rounded to three places.
    EXPECT_NEAR(static_cast<double>(info.at("api_width").as_int64()) / 2560, scale, 0.001);
    EXPECT_NEAR(static_cast<double>(info.at("api_height").as_int64()) / 1440, scale, 0.001);
    const auto [x, y] = executor._to_screen_coords(1000, 500);
    EXPECT_GT(x, 1000) << "converted with the scale of the compositor that died";
    EXPECT_EQ(std::string(moved.at("text").as_string()),
              "Moved cursor to (" + std::to_string(x) + ", " + std::to_string(y) + ")");

    // A client of the new compositor sees the pointer where the model put it, and the keys.
    Probe probe(sway);
    const auto entered = probe.wait_for("pointer-enter", 1);
    EXPECT_EQ(entered.at(0), "pointer-enter " + std::to_string(x) + ".00 " + std::to_string(y) + ".00");
    const boost::json::object typed = executor.execute_action("type", boost::json::parse(R"({"text": "back"})").as_object());
    EXPECT_EQ(pyjson::dumps(typed), R"({"type": "text", "text": "Typed: back"})");
    EXPECT_EQ(probe.wait_for_text(4), "back");
    const boost::json::object shot = executor.execute_action("screenshot");
    EXPECT_EQ(shot.at("type"), "image") << pyjson::dumps(shot);
}

TEST(WaylandStoppedCompositor, ACallGivesUpWithAClearErrorAndTheNextWorksOnceItRuns) {
    if (!Sway::unavailable().empty()) GTEST_SKIP() << Sway::unavailable();
    Sway sway;
    pc::WaylandDesktopOptions options;
    options.answer_timeout_seconds = 0.5;
    pc::WaylandDesktop desktop(sway.socket(), options);
    ::kill(sway.pid(), SIGSTOP);
    std::string text;
    bool lost = false;
    try {
        desktop.screenshot();
    } catch (const pc::DesktopLostError&) {
        lost = true;
    } catch (const pc::DesktopError& e) {
        text = e.what();
    }
    ::kill(sway.pid(), SIGCONT);
    EXPECT_FALSE(lost) << "a stopped compositor is not a lost one";
    EXPECT_THAT(text, AllOf(HasSubstr("did not answer"), HasSubstr("not stopped")));
    // The late answer to the abandoned call is dropped; the desktop goes on.
    EXPECT_EQ(desktop.screenshot().width, 1920);
    desktop.click(3, 4);
    EXPECT_EQ(desktop.position(), std::make_pair(3, 4));
}

}  // namespace
}  // namespace norvex::testing
