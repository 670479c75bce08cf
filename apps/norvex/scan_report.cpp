// Folding per-file analyses into the scan report, and writing it as JSON or as a table.
#include "scan_report.hpp"

#include "norvex/common/py_round.hpp"
#include "norvex/common/pyjson.hpp"

#include <boost/json/array.hpp>
#include <fmt/format.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace norvex::cli {

namespace json = boost::json;

namespace {

std::int64_t integer_member(const json::object& object, std::string_view key, std::string_view what) {
    const json::value* v = object.if_contains(key);
    if (!v || !v->is_int64()) throw std::runtime_error(fmt::format("{} has no integer \"{}\"", what, key));
    return v->get_int64();
}

std::string text_member(const json::object& object, std::string_view key, std::string_view what) {
    const json::value* v = object.if_contains(key);
    if (!v || !v->is_string()) throw std::runtime_error(fmt::format("{} has no text \"{}\"", what, key));
    return std::string(v->get_string());
}

// Most complex first; equal ones in the order the scan met them.
bool more_complex(const FunctionRecord& a, const FunctionRecord& b) {
    if (a.complexity != b.complexity) return a.complexity > b.complexity;
    if (a.file_index != b.file_index) return a.file_index < b.file_index;
    if (a.line != b.line) return a.line < b.line;
    return a.name < b.name;
}

}  // namespace

FileFigures figures_from(const std::string& path, std::size_t index, const json::value& summary,
                         const json::value& complexity) {
    if (!summary.is_object()) throw std::runtime_error("The summary is not a JSON object");
    if (!complexity.is_array()) throw std::runtime_error("The complexity answer is not a JSON list");
    const json::object& s = summary.get_object();
    FileFigures figures;
    figures.total_lines = integer_member(s, "total_lines", "The summary");
    figures.code_lines = integer_member(s, "code_lines", "The summary");
    figures.comment_lines = integer_member(s, "comment_lines", "The summary");
    figures.blank_lines = integer_member(s, "blank_lines", "The summary");
    figures.functions = integer_member(s, "function_count", "The summary");
    figures.classes = integer_member(s, "class_count", "The summary");
    figures.todos = integer_member(s, "todo_count", "The summary");
    for (const json::value& item : complexity.get_array()) {
        if (!item.is_object()) throw std::runtime_error("A complexity record is not a JSON object");
        const json::object& r = item.get_object();
        figures.complexity.push_back(FunctionRecord{
            .path = path,
            .line = integer_member(r, "line", "A complexity record"),
            .name = text_member(r, "name", "A complexity record"),
            .complexity = integer_member(r, "complexity", "A complexity record"),
            .rating = text_member(r, "rating", "A complexity record"),
            .file_index = index,
        });
    }
    return figures;
}

ScanReport build_report(std::string root, int jobs, const std::vector<FileOutcome>& outcomes,
                        std::vector<std::string> skipped, std::size_t top_k) {
    ScanReport report;
    report.root = std::move(root);
    report.jobs = jobs;
    report.skipped = std::move(skipped);
    ScanTotals& t = report.totals;
    std::vector<FunctionRecord> functions;
    for (const FileOutcome& outcome : outcomes) {
        ++t.files;
        if (!outcome.figures) {
            ++t.failed;
            report.failures.push_back({outcome.path, outcome.error});
            continue;
        }
        const FileFigures& f = *outcome.figures;
        ++t.analyzed;
        t.total_lines += f.total_lines;
        t.code_lines += f.code_lines;
        t.comment_lines += f.comment_lines;
        t.blank_lines += f.blank_lines;
        t.functions += f.functions;
        t.classes += f.classes;
        t.todos += f.todos;
        for (const FunctionRecord& r : f.complexity) {
            ++t.complexity_records;
            t.complexity_sum += r.complexity;
            if (top_k > 0) functions.push_back(r);
        }
    }
    const std::size_t keep = std::min(top_k, functions.size());
    std::partial_sort(functions.begin(), functions.begin() + static_cast<std::ptrdiff_t>(keep), functions.end(),
                      more_complex);
    functions.resize(keep);
    report.top = std::move(functions);
    return report;
}

json::value average_complexity(const ScanTotals& totals) {
    if (totals.complexity_records == 0) return json::value(0);
    const double mean = static_cast<double>(totals.complexity_sum) / static_cast<double>(totals.complexity_records);
    return json::value(py_round(mean, 1));
}

