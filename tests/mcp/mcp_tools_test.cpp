// The skill and computer tools of `norvex mcp` over real pipes: a scratch data folder, a private Xvfb.
#include "mcp_process.hpp"

#include "../support/scratch_dir.hpp"
#include "../support/xvfb.hpp"

#include "norvex/common/pyjson.hpp"

#include <boost/json/parse.hpp>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

// Xlib's macros (None, Bool, Status) after the GoogleTest headers they would break.
#include "../pc/desktop/event_window.hpp"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include <sys/stat.h>

using namespace norvex::testing;
namespace json = boost::json;
using ::testing::HasSubstr;

namespace {

const std::string PROGRAM = NORVEX_PROGRAM;

// A server past initialize with the given environment changes.
class Server {
public:
    Server(const ScratchDir& scratch, std::vector<std::string> env)
        : process_(PROGRAM, {"mcp", "--data-dir", (scratch.path() / "data").string()},
                   (scratch.path() / "stderr.log").string(), env) {
        process_.request(R"({"jsonrpc": "2.0", "id": 0, "method": "initialize", "params": {"protocolVersion": "2025-06-18"}})");
        process_.send(R"({"jsonrpc": "2.0", "method": "notifications/initialized"})");
    }

    McpProcess& process() { return process_; }

    std::set<std::string> tool_names() {
        std::set<std::string> names;
        const json::object list = process_.request(R"({"jsonrpc": "2.0", "id": "list", "method": "tools/list"})");
        for (const auto& tool : list.at("result").at("tools").as_array()) names.insert(std::string(tool.at("name").as_string()));
        return names;
    }

    // tools/call and its result object.
    json::object call(const std::string& tool, json::object arguments = {}) {
        const int id = ++next_id_;
        process_.send(json::object{{"jsonrpc", "2.0"}, {"id", id}, {"method", "tools/call"},
                                   {"params", json::object{{"name", tool}, {"arguments", std::move(arguments)}}}});
        const json::object answer = process_.read_message();
        if (answer.at("id") != id) throw std::runtime_error("answer for another id: " + json::serialize(answer));
        return answer.at("result").as_object();
    }

    // The text of a one-block text result.
    static std::string text(const json::object& result) {
        return std::string(result.at("content").at(0).at("text").as_string());
    }

private:
    McpProcess process_;
    int next_id_ = 0;
};

}  // namespace

TEST(McpSkillTools, CreateListShowDeleteThroughTheDataFolder) {
    ScratchDir scratch;
    Server server(scratch, {"DISPLAY"});
    const auto names = server.tool_names();
    for (const char* tool : {"skill_create", "skill_list", "skill_show", "skill_delete", "skill_log", "skill_stats"}) {
        EXPECT_TRUE(names.contains(tool)) << tool;
    }

    const json::object created = server.call("skill_create", json::parse(R"({
        "name": "mute_calls", "description": "Mute the call app", "app": "zoom", "category": "communication",
        "triggers": ["mute"], "steps": [{"description": "Press the mute key", "operation": "keyboard_hotkey",
        "params": {"keys": ["alt", "a"]}}], "reason": "asked often"})").as_object());
    EXPECT_EQ(created.at("isError"), false) << Server::text(created);
    const json::object made = json::parse(Server::text(created)).as_object();
    EXPECT_EQ(made.at("success"), true);
    EXPECT_EQ(made.at("skill").at("name"), "mute_calls");
    EXPECT_TRUE(std::filesystem::exists(scratch.path() / "data" / "skills" / "mute_calls.json"));
    // Results are indent-2 JSON text.
    EXPECT_THAT(Server::text(created), HasSubstr("{\n  \"success\": true,"));

    const json::array listed = json::parse(Server::text(server.call("skill_list"))).as_array();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].at("steps_count"), 1);
    EXPECT_EQ(json::parse(Server::text(server.call("skill_show", {{"name", "mute_calls"}}))).at("app"), "zoom");

    // A blueprint that fails validation is a tool error carrying the creator's message.
    const json::object invalid = server.call("skill_create", json::parse(R"({"name": "x y", "steps": []})").as_object());
    EXPECT_EQ(invalid.at("isError"), true);
    EXPECT_EQ(json::parse(Server::text(invalid)).at("success"), false);

    EXPECT_EQ(server.call("skill_delete", {{"name", "mute_calls"}}).at("isError"), false);
    const json::object again = server.call("skill_delete", {{"name", "mute_calls"}});
    EXPECT_EQ(again.at("isError"), true);
    EXPECT_THAT(Server::text(again), HasSubstr("Skill 'mute_calls' not found"));
    const json::object missing = server.call("skill_show", {{"name", "mute_calls"}});
    EXPECT_EQ(missing.at("isError"), true);
    EXPECT_EQ(server.call("skill_show").at("isError"), true);

    const json::array log = json::parse(Server::text(server.call("skill_log", {{"limit", 1}}))).as_array();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].at("action"), "deleted");
    EXPECT_EQ(server.call("skill_log", {{"limit", "all"}}).at("isError"), true);
    const json::object stats = json::parse(Server::text(server.call("skill_stats"))).as_object();
    EXPECT_EQ(stats.at("skills_created"), 1);
    EXPECT_EQ(stats.at("skills_deleted"), 1);
    EXPECT_EQ(stats.at("active_custom_skills"), 0);
}

