// "type" into a real terminal: xterm running cat under Xvfb gets the text, and the user's clipboard keeps its own.
#include "tests/support/scratch_dir.hpp"
#include "tests/support/xterm_cat.hpp"
#include "tests/support/xvfb.hpp"

#include "norvex/common/pyjson.hpp"
#include "norvex/common/run_program.hpp"
#include "norvex/pc/deskhand/executor.hpp"
#include "norvex/pc/desktop/program_clipboard.hpp"
#include "norvex/pc/desktop/x11_desktop.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <thread>

namespace norvex::testing {
namespace {

namespace dh = pc::deskhand;
using Clock = std::chrono::steady_clock;

class TerminalTyping : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Xvfb::installed() || !find_program("xterm") || !find_program("xclip"))
            GTEST_SKIP() << "needs Xvfb, xterm and xclip (scripts/install-deps.sh installs them)";
        server_.emplace(1024, 768);
        terminal_.emplace(server_->display(), scratch_.path() / "typed.txt");
        dh::DeskhandOptions options{.data_dir = scratch_.path()};
        const std::string display = server_->display();
        // The settle time the other keyboard tests give a recording client
        // on a machine busy with builds: xterm must look up a lent key
        // before it is taken back.
        options.open_desktop = [display]() -> std::unique_ptr<pc::Desktop> {
            return std::make_unique<pc::X11Desktop>(display, pc::X11DesktopOptions{.remap_settle_seconds = 0.6});
        };
        executor_.emplace(std::move(options));
        // No window manager: the keyboard follows the pointer.
        ASSERT_EQ(type("mouse_move", {{"coordinate", {100, 100}}}).at("type"), "text");
        // The terminal is ready once a key reaches cat.
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        while (terminal_->received().empty() && Clock::now() < deadline) {
            type("key", {{"text", "period"}});
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ASSERT_FALSE(terminal_->received().empty()) << "xterm never took a key";
        // Every probe that will ever arrive, arrived: a marker ends them.
        type("key", {{"text", "bar"}});
        const std::string probes = wait_until_ends_with("|");
        ASSERT_TRUE(probes.ends_with("|"));
        start_ = probes.size();
    }

    boost::json::object type(const std::string& action, const boost::json::object& params) {
        return executor_->execute_action(action, params);
    }
    // What cat received after the probes, once it ends with `tail` (or 20 s passed).
    std::string wait_until_ends_with(const std::string& tail) {
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        std::string seen = terminal_->received();
        while (!seen.ends_with(tail) && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            seen = terminal_->received();
        }
        return seen;
    }
    std::string typed_since_setup(std::size_t bytes) {
        terminal_->wait_for_size(start_ + bytes);
        return terminal_->received().substr(start_);
    }

    std::string clipboard() {
        const ProgramRun run = run_program({"xclip", "-selection", "clipboard", "-o"}, 5.0,
                                           {.keep_output = true, .env_overrides = {"DISPLAY=" + server_->display()}});
        return run.out;
    }

    ScratchDir scratch_{"norvex_terminal_typing_"};
    std::optional<Xvfb> server_;
    std::optional<XtermCat> terminal_;
    std::optional<dh::DeskhandExecutor> executor_;
    std::size_t start_ = 0;
};

TEST_F(TerminalTyping, TextArrivesInATerminalAndTheClipboardKeepsTheUsersText) {
    // The user's clipboard, served by xclip until one paste has read it back.
    pc::ProgramClipboard users({"xclip", "-selection", "clipboard", "-loops", "1"}, server_->display());
    users.set_text("the user's own words");

    // ASCII with shifted characters, accented letters of the layout's
    // neighbours, and characters no US layout has (lent spare keys).
    const std::string text = "echo \"Hi\" | wc -c; d\u00e9j\u00e0 vu \u00fcber \u20ac5 \u2192 \u03bb \u6f22\u5b57 \U0001F600";
    const boost::json::object result = type("type", {{"text", text}});
    EXPECT_EQ(pyjson::dumps(result), pyjson::dumps(boost::json::object{{"type", "text"}, {"text", "Typed: " + text}}));
    EXPECT_EQ(typed_since_setup(text.size()), text);

    EXPECT_EQ(clipboard(), "the user's own words") << "typing must leave the clipboard as the user left it";
}

TEST_F(TerminalTyping, AThousandCharactersArriveWholeAndInOrder) {
    const std::string_view alphabet = "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789,.;:!?()";
    std::string text;
    for (std::size_t i = 0; i < 1000; ++i) text += alphabet[i % alphabet.size()];
    const boost::json::object result = type("type", {{"text", text}});
    EXPECT_EQ(pyjson::dumps(result),
              pyjson::dumps(boost::json::object{{"type", "text"}, {"text", "Typed: " + text.substr(0, 50) + "..."}}));
    EXPECT_EQ(typed_since_setup(text.size()), text);
}

TEST_F(TerminalTyping, BothCasesOfAWholeAlphabetTheLayoutLacksArrive) {
    // 66 letters no US key has, more than the spare keys hold at once even
    // two to a key: typed in batches, upper case on the shifted level.
    std::string text = "\u0421\u044a\u0435\u0448\u044c \u0436\u0435 \u0435\u0449\u0451 \u042d\u0422\u0418\u0425 "
                       "\u043c\u044f\u0433\u043a\u0438\u0445 \u0431\u0443\u043b\u043e\u043a: ";
    for (char32_t c = U'\u0410'; c <= U'\u044f'; ++c) {
        text += static_cast<char>(0xc0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3f));
    }
    const boost::json::object result = type("type", {{"text", text}});
    EXPECT_EQ(result.at("type"), "text") << pyjson::dumps(result);
    EXPECT_EQ(typed_since_setup(text.size()), text);
}

}  // namespace
}  // namespace norvex::testing
