// summarize_file and full_analysis.
#include "norvex/workers/astprobe/summary.hpp"

#include "norvex/common/py_round.hpp"
#include "norvex/common/pystr.hpp"
#include "norvex/workers/astprobe/metrics.hpp"
#include "norvex/workers/astprobe/parse_file.hpp"
#include "norvex/workers/astprobe/records.hpp"
#include "norvex/workers/astprobe/structure.hpp"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace norvex::astprobe {

namespace json = boost::json;

namespace {

constexpr std::size_t MODULE_DOCSTRING_LIMIT = 300;
constexpr std::size_t TOP_IMPORTS = 10;

// The mean, to one decimal place with halves to even; the integer 0 for none.
json::value average_complexity(const json::array& complexity) {
    if (complexity.empty()) return std::int64_t{0};
    std::int64_t sum = 0;
    for (const json::value& record : complexity) sum += record.as_object().at("complexity").as_int64();
    const double mean = static_cast<double>(sum) / static_cast<double>(complexity.size());
    return py_round(mean, 1);
}

// The single analyses a summary counts and lists. The full analysis answers
// with the same records, so it runs each of them once for both.
struct Analyses {
    json::array functions;
    json::array classes;
    json::array imports;
    json::array todos;
    json::array complexity;
};

Analyses run_analyses(const pyast::Node& tree, std::string_view source, const std::vector<std::string_view>& lines) {
    Analyses a;
    a.functions = find_functions(tree, source);
    a.classes = find_classes(tree, source);
    a.imports = find_imports(tree);
    // Markers are matched on the text as Python decodes it; when that is the
    // text itself (always, for parse_file's), the lines counted serve them too.
    a.todos = pystr::is_valid_utf8(source) ? find_todos_in_lines(lines) : find_todos(source);
    a.complexity = calculate_complexity(tree);
    return a;
}

json::object build_summary(std::string_view path, const pyast::Node& tree, const std::vector<std::string_view>& lines,
                           const Analyses& a) {
    std::int64_t comment_lines = 0;
    std::int64_t blank_lines = 0;
    for (std::string_view line : lines) {
        const std::string_view stripped = pystr::strip(line);
        if (stripped.empty()) {
            ++blank_lines;
        } else if (stripped.front() == '#') {
            ++comment_lines;
        }
    }
    const auto total_lines = static_cast<std::int64_t>(lines.size());

    json::array function_list;
    function_list.reserve(a.functions.size());
    for (const json::value& f : a.functions) {
        const json::object& record = f.as_object();
        function_list.push_back(json::object{{"name", record.at("name")}, {"line", record.at("line")}});
    }
    json::array class_list;
    class_list.reserve(a.classes.size());
    for (const json::value& c : a.classes) {
        const json::object& record = c.as_object();
        class_list.push_back(json::object{
            {"name", record.at("name")}, {"line", record.at("line")}, {"methods", record.at("method_count")}});
    }
    json::array top_imports;
    for (std::size_t i = 0; i < std::min(a.imports.size(), TOP_IMPORTS); ++i) {
        top_imports.push_back(a.imports[i].as_object().at("module"));
    }

    json::object summary;
    summary["path"] = path;
    summary["total_lines"] = total_lines;
    summary["code_lines"] = total_lines - comment_lines - blank_lines;
    summary["comment_lines"] = comment_lines;
    summary["blank_lines"] = blank_lines;
    summary["module_docstring"] = detail::docstring_or_empty(tree, MODULE_DOCSTRING_LIMIT);
    summary["function_count"] = static_cast<std::int64_t>(a.functions.size());
    summary["class_count"] = static_cast<std::int64_t>(a.classes.size());
    summary["import_count"] = static_cast<std::int64_t>(a.imports.size());
    summary["todo_count"] = static_cast<std::int64_t>(a.todos.size());
    summary["avg_complexity"] = average_complexity(a.complexity);
    summary["functions"] = std::move(function_list);
    summary["classes"] = std::move(class_list);
    summary["top_imports"] = std::move(top_imports);
    return summary;
}

}  // namespace

json::object summarize_file(std::string_view path, const pyast::Node& tree, std::string_view source) {
    const std::vector<std::string_view> lines = pystr::splitlines(source);
    return build_summary(path, tree, lines, run_analyses(tree, source, lines));
}

json::object full_analysis(std::string_view path) {
    const ParsedFile parsed = parse_file(path);
    if (!parsed.ok()) return json::object{{"success", false}, {"error", *parsed.error}};
    const pyast::Node& tree = parsed.module();
    const std::vector<std::string_view> lines = pystr::splitlines(parsed.source);
    Analyses a = run_analyses(tree, parsed.source, lines);
    json::object result;
    result["summary"] = build_summary(path, tree, lines, a);
    result["functions"] = std::move(a.functions);
    result["classes"] = std::move(a.classes);
    result["imports"] = std::move(a.imports);
    result["todos"] = std::move(a.todos);
    result["complexity"] = std::move(a.complexity);
    result["symbols"] = extract_symbols(tree);
    result["call_graph"] = build_call_graph(tree);
    return json::object{{"success", true}, {"result", std::move(result)}};
}

}  // namespace norvex::astprobe
