// `norvex scan` end to end: the real program, the real astprobe worker, real folders of Python files.
#include "terminal_run.hpp"

#include "../support/worker_census.hpp"

#include "norvex/common/pyjson.hpp"

#include <gmock/gmock.h>

#include <boost/json/array.hpp>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

using namespace norvex::testing;
namespace fs = std::filesystem;
namespace json = boost::json;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

void put(const fs::path& root, const std::string& relative, const std::string& text) {
    const fs::path file = root / relative;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

// The sample files, with what each holds worked out by hand beside it.
const std::string ALPHA =  // 3 functions (simple 1, get 3, put 1), 1 class, 2 markers
    "#!/usr/bin/env python3\n"
    "\"\"\"Alpha module.\"\"\"\n"
    "# TODO: split this file\n"
    "\n"
    "import os\n"
    "\n"
    "\n"
    "def simple(x):\n"
    "    return x + 1\n"
    "\n"
    "\n"
    "class Store:\n"
    "    def get(self, key):\n"
    "        # NOTE lookups are linear\n"
    "        for k in self.keys:\n"
    "            if k == key:\n"
    "                return k\n"
    "        return None\n"
    "\n"
    "    def put(self, key):\n"
    "        pass\n";

const std::string BETA =  // 3 functions (decide 11, fetch 2, inner 2), no class, 1 marker
    "# FIXME: tidy the branches\n"
    "def decide(a, b, items):\n"
    "    if a and b and a > 1:\n"
    "        return 1\n"
    "    elif a or b:\n"
    "        return 2\n"
    "    while a:\n"
    "        a -= 1\n"
    "    assert b\n"
    "    try:\n"
    "        pass\n"
    "    except ValueError:\n"
    "        pass\n"
    "    except KeyError:\n"
    "        pass\n"
    "    return [i for i in items if i]\n"
    "\n"
    "\n"
    "async def fetch(n):\n"
    "    def inner(m):\n"
    "        if m:\n"
    "            return m\n"
    "        return 0\n"
    "    return inner(n)\n";

const std::string GAMMA =  // 1 function (run 1: a conditional expression adds nothing), 2 classes
    "class A:\n"
    "    pass\n"
    "\n"
    "\n"
    "class B(A):\n"
    "    def run(self):\n"
    "        return 1 if self else 0\n";

const std::string TOOL =  // 1 function (tool 4)
    "def tool():\n"
    "    for i in range(3):\n"
    "        for j in range(3):\n"
    "            if i == j:\n"
    "                yield i\n";

const std::string SKIPPED = "def hidden(a):\n    if a:\n        if a:\n            return 1\n";

struct LineCounts {
    std::int64_t total = 0, code = 0, comment = 0, blank = 0;
};

// Lines counted the plain way, for ASCII text ending in a line feed.
LineCounts count_lines(const std::vector<std::string>& texts) {
    LineCounts c;
    for (const std::string& text : texts) {
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find('\n', start);
            const std::string line = text.substr(start, end - start);
            const std::size_t first = line.find_first_not_of(" \t");
            ++c.total;
            if (first == std::string::npos) ++c.blank;
            else if (line[first] == '#') ++c.comment;
            else ++c.code;
            start = end + 1;
        }
    }
    return c;
}

// A tree with every kind of folder the scan meets: nested packages, an empty
// file, a file that does not parse, a folder merely named "env" (scanned),
// and a hidden folder, a virtual environment, a cache and a link loop (not).
struct SampleTree {
    ScratchDir scratch{"norvex_scan_"};
    fs::path root = scratch.path() / "project";

    SampleTree() {
        put(root, "alpha.py", ALPHA);
        put(root, "broken.py", "def broken(:\n    pass\n");
        put(root, "data.txt", "def not_python(): pass\n");
        put(root, "env/tool.py", TOOL);
        put(root, "pkg/__init__.py", "");
        put(root, "pkg/beta.py", BETA);
        put(root, "pkg/sub/gamma.py", GAMMA);
        put(root, ".hidden/secret.py", SKIPPED);
        put(root, "venv/pyvenv.cfg", "home = /usr/bin\n");
        put(root, "venv/lib/python3.11/site-packages/dep.py", SKIPPED);
        put(root, "__pycache__/stale.py", SKIPPED);
        fs::create_directory_symlink(root, root / "loop");
    }