TEST(McpSkillTools, AFifoOrALinkOutOfTheSkillsFolderHoldsNothingUpAndShowsNothing) {
    ScratchDir scratch;
    Server server(scratch, {"DISPLAY"});
    const auto skills = scratch.path() / "data" / "skills";
    // Nobody ever writes to it: reading it would stop the whole server.
    ASSERT_EQ(::mkfifo((skills / "x.json").c_str(), 0600), 0);
    std::filesystem::create_symlink("/etc/passwd", skills / "passwd.json");

    EXPECT_EQ(Server::text(server.call("skill_list")), "[]");
    EXPECT_EQ(server.process().request(R"({"jsonrpc": "2.0", "id": "p", "method": "ping"})").at("result"), json::object{});
    for (const char* name : {"x", "passwd"}) {
        const json::object shown = server.call("skill_show", {{"name", name}});
        EXPECT_EQ(shown.at("isError"), true);
        EXPECT_EQ(Server::text(shown), "Skill '" + std::string(name) + "' not found; skill_list shows the saved skills");
    }
}

TEST(McpSourcelens, AFileNameThatIsNotUtf8GoesBothWaysInItsSurrogateEscapes) {
    ScratchDir scratch;
    Server server(scratch, {"DISPLAY"});
    const std::string folder = scratch.path().string();
    std::ofstream(folder + "/caf\xe9.py") << "def f():\n    pass\n";
    // As a client sends it: JSON text with the escape, the bytes never on the wire.
    const auto ask = [&](const std::string& id, const std::string& name) {
        server.process().send_raw(R"({"jsonrpc": "2.0", "id": ")" + id +
                                  R"(", "method": "tools/call", "params": {"name": "sourcelens", "arguments": )"
                                  R"({"operation": "summarize", "path": ")" + folder + "/" + name + "\"}}}\n");
        const auto line = server.process().read_line();
        if (!line) throw std::runtime_error("no answer");
        EXPECT_TRUE(std::all_of(line->begin(), line->end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
        return norvex::pyjson::parse(*line).as_object();
    };
    const json::object found = ask("a", "caf\\udce9.py");
    EXPECT_EQ(found.at("result").at("isError"), false) << norvex::pyjson::dumps(found);
    const json::value summary = norvex::pyjson::parse(found.at("result").at("content").at(0).at("text").as_string());
    EXPECT_EQ(summary.at("path"), norvex::pyjson::parse("\"" + folder + "/caf\\udce9.py\""));
    EXPECT_EQ(summary.at("function_count"), 1);

    const json::object missing = ask("b", "\\udcff.py");
    EXPECT_EQ(missing.at("result").at("isError"), true);
    EXPECT_EQ(missing.at("result").at("content").at(0).at("text"),
              norvex::pyjson::parse("\"[ERROR] File not found: " + folder + "/\\udcff.py\""));
}

