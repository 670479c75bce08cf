// The astprobe program end to end on real pipes: framing, quitting, signals, a reader that goes away,
// files that are not regular, names that are not UTF-8.
#include "../../support/python_fs.hpp"
#include "probe_test_util.hpp"
#include "program_runner.hpp"

#include "norvex/common/pyjson.hpp"

#include <gmock/gmock.h>

#include <chrono>
#include <fstream>
#include <csignal>
#include <thread>

#include <sys/stat.h>

using namespace norvex::testing;
using ::testing::StartsWith;

TEST(AstprobeProgram, AnswersEveryLineInOrderAndSkipsBlankOnes) {
    ScratchDir dir;
    const std::string file = dir.write("m.py", "def f():\n    return g()\n");
    const std::string input = "{\"action\": \"call_graph\", \"path\": \"" + file + "\"}\n"
                              "   \t\r\n\n"
                              "{\"action\": \"find_todos\", \"path\"\n"
                              "{\"action\": \"nope\", \"path\": \"" + file + "\"}\n"
                              "{\"action\": \"nope\", \"path\": \"/no/such.py\"}\n"
                              "{\"path\": \"" + file + "\"}\n"
                              "[1, 2]\n"
                              "\xc2\xa0{\"action\": \"symbols\", \"path\": \"" + file + "\"}\xe3\x80\x80\r\n"
                              "{\"action\": \"call_graph\", \"path\": \"" + file + "\"}";  // last line unterminated
    const Transcript t = run_program(ASTPROBE_PROGRAM, input);
    EXPECT_EQ(t.status, 0);
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.out,
              "{\"success\": true, \"result\": {\"f\": [\"g\"]}}\n"
              "{\"success\": false, \"error\": \"Invalid JSON: Expecting ':' delimiter: line 1 column 32 (char 31)\"}\n"
              "{\"success\": false, \"error\": \"Unknown action: nope\"}\n"
              "{\"success\": false, \"error\": \"File not found: /no/such.py\"}\n"
              "{\"success\": false, \"error\": \"Unknown action: \"}\n"
              "{\"success\": false, \"error\": \"Invalid command: expected a JSON object, not an array\"}\n"
              "{\"success\": true, \"result\": {\"functions\": [{\"name\": \"f\", \"line\": 1}], \"classes\": [], \"variables\": [], \"constants\": []}}\n"
              "{\"success\": true, \"result\": {\"f\": [\"g\"]}}\n");
}

TEST(AstprobeProgram, QuitAnswersGoodbyeAndReadsNoFurther) {
    const Transcript t = run_program(ASTPROBE_PROGRAM,
                                     "{\"action\": \"quit\"}\n{\"action\": \"nope\"}\n");
    EXPECT_EQ(t.status, 0);
    EXPECT_EQ(t.out, "{\"success\": true, \"result\": \"goodbye\"}\n");
    EXPECT_EQ(t.err, "");

    const Transcript silent = run_program(ASTPROBE_PROGRAM, "");
    EXPECT_EQ(silent.status, 0);
    EXPECT_EQ(silent.out, "");
}

TEST(AstprobeProgram, OutputIsAsciiWithPythonEscapes) {
    ScratchDir dir;
    const std::string file = dir.write("u.py", "def caf\xc3\xa9():\n    \"\"\"\xf0\x9f\x98\x80 \xe2\x82\xac\"\"\"\n");
    const Transcript t = run_program(ASTPROBE_PROGRAM, "{\"action\": \"find_functions\", \"path\": \"" + file + "\"}\n");
    EXPECT_EQ(t.out,
              "{\"success\": true, \"result\": [{\"name\": \"caf\\u00e9\", \"type\": \"function\", \"line\": 1, \"end_line\": 2, "
              "\"args\": [], \"return_type\": \"\", \"decorators\": [], \"docstring\": \"\\ud83d\\ude00 \\u20ac\", \"is_method\": false}]}\n");
}

