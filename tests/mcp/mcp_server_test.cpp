// `norvex mcp` over real pipes: lifecycle, errors, sourcelens calls, overlap, cancellation, shutdown, backlog.
#include "mcp_process.hpp"

#include "../support/plain_text.hpp"
#include "../support/scratch_dir.hpp"
#include "../support/standin_program.hpp"
#include "../support/worker_census.hpp"

#include "norvex/common/pyjson.hpp"
#include "norvex/tools/sourcelens.hpp"
#include "norvex/workers/astprobe/commands.hpp"

#include <boost/asio/io_context.hpp>
#include <boost/json/parse.hpp>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <iterator>
#include <map>
#include <thread>

#include <sys/stat.h>

using namespace norvex::testing;
namespace json = boost::json;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

const std::string PROGRAM = NORVEX_PROGRAM;
const std::string STANDIN_WORKER = NORVEX_STANDIN_WORKER;

std::string initialize_line(const std::string& id, const std::string& version) {
    return R"({"jsonrpc": "2.0", "id": )" + id + R"(, "method": "initialize", "params": {"protocolVersion": ")" +
           version + R"(", "capabilities": {}, "clientInfo": {"name": "pipe-test", "version": "1"}}})";
}

std::string call_line(int id, const std::string& operation, const std::string& path) {
    json::object arguments{{"operation", operation}, {"path", path}};
    json::object params{{"name", "sourcelens"}, {"arguments", arguments}};
    return json::serialize(json::object{{"jsonrpc", "2.0"}, {"id", id}, {"method", "tools/call"}, {"params", params}});
}

// The worker's own answer, in the tool's layout: what a successful call must carry.
std::string expected_text(const std::string& action, const std::string& path) {
    const json::object answer = norvex::astprobe::handle_command(json::object{{"action", action}, {"path", path}});
    return norvex::pyjson::dumps(answer.at("result"), norvex::pyjson::Layout::indent2);
}

// A JSON string's text, for comparing with std::string.
std::string str(const json::value& v) { return v.is_string() ? std::string(v.as_string()) : json::serialize(v); }

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A server past initialize, in a scratch folder whose stderr file the test may read.
struct Served {
    ScratchDir scratch{"norvex_mcp_test_"};
    std::string stderr_file = (scratch.path() / "stderr.log").string();
    McpProcess server;

    explicit Served(std::vector<std::string> args = {"mcp"}, const std::string& program = PROGRAM)
        : server(program, args, stderr_file) {
        const json::object init = server.request(initialize_line("0", "2025-11-25"));
        if (!init.contains("result")) throw std::runtime_error("initialize failed: " + json::serialize(init));
        server.send(R"({"jsonrpc": "2.0", "method": "notifications/initialized"})");
    }
};

const std::string SAMPLE = "import os\n\n# TODO: cache this\ndef size(path):\n    if path:\n        return os.path.getsize(path)\n    return 0\n\nclass Box:\n    def open(self):\n        pass\n";

}  // namespace