    std::string at(const std::string& relative) const { return (root / relative).string(); }
};

json::object scan_json(const std::vector<std::string>& args, const ScratchDir& scratch, ProgramOutput* raw = nullptr) {
    std::vector<std::string> full{"scan"};
    full.insert(full.end(), args.begin(), args.end());
    full.push_back("--json");
    const ProgramOutput out = run_norvex(full, scratch);
    if (raw) *raw = out;
    EXPECT_EQ(out.exit_status, 0) << out.err;
    return norvex::pyjson::parse(out.out).as_object();
}

// (path, line, name, complexity, rating) of each listed function.
std::vector<std::tuple<std::string, std::int64_t, std::string, std::int64_t, std::string>> top_of(
    const json::object& doc) {
    std::vector<std::tuple<std::string, std::int64_t, std::string, std::int64_t, std::string>> rows;
    for (const json::value& v : doc.at("top_functions").as_array()) {
        const json::object& r = v.as_object();
        rows.emplace_back(std::string(r.at("path").as_string()), r.at("line").as_int64(),
                          std::string(r.at("name").as_string()), r.at("complexity").as_int64(),
                          std::string(r.at("rating").as_string()));
    }
    return rows;
}

}  // namespace

TEST(NorvexScan, JsonTotalsFailuresAndSkippedFolders) {
    SampleTree tree;
    ProgramOutput raw;
    const json::object doc = scan_json({tree.root.string(), "--jobs", "2"}, tree.scratch, &raw);
    EXPECT_EQ(raw.err, "");  // not a terminal: no progress line

    // The documented key order, in the text itself.
    std::vector<std::string> keys;
    for (const auto& member : doc) keys.emplace_back(member.key());
    EXPECT_THAT(keys, ::testing::ElementsAre("root", "jobs", "totals", "failures", "top_functions", "skipped_dirs"));
    EXPECT_EQ(doc.at("root").as_string(), tree.root.string());
    EXPECT_EQ(doc.at("jobs").as_int64(), 2);

    const LineCounts lines = count_lines({ALPHA, BETA, GAMMA, TOOL, ""});
    const json::object& t = doc.at("totals").as_object();
    EXPECT_EQ(t.at("files").as_int64(), 6);
    EXPECT_EQ(t.at("analyzed").as_int64(), 5);
    EXPECT_EQ(t.at("failed").as_int64(), 1);
    EXPECT_EQ(t.at("total_lines").as_int64(), lines.total);
    EXPECT_EQ(t.at("code_lines").as_int64(), lines.code);
    EXPECT_EQ(t.at("comment_lines").as_int64(), lines.comment);
    EXPECT_EQ(t.at("blank_lines").as_int64(), lines.blank);
    EXPECT_EQ(t.at("functions").as_int64(), 8);
    EXPECT_EQ(t.at("classes").as_int64(), 3);
    EXPECT_EQ(t.at("todos").as_int64(), 3);
    EXPECT_EQ(t.at("avg_complexity").as_double(), 3.1);  // 25 / 8 = 3.125

    const json::array& failures = doc.at("failures").as_array();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].at("path").as_string(), tree.at("broken.py"));
    EXPECT_THAT(std::string(failures[0].at("error").as_string()), StartsWith("Syntax error at line 1: "));

    const json::array& skipped = doc.at("skipped_dirs").as_array();
    ASSERT_EQ(skipped.size(), 2u);
    EXPECT_EQ(skipped[0].as_string(), tree.at(".hidden"));
    EXPECT_EQ(skipped[1].as_string(), tree.at("venv"));

    // All eight functions fit in the default ten: complexity first, then scan
    // order of the files (alpha before gamma), then line.
    using Row = std::tuple<std::string, std::int64_t, std::string, std::int64_t, std::string>;
    EXPECT_THAT(top_of(doc), ::testing::ElementsAre(
        Row{tree.at("pkg/beta.py"), 2, "decide", 11, "C"},
        Row{tree.at("env/tool.py"), 1, "tool", 4, "A"},
        Row{tree.at("alpha.py"), 13, "get", 3, "A"},
        Row{tree.at("pkg/beta.py"), 19, "fetch", 2, "A"},
        Row{tree.at("pkg/beta.py"), 20, "inner", 2, "A"},
        Row{tree.at("alpha.py"), 8, "simple", 1, "A"},
        Row{tree.at("alpha.py"), 20, "put", 1, "A"},
        Row{tree.at("pkg/sub/gamma.py"), 6, "run", 1, "A"}));

    // The whole document is Python's indent-2 layout of itself.
    EXPECT_EQ(raw.out, norvex::pyjson::dumps(doc, norvex::pyjson::Layout::indent2) + "\n");
}