// The environment an MCP client's SDK gives the servers it starts.
std::vector<std::string> clean_environment(const ScratchDir& scratch) {
    return {"-i", "HOME=" + scratch.path().string(), "PATH=/usr/bin:/bin", "SHELL=/bin/sh", "TERM=xterm-256color"};
}

std::string read_text_file(const std::filesystem::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(McpComputerTools, OfferedWithoutADisplayAndEveryCallSaysWhatToSet) {
    ScratchDir scratch;
    std::vector<std::string> args = clean_environment(scratch);
    args.insert(args.end(), {PROGRAM, "mcp", "--data-dir", (scratch.path() / "data").string()});
    const std::filesystem::path err = scratch.path() / "stderr.log";
    McpProcess p("/usr/bin/env", args, err.string());
    p.request(R"({"jsonrpc": "2.0", "id": 0, "method": "initialize", "params": {"protocolVersion": "2025-06-18"}})");
    p.send(R"({"jsonrpc": "2.0", "method": "notifications/initialized"})");
    std::map<std::string, std::string> descriptions;
    const json::object list = p.request(R"({"jsonrpc": "2.0", "id": 1, "method": "tools/list"})");
    for (const auto& tool : list.at("result").at("tools").as_array())
        descriptions[std::string(tool.at("name").as_string())] = tool.at("description").as_string();
    EXPECT_TRUE(descriptions.contains("computer_info"));
    ASSERT_TRUE(descriptions.contains("computer"));
    // No screen was measured, so the fallback size is not promised.
    EXPECT_THAT(descriptions["computer"], HasSubstr("Screenshots have the size computer_info reports"));

    int id = 1;
    for (const json::object& params :
         {json::object{{"name", "computer"}, {"arguments", {{"action", "screenshot"}}}},
          json::object{{"name", "computer"}, {"arguments", {{"action", "type"}, {"text", "hi"}}}},
          json::object{{"name", "computer_info"}, {"arguments", json::object{}}}}) {
        const json::object answer =
            p.request(json::serialize(json::object{{"jsonrpc", "2.0"}, {"id", ++id}, {"method", "tools/call"}, {"params", params}}));
        const json::object& result = answer.at("result").as_object();
        SCOPED_TRACE(json::serialize(params));
        EXPECT_EQ(result.at("isError"), true);
        const std::string text(result.at("content").at(0).at("text").as_string());
        EXPECT_THAT(text, ::testing::StartsWith("No desktop can be opened for the computer tools: "));
        EXPECT_THAT(text, HasSubstr("DISPLAY is not set"));
        EXPECT_THAT(text, HasSubstr("DISPLAY (X11, for example :0"));
        EXPECT_THAT(text, HasSubstr("WAYLAND_DISPLAY (Wayland"));
        EXPECT_THAT(text, HasSubstr("in the \"env\" of norvex's server entry"));
    }
    p.close_stdin();
    EXPECT_EQ(p.wait_exit(), 0);
    // Said at start-up, at the level a client's configuration shows by default.
    EXPECT_THAT(read_text_file(err), HasSubstr("[norvex.mcp] [warning] No desktop can be opened for the computer tools"));
}

TEST(McpComputerTools, OfferedWithADisplayThatDoesNotAnswer) {
    ScratchDir scratch;
    Server nowhere(scratch, {"DISPLAY=:4999", "WAYLAND_DISPLAY"});
    EXPECT_TRUE(nowhere.tool_names().contains("computer"));
    const json::object result = nowhere.call("computer", {{"action", "cursor_position"}});
    EXPECT_EQ(result.at("isError"), true);
    EXPECT_THAT(Server::text(result), HasSubstr("cannot open X display ':4999'"));
    EXPECT_THAT(Server::text(result), HasSubstr("WAYLAND_DISPLAY"));
}

TEST(McpComputerTools, ActionsOnXvfbBecomeMcpContent) {
    if (!Xvfb::installed()) GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps.sh installs it)";
    Xvfb xvfb(1280, 800);
    ScratchDir scratch;
    Server server(scratch, {"DISPLAY=" + xvfb.display()});

    const json::object list = server.process().request(R"({"jsonrpc": "2.0", "id": "l", "method": "tools/list"})");
    const json::object* computer = nullptr;
    for (const auto& tool : list.at("result").at("tools").as_array()) {
        if (tool.at("name") == "computer") computer = &tool.as_object();
    }
    ASSERT_NE(computer, nullptr);
    const json::object& properties = computer->at("inputSchema").at("properties").as_object();
    EXPECT_EQ(properties.at("action").at("enum").as_array().size(), 16u);
    for (const char* param : {"coordinate", "start_coordinate", "text", "direction", "amount", "duration"}) {
        EXPECT_TRUE(properties.contains(param)) << param;
    }
    EXPECT_THAT(std::string(computer->at("description").as_string()), HasSubstr("1280x800"));
    // The scroll bound, and why, where a model reads it before it asks.
    const json::object& amount = properties.at("amount").as_object();
    EXPECT_EQ(amount.at("minimum"), -100);
    EXPECT_EQ(amount.at("maximum"), 100);
    EXPECT_THAT(std::string(amount.at("description").as_string()), HasSubstr("at most 100 either way"));

    const json::object shot = server.call("computer", {{"action", "screenshot"}});
    EXPECT_EQ(shot.at("isError"), false);
    const json::object& image = shot.at("content").at(0).as_object();
    EXPECT_EQ(image.at("type"), "image");
    EXPECT_EQ(image.at("mimeType"), "image/png");
    EXPECT_THAT(std::string(image.at("data").as_string()), ::testing::StartsWith("iVBORw0KGgo"));  // the PNG signature

    const json::object moved = server.call("computer", {{"action", "mouse_move"}, {"coordinate", json::array{200, 150}}});
    EXPECT_EQ(Server::text(moved), "Moved cursor to (200, 150)");
    EXPECT_EQ(Server::text(server.call("computer", {{"action", "cursor_position"}})), "Cursor position: (200, 150)");

    const json::object far = server.call("computer", {{"action", "scroll"}, {"amount", 1000000000}});
    EXPECT_EQ(far.at("isError"), true);
    EXPECT_THAT(Server::text(far), ::testing::StartsWith("scroll amount 1000000000 is out of range: give -100 to 100 "
                                                         "wheel steps"));
    EXPECT_EQ(Server::text(server.call("computer", {{"action", "scroll"}, {"amount", 100}})), "Scrolled down by 100");

    const json::object invalid = server.call("computer", {{"action", "left_click"}});
    EXPECT_EQ(invalid.at("isError"), true);
    EXPECT_EQ(Server::text(invalid), "left_click requires coordinate [x, y]");
    EXPECT_EQ(server.call("computer", {{"action", "fly"}}).at("isError"), true);
    EXPECT_EQ(server.call("computer").at("isError"), true);

    const json::object info = json::parse(Server::text(server.call("computer_info"))).as_object();
    EXPECT_EQ(info.at("screen_width"), 1280);
    EXPECT_EQ(info.at("screen_height"), 800);
    EXPECT_TRUE(info.at("last_screenshot").is_string());
}