json::object report_json(const ScanReport& report) {
    const ScanTotals& t = report.totals;
    json::object totals;
    totals["files"] = t.files;
    totals["analyzed"] = t.analyzed;
    totals["failed"] = t.failed;
    totals["total_lines"] = t.total_lines;
    totals["code_lines"] = t.code_lines;
    totals["comment_lines"] = t.comment_lines;
    totals["blank_lines"] = t.blank_lines;
    totals["functions"] = t.functions;
    totals["classes"] = t.classes;
    totals["todos"] = t.todos;
    totals["avg_complexity"] = average_complexity(t);

    json::array failures;
    for (const ScanFailure& f : report.failures) {
        json::object entry;
        entry["path"] = f.path;
        entry["error"] = f.error;
        failures.push_back(std::move(entry));
    }
    json::array top;
    for (const FunctionRecord& r : report.top) {
        json::object entry;
        entry["path"] = r.path;
        entry["line"] = r.line;
        entry["name"] = r.name;
        entry["complexity"] = r.complexity;
        entry["rating"] = r.rating;
        top.push_back(std::move(entry));
    }
    json::array skipped;
    for (const std::string& s : report.skipped) skipped.push_back(json::string(s));

    json::object out;
    out["root"] = report.root;
    out["jobs"] = report.jobs;
    out["totals"] = std::move(totals);
    out["failures"] = std::move(failures);
    out["top_functions"] = std::move(top);
    out["skipped_dirs"] = std::move(skipped);
    return out;
}

std::string report_table(const ScanReport& report) {
    const ScanTotals& t = report.totals;
    std::string out;
    auto line = [&out](std::string_view text) {
        out += text;
        out += '\n';
    };

    const std::string jobs = fmt::format("{} job{}", report.jobs, report.jobs == 1 ? "" : "s");
    if (t.files == 0) {
        line(fmt::format("Scanned {}: no Python files found ({})", report.root, jobs));
    } else {
        line(fmt::format("Scanned {}: {} Python file{}, {} analyzed, {} failed ({})", report.root, t.files,
                         t.files == 1 ? "" : "s", t.analyzed, t.failed, jobs));
    }
    if (!report.skipped.empty()) {
        line(fmt::format("Skipped {} folder{} (hidden or virtual environments):", report.skipped.size(),
                         report.skipped.size() == 1 ? "" : "s"));
        for (const std::string& s : report.skipped) line("  " + s);
    }
    if (t.files == 0) return out;

    const json::value avg = average_complexity(t);
    const std::string avg_text = avg.is_double() ? pyjson::float_repr(avg.get_double()) : "0";
    const std::vector<std::pair<std::string, std::string>> rows{
        {"lines", std::to_string(t.total_lines)},      {"  code", std::to_string(t.code_lines)},
        {"  comment", std::to_string(t.comment_lines)}, {"  blank", std::to_string(t.blank_lines)},
        {"functions", std::to_string(t.functions)},    {"classes", std::to_string(t.classes)},
        {"TODOs", std::to_string(t.todos)},            {"avg complexity", avg_text},
    };
    std::size_t value_width = 0;
    for (const auto& row : rows) value_width = std::max(value_width, row.second.size());
    line("");
    line("Totals (analyzed files)");
    for (const auto& [label, value] : rows) line(fmt::format("  {:<16}{:>{}}", label, value, value_width));

    if (!report.failures.empty()) {
        line("");
        line(fmt::format("Failed ({})", report.failures.size()));
        for (const ScanFailure& f : report.failures) line(fmt::format("  {}: {}", f.path, f.error));
    }

    if (!report.top.empty()) {
        std::vector<std::string> locations;
        std::size_t loc_width = std::string_view("location").size();
        std::size_t name_width = std::string_view("function").size();
        for (const FunctionRecord& r : report.top) {
            locations.push_back(fmt::format("{}:{}", r.path, r.line));
            loc_width = std::max(loc_width, locations.back().size());
            name_width = std::max(name_width, r.name.size());
        }
        line("");
        line(fmt::format("Most complex functions ({} of {})", report.top.size(), t.complexity_records));
        line(fmt::format("  {:<{}}  {:<{}}  complexity  rating", "location", loc_width, "function", name_width));
        for (std::size_t i = 0; i < report.top.size(); ++i) {
            const FunctionRecord& r = report.top[i];
            line(fmt::format("  {:<{}}  {:<{}}  {:>10}  {}", locations[i], loc_width, r.name, name_width,
                             r.complexity, r.rating));
        }
    }
    return out;
}

}  // namespace norvex::cli