TEST(NorvexScan, JobsAndTopLeaveTheFiguresAlone) {
    SampleTree tree;
    json::object one = scan_json({tree.root.string(), "--jobs", "1"}, tree.scratch);
    json::object two = scan_json({tree.root.string(), "-j", "2"}, tree.scratch);
    EXPECT_EQ(one.at("jobs").as_int64(), 1);
    EXPECT_EQ(two.at("jobs").as_int64(), 2);
    one.erase("jobs");
    two.erase("jobs");
    EXPECT_EQ(one, two);

    const json::object top2 = scan_json({tree.root.string(), "--top", "2"}, tree.scratch);
    const auto rows = top_of(top2);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(std::get<2>(rows[0]), "decide");
    EXPECT_EQ(std::get<2>(rows[1]), "tool");
    EXPECT_EQ(top2.at("totals"), one.at("totals"));  // --top trims the list, not the totals

    EXPECT_TRUE(scan_json({tree.root.string(), "-k", "0"}, tree.scratch).at("top_functions").as_array().empty());

    // The pool's largest size is taken as it is (larger ones are usage errors).
    const json::object many = scan_json({tree.root.string(), "--jobs", "20"}, tree.scratch);
    EXPECT_EQ(many.at("jobs").as_int64(), 20);
    EXPECT_EQ(many.at("totals"), one.at("totals"));
}

TEST(NorvexScan, TableForPeople) {
    SampleTree tree;
    const ProgramOutput out = run_norvex({"scan", tree.root.string(), "--jobs", "1", "--top", "3"}, tree.scratch);
    EXPECT_EQ(out.exit_status, 0) << out.err;
    EXPECT_EQ(out.err, "");
    const std::string& text = out.out;
    EXPECT_THAT(text, StartsWith("Scanned " + tree.root.string() + ": 6 Python files, 5 analyzed, 1 failed (1 job)\n"));
    EXPECT_THAT(text, HasSubstr("\n  " + tree.at(".hidden") + "\n  " + tree.at("venv") + "\n"));
    EXPECT_THAT(text, HasSubstr("  functions         8\n"));
    EXPECT_THAT(text, HasSubstr("  avg complexity  3.1\n"));
    EXPECT_THAT(text, HasSubstr("Failed (1)\n  " + tree.at("broken.py") + ": Syntax error at line 1: "));
    EXPECT_THAT(text, HasSubstr("Most complex functions (3 of 8)\n"));

    // Rows in order, each with its location, name, complexity and rating.
    const std::size_t decide = text.find(tree.at("pkg/beta.py") + ":2 ");
    const std::size_t tool = text.find(tree.at("env/tool.py") + ":1 ");
    const std::size_t get = text.find(tree.at("alpha.py") + ":13 ");
    ASSERT_NE(decide, std::string::npos);
    ASSERT_NE(tool, std::string::npos);
    ASSERT_NE(get, std::string::npos);
    EXPECT_LT(decide, tool);
    EXPECT_LT(tool, get);
    const std::string decide_row = text.substr(decide, text.find('\n', decide) - decide);
    EXPECT_THAT(decide_row, ::testing::MatchesRegex(".*:2 +decide +11  C"));
    EXPECT_EQ(text.find("simple"), std::string::npos);  // beyond --top 3
}

