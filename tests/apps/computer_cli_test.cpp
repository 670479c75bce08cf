// `norvex computer` end to end: a line for people by default, the result map with --json, on a private Xvfb.
#include "cli_process.hpp"

#include <gmock/gmock.h>

#include <csignal>

using namespace norvex::testing;
namespace fs = std::filesystem;
namespace json = boost::json;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

// An Xvfb server on a display number it picks itself (-displayfd), stopped with the object.
class PrivateDisplay {
public:
    PrivateDisplay() {
        int fds[2];
        if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
        std::vector<std::string> argv{"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                                      "-noreset"};
        std::vector<std::string> env = changed_environment({});
        const int rc = ::posix_spawnp(&pid_, "Xvfb", &actions, nullptr, pointers(argv).data(), pointers(env).data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (rc != 0) {
            ::close(fds[0]);
            throw std::runtime_error("cannot start Xvfb");
        }
        // The number arrives once the server accepts connections.
        std::string number;
        char c = 0;
        while (::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        ::close(fds[0]);
        if (number.empty()) throw std::runtime_error("Xvfb did not start");
        display_ = ":" + number;
    }
    ~PrivateDisplay() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    const std::string& name() const noexcept { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

bool xvfb_installed() { return ::system("command -v Xvfb >/dev/null 2>&1") == 0; }

struct Desktop {
    PrivateDisplay display;
    ScratchDir scratch;
    std::string data = (scratch.path() / "data").string();

    ProgramOutput computer(std::vector<std::string> args) const {
        args.insert(args.begin(), "computer");
        args.insert(args.end(), {"--data-dir", data});
        return run_invocation({.args = args, .env = {{"DISPLAY", display.name()}}}, scratch);
    }
};

}  // namespace

TEST(NorvexComputer, ALineForPeopleAndTheMapWithJson) {
    if (!xvfb_installed()) GTEST_SKIP() << "Xvfb is not installed";
    Desktop desktop;

    const json::object info = norvex::pyjson::parse(desktop.computer({"info", "--json"}).out).as_object();
    EXPECT_EQ(info.at("screen_width"), 1024);
    const ProgramOutput line = desktop.computer({"info"});
    EXPECT_EQ(line.exit_status, 0) << line.err;
    EXPECT_THAT(line.out, StartsWith("screen 1024x768, screenshots " + norvex::pyjson::dumps(info.at("api_width")) +
                                     "x" + norvex::pyjson::dumps(info.at("api_height")) + " (scale factor " +
                                     norvex::pyjson::dumps(info.at("scale_factor")) + ")"));

    // A screenshot says where it went and how big it is; the picture itself stays off the terminal.
    const ProgramOutput shot = desktop.computer({"screenshot"});
    ASSERT_EQ(shot.exit_status, 0) << shot.err;
    const fs::path latest = fs::path(desktop.data) / "screenshots" / "latest.png";
    const std::string png = read_file(latest);
    ASSERT_THAT(png, StartsWith("\x89PNG"));
    EXPECT_EQ(shot.out, "screenshot " + norvex::pyjson::dumps(info.at("api_width")) + "x" +
                            norvex::pyjson::dumps(info.at("api_height")) + " (" + std::to_string(png.size()) +
                            " bytes of PNG) saved to " + latest.string() + "\n");

    const std::string out = (desktop.scratch.path() / "shot.png").string();
    const ProgramOutput to_file = desktop.computer({"screenshot", "--out", out});
    EXPECT_THAT(to_file.out, ::testing::EndsWith(" saved to " + out + " and " + latest.string() + "\n"));
    EXPECT_EQ(read_file(out), read_file(latest));

    const json::object map = norvex::pyjson::parse(desktop.computer({"screenshot", "--json"}).out).as_object();
    EXPECT_EQ(map.at("type"), "image");
    EXPECT_EQ(map.at("media_type"), "image/png");
    EXPECT_FALSE(map.at("base64").as_string().empty());

    // Parameters go with --params; text results are the line itself.
    EXPECT_EQ(desktop.computer({"mouse_move", "--params", R"({"coordinate": [200, 160]})"}).exit_status, 0);
    EXPECT_EQ(desktop.computer({"cursor_position"}).out, "Cursor position: (200, 160)\n");
    EXPECT_EQ(desktop.computer({"cursor_position", "--json"}).out,
              "{\n  \"type\": \"text\",\n  \"text\": \"Cursor position: (200, 160)\"\n}\n");

    // The definition is JSON whoever asks.
    const ProgramOutput definition = desktop.computer({"tool-definition"});
    EXPECT_EQ(definition.out, desktop.computer({"tool-definition", "--json"}).out);
    EXPECT_EQ(norvex::pyjson::parse(definition.out).at("name"), "computer");
}

TEST(NorvexComputer, FailuresAndWrongParameters) {
    if (!xvfb_installed()) GTEST_SKIP() << "Xvfb is not installed";
    Desktop desktop;

    const ProgramOutput failed = desktop.computer({"left_click"});
    EXPECT_EQ(failed.exit_status, 1);
    EXPECT_EQ(failed.out, "");
    EXPECT_THAT(failed.err, StartsWith("norvex computer: "));
    EXPECT_THAT(failed.err, HasSubstr("coordinate"));
    // For programs, the error map itself, with the same status.
    const ProgramOutput failed_json = desktop.computer({"left_click", "--json"});
    EXPECT_EQ(failed_json.exit_status, 1);
    EXPECT_EQ(norvex::pyjson::parse(failed_json.out).at("type"), "error");

    const std::vector<std::pair<std::vector<std::string>, std::string>> usage{
        {{"left_clik"}, "norvex computer: unknown action 'left_clik'; did you mean 'left_click'?"},
        {{"mouse_move", "--params", "[200, 150]"}, "norvex computer: --params must be a JSON object of parameters"},
        {{"mouse_move", "--params", "{"}, "norvex computer: --params is not valid JSON: "},
        {{"left_click", "--out", "x.png"}, "norvex computer: --out goes with the screenshot action only"},
    };
    for (const auto& [args, message] : usage) {
        const ProgramOutput out = desktop.computer(args);
        EXPECT_EQ(out.exit_status, 2) << message;
        EXPECT_THAT(out.err, StartsWith(message));
    }
}

// Without a display the library would report its 1920x1080 fallback; the
// command says there is no screen instead, with --json too.
TEST(NorvexComputer, InfoWithoutAReachableDisplaySaysSoAndFails) {
    ScratchDir scratch;
    for (const std::optional<std::string>& display : {std::optional<std::string>{}, std::optional<std::string>{":4999"}}) {
        for (const bool json : {false, true}) {
            std::vector<std::string> args = {"computer", "info", "--data-dir", (scratch.path() / "data").string()};
            if (json) args.push_back("--json");
            const ProgramOutput out =
                run_invocation({.args = args, .env = {{"DISPLAY", display}, {"WAYLAND_DISPLAY", std::nullopt}}}, scratch);
            SCOPED_TRACE(display.value_or("no DISPLAY") + (json ? " --json" : ""));
            EXPECT_EQ(out.exit_status, 1);
            EXPECT_EQ(out.out, "");
            EXPECT_THAT(out.err, StartsWith("norvex computer: no display could be reached, so there is no screen "
                                            "size to show: "));
            // The reason names what to set or what did not answer.
            EXPECT_THAT(out.err, HasSubstr(display ? "cannot open X display ':4999'" : "DISPLAY"));
        }
    }
}

// The help lists every action with its parameters, read from the executor itself.
TEST(NorvexComputer, HelpListsEachActionWithItsParameters) {
    ScratchDir scratch;
    const ProgramOutput help = run_invocation({.args = {"computer", "--help"}, .env = {{"DISPLAY", std::nullopt}}},
                                              scratch);
    ASSERT_EQ(help.exit_status, 0) << help.err;
    EXPECT_THAT(help.out, ::testing::ContainsRegex("\n  left_click_drag +start_coordinate, coordinate\n"));
    EXPECT_THAT(help.out, ::testing::ContainsRegex("\n  scroll +coordinate, direction, amount\n"));
    EXPECT_THAT(help.out, ::testing::ContainsRegex("\n  hold_key +text, duration\n"));
    EXPECT_THAT(help.out, ::testing::ContainsRegex("\n  screenshot +-\n"));
    EXPECT_THAT(help.out, ::testing::ContainsRegex("\n  info +the screen size"));
    EXPECT_THAT(help.out, HasSubstr("'norvex computer info' shows"));
    EXPECT_THAT(help.out, ::testing::ContainsRegex("\n  duration +Seconds"));
}