TEST(McpServer, LifecycleAndVersionNegotiation) {
    ScratchDir scratch;
    const std::string err = (scratch.path() / "stderr.log").string();
    McpProcess server(PROGRAM, {"mcp"}, err);

    // Before initialize: ping works, anything else is refused with a reason.
    EXPECT_EQ(server.request(R"({"jsonrpc": "2.0", "id": 1, "method": "ping"})"),
              json::parse(R"({"jsonrpc": "2.0", "id": 1, "result": {}})"));
    const json::object early = server.request(R"({"jsonrpc": "2.0", "id": 2, "method": "tools/list"})");
    EXPECT_EQ(early.at("id"), 2);
    EXPECT_EQ(early.at("error").at("code"), -32600);
    EXPECT_THAT(std::string(early.at("error").at("message").as_string()), HasSubstr("initialize"));

    const json::object init = server.request(initialize_line("\"a\"", "2025-06-18"));
    EXPECT_EQ(init.at("id"), "a");
    const json::object& result = init.at("result").as_object();
    EXPECT_EQ(result.at("protocolVersion"), "2025-06-18");
    EXPECT_EQ(result.at("capabilities"), json::parse(R"({"tools": {}})"));
    EXPECT_EQ(result.at("serverInfo").at("name"), "norvex");
    EXPECT_EQ(result.at("serverInfo").at("version"), NORVEX_VERSION);
    server.send(R"({"jsonrpc": "2.0", "method": "notifications/initialized"})");

    // The tool as the model sees it elsewhere: the tool object's own declaration.
    const json::object list = server.request(R"({"jsonrpc": "2.0", "id": 3, "method": "tools/list"})");
    boost::asio::io_context io;
    norvex::sourcelens::SourcelensTool tool{io.get_executor()};
    const json::array& tools = list.at("result").at("tools").as_array();
    ASSERT_GE(tools.size(), 1u);
    EXPECT_EQ(tools[0], json::parse(json::serialize(json::object{
                            {"name", tool.name()}, {"description", tool.description()}, {"inputSchema", tool.parameters()}})));

    server.close_stdin();
    EXPECT_EQ(server.wait_exit(), 0);

    // Each server negotiates on its own: newer revisions are kept, unknown ones get the newest.
    for (const auto& [asked, answered] : std::vector<std::pair<std::string, std::string>>{
             {"2026-07-28", "2026-07-28"}, {"2025-11-25", "2025-11-25"}, {"2024-11-05", "2026-07-28"}}) {
        McpProcess other(PROGRAM, {"mcp"}, err);
        EXPECT_EQ(str(other.request(initialize_line("1", asked)).at("result").at("protocolVersion")), answered) << asked;
    }
}

TEST(McpServer, ProtocolErrorsAreAnsweredAndServingGoesOn) {
    Served s;
    s.server.send_raw("{\"jsonrpc\": \"2.0\", \"id\": 5, \"method\": \n");
    const json::object parse_error = s.server.read_message();
    EXPECT_EQ(parse_error.at("id"), nullptr);
    EXPECT_EQ(parse_error.at("error").at("code"), -32700);

    s.server.send_raw("[1, 2]\n");
    const json::object batch = s.server.read_message();
    EXPECT_EQ(batch.at("id"), nullptr);
    EXPECT_EQ(batch.at("error").at("code"), -32600);

    const json::object unknown = s.server.request(R"({"jsonrpc": "2.0", "id": "u", "method": "prompts/list"})");
    EXPECT_EQ(unknown.at("id"), "u");
    EXPECT_EQ(unknown.at("error").at("code"), -32601);

    const json::object no_tool =
        s.server.request(R"({"jsonrpc": "2.0", "id": 6, "method": "tools/call", "params": {"name": "fly"}})");
    EXPECT_EQ(no_tool.at("error").at("code"), -32602);
    const json::object bad_args = s.server.request(
        R"({"jsonrpc": "2.0", "id": 7, "method": "tools/call", "params": {"name": "sourcelens", "arguments": "x"}})");
    EXPECT_EQ(bad_args.at("error").at("code"), -32602);

    // Notifications, blank lines and CRLF endings draw no reply; the next request is answered.
    s.server.send_raw("\n{\"jsonrpc\": \"2.0\", \"method\": \"notifications/progress\"}\r\n");
    EXPECT_EQ(s.server.request(R"({"jsonrpc": "2.0", "id": 8, "method": "ping"})").at("id"), 8);
}

TEST(McpServer, SourcelensCallsGiveTheToolsTextAndFlagErrors) {
    Served s;
    const std::string file = s.scratch.write("box.py", SAMPLE);
    const json::object ok = s.server.request(call_line(10, "complexity", file));
    ASSERT_TRUE(ok.contains("result")) << json::serialize(ok);
    const json::object& result = ok.at("result").as_object();
    EXPECT_EQ(result.at("isError"), false);
    EXPECT_EQ(result.at("content"),
              json::array({json::object{{"type", "text"}, {"text", expected_text("complexity", file)}}}));

    const std::string missing = (s.scratch.path() / "absent.py").string();
    const json::object failed = s.server.request(call_line(11, "summarize", missing));
    EXPECT_EQ(failed.at("result").at("isError"), true);
    EXPECT_EQ(str(failed.at("result").at("content").at(0).at("text")), "[ERROR] File not found: " + missing);

    // The tool's own argument check, not the server's: no path is an error text.
    const json::object no_path = s.server.request(
        R"({"jsonrpc": "2.0", "id": 12, "method": "tools/call", "params": {"name": "sourcelens"}})");
    EXPECT_EQ(no_path.at("result").at("isError"), true);
    EXPECT_EQ(no_path.at("result").at("content").at(0).at("text"), "[ERROR] No file path provided.");
}