TEST(NorvexScan, EmptyFolderIsAnEmptyReport) {
    ScratchDir scratch{"norvex_scan_"};
    const fs::path empty = scratch.path() / "empty";
    fs::create_directory(empty);
    put(empty, ".venv/lib/x.py", SKIPPED);

    ProgramOutput raw;
    const json::object doc = scan_json({empty.string()}, scratch, &raw);
    const json::object& t = doc.at("totals").as_object();
    for (const char* key : {"files", "analyzed", "failed", "total_lines", "functions", "classes", "todos"})
        EXPECT_EQ(t.at(key).as_int64(), 0) << key;
    EXPECT_TRUE(t.at("avg_complexity").is_int64());  // 0, not 0.0, as a file's own summary says it
    EXPECT_THAT(raw.out, HasSubstr("\"avg_complexity\": 0\n"));
    EXPECT_TRUE(doc.at("failures").as_array().empty());
    EXPECT_TRUE(doc.at("top_functions").as_array().empty());

    const ProgramOutput table = run_norvex({"scan", empty.string(), "-j", "1"}, scratch);
    EXPECT_EQ(table.exit_status, 0);
    EXPECT_EQ(table.out, "Scanned " + empty.string() + ": no Python files found (1 job)\n" +
                             "Skipped 1 folder (hidden or virtual environments):\n  " +
                             (empty / ".venv").string() + "\n");
}

TEST(NorvexScan, MissingFolderAndUsageErrors) {
    ScratchDir scratch{"norvex_scan_"};
    const std::string missing = (scratch.path() / "absent").string();
    const ProgramOutput absent = run_norvex({"scan", missing}, scratch);
    EXPECT_EQ(absent.exit_status, 1);
    EXPECT_EQ(absent.out, "");
    EXPECT_THAT(absent.err, StartsWith("norvex scan: no such folder: " + missing + " ("));

    const std::string file = scratch.write("one.py", "x = 1\n");
    const ProgramOutput not_dir = run_norvex({"scan", file, "--json"}, scratch);
    EXPECT_EQ(not_dir.exit_status, 1);
    EXPECT_EQ(not_dir.out, "");
    EXPECT_THAT(not_dir.err, StartsWith("norvex scan: not a folder: " + file));
    EXPECT_THAT(not_dir.err, HasSubstr("norvex analyze"));

    const std::string dir = scratch.path().string();
    const std::vector<std::vector<std::string>> wrong{
        {"scan"},                       // no folder
        {"scan", dir, "--jobs", "0"},   // at least one at a time
        {"scan", dir, "--jobs", "-3"},
        {"scan", dir, "--jobs", "two"},
        {"scan", dir, "--jobs", "50"},  // more than the pool runs
        {"scan", dir, "--top", "-1"},
        {"scan", dir, dir},             // one folder only
    };
    for (const auto& args : wrong) {
        const ProgramOutput usage = run_norvex(args, scratch);
        const std::string shown = ::testing::PrintToString(args);
        EXPECT_EQ(usage.exit_status, 2) << shown;
        EXPECT_NE(usage.err, "") << shown;
        EXPECT_EQ(usage.out, "") << shown;
    }
}