TEST(McpComputerTools, ACancelledWaitEndsEarlyWithoutAnAnswer) {
    if (!Xvfb::installed()) GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps.sh installs it)";
    Xvfb xvfb(800, 600);
    ScratchDir scratch;
    Server server(scratch, {"DISPLAY=" + xvfb.display()});
    McpProcess& p = server.process();

    const auto start = std::chrono::steady_clock::now();
    p.send(R"({"jsonrpc": "2.0", "id": 50, "method": "tools/call", "params": {"name": "computer", "arguments": {"action": "wait", "duration": 10}}})");
    // The loop is not blocked by the action: a ping is answered while it waits.
    EXPECT_EQ(p.request(R"({"jsonrpc": "2.0", "id": 51, "method": "ping"})").at("id"), 51);
    p.send(R"({"jsonrpc": "2.0", "method": "notifications/cancelled", "params": {"requestId": 50}})");
    // The next action runs on the same thread, so it is answered only once the wait has stopped.
    const json::object after = p.request(
        R"({"jsonrpc": "2.0", "id": 52, "method": "tools/call", "params": {"name": "computer", "arguments": {"action": "cursor_position"}}})");
    EXPECT_EQ(after.at("id"), 52);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    p.close_stdin();
    EXPECT_EQ(p.read_line(std::chrono::seconds(3)), std::nullopt);
    EXPECT_EQ(p.wait_exit(), 0);
}