// The pid of the worker the server's debug log reports as started after `skip` earlier ones.
std::optional<int> started_worker_pid(const std::string& stderr_file, int skip) {
    const std::string log = read_file(stderr_file);
    std::size_t at = 0;
    for (int seen = 0;; ++seen) {
        at = log.find("started (PID: ", at);
        if (at == std::string::npos) return std::nullopt;
        at += 14;
        if (seen == skip) return std::stoi(log.substr(at));
    }
}

TEST(McpServer, CancelledCallStopsItsWorkerAndIsNeverAnswered) {
    // The real astprobe answers every path at once, a FIFO included; the
    // stand-in's "hang" is a call that runs for as long as the test needs.
    ScratchDir tree{"norvex_mcp_tree_"};
    Served s({"mcp", "-v"}, standin_program(tree.path(), PROGRAM, STANDIN_WORKER));
    const std::string file = s.scratch.write("box.py", SAMPLE);

    s.server.send(call_line(20, "hang", file));
    // Wait until its worker runs, so the cancellation meets a running call.
    std::optional<int> worker;
    for (int i = 0; i < 1000 && !worker; ++i) {
        worker = started_worker_pid(s.stderr_file, 0);
        if (!worker) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(worker) << read_file(s.stderr_file);
    // Calls overlap: a later one is answered while the first still waits.
    const json::object quick = s.server.request(call_line(21, "find_classes", file));
    EXPECT_EQ(quick.at("id"), 21);
    EXPECT_EQ(quick.at("result").at("isError"), false);
    EXPECT_THAT(str(quick.at("result").at("content").at(0).at("text")), HasSubstr("find_classes"));

    s.server.send(R"({"jsonrpc": "2.0", "method": "notifications/cancelled", "params": {"requestId": 20, "reason": "test"}})");

    const std::string proc = "/proc/" + std::to_string(*worker);
    for (int i = 0; i < 500 && std::filesystem::exists(proc); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(std::filesystem::exists(proc)) << "the cancelled call's worker was not stopped and reaped";

    // The server goes on serving, and id 20 is free again.
    EXPECT_EQ(s.server.request(R"({"jsonrpc": "2.0", "id": 22, "method": "ping"})").at("id"), 22);
    const json::object again = s.server.request(call_line(20, "find_todos", file));
    EXPECT_EQ(again.at("id"), 20);
    EXPECT_EQ(again.at("result").at("isError"), false);

    // A cancellation for a finished or unknown call is ignored without a reply.
    s.server.send(R"({"jsonrpc": "2.0", "method": "notifications/cancelled", "params": {"requestId": 20}})");
    s.server.send(R"({"jsonrpc": "2.0", "method": "notifications/cancelled", "params": {"requestId": "nobody"}})");
    s.server.close_stdin();
    // Nothing else ever arrives: no late answer for the cancelled call.
    EXPECT_EQ(s.server.read_line(std::chrono::seconds(5)), std::nullopt);
    EXPECT_EQ(s.server.wait_exit(), 0);
}

TEST(McpServer, EndOfInputAnswersCallsInFlightThenExits) {
    ScratchDir scratch;
    const std::string err = (scratch.path() / "stderr.log").string();
    const std::string file = scratch.write("box.py", SAMPLE);
    McpProcess server(PROGRAM, {"-v", "mcp"}, err);
    // Everything at once, as a client piping a file would send it.
    server.send_raw(initialize_line("1", "2025-11-25") + "\n" + call_line(2, "symbols", file) + "\n" +
                    call_line(3, "call_graph", file) + "\n");
    server.close_stdin();

    std::map<std::int64_t, json::object> answers;
    while (auto line = server.read_line()) {
        const json::object message = json::parse(*line).as_object();  // stdout holds messages only
        answers[message.at("id").as_int64()] = message;
    }
    EXPECT_EQ(server.wait_exit(), 0);
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_EQ(str(answers[2].at("result").at("content").at(0).at("text")), expected_text("symbols", file));
    EXPECT_EQ(str(answers[3].at("result").at("content").at(0).at("text")), expected_text("call_graph", file));
    // The records went to stderr, at the level asked for.
    EXPECT_THAT(read_file(err), HasSubstr("tools/call sourcelens"));
}

TEST(McpServer, LogLevelIsCheckedOnTheCommandLine) {
    ScratchDir scratch;
    const std::string err = (scratch.path() / "stderr.log").string();
    // --log-level stays for the scripts that use it, checked as before, but not beside -q or -v.
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"mcp", "--log-level", "loud"}, {"mcp", "--log-level", "debug", "-q"}, {"-v", "mcp", "--log-level", "info"}}) {
        McpProcess server(PROGRAM, args, err);
        EXPECT_EQ(server.wait_exit(), 2) << ::testing::PrintToString(args);
        EXPECT_EQ(server.read_line(std::chrono::seconds(1)), std::nullopt);
        EXPECT_THAT(read_file(err), HasSubstr("--log-level")) << ::testing::PrintToString(args);
    }
}