TEST(AstprobeProgram, AnswersEachCommandBeforeTheNextArrives) {
    ScratchDir dir;
    const std::string file = dir.write("m.py", "# TODO: one\n");
    ProgramRun run(ASTPROBE_PROGRAM);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(run.write("{\"action\": \"find_todos\", \"path\": \"" + file + "\"}\n"));
        EXPECT_EQ(run.read_line(), "{\"success\": true, \"result\": [{\"line\": 1, \"type\": \"TODO\", \"text\": \"one\"}]}");
        // Once it serves, an interrupt meant for the parent's terminal leaves it serving.
        ASSERT_EQ(::kill(run.pid(), SIGINT), 0);
    }
    run.close_stdin();
    EXPECT_EQ(run.read_line(), std::nullopt);
    EXPECT_EQ(run.wait(), 0);
}

TEST(AstprobeProgram, ExitsQuietlyWhenItsReaderGoesAway) {
    ScratchDir dir;
    const std::string file = dir.write("m.py", "x = 1\n");
    ProgramRun run(ASTPROBE_PROGRAM);
    run.close_stdout();
    // The first answer meets the broken pipe; the program must end with 0 and say nothing.
    for (int i = 0; i < 100 && run.write("{\"action\": \"symbols\", \"path\": \"" + file + "\"}\n"); ++i) {
    }
    run.close_stdin();
    EXPECT_EQ(run.wait(), 0);
    EXPECT_EQ(run.read_all_stderr(), "");
}

TEST(AstprobeProgram, ParseAstIsTheIndentedDumpCutAt5000CodePoints) {
    ScratchDir dir;
    std::string source;
    for (int i = 0; i < 200; ++i) source += "v" + std::to_string(i) + " = '\xc3\xa9'\n";
    const std::string file = dir.write("big.py", source);
    const Transcript t = run_program(ASTPROBE_PROGRAM, "{\"action\": \"parse_ast\", \"path\": \"" + file + "\"}\n");
    const auto answer = norvex::pyjson::parse(t.out).as_object();
    ASSERT_EQ(answer.at("success"), true);
    const std::string dump(answer.at("result").at("ast").as_string());
    EXPECT_THAT(dump, StartsWith("Module(\n  body=[\n    Assign(\n      targets=[\n        Name(id='v0', ctx=Store())],\n"
                                 "      value=Constant(value='\xc3\xa9')),\n"));
    std::size_t code_points = 0;
    for (unsigned char c : dump) code_points += (c & 0xC0) != 0x80;
    EXPECT_EQ(code_points, 5000u);
}

TEST(AstprobeProgram, ModernSyntaxAnswersAsCPython314) {
    // modern.answers.jsonl: the Python reference's answers to the ten actions,
    // run under CPython 3.14 (pyodide), with the file's path as @PATH@.
    const std::string file = ASTPROBE_DATA + "/modern.py";
    std::ifstream recorded(ASTPROBE_DATA + "/modern.answers.jsonl");
    std::string expected, line;
    while (std::getline(recorded, line)) {
        for (std::size_t at; (at = line.find("@PATH@")) != std::string::npos;) line.replace(at, 6, file);
        expected += line + "\n";
    }
    std::string input;
    for (const char* action : {"analyze", "parse_ast", "find_functions", "find_classes", "find_imports", "find_todos",
                               "complexity", "symbols", "call_graph", "summarize"}) {
        input += "{\"action\": \"" + std::string(action) + "\", \"path\": \"" + file + "\"}\n";
    }
    const Transcript t = run_program(ASTPROBE_PROGRAM, input);
    EXPECT_EQ(t.status, 0);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(t.out, expected);
}

namespace {

// The worker's largest resident size so far, from the kernel's own count.
std::size_t peak_resident_bytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmHWM:")) return std::stoull(line.substr(6)) * 1024;
    }
    return 0;
}

boost::json::object ask(ProgramRun& run, const std::string& action, const std::string& path_json) {
    run.write("{\"action\": \"" + action + "\", \"path\": " + path_json + "}\n");
    const auto line = run.read_line();
    if (!line) throw std::runtime_error("the worker answered nothing");
    return norvex::pyjson::parse(*line).as_object();
}

