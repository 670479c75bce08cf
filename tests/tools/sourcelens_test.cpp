// The code-analysis tool through a real forkyard manager and the real astprobe worker.
#include "tool_test_util.hpp"

#include "../support/python_fs.hpp"
#include "../support/run_async.hpp"
#include "norvex/common/pyjson.hpp"
#include "norvex/core/forkyard/forkyard.hpp"
#include "norvex/common/pystr.hpp"
#include "norvex/tools/sourcelens.hpp"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <gmock/gmock.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

using namespace norvex::testing;
using norvex::forkyard::Forkyard;
using norvex::forkyard::ForkyardOptions;
using norvex::forkyard::SubprocessResult;
using norvex::sourcelens::OPERATIONS;
using norvex::sourcelens::SourcelensTool;
namespace asio = boost::asio;
namespace json = boost::json;
using ::testing::MatchesRegex;
using ::testing::StartsWith;

namespace {

constexpr std::string_view SAMPLE =
    "\"\"\"Stock keeping for a small caf\xc3\xa9.\"\"\"\n"
    "import json\n"
    "from pathlib import Path\n"
    "\n"
    "\n"
    "class Shelf:\n"
    "    def __init__(self, name):\n"
    "        self.name = name\n"
    "        self.items = {}\n"
    "\n"
    "    def add(self, item, count=1):\n"
    "        # TODO: refuse negative counts\n"
    "        if item in self.items and count:\n"
    "            self.items[item] += count\n"
    "        else:\n"
    "            self.items[item] = count\n"
    "\n"
    "\n"
    "def load(path):\n"
    "    shelf = Shelf(Path(path).stem)\n"
    "    for item, count in json.loads(Path(path).read_text()).items():\n"
    "        shelf.add(item, count)\n"
    "    return shelf\n";

asio::awaitable<void> sleep_for(std::chrono::milliseconds ms) {
    asio::steady_timer t(co_await asio::this_coro::executor, ms);
    co_await t.async_wait(asio::use_awaitable);
}

class SourcelensToolTest : public ::testing::Test {
protected:
    template <typename T>
    T run(asio::awaitable<T> op) {
        return run_async(io, std::move(op));
    }

    // One call of the tool, built outside co_await (GCC 12 and braced lists).
    std::string call(norvex::tools::Tool& tool, json::object kwargs) { return run(tool.execute(std::move(kwargs))); }

    // Starts a call in the background; its text lands in `out`.
    void start_call(SourcelensTool& tool, json::object kwargs, std::optional<std::string>& out) {
        asio::co_spawn(io, tool.execute(std::move(kwargs)), [&out](std::exception_ptr e, std::string text) {
            out = e ? "exception" : std::move(text);
        });
    }

    void wait_until(const std::function<bool()>& done) {
        run([&]() -> asio::awaitable<void> {
            while (!done()) co_await sleep_for(std::chrono::milliseconds(10));
        }());
    }

    // A manager whose "astprobe" is the scripted stand-in worker.
    ForkyardOptions scripted(int max_workers = 5) {
        return ForkyardOptions{.max_workers = max_workers, .temp_dir = scratch.path().string(),
                               .workers_dir = SCRIPTED_WORKERS_DIR};
    }

    // The stand-in's answer line for a "reply" call.
    std::string reply(std::string_view answer_line) {
        json::object kwargs;
        kwargs["operation"] = "reply";
        kwargs["path"] = answer_line;
        return call(*scripted_tool, std::move(kwargs));
    }

    void SetUp() override {
        scripted_yard = std::make_unique<Forkyard>(io.get_executor(), scripted());
        scripted_tool = std::make_unique<SourcelensTool>(*scripted_yard);
    }

    asio::io_context io;
    ScratchDir scratch;
    std::unique_ptr<Forkyard> scripted_yard;
    std::unique_ptr<SourcelensTool> scripted_tool;
};

}  // namespace

