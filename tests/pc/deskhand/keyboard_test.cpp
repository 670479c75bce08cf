// Typing, keys and combinations, holding a key and waiting: texts, desktop calls and pauses.
#include "executor_rig.hpp"

#include "norvex/common/log_capture.hpp"
#include "norvex/pc/deskhand/key_map.hpp"

#include <gtest/gtest.h>

namespace norvex::pc::deskhand {
namespace {

using testing::ExecutorRig;
using testing::obj;
using Calls = std::vector<std::string>;

std::string result_text(const boost::json::object& r) {
    const char* key = r.at("type").as_string() == "error" ? "error" : "text";
    return std::string(r.at(key).as_string());
}

boost::json::object with_text(const std::string& text) { return {{"text", text}}; }

TEST(Type, SendsKeyEventsWithoutPausesAndLeavesTheClipboardAlone) {
    ExecutorRig rig;
    auto ex = rig.make();
    EXPECT_EQ(result_text(ex->execute_action("type", with_text("héllo wörld"))), "Typed: héllo wörld");
    EXPECT_EQ(rig.calls(), (Calls{"write(héllo wörld, 0.0)"}));
    EXPECT_EQ(rig.clipboard->texts(), Calls{}) << "typing must not overwrite the user's clipboard";
    EXPECT_TRUE(rig.sleeps.empty());
}

TEST(Type, DarwinTypesKeysAsWell) {
    ExecutorRig rig;
    rig.system = "Darwin";
    EXPECT_EQ(result_text(rig.make()->execute_action("type", with_text("hi"))), "Typed: hi");
    EXPECT_EQ(rig.calls(), (Calls{"write(hi, 0.0)"}));
}

TEST(Type, NeedsNoClipboardProgram) {
    ExecutorRig rig;
    rig.clipboard_available = false;
    EXPECT_EQ(result_text(rig.make()->execute_action("type", with_text("hi"))), "Typed: hi");
    EXPECT_EQ(rig.calls(), (Calls{"write(hi, 0.0)"}));
}

TEST(Type, KeyEventsThatFailAreAnErrorNeverTyped) {
    logging::LogCapture logs("norvex.pc.deskhand");
    ExecutorRig rig;
    rig.clipboard_fails = true;  // no longer in the way either
    rig.prepare = [](pc::RecordingDesktop& d) { d.fail_on = "write"; };
    EXPECT_EQ(pyjson::dumps(rig.make()->execute_action("type", with_text("hi"))),
              R"({"type": "error", "error": "Action type failed: recording desktop told to fail on write"})");
    EXPECT_EQ(rig.calls(), Calls{"write(hi, 0.0)"});
    EXPECT_EQ(logs.messages(spdlog::level::err).size(), 1u);
}

TEST(Type, ShowsFiftyCodePointsThenAnEllipsis) {
    ExecutorRig rig;
    auto ex = rig.make();
    const std::string fifty(50, 'a');
    EXPECT_EQ(result_text(ex->execute_action("type", with_text(fifty))), "Typed: " + fifty);
    EXPECT_EQ(result_text(ex->execute_action("type", with_text(fifty + std::string(10, 'b')))),
              "Typed: " + fifty + "...");
    std::string accents;
    for (int i = 0; i < 51; ++i) accents += "é";
    const std::string shown = result_text(ex->execute_action("type", with_text(accents)));
    EXPECT_EQ(shown, "Typed: " + accents.substr(0, 100) + "...");
}

TEST(TextParameters, EmptyOrNullIsAValidationErrorBeforeTheDesktop) {
    logging::LogCapture logs("norvex.pc.deskhand");
    ExecutorRig rig;
    auto ex = rig.make();
    for (const char* action : {"type", "key", "hold_key"}) {
        const std::string expected = std::string(action) + " requires text parameter";
        EXPECT_EQ(result_text(ex->execute_action(action)), expected);
        EXPECT_EQ(result_text(ex->execute_action(action, obj(R"({"text": ""})"))), expected);
        EXPECT_EQ(result_text(ex->execute_action(action, obj(R"({"text": null})"))), expected);
    }
    EXPECT_EQ(rig.desktops_opened, 0);
    EXPECT_TRUE(logs.records().size() == 1);  // only the detection line
}

TEST(KeyMap, HasTheTwentySevenNamesOfTheModel) {
    EXPECT_EQ(key_map().size(), 27u);
    EXPECT_EQ(mapped_key("Page_Down"), "pagedown");
    EXPECT_EQ(mapped_key("Super_R"), "win");
    EXPECT_EQ(mapped_key("BackSpace"), "backspace");
    EXPECT_EQ(mapped_key("RETURN"), std::nullopt);  // exact, case included
}

TEST(Key, SingleKeysAreMappedOrLowered) {
    ExecutorRig rig;
    auto ex = rig.make();
    EXPECT_EQ(result_text(ex->execute_action("key", with_text("Return"))), "Pressed: enter");
    EXPECT_EQ(result_text(ex->execute_action("key", with_text("F5"))), "Pressed: f5");
    EXPECT_EQ(result_text(ex->execute_action("key", with_text(" Tab"))), "Pressed:  tab");  // no trimming alone
    EXPECT_EQ(rig.calls(), (Calls{"press(enter)", "press(f5)", "press( tab)"}));
}

TEST(Key, CombinationsAreSplitTrimmedAndMapped) {
    ExecutorRig rig;
    auto ex = rig.make();
    EXPECT_EQ(result_text(ex->execute_action("key", with_text("ctrl+s"))), "Pressed: ctrl+s");
    EXPECT_EQ(result_text(ex->execute_action("key", with_text("Control_L + Shift_L + T"))), "Pressed: ctrl+shift+t");
    EXPECT_EQ(result_text(ex->execute_action("key", with_text("alt+"))), "Pressed: alt+");
    EXPECT_EQ(rig.calls(), (Calls{"hotkey(ctrl, s)", "hotkey(ctrl, shift, t)", "hotkey(alt, )"}));
}

TEST(Key, DarwinTurnsCtrlIntoCommandInCombinationsOnly) {
    ExecutorRig rig;
    rig.system = "Darwin";
    auto ex = rig.make();
    EXPECT_EQ(result_text(ex->execute_action("key", with_text("ctrl+s"))), "Pressed: command+s");
    EXPECT_EQ(result_text(ex->execute_action("key", with_text("Control_L+c"))), "Pressed: command+c");
    EXPECT_EQ(result_text(ex->execute_action("key", with_text("ctrl"))), "Pressed: ctrl");
    EXPECT_EQ(rig.calls(), (Calls{"hotkey(command, s)", "hotkey(command, c)", "press(ctrl)"}));
}

TEST(HoldKey, LowersWithoutTheMapAndCapsThePauseAtFiveSeconds) {
    ExecutorRig rig;
    auto ex = rig.make();
    EXPECT_EQ(result_text(ex->execute_action("hold_key", obj(R"({"text": "Shift_L", "duration": 8})"))),
              "Held shift_l for 8.0s");
    EXPECT_EQ(result_text(ex->execute_action("hold_key", with_text("a"))), "Held a for 0.5s");
    EXPECT_EQ(rig.calls(), (Calls{"key_down(shift_l)", "sleep(5.0)", "key_up(shift_l)", "key_down(a)", "sleep(0.5)",
                                  "key_up(a)"}));
}

TEST(HoldKey, NegativeDurationIsRefusedBeforeAnyKeyGoesDown) {
    logging::LogCapture logs("norvex.pc.deskhand");
    ExecutorRig rig;
    auto ex = rig.make();
    EXPECT_EQ(result_text(ex->execute_action("hold_key", obj(R"({"text": "a", "duration": -1})"))),
              "hold_key requires a duration of 0 or more seconds, got -1.0");
    EXPECT_EQ(rig.calls(), Calls{});
    EXPECT_TRUE(logs.messages(spdlog::level::err).empty());
}

TEST(Wait, CapsAtTenSecondsAndReportsTheTimeWaited) {
    ExecutorRig rig;
    auto ex = rig.make();
    EXPECT_EQ(result_text(ex->execute_action("wait", obj(R"({"duration": 30})"))), "Waited 10.0s");
    EXPECT_EQ(result_text(ex->execute_action("wait")), "Waited 1.0s");
    EXPECT_EQ(result_text(ex->execute_action("wait", obj(R"({"duration": 1e-05})"))), "Waited 1e-05s");
    EXPECT_EQ(rig.sleeps, (std::vector<double>{10.0, 1.0, 1e-05}));
}

TEST(Wait, NegativeDurationFailsTheActionWithoutPausing) {
    ExecutorRig rig;
    EXPECT_EQ(result_text(rig.make()->execute_action("wait", obj(R"({"duration": -2})"))),
              "Action wait failed: sleep length must be non-negative; give the duration in seconds, 0 or more");
    EXPECT_TRUE(rig.sleeps.empty());
}

}  // namespace
}  // namespace norvex::pc::deskhand
