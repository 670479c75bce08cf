// What `norvex scan` reports: per-file analyses folded into totals, failures and the most complex functions.
#pragma once

#include <boost/json/object.hpp>
#include <boost/json/value.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace norvex::cli {

// One complexity record of one function, with the file it is in.
struct FunctionRecord {
    std::string path;
    std::int64_t line = 0;
    std::string name;
    std::int64_t complexity = 0;
    std::string rating;
    std::size_t file_index = 0;  // position of the file in scan order, for ties
};

// The figures of one file, taken from its "summarize" and "complexity" answers.
struct FileFigures {
    std::int64_t total_lines = 0;
    std::int64_t code_lines = 0;
    std::int64_t comment_lines = 0;
    std::int64_t blank_lines = 0;
    std::int64_t functions = 0;
    std::int64_t classes = 0;
    std::int64_t todos = 0;
    std::vector<FunctionRecord> complexity;
};

// One scanned file: its figures when both analyses succeeded, else the error text.
struct FileOutcome {
    std::string path;
    std::optional<FileFigures> figures;
    std::string error;
};

// Reads the worker's summary object and complexity list for the file at
// `index` of the scan. Throws std::runtime_error naming what is missing when
// either does not have the documented shape.
FileFigures figures_from(const std::string& path, std::size_t index, const boost::json::value& summary,
                         const boost::json::value& complexity);

struct ScanTotals {
    std::int64_t files = 0;     // Python files found
    std::int64_t analyzed = 0;  // of which both analyses succeeded
    std::int64_t failed = 0;
    // The rest count the analysed files only.
    std::int64_t total_lines = 0;
    std::int64_t code_lines = 0;
    std::int64_t comment_lines = 0;
    std::int64_t blank_lines = 0;
    std::int64_t functions = 0;
    std::int64_t classes = 0;
    std::int64_t todos = 0;
    std::int64_t complexity_records = 0;
    std::int64_t complexity_sum = 0;
};

struct ScanFailure {
    std::string path;
    std::string error;
};

struct ScanReport {
    std::string root;  // the folder as the user gave it
    int jobs = 1;
    ScanTotals totals;
    std::vector<ScanFailure> failures;       // in scan order
    std::vector<FunctionRecord> top;         // most complex first
    std::vector<std::string> skipped;        // folders left out, in walk order
};

// Folds the outcomes (in scan order) into a report keeping the `top_k` most
// complex functions: complexity descending, then file in scan order, then line.
ScanReport build_report(std::string root, int jobs, const std::vector<FileOutcome>& outcomes,
                        std::vector<std::string> skipped, std::size_t top_k);

// The mean complexity of all functions, rounded to 1 decimal (ties to even);
// the integer 0 when there are none, as a file's own summary gives it.
boost::json::value average_complexity(const ScanTotals& totals);

// The report as one JSON object, keys in this order:
//   "root", "jobs",
//   "totals": {"files", "analyzed", "failed", "total_lines", "code_lines",
//              "comment_lines", "blank_lines", "functions", "classes",
//              "todos", "avg_complexity"},
//   "failures": [{"path", "error"}],
//   "top_functions": [{"path", "line", "name", "complexity", "rating"}],
//   "skipped_dirs": [path, ...]
boost::json::object report_json(const ScanReport& report);

// The report as a table for people, ending with a line feed.
std::string report_table(const ScanReport& report);

}  // namespace norvex::cli
