// The Wayland desktop's keys and typing against a real headless sway: the probe's own keymap decodes them, and foot's cat writes them down.
#include "wayland_fixture.hpp"

#include <linux/input-event-codes.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <signal.h>
#include <sys/wait.h>

namespace norvex::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

using WaylandKeys = WaylandTest<1>;

// "key CODE pressed NAME HEX" -> "pressed NAME HEX" (the code depends on the layout).
std::vector<std::string> key_events(Probe& probe, std::size_t n) {
    std::vector<std::string> out;
    for (const auto& l : probe.wait_for("key ", n)) out.push_back(l.substr(l.find(' ', 4) + 1));
    return out;
}

TEST_F(WaylandKeys, HotkeysGoDownInOrderAndUpInReverseWithTheirModifiers) {
    desktop().hotkey({"ctrl", "shift", "a"});
    // The probe's xkb state follows the modifiers we send: Shift makes the a
    // key type "A", Control makes its text the control character 0x01.
    EXPECT_THAT(key_events(probe(), 6),
                ElementsAre("pressed Control_L -", "pressed Shift_L -", "pressed A 01", "released A 01",
                            "released Shift_L -", "released Control_L -"));
    probe().clear();
    desktop().press("enter");
    desktop().press("F5");
    EXPECT_THAT(key_events(probe(), 4), ElementsAre("pressed Return 0d", "released Return 0d", "pressed F5 -", "released F5 -"));
}

TEST_F(WaylandKeys, HeldKeysStayDownAcrossCallsAndUnknownNamesPressNothing) {
    desktop().key_down("shift");
    desktop().press("b");
    desktop().key_up("shift");
    desktop().press("b");
    EXPECT_EQ(probe().wait_for_text(2), "Bb");

    // A character the layout lacks, held on a lent key until released.
    desktop().key_down("ß");
    desktop().key_up("ß");
    EXPECT_EQ(probe().wait_for_text(4), "Bb\xc3\x9f");
    probe().wait_until([](const auto& l) { return !l.empty() && l.back().find("released ssharp") != std::string::npos; });
    probe().clear();
    try {
        desktop().hotkey({"ctrl", "nosuchkey"});
        FAIL() << "an unknown key name was accepted";
    } catch (const pc::DesktopError& e) {
        EXPECT_THAT(e.what(), HasSubstr("unknown key name 'nosuchkey'"));
    }
    desktop().press("c");
    // Nothing of the refused hotkey arrived before the next key.
    EXPECT_THAT(key_events(probe(), 2), ElementsAre("pressed c 63", "released c 63"));
}

TEST_F(WaylandKeys, WriteTypesTheLayoutsCharactersAndLendsKeysToTheRest) {
    const std::string text = "Hi, w\xc3\xb6rld \xe2\x82\xac \xe2\x9c\x93 \xce\xa9!\n\tend";
    desktop().write(text, 0);
    // Return and Tab type "\r" and "\t" through the keymap.
    EXPECT_EQ(probe().wait_for_text(text.size()), "Hi, w\xc3\xb6rld \xe2\x82\xac \xe2\x9c\x93 \xce\xa9!\r\tend");
    // The characters the layout lacks came with a keymap that had them, and
    // the layout came back after: the a key types "a" again.
    desktop().press("a");
    const std::string a_up = "key " + std::to_string(KEY_A) + " released a 61";
    const auto lines = probe().wait_until([&](const auto& l) { return !l.empty() && l.back() == a_up; });
    EXPECT_GE(count_starting(lines, "keymap"), 2u);
    EXPECT_EQ(lines.back(), a_up);
    EXPECT_EQ(lines[lines.size() - 2], "key " + std::to_string(KEY_A) + " pressed a 61");
}

TEST_F(WaylandKeys, AStoppedWriteLeavesNoKeyDownAndTheLayoutBack) {
    int checks = 0;
    struct Stop {};
    desktop().set_interruption([&] {
        if (++checks == 4) throw Stop{};
    });
    // Stopped before the fourth character, inside a run of lent keys.
    EXPECT_THROW(desktop().write("\xc3\xa9\xc3\xa8\xc3\xaa\xc3\xab\xc3\xac", 0), Stop);
    desktop().set_interruption({});
    EXPECT_EQ(probe().wait_for_text(6), "\xc3\xa9\xc3\xa8\xc3\xaa");
    desktop().press("a");
    const std::string a_up = "key " + std::to_string(KEY_A) + " released a 61";
    const auto lines = probe().wait_until([&](const auto& l) { return !l.empty() && l.back() == a_up; });
    EXPECT_EQ(probe().typed_text(), "\xc3\xa9\xc3\xa8\xc3\xaa" "a");
    // Every key that went down came up, and the plain layout was uploaded again after the last lent key.
    EXPECT_EQ(count_starting(lines, "key ") % 2, 0u);
    const auto last_lent = std::find_if(lines.rbegin(), lines.rend(),
                                        [](const auto& l) { return l.find("ecircumflex") != std::string::npos; });
    ASSERT_NE(last_lent, lines.rend());
    EXPECT_NE(std::find(lines.rbegin(), last_lent, "keymap"), last_lent);
}