std::string json_text(const std::string& text) { return norvex::pyjson::dumps(boost::json::string(text)); }

std::string error_of(const boost::json::object& answer) {
    const boost::json::value* error = answer.if_contains("error");
    return error != nullptr && error->is_string() ? std::string(error->get_string()) : "(no error)";
}

}  // namespace

TEST(AstprobeProgram, ReadsOnlyRegularFilesAndStaysSmall) {
    ScratchDir dir;
    const auto fifo = dir.path() / "pipe.py";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string file = dir.write("m.py", "x = 1\n");
    ProgramRun run(ASTPROBE_PROGRAM);
    // No writer ever opens the FIFO, and /dev/zero and /dev/urandom never end.
    EXPECT_EQ(error_of(ask(run, "summarize", json_text(fifo))),
              "Not a regular file: " + fifo.string() + " is a named pipe (FIFO); give the path of a Python source file");
    for (const std::string device : {"/dev/zero", "/dev/urandom"}) {
        EXPECT_EQ(error_of(ask(run, "analyze", json_text(device))),
                  "Not a regular file: " + device + " is a character device; give the path of a Python source file");
    }
    EXPECT_EQ(error_of(ask(run, "find_todos", json_text(dir.path()))),
              "[Errno 21] Is a directory: '" + std::filesystem::canonical(dir.path()).string() + "'");
    EXPECT_EQ(ask(run, "symbols", json_text(file)).at("success"), true);
    // Nothing was read from the devices: the worker is as small as after any analysis.
    EXPECT_LT(peak_resident_bytes(run.pid()), std::size_t{256} << 20);
    run.close_stdin();
    EXPECT_EQ(run.wait(), 0);
}

TEST(AstprobeProgram, FileNamesThatAreNotUtf8TravelAsSurrogateEscapes) {
    if (!have_python3()) GTEST_SKIP() << PYTHON3 << " is missing";
    ScratchDir dir;
    const std::string base = dir.path().string();
    const std::string file = base + "/caf\xe9.py";
    dir.write("caf\xe9.py", "def f():\n    pass\n");
    std::filesystem::create_directory(base + "/d\xe9\xff");
    const std::vector<std::string> paths = {file, base + "/d\xe9\xff", base + "/caf\xe9/none.py"};
    // Python's text for each path, and what opening it as the worker's reference does says.
    const std::vector<std::string> python = python_lines(
        "import json, os, sys\n"
        "for line in sys.stdin:\n"
        "    p = os.fsdecode(bytes.fromhex(line.strip()))\n"
        "    print(json.dumps(p))\n"
        "    try:\n"
        "        open(os.path.realpath(p)).read()\n"
        "        print(json.dumps(None))\n"
        "    except FileNotFoundError:\n"
        "        print(json.dumps('File not found: ' + p))\n"
        "    except OSError as e:\n"
        "        print(json.dumps(str(e)))\n",
        paths);
    ASSERT_EQ(python.size(), 6u);
    ProgramRun run(ASTPROBE_PROGRAM);
    const boost::json::object summary = ask(run, "summarize", python[0]);
    ASSERT_EQ(summary.at("success"), true) << norvex::pyjson::dumps(summary);
    EXPECT_EQ(norvex::pyjson::dumps(summary.at("result").at("path")), python[0]);
    EXPECT_EQ(summary.at("result").at("function_count"), 1);
    EXPECT_EQ(norvex::pyjson::dumps(ask(run, "summarize", python[2]).at("error")), python[3]);
    EXPECT_EQ(norvex::pyjson::dumps(ask(run, "summarize", python[4]).at("error")), python[5]);
    // A surrogate that stands for no byte cannot name a file, as in Python.
    EXPECT_EQ(error_of(ask(run, "summarize", R"("x\ud800.py")")),
              "'utf-8' codec can't encode character '\\ud800' in position 1: surrogates not allowed");
}