// Records on stderr: info by default, errors only with -q (before or after the command), and the
// older --log-level still chooses the level.
TEST(McpServer, QuietAndVerboseChooseTheRecords) {
    ScratchDir scratch;
    const std::string file = scratch.write("box.py", SAMPLE);
    auto records = [&](const std::vector<std::string>& args) {
        const std::string err = (scratch.path() / ("stderr_" + std::to_string(args.size()) + ".log")).string();
        McpProcess server(PROGRAM, args, err);
        server.request(initialize_line("1", "2025-11-25"));
        server.send(R"({"jsonrpc": "2.0", "method": "notifications/initialized"})");
        server.request(call_line(2, "symbols", file));
        server.close_stdin();
        EXPECT_EQ(server.wait_exit(), 0) << ::testing::PrintToString(args);
        return read_file(err);
    };
    EXPECT_THAT(records({"mcp"}), HasSubstr("[info] Serving "));
    EXPECT_EQ(records({"mcp", "-q"}), "");
    EXPECT_EQ(records({"--quiet", "mcp"}), "");
    EXPECT_EQ(records({"mcp", "--log-level", "warning"}), "");
    const std::string verbose = records({"mcp", "--verbose"});
    EXPECT_THAT(verbose, HasSubstr("[debug] "));
    EXPECT_THAT(verbose, HasSubstr("[info] Serving "));
}

// A message nested as deep as `depth` levels: the message, "params" and
// "arguments", then the operation's value as arrays in arrays.
std::string nested_call(int id, std::size_t depth, const std::string& path) {
    const std::size_t arrays = depth - 3;
    return R"({"jsonrpc": "2.0", "id": )" + std::to_string(id) +
           R"(, "method": "tools/call", "params": {"name": "sourcelens", "arguments": {"path": ")" + path +
           R"(", "operation": )" + std::string(arrays, '[') + std::string(arrays, ']') + "}}}\n";
}

// Clients send schemas and tool arguments far deeper than Boost's default
// of 32 levels: up to the limit the message is served (the worker refuses
// the odd operation), past it the error names the limit and serving goes on.
TEST(McpServer, MessagesNestedUpToTheLimitAreServedAndDeeperOnesAreToldTheLimit) {
    Served s;
    const std::string file = s.scratch.write("box.py", SAMPLE);
    for (const std::size_t depth : {std::size_t{1000}, norvex::pyjson::MAX_NESTING}) {
        s.server.send_raw(nested_call(30, depth, file));
        const json::object served = s.server.read_message();
        EXPECT_EQ(served.at("id"), 30) << depth;
        EXPECT_EQ(served.at("result").at("isError"), true) << depth;
        EXPECT_THAT(str(served.at("result").at("content").at(0).at("text")), HasSubstr("must be a string")) << depth;
    }
    s.server.send_raw(nested_call(31, norvex::pyjson::MAX_NESTING + 1, file));
    const json::object refused = s.server.read_message();
    EXPECT_EQ(refused.at("id"), nullptr);
    EXPECT_EQ(refused.at("error").at("code"), -32600);
    EXPECT_THAT(str(refused.at("error").at("message")),
                HasSubstr("more than " + std::to_string(norvex::pyjson::MAX_NESTING) + " levels"));
    EXPECT_EQ(s.server.request(R"({"jsonrpc": "2.0", "id": 32, "method": "ping"})").at("id"), 32);
}

