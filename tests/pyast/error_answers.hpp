// CPython's recorded answers for the broken samples (tests/data/pyast/errors/expected.jsonl), read for the parser tests.
#pragma once

#include <boost/json.hpp>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <system_error>

namespace norvex::pyast::testing {

inline const std::filesystem::path kErrorSamples = std::filesystem::path(NORVEX_PYAST_TEST_DATA) / "errors";
inline const std::filesystem::path kErrorAnswers = kErrorSamples / "expected.jsonl";
inline constexpr const char* kRecordErrorAnswers = "/usr/bin/python3 tests/pyast/record_parser_errors.py";

struct ErrorAnswers {
    std::map<std::string, boost::json::object> by_file;  // sample name -> {"file", "error"}
    std::string problem;                                 // why the file could not be read whole, if it could not
};

inline ErrorAnswers read_error_answers() {
    ErrorAnswers answers;
    std::ifstream in(kErrorAnswers, std::ios::binary);
    if (!in) {
        answers.problem = kErrorAnswers.string() + " is missing: record it with " + kRecordErrorAnswers;
        return answers;
    }
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (line.empty()) continue;
        const std::string where = kErrorAnswers.string() + ":" + std::to_string(number);
        std::error_code ec;
        boost::json::value value = boost::json::parse(line, ec);
        if (ec || !value.is_object() || !value.as_object().contains("file") || !value.at("file").is_string() ||
            !value.as_object().contains("error")) {
            answers.problem = where + " is not a {\"file\", \"error\"} line; record the file again with " +
                              std::string(kRecordErrorAnswers);
            return answers;
        }
        std::string name(value.at("file").as_string());
        if (!answers.by_file.emplace(name, std::move(value.as_object())).second) {
            answers.problem = where + " repeats " + name + "; record the file again with " + kRecordErrorAnswers;
            return answers;
        }
    }
    return answers;
}

}  // namespace norvex::pyast::testing
