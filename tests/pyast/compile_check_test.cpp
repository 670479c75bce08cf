// compile_check against CPython 3.14's compile(): the recorded answers for every snippet, and the live oracle.
//
// tests/data/pyast/compile holds one snippet per case and expected.jsonl,
// what CPython 3.14 (pyodide) raised for each. Snippets that only make sense
// as a str handed to compile() end in .pystr, so that the parser's oracle
// test, which reads .py files as bytes, leaves them out: a coding cookie
// that compile() ignores, integer literals past the digit limit that
// ast.dump cannot print. After adding a snippet, record the answers again:
//   cd tests/data/pyast/compile &&
//   node ../../../pyast/oracle/compile_oracle.mjs $(ls *.py *.pystr | LC_ALL=C sort) > expected.jsonl
#include "oracle_files.hpp"
#include "norvex/pyast/compile_check.hpp"

#include <boost/json.hpp>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

namespace norvex::pyast {
namespace {

namespace fs = std::filesystem;
namespace json = boost::json;

const fs::path kData = NORVEX_PYAST_TEST_DATA;
const fs::path kSnippets = kData / "compile";
const fs::path kOracle = kData / ".." / ".." / "pyast" / "oracle";

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Well-formed UTF-8 (no overlong forms or values past U+10FFFF); lone
// surrogates pass, as a str may hold them (the oracle keeps them too).
bool is_utf8(const std::string& text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > n) return false;
        char32_t cp = len == 1 ? c : c & (0x7F >> len);
        for (std::size_t k = 1; k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        const char32_t min = len == 1 ? 0 : len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
        if (cp < min || cp > 0x10FFFF) return false;
        i += len;
    }
    return true;
}

std::vector<fs::path> snippet_files() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(kSnippets)) {
        if (entry.path().extension() == ".py" || entry.path().extension() == ".pystr") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<json::object> parse_lines(const std::string& text) {
    std::vector<json::object> records;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty()) records.push_back(json::parse(line).as_object());
    }
    return records;
}

std::map<std::string, json::object> recorded_answers() {
    std::map<std::string, json::object> by_file;
    for (auto& record : parse_lines(read_file(kSnippets / "expected.jsonl"))) {
        by_file[std::string(record.at("file").as_string())] = std::move(record);
    }
    return by_file;
}

int int_or_zero(const json::value& v) { return v.is_null() ? 0 : static_cast<int>(v.as_int64()); }

// How many answers agree: on line and message (the promise), and on everything str() shows.
struct Tally {
    int total = 0;
    int line_and_message = 0;
    int exact = 0;

    void report(const char* what) const {
        std::cout << "[ rate     ] " << what << ": line and message " << line_and_message << "/" << total
                  << ", offset and str() too " << exact << "/" << total << "\n";
    }
};

// Compares compile_check on one file with one oracle answer {"error": null | {...}}.
void compare(const fs::path& file, const json::object& answer, Tally& tally) {
    const std::string name = file.filename().string();
    const std::optional<CompileError> got = compile_check(read_file(file), name);
    const json::value& want = answer.at("error");
    ++tally.total;
    if (want.is_null()) {
        EXPECT_FALSE(got.has_value()) << file << " compiles in CPython, but compile_check says: " << got->text();
        if (!got) ++tally.line_and_message, ++tally.exact;
        return;
    }
    const json::object& error = want.as_object();
    const std::string message(error.at("msg").as_string());
    if (!got) {
        ADD_FAILURE() << file << " compiled, but CPython says: " << error.at("text").as_string();
        return;
    }
    EXPECT_EQ(got->type, std::string_view(error.at("type").as_string())) << file;
    EXPECT_EQ(got->message, message) << file;
    EXPECT_EQ(got->lineno, int_or_zero(error.at("lineno"))) << file;
    EXPECT_EQ(got->offset, int_or_zero(error.at("offset"))) << file;
    EXPECT_EQ(got->text(), std::string_view(error.at("text").as_string())) << file;
    if (got->message == message && got->lineno == int_or_zero(error.at("lineno"))) {
        ++tally.line_and_message;
        if (got->offset == int_or_zero(error.at("offset")) && got->text() == error.at("text").as_string()) ++tally.exact;
    }
}

TEST(CompileCheck, every_snippet_matches_cpythons_recorded_answer) {
    const auto recorded = recorded_answers();
    const auto files = snippet_files();
    ASSERT_GE(files.size(), 80u);
    Tally tally;
    std::set<std::string> seen;
    for (const auto& file : files) {
        const std::string name = file.filename().string();
        auto it = recorded.find(name);
        if (it == recorded.end()) {
            ADD_FAILURE() << name << " has no recorded answer: record expected.jsonl again (see the top of this file)";
            continue;
        }
        seen.insert(name);
        compare(file, it->second, tally);
    }
    for (const auto& [name, record] : recorded) {
        EXPECT_TRUE(seen.count(name)) << name << " is recorded but its snippet is gone";
    }
    tally.report("recorded snippets");
    EXPECT_EQ(tally.line_and_message, tally.total);
}

// The corpus must keep both sides: programs that fail and programs that must not.
TEST(CompileCheck, snippets_cover_errors_and_valid_programs) {
    int valid = 0;
    std::set<std::string> messages;
    for (const auto& [name, record] : recorded_answers()) {
        if (record.at("error").is_null()) {
            ++valid;
        } else {
            messages.insert(std::string(record.at("error").at("msg").as_string()));
        }
    }
    EXPECT_GE(valid, 30);
    EXPECT_GE(messages.size(), 60u);
}