TEST_F(SourcelensToolTest, OffersItselfToTheRegistry) {
    SourcelensTool tool{io.get_executor()};
    const norvex::tools::Tool& as_tool = tool;
    EXPECT_EQ(as_tool.name(), "sourcelens");
    EXPECT_EQ(as_tool.description(),
              "Analyze Python code files \xe2\x80\x94 extract functions, classes, imports, calculate complexity, "
              "build call graphs, find TODOs, and generate summaries. All analysis is AST-based for accuracy.");

    const json::object schema = as_tool.parameters();
    std::vector<std::string> keys;
    for (const auto& member : schema) keys.emplace_back(member.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"type", "properties", "required"}));
    EXPECT_EQ(schema.at("type"), "object");
    EXPECT_EQ(schema.at("required"), (json::array{"operation", "path"}));

    const json::object& properties = schema.at("properties").as_object();
    ASSERT_EQ(properties.size(), 2u);
    EXPECT_EQ(properties.begin()->key(), "operation");
    const json::object& operation = properties.at("operation").as_object();
    EXPECT_EQ(norvex::pyjson::dumps(operation.at("enum")),
              R"(["analyze", "find_functions", "find_classes", "find_imports", "find_todos", "complexity", "symbols", "call_graph", "summarize"])");
    EXPECT_EQ(operation.begin()->key(), "type");
    EXPECT_EQ(std::next(operation.begin())->key(), "enum");

    // The help text names each operation once, one line each, in the enumeration's order.
    const std::string help(operation.at("description").as_string());
    const auto lines = norvex::pystr::splitlines(help);
    ASSERT_EQ(lines.size(), OPERATIONS.size() + 1);
    EXPECT_EQ(lines.front(), "The analysis operation:");
    for (std::size_t i = 0; i < OPERATIONS.size(); ++i)
        EXPECT_THAT(std::string(lines[i + 1]), StartsWith("- " + std::string(OPERATIONS[i]) + ": "));
    EXPECT_FALSE(help.ends_with("\n"));

    const json::object& path = properties.at("path").as_object();
    EXPECT_EQ(norvex::pyjson::dumps(path), R"({"type": "string", "description": "Path to the Python file to analyze."})");

    // Each read is a new object: a registry that edits its copy changes nothing else.
    json::object first = tool.parameters();
    const json::object second = tool.parameters();
    EXPECT_EQ(first, second);
    first["properties"].as_object()["path"].as_object()["type"] = "number";
    first.erase("required");
    EXPECT_EQ(tool.parameters(), second);
}

