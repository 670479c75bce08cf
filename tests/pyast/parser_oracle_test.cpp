// The parser against CPython 3.14: every sample file must give the same ast.dump or the same SyntaxError.
//
// The oracle (tests/pyast/oracle, pyodide under node) parses each file under
// tests/data/pyast (samples and errors/) and, with NORVEX_PYAST_ORACLE_EXTRA
// set to a folder, every .py file below it (e.g. /usr/lib/python3.11).
#include "error_answers.hpp"
#include "oracle_files.hpp"
#include "norvex/pyast/dump.hpp"
#include "norvex/pyast/parse.hpp"

#include <boost/json.hpp>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace norvex::pyast {
namespace {

namespace fs = std::filesystem;
namespace json = boost::json;

const fs::path kData = NORVEX_PYAST_TEST_DATA;
const fs::path kOracle = kData / ".." / ".." / "pyast" / "oracle";

struct OracleRun {
    std::vector<json::object> records;
    std::string skip_reason;
};

OracleRun run_oracle(const std::vector<fs::path>& files) {
    OracleRun run;
    if (std::system("command -v node >/dev/null 2>&1") != 0) {
        run.skip_reason = "node is not installed";
        return run;
    }
    if (!fs::exists(kOracle / "node_modules" / "pyodide")) {
        run.skip_reason = "pyodide is not installed (scripts/install-deps.sh)";
        return run;
    }
    const fs::path list = fs::temp_directory_path() / ("pyast_parser_oracle_" + std::to_string(::getpid()) + ".txt");
    {
        std::ofstream out(list);
        for (const auto& f : files) out << f.string() << '\n';
    }
    const std::string command = "node '" + (kOracle / "oracle.mjs").string() + "' --mode dump < '" + list.string() + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string text;
    char buf[1 << 16];
    for (std::size_t n; pipe != nullptr && (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) text.append(buf, n);
    const int status = pipe != nullptr ? ::pclose(pipe) : -1;
    fs::remove(list);
    EXPECT_EQ(status, 0) << command;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) run.records.push_back(json::parse(line).as_object());
    return run;
}

std::vector<fs::path> sample_files() { return testing::oracle_sample_files(); }

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int int_or(const json::value& v, int none) { return v.is_null() ? none : static_cast<int>(v.as_int64()); }

class ParserOracle : public ::testing::Test {
protected:
    static void SetUpTestSuite() { run_ = new OracleRun(run_oracle(sample_files())); }
    static void TearDownTestSuite() {
        delete run_;
        run_ = nullptr;
    }
    void SetUp() override {
        if (!run_->skip_reason.empty()) GTEST_SKIP() << run_->skip_reason;
    }
    static OracleRun* run_;
};

OracleRun* ParserOracle::run_ = nullptr;

TEST_F(ParserOracle, valid_files_dump_the_same_tree) {
    int checked = 0;
    for (const auto& record : run_->records) {
        if (!record.contains("dump")) continue;
        const std::string path(record.at("path").as_string());
        ParseResult result = parse(read_file(path));
        // One file's disagreement must not hide the next one's (the mutation run counts them all).
        if (!result.tree) {
            ADD_FAILURE() << path << ": " << result.error->msg << " at line " << result.error->lineno;
            continue;
        }
        const std::string ours = dump(result.tree->root, {.indent = 2, .include_attributes = true});
        EXPECT_EQ(ours, std::string_view(record.at("dump").as_string())) << path;
        ++checked;
    }
    EXPECT_GE(checked, 3);
}

TEST_F(ParserOracle, broken_files_give_the_same_syntax_error) {
    int checked = 0;
    for (const auto& record : run_->records) {
        if (!record.contains("error")) continue;
        const std::string path(record.at("path").as_string());
        const json::object& want = record.at("error").as_object();
        ParseResult result = parse(read_file(path));
        if (!result.error) {
            ADD_FAILURE() << path << " parsed, but CPython says " << want.at("msg").as_string();
            continue;
        }
        const SyntaxError& got = *result.error;
        const std::string want_type(want.at("type").as_string());
        EXPECT_EQ(name_of(got.type), want_type) << path;
        // Where the parser's stack gives out depends on the build; only the kind and message are compared.
        if (want_type != "MemoryError") {
            EXPECT_EQ(got.lineno, int_or(want.at("lineno"), 0)) << path;
            EXPECT_EQ(got.offset, int_or(want.at("offset"), 0)) << path;
        }
        EXPECT_EQ(got.msg, std::string_view(want.at("msg").as_string())) << path;
        ++checked;
    }
    EXPECT_GE(checked, 50);
}

// The recorded answers the node-free ParserErrorAnswers test reads must still
// be what CPython says, field by field.
TEST_F(ParserOracle, recorded_error_answers_are_still_cpythons) {
    const testing::ErrorAnswers recorded = testing::read_error_answers();
    ASSERT_TRUE(recorded.problem.empty()) << recorded.problem;
    const fs::path errors = testing::kErrorSamples.lexically_normal();
    int checked = 0;
    for (const auto& record : run_->records) {
        const fs::path path = fs::path(std::string(record.at("path").as_string())).lexically_normal();
        if (path.parent_path() != errors) continue;
        const std::string name = path.filename().string();
        auto it = recorded.by_file.find(name);
        if (it == recorded.by_file.end()) {
            ADD_FAILURE() << name << " has no recorded answer: record the answers again with "
                          << testing::kRecordErrorAnswers;
            continue;
        }
        json::value live = nullptr;
        if (record.contains("error")) live = record.at("error");
        EXPECT_TRUE(it->second.at("error") == live)
            << name << ": CPython says " << json::serialize(live) << ", recorded is "
            << json::serialize(it->second.at("error")) << "; record the answers again with "
            << testing::kRecordErrorAnswers;
        ++checked;
    }
    EXPECT_EQ(checked, static_cast<int>(recorded.by_file.size())) << "samples and recorded answers differ in number";
}

}  // namespace
}  // namespace norvex::pyast