TEST(CompileCheck, text_shows_the_place_as_python_does) {
    EXPECT_EQ((CompileError{"'return' outside function", 3, 1, "m.py"}.text()), "'return' outside function (m.py, line 3)");
    // str() of a SyntaxError shows only the file's base name.
    EXPECT_EQ((CompileError{"bad", 2, 5, "/tmp/pkg/m.py"}.text()), "bad (m.py, line 2)");
    EXPECT_EQ((CompileError{"bad", 0, 0, "m.py"}.text()), "bad (m.py)");
    EXPECT_EQ((CompileError{"bad", 4, 0, ""}.text()), "bad (line 4)");
    EXPECT_EQ((CompileError{"source code string cannot contain null bytes", 0, 0, ""}.text()),
              "source code string cannot contain null bytes");
}

TEST(CompileCheck, keeps_the_filename_it_was_given) {
    const auto error = compile_check("def f():\n    return 1\nreturn 2\n", "/srv/app/main.py");
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->filename, "/srv/app/main.py");
    EXPECT_EQ(error->lineno, 3);
    EXPECT_EQ(error->text(), "'return' outside function (main.py, line 3)");
}

// Left-nested chains are as long as the source makes them; the checks must
// still reach their far end without running out of stack.
TEST(CompileCheck, long_chains_are_checked_to_their_end) {
    std::string sum = "x = 1";
    for (int i = 0; i < 100000; ++i) sum += " + a.b[0]()";
    EXPECT_FALSE(compile_check(sum + "\n", "sum.py").has_value());
    const std::string bad = sum + " + f(k=1, k=2)\n";
    const auto error = compile_check(bad, "sum.py");
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->message, "keyword argument repeated: k");
    EXPECT_EQ(error->offset, static_cast<int>(bad.find("k=2")) + 1);
    std::string calls = "y = f";
    for (int i = 0; i < 100000; ++i) calls += "()";
    const auto await_error = compile_check(calls + "\nawait y\n", "calls.py");
    ASSERT_TRUE(await_error.has_value());
    EXPECT_EQ(await_error->text(), "'await' outside function (calls.py, line 2)");
}

TEST(CompileCheck, handles_every_parser_sample_without_throwing) {
    int checked = 0;
    for (const auto& file : testing::oracle_sample_files()) {
        EXPECT_NO_THROW((void)compile_check(read_file(file), file.filename().string())) << file;
        ++checked;
    }
    EXPECT_GE(checked, 80);
}

// The live oracle: every sample file under tests/data/pyast (the snippets
// and the parser's samples), plus NORVEX_PYAST_ORACLE_EXTRA when set.
class CompileOracle : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        files_ = new std::vector<fs::path>();
        answers_ = new std::vector<json::object>();
        if (std::system("command -v node >/dev/null 2>&1") != 0) {
            skip_reason_ = "node is not installed";
            return;
        }
        if (!fs::exists(kOracle / "node_modules" / "pyodide")) {
            skip_reason_ = "pyodide is not installed (scripts/install-deps.sh)";
            return;
        }
        // The oracle reads files as UTF-8 text, as compile() gets a str.
        std::vector<fs::path> candidates = testing::oracle_sample_files();
        for (const auto& file : snippet_files()) {
            if (file.extension() == ".pystr") candidates.push_back(file);
        }
        for (const auto& file : candidates) {
            if (is_utf8(read_file(file))) files_->push_back(file);
        }
        const fs::path list = fs::temp_directory_path() / ("pyast_compile_oracle_" + std::to_string(::getpid()) + ".txt");
        {
            std::ofstream out(list);
            for (const auto& f : *files_) out << f.string() << '\n';
        }
        const std::string command = "node '" + (kOracle / "compile_oracle.mjs").string() + "' < '" + list.string() + "'";
        FILE* pipe = ::popen(command.c_str(), "r");
        std::string text;
        char buf[1 << 16];
        for (std::size_t n; pipe != nullptr && (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) text.append(buf, n);
        const int status = pipe != nullptr ? ::pclose(pipe) : -1;
        fs::remove(list);
        if (status != 0) {
            oracle_failure_ = "the oracle failed: " + command;
            return;
        }
        *answers_ = parse_lines(text);
    }
    static void TearDownTestSuite() {
        delete files_;
        delete answers_;
    }
    void SetUp() override {
        if (!skip_reason_.empty()) GTEST_SKIP() << skip_reason_;
        ASSERT_TRUE(oracle_failure_.empty()) << oracle_failure_;
        ASSERT_EQ(answers_->size(), files_->size());
    }
    static bool is_snippet(const fs::path& file) { return file.parent_path().filename() == "compile"; }

    static inline std::vector<fs::path>* files_ = nullptr;
    static inline std::vector<json::object>* answers_ = nullptr;
    static inline std::string skip_reason_;
    static inline std::string oracle_failure_;
};

TEST_F(CompileOracle, snippets_match_the_live_answers_and_the_recorded_ones) {
    const auto recorded = recorded_answers();
    Tally tally;
    for (std::size_t i = 0; i < files_->size(); ++i) {
        const fs::path& file = (*files_)[i];
        if (!is_snippet(file)) continue;
        compare(file, (*answers_)[i], tally);
        auto it = recorded.find(file.filename().string());
        if (it != recorded.end()) {
            EXPECT_EQ(json::serialize(it->second.at("error")), json::serialize((*answers_)[i].at("error")))
                << file << ": the recorded answer is stale; record expected.jsonl again";
        }
    }
    tally.report("live snippets");
    EXPECT_GE(tally.total, 80);
}

TEST_F(CompileOracle, parser_samples_match_the_live_answers) {
    Tally tally;
    for (std::size_t i = 0; i < files_->size(); ++i) {
        if (!is_snippet((*files_)[i])) compare((*files_)[i], (*answers_)[i], tally);
    }
    tally.report("other sample files");
    EXPECT_GE(tally.total, 3);
}

}  // namespace
}  // namespace norvex::pyast
