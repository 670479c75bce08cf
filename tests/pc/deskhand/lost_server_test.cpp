// The executor when its X server dies: every action comes back as an error map, the process lives, teardown returns.
#include "tests/support/returns.hpp"
#include "tests/support/scratch_dir.hpp"
#include "tests/support/xvfb.hpp"

#include "norvex/common/pyjson.hpp"
#include "norvex/pc/deskhand/actions.hpp"
#include "norvex/pc/deskhand/executor.hpp"

#include <boost/json/parse.hpp>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
        dh::DeskhandOptions options{.data_dir = data.path()};
        // No clipboard program: "type" takes the long path, a key per character.
        options.open_clipboard = []() -> std::unique_ptr<pc::Clipboard> {
            throw pc::DesktopError("no clipboard program installed");
        };
        auto executor = std::make_unique<dh::DeskhandExecutor>(std::move(options));
        // The desktop open, with the shared-memory image of a first screenshot.
        ASSERT_EQ(executor->execute_action("screenshot").at("type"), "image");
        server.kill();

        boost::json::object params;
        if (action == "type") {
            params["text"] = long_text;
        } else if (const auto it = LONG_PARAMS.find(action); it != LONG_PARAMS.end()) {
            params = boost::json::parse(it->second).as_object();
        }
        // The first call finds the break, the second starts on a lost connection.
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
            } else {
                EXPECT_EQ(error, "Action " + action + " failed: the connection to X display '" + server.display() +
                                     "' was lost (the X server stopped or closed it); start the server again and "
                                     "make a new desktop");
            }
        }
        // Destroyed on another thread while the one that saw the break lives
        // on, as `norvex mcp` does it.
        ASSERT_TRUE(returns([executor = std::move(executor)]() mutable { executor.reset(); }))
            << "destroying the executor of a dead server hangs";
    }
}

}  // namespace
}  // namespace norvex::testing
