// Every broken sample in tests/data/pyast/errors against CPython 3.14's recorded answer, without node.
//
// The answers come from tests/pyast/record_parser_errors.py (see its header);
// ParserOracle checks them against live CPython where node is installed.
#include "error_answers.hpp"
#include "norvex/pyast/parse.hpp"

#include <boost/json.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace norvex::pyast {
namespace {

namespace fs = std::filesystem;
namespace json = boost::json;
using testing::kErrorSamples;
using testing::kRecordErrorAnswers;

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> sample_names() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(kErrorSamples)) {
        if (entry.is_regular_file() && entry.path().extension() == ".py") names.push_back(entry.path().filename());
    }
    std::sort(names.begin(), names.end());
    return names;
}

int int_or_zero(const json::value& v) { return v.is_null() ? 0 : static_cast<int>(v.as_int64()); }

// Whether norvex's answer for one sample is the recorded one: the fields the
// live comparison checks, and the end of the error's range as well.
bool matches(const std::string& name, const json::value& want) {
    const ParseResult result = parse(read_file(kErrorSamples / name));
    if (want.is_null()) {
        EXPECT_FALSE(result.error) << name << " parses in CPython, but norvex says: " << result.error->msg
                                   << " at line " << result.error->lineno;
        return !result.error;
    }
    const json::object& error = want.as_object();
    if (!result.error) {
        ADD_FAILURE() << name << " parsed, but CPython says " << error.at("type").as_string() << ": "
                      << error.at("msg").as_string();
        return false;
    }
    const SyntaxError& got = *result.error;
    const std::string type(error.at("type").as_string());
    EXPECT_EQ(name_of(got.type), type) << name;
    EXPECT_EQ(got.msg, std::string_view(error.at("msg").as_string())) << name;
    bool same = name_of(got.type) == type && got.msg == error.at("msg").as_string();
    // Where the parser's stack gives out depends on the build; only the kind and message are compared.
    if (type == "MemoryError") return same;
    const int where[] = {got.lineno, got.offset, got.end_lineno, got.end_offset};
    const char* fields[] = {"lineno", "offset", "end_lineno", "end_offset"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(where[i], int_or_zero(error.at(fields[i]))) << name << ": " << fields[i] << " (norvex, then CPython)";
        same = same && where[i] == int_or_zero(error.at(fields[i]));
    }
    return same;
}

TEST(ParserErrorAnswers, every_sample_gives_cpythons_recorded_error) {
    const testing::ErrorAnswers answers = testing::read_error_answers();
    ASSERT_TRUE(answers.problem.empty()) << answers.problem;
    const std::vector<std::string> names = sample_names();
    ASSERT_GE(names.size(), 300u) << "the samples in " << kErrorSamples << " are gone";
    int matched = 0;
    std::set<std::string> seen;
    for (const std::string& name : names) {
        auto it = answers.by_file.find(name);
        if (it == answers.by_file.end()) {
            ADD_FAILURE() << name << " has no recorded answer in " << testing::kErrorAnswers
                          << ": record the answers again with " << kRecordErrorAnswers;
            continue;
        }
        seen.insert(name);
        if (matches(name, it->second.at("error"))) ++matched;
    }
    for (const auto& [name, answer] : answers.by_file) {
        EXPECT_TRUE(seen.count(name)) << name << " has a recorded answer but no sample in " << kErrorSamples
                                      << ": record the answers again with " << kRecordErrorAnswers;
    }
    std::cout << "[ rate     ] recorded error samples: " << matched << "/" << names.size() << " same answer\n";
}

// The samples must keep both sides: most are errors CPython's parser raises,
// a few only fail later (in compile()) and must parse.
TEST(ParserErrorAnswers, samples_cover_every_kind_of_error) {
    const testing::ErrorAnswers answers = testing::read_error_answers();
    ASSERT_TRUE(answers.problem.empty()) << answers.problem;
    std::set<std::string> kinds;
    std::set<std::string> messages;
    for (const auto& [name, answer] : answers.by_file) {
        const json::value& error = answer.at("error");
        if (!error.is_object()) continue;
        kinds.insert(std::string(error.at("type").as_string()));
        messages.insert(std::string(error.at("msg").as_string()));
    }
    for (const char* kind : {"SyntaxError", "IndentationError", "TabError", "MemoryError"}) {
        EXPECT_TRUE(kinds.count(kind)) << "no sample gives a " << kind;
    }
    EXPECT_GE(messages.size(), 100u);
}

}  // namespace
}  // namespace norvex::pyast