TEST(McpComputerTools, ACancelledTypeStopsAndTheNextCallRunsAtOnce) {
    if (!Xvfb::installed()) GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps.sh installs it)";
    Xvfb xvfb(800, 600);
    EventWindow window(xvfb.display());
    ScratchDir scratch;
    Server server(scratch, {"DISPLAY=" + xvfb.display(), "WAYLAND_DISPLAY"});
    McpProcess& p = server.process();

    // Characters no layout has, more kinds than spare keycodes: typed a
    // batch of lent keys at a time, with a pause before the keys are taken
    // back, so this takes half a minute.
    std::string text;
    for (char32_t c = U'\u4e00'; c < U'\u4e00' + 3000; ++c) {
        text += static_cast<char>(0xe0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        text += static_cast<char>(0x80 | (c & 0x3f));
    }
    p.send(json::object{{"jsonrpc", "2.0"}, {"id", 60}, {"method", "tools/call"},
                        {"params", json::object{{"name", "computer"}, {"arguments", {{"action", "type"}, {"text", text}}}}}});
    ASSERT_GE(window.wait_for_text(5).size(), 5u) << "the typing never started";
    p.send(R"({"jsonrpc": "2.0", "method": "notifications/cancelled", "params": {"requestId": 60}})");
    // Actions run one at a time on one thread: this one is answered (and
    // first) only once the typing has stopped.
    const json::object after = p.request(
        R"({"jsonrpc": "2.0", "id": 61, "method": "tools/call", "params": {"name": "computer", "arguments": {"action": "cursor_position"}}})");
    EXPECT_EQ(after.at("id"), 61);
    EXPECT_LT(window.typed_text().size(), text.size());
    p.close_stdin();
    EXPECT_EQ(p.read_line(std::chrono::seconds(3)), std::nullopt) << "the cancelled call was answered";
    EXPECT_EQ(p.wait_exit(), 0);
}

TEST(McpComputerTools, AfterTheXServerDiedActionsAreErrorsUntilItIsBack) {
    if (!Xvfb::installed()) GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps.sh installs it)";
    Xvfb xvfb(800, 600);
    ScratchDir scratch;
    Server server(scratch, {"DISPLAY=" + xvfb.display()});
    // A screenshot first: the desktop is open and holds a shared-memory image.
    EXPECT_EQ(server.call("computer", {{"action", "screenshot"}}).at("isError"), false);
    xvfb.kill();

    // The first call finds the break; the later ones try to connect again.
    const json::object first = server.call("computer", {{"action", "scroll"}, {"amount", 100}});
    EXPECT_EQ(first.at("isError"), true);
    EXPECT_THAT(Server::text(first), HasSubstr("the connection to X display '" + xvfb.display() + "' was lost"));
    for (const json::object& arguments : {json::object{{"action", "left_click"}, {"coordinate", json::array{5, 5}}},
                                          json::object{{"action", "key"}, {"text", "ctrl+a"}}}) {
        const json::object result = server.call("computer", arguments);
        EXPECT_EQ(result.at("isError"), true);
        EXPECT_THAT(Server::text(result), HasSubstr("cannot open X display '" + xvfb.display() + "'"));
    }
    // The other tools live on.
    EXPECT_EQ(server.call("skill_list").at("isError"), false);

    // The session comes back, at another size: the same server uses it.
    xvfb.start_again(1024, 768);
    EXPECT_EQ(Server::text(server.call("computer", {{"action", "mouse_move"}, {"coordinate", json::array{30, 40}}})),
              "Moved cursor to (30, 40)");
    const json::object info = json::parse(Server::text(server.call("computer_info"))).as_object();
    EXPECT_EQ(info.at("screen_width"), 1024);
    EXPECT_EQ(info.at("screen_height"), 768);
    server.process().close_stdin();
    EXPECT_EQ(server.process().wait_exit(), 0) << "the server did not exit after stdin closed";
}