namespace {

// Calls whose workers run until they are stopped, through a private copy of
// the program whose astprobe is the stand-in: "hang" waits for the quit
// request, "stuck" reads and answers nothing, as a worker blocked in a
// system call does.
struct SlowCalls {
    explicit SlowCalls(const ScratchDir& scratch)
        : program(standin_program(scratch.path() / "tree", PROGRAM, STANDIN_WORKER).string()),
          file(scratch.write("box.py", SAMPLE)) {}
    std::string program;
    std::string file;
};

// Starts one call of each kind and gives their two workers once both run;
// fewer when they do not come.
std::vector<pid_t> start_slow_calls(McpProcess& server, const SlowCalls& calls) {
    server.send(call_line(1, "hang", calls.file));
    server.send(call_line(2, "stuck", calls.file));
    std::vector<pid_t> workers;
    for (int attempt = 0; attempt < 1000 && workers.size() < 2; ++attempt) {
        workers = children_named(server.pid());
        if (workers.size() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return workers;
}

}  // namespace

// The way clients stop a server (SIGTERM), and Ctrl-C in a terminal: the
// running calls are cancelled without answers, their workers killed, waiting
// or stuck, and the status is 128 + the signal.
TEST(McpServerStop, SignalCancelsTheCallsKillsTheirWorkersAndExits) {
    ScratchDir scratch{"norvex_mcp_stop_"};
    const SlowCalls calls(scratch);
    OrphanCatcher catcher;
    ASSERT_TRUE(catcher.active());
    for (const int signal_number : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(strsignal(signal_number));
        McpProcess server(calls.program, {"mcp"}, (scratch.path() / "stderr.log").string());
        ASSERT_TRUE(server.request(initialize_line("0", "2025-11-25")).contains("result"));
        const std::vector<pid_t> workers = start_slow_calls(server, calls);
        ASSERT_EQ(workers.size(), 2u) << read_file((scratch.path() / "stderr.log").string());

        ASSERT_EQ(::kill(server.pid(), signal_number), 0);
        EXPECT_EQ(server.wait_exit(), 128 + signal_number);
        EXPECT_EQ(server.read_line(), std::nullopt) << "an answer for a call the signal cut short";
        for (const pid_t worker : workers) EXPECT_FALSE(is_running(worker)) << "worker " << worker << " survived";
        EXPECT_TRUE(catcher.orphans().empty()) << "a worker outlived the server";
    }
}

// A client that goes away closes the server's stdout: nobody can take the
// answers, so the calls are cancelled at once rather than run to their end.
TEST(McpServerStop, ClosedStdoutCancelsTheRunningCallsAndEndsTheServer) {
    OrphanCatcher catcher;
    ASSERT_TRUE(catcher.active());
    ScratchDir tree{"norvex_mcp_tree_"};
    const SlowCalls calls(tree);
    Served s({"mcp", "-v"}, calls.program);
    const std::vector<pid_t> workers = start_slow_calls(s.server, calls);
    ASSERT_EQ(workers.size(), 2u) << read_file(s.stderr_file);

    s.server.close_stdout();
    // Well inside the 30 s an analysis may take: a server that waits for its calls fails here.
    EXPECT_EQ(s.server.wait_exit(std::chrono::seconds(20)), 0) << read_file(s.stderr_file);
    EXPECT_THAT(read_file(s.stderr_file), HasSubstr("closed stdout"));
    for (const pid_t worker : workers) EXPECT_FALSE(is_running(worker)) << "worker " << worker << " survived";
    EXPECT_TRUE(catcher.orphans().empty()) << "a worker outlived the server";
}

// Every text the server writes when something goes wrong, on stdout and on
// stderr (debug records included): malformed lines, a worker's broken
// answer, a stop by signal with calls under way. None names a header of the
// build machine.
TEST(McpServerTexts, FailuresNameNoBuildPath) {
    ScratchDir tree{"norvex_mcp_tree_"};
    const SlowCalls calls(tree);
    Served s({"mcp", "-v"}, calls.program);
    std::vector<std::string> answers;
    const auto answer_to = [&](const std::string& bytes) {
        s.server.send_raw(bytes);
        const std::optional<std::string> line = s.server.read_line();
        if (line) answers.push_back(*line);
        return line ? json::parse(*line).as_object() : json::object{};
    };

    for (const std::string& malformed : {std::string("{\"jsonrpc\": \"2.0\", \"id\": 5, \"method\": \n"),
                                         std::string("{\"a\": tru}\n"), std::string("\x80\xff{}\n"),
                                         std::string("}\n"), std::string("{\"id\": 1} trailing\n")}) {
        const json::object refused = answer_to(malformed);
        ASSERT_TRUE(refused.contains("error")) << malformed;
        EXPECT_EQ(refused.at("error").at("code"), -32700) << malformed;
    }
    // A worker whose answer line is not JSON.
    const json::object broken = answer_to(call_line(40, "reply", "not json") + "\n");
    EXPECT_EQ(broken.at("result").at("isError"), true);

    // A stop with two calls running.
    ASSERT_EQ(start_slow_calls(s.server, calls).size(), 2u) << read_file(s.stderr_file);
    ASSERT_EQ(::kill(s.server.pid(), SIGTERM), 0);
    EXPECT_EQ(s.server.wait_exit(), 128 + SIGTERM);
    while (const auto line = s.server.read_line()) answers.push_back(*line);

    for (const std::string& line : answers) EXPECT_THAT(line, CarriesNoSourceLocation());
    const std::string records = read_file(s.stderr_file);
    EXPECT_THAT(records, HasSubstr("Stopping: 2 running call(s) cancelled"));  // the stop was logged
    EXPECT_THAT(records, CarriesNoSourceLocation());
}

// A client that writes requests but reads no answers: the server stops
// reading once a bounded amount of output waits, so the client's writes
// block; when it reads again, the server takes up the requests where it
// stopped and every one of them is answered, in order.
TEST(McpServerBacklog, AClientThatStopsReadingIsHeldBackAndLosesNoAnswer) {
    ScratchDir scratch{"norvex_mcp_backlog_"};
    // No display: the tools (and so each answer, about 3.4 KB) are the same on every machine.
    McpProcess server(PROGRAM, {"mcp", "-q"}, (scratch.path() / "stderr.log").string(), {"DISPLAY"});
    ASSERT_TRUE(server.request(initialize_line("0", "2025-11-25")).contains("result"));

    // Some 3 MB of requests asking for some 10 MB of answers, far past what the server holds.
    constexpr int requests = 3000;
    const std::string pad(1000, 'p');
    std::atomic<int> sent{0};
    std::thread client([&] {
        for (int id = 1; id <= requests; ++id) {
            server.send_raw(R"({"jsonrpc": "2.0", "id": )" + std::to_string(id) +
                            R"(, "method": "tools/list", "params": {"_meta": {"pad": ")" + pad + "\"}}}\n");
            sent = id;
        }
    });
    // Held back: the count stops short of the end and stays there.
    int last = -1;
    for (int still = 0; still < 20 && sent < requests;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        still = sent == last ? still + 1 : 0;
        last = sent;
    }
    const int held_at = sent;
    EXPECT_LT(held_at, requests) << "the server read every request while no answer was taken";

    for (int id = 1; id <= requests; ++id) {
        const std::optional<std::string> line = server.read_line();
        ASSERT_TRUE(line) << "answer " << id << " never came";
        const json::object answer = json::parse(*line).as_object();
        ASSERT_EQ(answer.at("id"), id);
        ASSERT_TRUE(answer.at("result").as_object().contains("tools"));
    }
    client.join();
    server.close_stdin();
    EXPECT_EQ(server.read_line(), std::nullopt);
    EXPECT_EQ(server.wait_exit(), 0);
}
