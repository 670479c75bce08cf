// The executor when its X server dies: every action comes back as an error map, the process lives, teardown returns, and a restarted server is used again.
#include "tests/support/returns.hpp"
#include "tests/support/scratch_dir.hpp"
#include "tests/support/xvfb.hpp"

#include "norvex/common/pyjson.hpp"
#include "norvex/pc/deskhand/actions.hpp"
#include "norvex/pc/deskhand/executor.hpp"

#include <boost/json/parse.hpp>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

// Xlib's macros (Bool, Status, ...) after every header that uses those names.
#include "tests/pc/desktop/event_window.hpp"

#include <cstdlib>
#include <map>
#include <optional>

namespace norvex::testing {
namespace {

namespace dh = pc::deskhand;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// Parameters that make each action as long as it may be; an action missing
// here runs with its defaults.
const std::map<std::string, std::string, std::less<>> LONG_PARAMS = {
    {"left_click", R"({"coordinate": [10, 10]})"},
    {"right_click", R"({"coordinate": [10, 10]})"},
    {"middle_click", R"({"coordinate": [10, 10]})"},
    {"double_click", R"({"coordinate": [10, 10]})"},
    {"triple_click", R"({"coordinate": [10, 10]})"},
    {"mouse_move", R"({"coordinate": [300, 200]})"},
    {"left_click_drag", R"({"start_coordinate": [0, 0], "coordinate": [400, 300]})"},
    {"left_mouse_down", R"({"coordinate": [20, 20]})"},
    {"scroll", R"({"coordinate": [50, 50], "direction": "down", "amount": 100})"},
    {"key", R"({"text": "ctrl+shift+Page_Down"})"},
    {"hold_key", R"({"text": "a", "duration": 0.1})"},
    {"wait", R"({"duration": 0.01})"},
};

// DISPLAY pointed at a server for the life of the object.
class DisplayVariable {
public:
    explicit DisplayVariable(const std::string& display) {
        if (const char* old = std::getenv("DISPLAY")) saved_ = old;
        ::setenv("DISPLAY", display.c_str(), 1);
    }
    ~DisplayVariable() {
        if (saved_)
            ::setenv("DISPLAY", saved_->c_str(), 1);
        else
            ::unsetenv("DISPLAY");
    }

private:
    std::optional<std::string> saved_;
};

TEST(ExecutorLostServer, EveryActionIsAnErrorMapAndTheExecutorStillGoesQuietly) {
    if (!Xvfb::installed()) GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps.sh installs it)";
    ScratchDir data{"norvex_deskhand_lost_"};
    // Text typed key by key: far more requests than Xlib's output buffer holds.
    const std::string long_text = std::string(4000, 'W') + " \u20ac";
    for (const dh::ActionSignature& signature : dh::action_signatures()) {
        const std::string action(signature.name);
        SCOPED_TRACE(action);
        Xvfb server(800, 600);
        DisplayVariable variable(server.display());
        auto executor = std::make_unique<dh::DeskhandExecutor>(dh::DeskhandOptions{.data_dir = data.path()});
        // The desktop open, with the shared-memory image of a first screenshot.
        ASSERT_EQ(executor->execute_action("screenshot").at("type"), "image");
        server.kill();

        boost::json::object params;
        if (action == "type") {
            params["text"] = long_text;
        } else if (const auto it = LONG_PARAMS.find(action); it != LONG_PARAMS.end()) {
            params = boost::json::parse(it->second).as_object();
        }
        // The first call finds the break; the second tries a new connection,
        // which the dead server refuses.
        for (int attempt = 0; attempt < 2; ++attempt) {
            const boost::json::object result = executor->execute_action(action, params);
            if (action == "wait") {
                // The one action that needs no desktop.
                EXPECT_EQ(result.at("type"), "text") << pyjson::dumps(result);
                continue;
            }
            ASSERT_EQ(result.at("type"), "error") << pyjson::dumps(result);
            const std::string error(result.at("error").as_string());
            if (action == "screenshot") {
                // The capture programs are tried when the desktop cannot capture; they fail too.
                EXPECT_THAT(error, StartsWith("Screenshot fallback failed: "));
            } else if (attempt == 0) {
                EXPECT_EQ(error, "Action " + action + " failed: the connection to X display '" + server.display() +
                                     "' was lost (the X server stopped or closed it); the next action connects to "
                                     "the display again, so repeat it once the display server is running");
            } else {
                EXPECT_EQ(error, "Action " + action + " failed: cannot open X display '" + server.display() +
                                     "' ($DISPLAY); start an X server or set DISPLAY");
            }
        }
        // Destroyed on another thread while the one that saw the break lives
        // on, as `norvex mcp` does it.
        ASSERT_TRUE(returns([executor = std::move(executor)]() mutable { executor.reset(); }))
            << "destroying the executor of a dead server hangs";
    }
}

TEST(ExecutorLostServer, TheActionAfterARestartConnectsAgainAndMeasuresTheNewScreen) {
    if (!Xvfb::installed()) GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps.sh installs it)";
    ScratchDir data{"norvex_deskhand_restart_"};
    Xvfb server(800, 600);
    DisplayVariable variable(server.display());
    dh::DeskhandExecutor executor(dh::DeskhandOptions{.data_dir = data.path()});
    ASSERT_EQ(executor.execute_action("mouse_move", boost::json::parse(R"({"coordinate": [10, 10]})").as_object())
                  .at("type"),
              "text");
    EXPECT_EQ(executor.get_display_info().at("screen_width"), 800);

    server.kill();
    const boost::json::object lost = executor.execute_action("cursor_position");
    ASSERT_EQ(lost.at("type"), "error") << pyjson::dumps(lost);
    EXPECT_THAT(std::string(lost.at("error").as_string()),
                HasSubstr("was lost (the X server stopped or closed it); the next action connects to the display "
                          "again"));

    // Back, larger than before: past the image limits, so the scale changes too.
    server.start_again(2560, 1440);
    EventWindow window(server.display());
    const boost::json::object moved =
        executor.execute_action("mouse_move", boost::json::parse(R"({"coordinate": [1000, 500]})").as_object());
    ASSERT_EQ(moved.at("type"), "text") << pyjson::dumps(moved);
    const boost::json::object info = executor.get_display_info();
    EXPECT_EQ(pyjson::dumps(info), R"({"screen_width": 2560, "screen_height": 1440, "api_width": 1429, )"
                                   R"("api_height": 804, "scale_factor": 0.559, "last_screenshot": null})");
    // The model's point, converted with the new scale, is where the pointer is.
    const auto [x, y] = executor._to_screen_coords(1000, 500);
    EXPECT_EQ(std::string(moved.at("text").as_string()), "Moved cursor to (" + std::to_string(x) + ", " + std::to_string(y) + ")");
    EXPECT_GT(x, 1429) << "converted with the 800x600 scale of the server that died";
    const boost::json::object typed = executor.execute_action("type", boost::json::parse(R"({"text": "back"})").as_object());
    EXPECT_EQ(pyjson::dumps(typed), R"({"type": "text", "text": "Typed: back"})");
    EXPECT_EQ(window.wait_for_text(4), "back");
    const boost::json::object shot = executor.execute_action("screenshot");
    EXPECT_EQ(shot.at("type"), "image") << pyjson::dumps(shot);
}

}  // namespace
}  // namespace norvex::testing