TEST_F(WaylandKeys, LongTextWithManyCharactersOutsideTheLayoutArrivesWhole) {
    // More distinct foreign characters than one keymap has keys to lend: several runs.
    std::string text;
    for (char32_t c = U'\u0410'; c < U'\u0410' + 150; ++c) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
        if (c % 10 == 0) text += "x";
    }
    desktop().write(text, 0);
    EXPECT_EQ(probe().wait_for_text(text.size()), text);
}

// foot running cat: a real terminal's keyboard handling, start to end.
class WaylandFoot : public SwaySuite<1> {
protected:
    void SetUp() override {
        SwaySuite<1>::SetUp();
        if (IsSkipped()) return;
        if (std::system("command -v foot >/dev/null 2>&1") != 0) GTEST_SKIP() << "foot is not installed (scripts/install-deps.sh test installs it)";
        desktop_ = std::make_unique<pc::WaylandDesktop>(sway().socket());
        file_ = sway().runtime_dir() + "/typed-" + std::to_string(::getpid());
        foot_.emplace(std::vector<std::string>{"foot", "--", "sh", "-c", "cat > " + file_}, sway());
        // The shell made the file before cat runs; cat reads what foot sends once foot has the focus.
        for (int i = 0; i < 1000 && !std::filesystem::exists(file_); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(std::filesystem::exists(file_)) << "foot did not start its shell";
    }
    void TearDown() override {
        foot_.reset();
        desktop_.reset();
        std::error_code ec;
        std::filesystem::remove(file_, ec);
    }
    // What cat has written so far, once it is at least `bytes` long or `attempts` looks (10 ms apart) have passed.
    std::string written(std::size_t bytes, int attempts = 1000) {
        std::string text;
        for (int i = 0; i < attempts; ++i) {
            std::ifstream in(file_, std::ios::binary);
            std::stringstream all;
            all << in.rdbuf();
            text = all.str();
            if (text.size() >= bytes) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return text;
    }
    // foot takes the focus when it maps; keys sent before that go nowhere,
    // so a first line repeats until one arrives, and a last one marks where
    // the repeats end. Gives how much cat has written by then.
    std::size_t focused() {
        for (int i = 0; i < 100 && written(1, 20).empty(); ++i) desktop_->write("ready\n", 0);
        if (written(1).empty()) ADD_FAILURE() << "foot never got the keyboard focus";
        desktop_->write("go\n", 0);
        std::string so_far;
        for (int i = 0; i < 1000 && !(so_far = written(1)).ends_with("go\n"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!so_far.ends_with("go\n")) ADD_FAILURE() << "foot's cat never wrote the marking line; it wrote: " << so_far;
        return so_far.size();
    }

    std::unique_ptr<pc::WaylandDesktop> desktop_;
    std::optional<ClientProgram> foot_;
    std::string file_;
};

TEST_F(WaylandFoot, TypedTextReachesATerminal) {
    const std::size_t before = focused();
    ASSERT_FALSE(HasFailure());
    const std::string line = "echo 'caf\xc3\xa9' \xe2\x82\xac" "5 \xe6\x97\xa5\xe6\x9c\xac <>|&\n";
    desktop_->write(line, 0);
    const std::string text = written(before + line.size());
    EXPECT_EQ(text.substr(before), line);
}

TEST_F(WaylandFoot, ATerminalThatStallsWhileALongTextIsTypedIsNotCutOffAndGetsAllOfIt) {
    const std::size_t before = focused();
    ASSERT_FALSE(HasFailure());
    // Shifted letters and punctuation, the most events per character: more
    // than the compositor holds for a client that reads nothing, sent back to back.
    std::string text;
    const std::string line = "grep -rn \"TODO(X)\" src/ | wc -l; echo $HOME && ls ~/*.PDF";
    while (text.size() + line.size() + 1 <= 2500) text += line + "\n";
    // A terminal busy drawing, or left unscheduled on a loaded machine,
    // reads nothing for a while: here, for half a second of the typing.
    ::kill(foot_->pid(), SIGSTOP);
    std::thread typist([&] { desktop_->write(text, 0); });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ::kill(foot_->pid(), SIGCONT);
    typist.join();
    const std::string got = written(before + text.size());
    EXPECT_EQ(got.size() - before, text.size()) << "the compositor cut the terminal off, or dropped keys";
    EXPECT_TRUE(got.substr(before) == text) << "the text arrived changed";
    int status = 0;
    EXPECT_EQ(::waitpid(foot_->pid(), &status, WNOHANG), 0) << "foot ended: the compositor cut it off";
}

}  // namespace
}  // namespace norvex::testing