TEST_F(SourcelensToolTest, EveryOperationRunsInTheRealWorker) {
    Forkyard yard(io.get_executor(), ForkyardOptions{.temp_dir = scratch.path().string()});
    SourcelensTool tool{yard};
    const std::string file = scratch.write("shelf.py", SAMPLE);

    for (std::string_view operation : OPERATIONS) {
        json::object kwargs;
        kwargs["operation"] = operation;
        kwargs["path"] = file;
        kwargs["verbose"] = true;  // arguments the tool does not know are ignored
        EXPECT_EQ(call(tool, kwargs), expected_text(operation, file)) << operation;
    }

    // Without an operation the tool asks for the full analysis.
    json::object path_only;
    path_only["path"] = file;
    const std::string analysis = call(tool, path_only);
    EXPECT_EQ(analysis, expected_text("analyze", file));
    // Python's layout: indent 2, ASCII only, no line feed at the end.
    EXPECT_THAT(analysis, StartsWith("{\n  \"summary\": {\n    \"path\": "));
    EXPECT_NE(analysis.find("caf\\u00e9"), std::string::npos);
    EXPECT_TRUE(std::all_of(analysis.begin(), analysis.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
    EXPECT_FALSE(analysis.ends_with("\n"));

    EXPECT_EQ(yard.list_results().size(), OPERATIONS.size() + 1);
    EXPECT_TRUE(yard.list_active().empty());
}

TEST_F(SourcelensToolTest, MissingPathIsRefusedBeforeAnythingStarts) {
    int tasks_seen = 0;
    scripted_yard->on_result([&](const SubprocessResult&) { ++tasks_seen; });
    std::vector<json::object> calls(6);
    calls[1]["operation"] = "complexity";
    calls[2]["path"] = "";
    calls[3]["path"] = nullptr;
    calls[4]["path"] = 0;
    calls[5]["path"] = json::array{};
    for (const auto& kwargs : calls)
        EXPECT_EQ(call(*scripted_tool, kwargs), "[ERROR] No file path provided.") << norvex::pyjson::dumps(kwargs);
    EXPECT_EQ(tasks_seen, 0);
    EXPECT_TRUE(scripted_yard->list_results().empty());
}

TEST_F(SourcelensToolTest, CommandGoesToTheWorkerAsGiven) {
    // The stand-in echoes the request line it read, so the command's exact text shows.
    json::object kwargs;
    kwargs["path"] = "dir/m\xc3\xa9.py";
    kwargs["operation"] = "find_todos";
    kwargs["extra"] = 1;
    EXPECT_EQ(call(*scripted_tool, kwargs), R"("{\"action\": \"find_todos\", \"path\": \"dir/m\\u00e9.py\"}")");

    // Neither the operation nor the path is checked or changed by the tool.
    json::object odd;
    odd["path"] = 5;
    EXPECT_EQ(call(*scripted_tool, odd), R"("{\"action\": \"analyze\", \"path\": 5}")");
    odd["operation"] = json::array{"symbols"};
    EXPECT_EQ(call(*scripted_tool, odd), R"("{\"action\": [\"symbols\"], \"path\": 5}")");
}

TEST_F(SourcelensToolTest, WorkerRefusalsComeBackAsErrorText) {
    Forkyard yard(io.get_executor(), ForkyardOptions{.temp_dir = scratch.path().string()});
    SourcelensTool tool{yard};
    const std::string file = scratch.write("m.py", "def f():\n    return 1\n");

    json::object unknown;
    unknown["operation"] = "explode";
    unknown["path"] = file;
    EXPECT_EQ(call(tool, unknown), "[ERROR] Unknown action: explode");

    // The worker reads the file before it looks at the action.
    const std::string missing = (scratch.path() / "absent.py").string();
    unknown["path"] = missing;
    EXPECT_EQ(call(tool, unknown), "[ERROR] File not found: " + missing);

    json::object not_text;
    not_text["operation"] = 7;
    not_text["path"] = file;
    EXPECT_EQ(call(tool, not_text), "[ERROR] Invalid command: \"action\" must be a string, not a number");

    const std::string broken = scratch.write("broken.py", "def f(:\n");
    json::object syntax;
    syntax["operation"] = "symbols";
    syntax["path"] = broken;
    EXPECT_THAT(call(tool, syntax), StartsWith("[ERROR] Syntax error at line 1: "));

    // The worker inherits this process's folder, so a relative path is read from there.
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(scratch.path());
    json::object relative;
    relative["operation"] = "symbols";
    relative["path"] = "m.py";
    const std::string text = call(tool, relative);
    std::filesystem::current_path(before);
    EXPECT_EQ(text, expected_text("symbols", file));
}

TEST_F(SourcelensToolTest, OnlyRegularFilesAreAnalysedAndTheOthersAnsweredAtOnce) {
    Forkyard yard(io.get_executor(), ForkyardOptions{.temp_dir = scratch.path().string()});
    SourcelensTool tool{yard};
    const auto fifo = scratch.path() / "pipe.py";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Each would hold its worker until the 30-second timeout, or fill its memory.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {fifo.string(), "a named pipe (FIFO)"}, {"/dev/zero", "a character device"}};
    for (const auto& [path, kind] : cases) {
        json::object kwargs;
        kwargs["path"] = path;
        EXPECT_EQ(call(tool, kwargs),
                  "[ERROR] Not a regular file: " + path + " is " + kind + "; give the path of a Python source file");
    }
}

TEST_F(SourcelensToolTest, NamesThatAreNotUtf8ArriveAsAModelSendsThemAndAreShownTheSameWay) {
    if (!have_python3()) GTEST_SKIP() << PYTHON3 << " is missing";
    Forkyard yard(io.get_executor(), ForkyardOptions{.temp_dir = scratch.path().string()});
    SourcelensTool tool{yard};
    const std::string file = scratch.write("caf\xe9.py", "def f():\n    pass\n");
    const std::string missing = (scratch.path() / "\xff\xfe.py").string();
    const std::vector<std::string> python = python_fsdecode_json({file, missing});
    ASSERT_EQ(python.size(), 2u);

    // The model's arguments are JSON text, the name in its surrogate escapes.
    const std::string text = call(tool, norvex::pyjson::parse(R"({"operation": "summarize", "path": )" + python[0] + "}")
                                            .as_object());
    const json::value answer = norvex::pyjson::parse(text);
    EXPECT_EQ(norvex::pyjson::dumps(answer.at("path")), python[0]) << text;
    EXPECT_EQ(answer.at("function_count"), 1);
    // A host may give the name's own bytes: they reach the same file, shown the same way.
    json::object raw;
    raw["operation"] = "summarize";
    raw["path"] = file;
    EXPECT_EQ(call(tool, raw), text);

    const std::string absent = call(tool, norvex::pyjson::parse(R"({"path": )" + python[1] + "}").as_object());
    EXPECT_EQ(absent, "[ERROR] File not found: " + std::string(norvex::pyjson::parse(python[1]).as_string()));
}

TEST_F(SourcelensToolTest, ManagerRefusalsComeBackAsErrorText) {
    const std::string file = scratch.write("m.py", "x = 1\n");
    json::object kwargs;
    kwargs["path"] = file;

    Forkyard closed(io.get_executor(), ForkyardOptions{.max_workers = 0, .temp_dir = scratch.path().string()});
    EXPECT_EQ(call(*std::make_unique<SourcelensTool>(closed), kwargs), "[ERROR] Worker limit reached (0). Try again later.");

    const ScratchDir empty;
    Forkyard without(io.get_executor(), ForkyardOptions{.temp_dir = scratch.path().string(), .workers_dir = empty.path()});
    EXPECT_EQ(call(*std::make_unique<SourcelensTool>(without), kwargs), "[ERROR] Unknown worker type: sourcelens");
}

TEST_F(SourcelensToolTest, AnalysisOverTheAnswerLimitSaysWhatToDo) {
    Forkyard yard(io.get_executor(), ForkyardOptions{.temp_dir = scratch.path().string(), .max_answer_bytes = 1 << 20});
    SourcelensTool tool{yard};
    std::string source;  // a full analysis of nearly 2 MB, a summary of under 200 KB
    for (int i = 0; i < 5000; ++i) source += "def f" + std::to_string(i) + "(a, b):\n    if a and b:\n        return a\n    return b\n\n";
    const std::string file = scratch.write("many.py", source);
    std::string task_id;
    yard.on_result([&](const SubprocessResult& r) { task_id = r.task_id; });

    json::object full;
    full["operation"] = "analyze";
    full["path"] = file;
    const std::string refused = call(tool, full);
    EXPECT_EQ(refused, "[ERROR] Worker " + task_id +
                           " answered more than the limit of 1048576 bytes (1 MiB) on one line: ask for less in one "
                           "task (a narrower operation, or a smaller input), or raise the manager's max_answer_bytes");

    // Which is what a narrower operation does.
    json::object narrower;
    narrower["operation"] = "summarize";
    narrower["path"] = file;
    EXPECT_THAT(call(tool, narrower), StartsWith("{\n  \"path\": "));
}

TEST_F(SourcelensToolTest, AnswersBecomeIndentedJsonOrErrorText) {
    // A one-member object is three lines; non-ASCII is escaped; 1.0 stays a float.
    EXPECT_EQ(reply(R"({"success": true, "result": {"name": "caf\u00e9"}})"), "{\n  \"name\": \"caf\\u00e9\"\n}");
    EXPECT_EQ(reply(R"({"success": true, "result": {"n": 1.0, "m": 1, "e": [], "o": {}, "l": [null, false]}})"),
              "{\n  \"n\": 1.0,\n  \"m\": 1,\n  \"e\": [],\n  \"o\": {},\n  \"l\": [\n    null,\n    false\n  ]\n}");
    EXPECT_EQ(reply(R"({"success": true, "result": "plain"})"), "\"plain\"");

    // An error text wins whatever "success" says; without one there is no prefix.
    EXPECT_EQ(reply(R"({"success": true, "result": 5, "error": "half done"})"), "[ERROR] half done");
    EXPECT_EQ(reply(R"({"success": false, "error": "no such thing"})"), "[ERROR] no such thing");
    EXPECT_EQ(reply(R"({"success": false})"), "null");
    EXPECT_EQ(reply(R"({"success": false, "result": [1]})"), "[\n  1\n]");
    EXPECT_EQ(reply(R"({"success": true})"), "null");
    EXPECT_EQ(reply(R"({"success": false, "error": ""})"), "null");

    // Answers the manager cannot take are its errors, behind the same prefix.
    EXPECT_THAT(reply("not json"), StartsWith("[ERROR] "));
    EXPECT_THAT(reply("[1, 2]"), StartsWith("[ERROR] "));
}

TEST_F(SourcelensToolTest, SilentWorkerTimesOutAfterThirtySeconds) {
    std::string task_id;
    scripted_yard->on_result([&](const SubprocessResult& r) { task_id = r.task_id; });
    json::object kwargs;
    kwargs["operation"] = "hang";
    kwargs["path"] = "m.py";
    const auto started = std::chrono::steady_clock::now();
    const std::string text = call(*scripted_tool, kwargs);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
    EXPECT_THAT(text, MatchesRegex(R"(\[ERROR\] Worker [0-9a-f]{12} timed out after 30\.0s)"));
    EXPECT_EQ(text, "[ERROR] Worker " + task_id + " timed out after 30.0s");
    EXPECT_TRUE(scripted_yard->list_active().empty());
}

TEST_F(SourcelensToolTest, OverlappingCallsShareTheManager) {
    Forkyard yard(io.get_executor(), ForkyardOptions{.temp_dir = scratch.path().string()});
    SourcelensTool tool{yard};
    const std::string file = scratch.write("shelf.py", SAMPLE);

    const std::vector<std::string_view> operations{"complexity", "find_classes", "summarize", "call_graph"};
    std::vector<std::optional<std::string>> texts(operations.size());
    for (std::size_t i = 0; i < operations.size(); ++i) {
        json::object kwargs;
        kwargs["operation"] = operations[i];
        kwargs["path"] = file;
        start_call(tool, std::move(kwargs), texts[i]);
    }
    wait_until([&] { return std::all_of(texts.begin(), texts.end(), [](const auto& t) { return t.has_value(); }); });
    for (std::size_t i = 0; i < operations.size(); ++i) EXPECT_EQ(texts[i], expected_text(operations[i], file));
    EXPECT_EQ(yard.list_results().size(), operations.size());
}

TEST_F(SourcelensToolTest, OverlappingCallsShareTheLimit) {
    Forkyard yard(io.get_executor(), scripted(1));
    SourcelensTool tool{yard};

    std::optional<std::string> first;
    json::object hang;
    hang["operation"] = "hang";
    hang["path"] = "m.py";
    start_call(tool, hang, first);
    wait_until([&] { return yard.list_active().size() == 1; });

    json::object quick;
    quick["operation"] = "anything";
    quick["path"] = "m.py";
    EXPECT_EQ(call(tool, quick), "[ERROR] Worker limit reached (1). Try again later.");

    const std::string running(yard.list_active().front().at("id").as_string());
    EXPECT_TRUE(run(yard.cancel(running)));
    wait_until([&] { return first.has_value(); });
    EXPECT_THAT(*first, StartsWith("[ERROR] "));

    // The slot is free again once the first call has ended.
    EXPECT_EQ(call(tool, quick), R"("{\"action\": \"anything\", \"path\": \"m.py\"}")");
}

TEST_F(SourcelensToolTest, ToolsWithoutAManagerEachOwnOne) {
    SourcelensTool a{io.get_executor()};
    SourcelensTool b{io.get_executor(), nullptr};
    EXPECT_NE(&a.manager(), &b.manager());
    EXPECT_NE(a.manager().temp_dir, b.manager().temp_dir);
    EXPECT_TRUE(std::filesystem::is_directory(a.manager().temp_dir));
    EXPECT_EQ(a.manager().max_workers, 5);
    EXPECT_EQ(a.manager().default_timeout, 60.0);
    EXPECT_EQ(a.manager().workers_dir, Forkyard::WORKER_SCRIPTS_DIR);

    SourcelensTool c{io.get_executor(), scripted_yard.get()};
    EXPECT_EQ(&c.manager(), scripted_yard.get());
    EXPECT_EQ(&scripted_tool->manager(), scripted_yard.get());

    // An owned manager runs the real worker from the build's workers folder.
    const std::string file = scratch.write("m.py", "class A:\n    pass\n");
    json::object kwargs;
    kwargs["operation"] = "find_classes";
    kwargs["path"] = file;
    EXPECT_EQ(call(a, kwargs), expected_text("find_classes", file));
}
