// Keys, hotkeys and typed text through XTest, as a plain X client reads them.
#include "desktop_fixture.hpp"

#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <gmock/gmock.h>

#include "norvex/common/pystr.hpp"

#include <chrono>

namespace norvex::testing {
namespace {

using ::testing::ElementsAre;

std::vector<KeySym> keysyms_of(const std::vector<SeenEvent>& events, int type) {
    std::vector<KeySym> out;
    for (const auto& e : events)
        if (e.type == type) out.push_back(e.keysym);
    return out;
}

bool is_modifier(KeySym ks) { return IsModifierKey(ks); }

// The core keyboard map as a client reads it, for before-and-after comparisons.
std::vector<KeySym> keyboard_map(const std::string& display) {
    Display* d = XOpenDisplay(display.c_str());
    int min = 0;
    int max = 0;
    int per = 0;
    XDisplayKeycodes(d, &min, &max);
    KeySym* syms = XGetKeyboardMapping(d, static_cast<KeyCode>(min), max - min + 1, &per);
    std::vector<KeySym> out(syms, syms + (max - min + 1) * per);
    XFree(syms);
    XCloseDisplay(d);
    return out;
}

using X11Keyboard = DesktopTest;

TEST_F(X11Keyboard, NamedKeysPressTheirKeysyms) {
    const std::vector<std::pair<std::string, KeySym>> cases = {
        {"enter", XK_Return},  {"backspace", XK_BackSpace}, {"delete", XK_Delete},  {"esc", XK_Escape},
        {"escape", XK_Escape}, {"tab", XK_Tab},             {"space", XK_space},    {"up", XK_Up},
        {"down", XK_Down},     {"left", XK_Left},           {"right", XK_Right},    {"home", XK_Home},
        {"end", XK_End},       {"pageup", XK_Prior},        {"pagedown", XK_Next},  {"f1", XK_F1},
        {"f5", XK_F5},         {"F12", XK_F12},             {"a", XK_a},            {"7", XK_7},
        {"comma", XK_comma},   {"-", XK_minus},             {"Return", XK_Return},  {"BackSpace", XK_BackSpace},
    };
    for (const auto& [name, expected] : cases) {
        window().clear();
        desktop().press(name);
        const auto events = window().wait_for_count(KeyRelease, 1);
        EXPECT_THAT(keysyms_of(events, KeyPress), ElementsAre(expected)) << name;
    }
}

TEST_F(X11Keyboard, ShiftedCharactersArePressedWithShift) {
    desktop().press("+");
    desktop().press("A");
    const auto events = window().wait_for_count(KeyRelease, 4);
    std::vector<KeySym> typed;
    for (const auto& e : events)
        if (e.type == KeyPress && !is_modifier(e.keysym)) {
            typed.push_back(e.keysym);
            EXPECT_TRUE(e.state & ShiftMask);
        }
    EXPECT_THAT(typed, ElementsAre(XK_plus, XK_A));
    EXPECT_EQ(window().typed_text(), "+A");
}

TEST_F(X11Keyboard, ModifierNamesPressTheLeftModifiers) {
    for (const auto& [name, expected] : std::vector<std::pair<std::string, KeySym>>{
             {"ctrl", XK_Control_L}, {"alt", XK_Alt_L}, {"shift", XK_Shift_L}, {"win", XK_Super_L},
             {"super", XK_Super_L},  {"command", XK_Super_L}, {"shift_l", XK_Shift_L}}) {
        window().clear();
        desktop().press(name);
        EXPECT_THAT(keysyms_of(window().wait_for_count(KeyRelease, 1), KeyPress), ElementsAre(expected)) << name;
    }
}

TEST_F(X11Keyboard, HotkeyPressesInOrderAndReleasesInReverse) {
    desktop().hotkey({"ctrl", "shift", "t"});
    const auto events = window().wait_for_count(KeyRelease, 3);
    EXPECT_THAT(keysyms_of(events, KeyPress), ElementsAre(XK_Control_L, XK_Shift_L, XK_T));
    // The client sees t with both modifiers held; released t reads as T too.
    std::vector<int> order;
    for (const auto& e : events) order.push_back(e.type);
    EXPECT_THAT(order, ElementsAre(KeyPress, KeyPress, KeyPress, KeyRelease, KeyRelease, KeyRelease));
    EXPECT_EQ(events[2].state & (ControlMask | ShiftMask), static_cast<unsigned>(ControlMask | ShiftMask));
    EXPECT_THAT(keysyms_of(events, KeyRelease), ElementsAre(XK_T, XK_Shift_L, XK_Control_L));
}

TEST_F(X11Keyboard, HeldKeyStaysDownUntilReleased) {
    desktop().key_down("shift");
    desktop().press("a");
    desktop().key_up("shift");
    desktop().press("a");
    window().wait_for_count(KeyRelease, 4);
    EXPECT_EQ(window().typed_text(), "Aa");
}

TEST_F(X11Keyboard, UnknownKeyNameThrowsAndPressesNothing) {
    try {
        desktop().hotkey({"ctrl", "nosuchkey"});
        FAIL() << "no error for an unknown key";
    } catch (const pc::DesktopError& e) {
        EXPECT_THAT(e.what(), ::testing::HasSubstr("unknown key name 'nosuchkey'"));
    }
    EXPECT_THROW(desktop().press(""), pc::DesktopError);
    EXPECT_THROW(desktop().key_down("f99"), pc::DesktopError);
    desktop().press("x");  // a marker: everything sent before it has arrived when it has
    EXPECT_THAT(keysyms_of(window().wait_for_count(KeyRelease, 1), KeyPress), ElementsAre(XK_x));
}

TEST_F(X11Keyboard, WriteTypesAsciiTextWithShiftWhereNeeded) {
    const std::string text = "Hello, World! (x_1 + y/2) = \"ok\"; ~`@#$%^&*[]{}|<>?";
    desktop().write(text, 0);
    EXPECT_EQ(window().wait_for_text(text.size()), text);
}

TEST_F(X11Keyboard, WriteTypesLineEndsAsReturnAndTabsAsTab) {
    desktop().write("a\tb\nc\r\nd", 0);
    // A client reads Return as a carriage return; one Return for the CRLF pair.
    EXPECT_EQ(window().wait_for_text(7), "a\tb\rc\rd");
    std::vector<KeySym> specials;
    for (KeySym ks : keysyms_of(window().events(), KeyPress))
        if (ks == XK_Return || ks == XK_Tab) specials.push_back(ks);
    EXPECT_THAT(specials, ElementsAre(XK_Tab, XK_Return, XK_Return));
}

TEST_F(X11Keyboard, WriteTypesCharactersTheLayoutLacksAndPutsTheMapBack) {
    const auto before = keyboard_map(display());
    const std::string text = "h\u00e9llo \u20ac\u2192 \u00df\u00e9";  // héllo €→ ßé
    desktop().write(text, 0);
    EXPECT_EQ(window().wait_for_text(text.size()), text);
    EXPECT_EQ(keyboard_map(display()), before) << "the spare keycodes must be unbound again";
}

TEST_F(X11Keyboard, WriteCopesWithMoreStrangersThanSpareKeycodes) {
    // Far more distinct missing characters than a keyboard map has unused keycodes.
    const auto before = keyboard_map(display());
    std::string text;
    for (char32_t c = U'\u03b1'; c <= U'\u03c9'; ++c) pystr::append_utf8(text, c);
    for (char32_t c = U'\u0430'; c <= U'\u044f'; ++c) pystr::append_utf8(text, c);
    desktop().write(text, 0);
    EXPECT_EQ(window().wait_for_text(text.size()), text);
    EXPECT_EQ(keyboard_map(display()), before);
}

TEST_F(X11Keyboard, InterruptedWriteStopsBetweenCharactersAndLeavesNoKeyDownOrLentKey) {
    const auto before = keyboard_map(display());
    int asked = 0;
    desktop().set_interruption([&] {
        if (++asked > 4) throw std::runtime_error("stop");
    });
    // Shifted letters and a character the layout lacks, cut after the fourth.
    EXPECT_THROW(desktop().write("H\u20acLlo, world", 0), std::runtime_error);
    desktop().set_interruption({});
    desktop().press("enter");  // a marker: everything sent before it has arrived when it has
    const auto events = window().wait_until([](const std::vector<SeenEvent>& seen) {
        return !seen.empty() && seen.back().type == KeyRelease && seen.back().keysym == XK_Return;
    });
    EXPECT_EQ(window().typed_text(), "H\u20acLl\r");
    EXPECT_EQ(count_of(events, KeyPress), count_of(events, KeyRelease)) << "every key pressed is released";
    EXPECT_EQ(keyboard_map(display()), before) << "the lent key must be unbound again";
}

TEST_F(X11Keyboard, WriteWaitsTheIntervalBetweenCharacters) {
    const auto start = std::chrono::steady_clock::now();
    desktop().write("abcdef", 0.05);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(elapsed, 0.25) << "five gaps of 50 ms";
    EXPECT_EQ(window().wait_for_text(6), "abcdef");
}

TEST_F(X11Keyboard, HeldKeyMissingFromTheLayoutIsLentAKeyUntilReleased) {
    const auto before = keyboard_map(display());
    desktop().key_down("\u00a5");  // ¥
    const auto down = window().wait_for_count(KeyPress, 1);
    EXPECT_THAT(keysyms_of(down, KeyPress), ElementsAre(XK_yen));
    EXPECT_NE(keyboard_map(display()), before) << "bound while held";
    desktop().key_up("\u00a5");
    window().wait_for_count(KeyRelease, 1);
    EXPECT_EQ(keyboard_map(display()), before);
    EXPECT_EQ(window().typed_text(), "\u00a5");
}

}  // namespace
}  // namespace norvex::testing