// On a terminal, stderr shows the count going up on one redrawn line, and
// the line is gone before the report is printed.
TEST(NorvexScan, ProgressLineOnATerminal) {
    SampleTree tree;
    const std::string out_file = (tree.scratch.path() / "out").string();
    TerminalRun run({"scan", tree.root.string(), "--json"}, out_file, {{"TERM", "xterm"}});
    const std::string err = run.read_to_end();
    const int status = run.wait();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    EXPECT_THAT(err, StartsWith("\r\x1b[Kscanning: 0/6 files, 0 failed"));
    EXPECT_THAT(err, HasSubstr("\r\x1b[Kscanning: 6/6 files, 1 failed"));
    EXPECT_THAT(err, ::testing::EndsWith("\r\x1b[K"));
    EXPECT_EQ(err.find('\n'), std::string::npos);
    // stdout, not a terminal, holds the report alone.
    const json::object doc = norvex::pyjson::parse(read_file(out_file)).as_object();
    EXPECT_EQ(doc.at("totals").at("files").as_int64(), 6);
}

// A terminal that cannot redraw a line (TERM unset or "dumb"), or -q, gets no progress line.
TEST(NorvexScan, NoProgressLineWhereItCannotBeRedrawnOrWhenQuiet) {
    SampleTree tree;
    const std::string out_file = (tree.scratch.path() / "out").string();
    const std::vector<std::pair<std::vector<std::string>, std::optional<std::string>>> cases{
        {{"scan", tree.root.string()}, std::nullopt},
        {{"scan", tree.root.string()}, "dumb"},
        {{"scan", tree.root.string(), "-q"}, "xterm"},
        {{"-q", "scan", tree.root.string()}, "xterm"},
    };
    for (const auto& [args, term] : cases) {
        TerminalRun run(args, out_file, {{"TERM", term}});
        const std::string err = run.read_to_end();
        const int status = run.wait();
        const std::string shown = ::testing::PrintToString(args) + " TERM=" + term.value_or("(unset)");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
        EXPECT_EQ(err, "") << shown;
        EXPECT_THAT(read_file(out_file), StartsWith("Scanned ")) << shown;
    }
}

// Ctrl-C or SIGTERM in the middle of a scan: the line is cleared, the
// workers are stopped, and the status is the shell's for the signal (128 + its number).
TEST(NorvexScan, InterruptOrTerminateClearsTheLineAndStopsTheWorkers) {
    ScratchDir scratch{"norvex_scan_"};
    const fs::path root = scratch.path() / "many";
    // A large file first, so that a worker is still busy when the signal comes.
    std::string large;
    for (int i = 0; i < 40000; ++i) large += "def f" + std::to_string(i) + "(a):\n    return a if a else 0\n";
    put(root, "a_large.py", large);
    for (int i = 0; i < 400; ++i) put(root, "m" + std::to_string(i) + ".py", BETA);
    // Workers orphaned by the program would become this process's children, where they can be found.
    OrphanCatcher catcher;
    ASSERT_TRUE(catcher.active());

    for (const int signal_number : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(signal_number));
        const std::string out_file = (scratch.path() / "out").string();
        TerminalRun run({"scan", root.string(), "--jobs", "2"}, out_file, {{"TERM", "xterm"}});
        // Mid-scan: the files are counted and a worker is running.
        run.read_until([](const std::string& text) { return text.find("/401 files") != std::string::npos; });
        std::vector<pid_t> workers;
        for (int attempt = 0; attempt < 5000 && workers.empty(); ++attempt) workers = children_named(run.pid());
        ASSERT_FALSE(workers.empty()) << "no worker seen running";
        ASSERT_EQ(::kill(run.pid(), signal_number), 0);

        const std::string err = run.read_to_end();
        const int status = run.wait();
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal_number);
        EXPECT_THAT(err, ::testing::EndsWith("\r\x1b[K"));
        EXPECT_EQ(err.find("401/401"), std::string::npos) << "the scan had finished before the signal";
        EXPECT_EQ(read_file(out_file), "");  // no report for a scan that was stopped

        for (const pid_t worker : workers) EXPECT_FALSE(is_running(worker)) << "worker " << worker << " survived";
        EXPECT_TRUE(catcher.orphans().empty()) << "a worker outlived the program";
    }
}
