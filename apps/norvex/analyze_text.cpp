// The views of `norvex analyze` that a new user sees first: a file at a glance, then its parts.
#include "analyze_text.hpp"

#include "text_render.hpp"

#include "norvex/common/pyjson.hpp"
#include "norvex/common/pystr.hpp"

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <stdexcept>

namespace norvex::cli {

namespace json = boost::json;

namespace {

constexpr std::size_t SIGNATURE_LIMIT = 70;

// Strict readers: a missing key or a wrong kind throws, and the caller falls back to the generic view.
const json::object& object_at(const json::object& o, std::string_view key) { return o.at(key).as_object(); }
const json::array& array_at(const json::object& o, std::string_view key) { return o.at(key).as_array(); }
std::string text_at(const json::object& o, std::string_view key) {
    const json::value* v = o.if_contains(key);
    return v && v->is_string() ? std::string(v->get_string()) : std::string();
}
std::int64_t int_at(const json::object& o, std::string_view key) { return o.at(key).to_number<std::int64_t>(); }

std::string plural(std::int64_t n, std::string_view one, std::string_view many) {
    return fmt::format("{} {}", n, n == 1 ? one : many);
}

std::string first_line(std::string_view text) {
    const auto lines = pystr::splitlines(text);
    return lines.empty() ? std::string() : std::string(pystr::strip(lines.front()));
}

// The path, the module docstring and the line counts.
std::string header(const json::object& summary) {
    std::string out = text_at(summary, "path") + "\n";
    if (const std::string doc = first_line(text_at(summary, "module_docstring")); !doc.empty()) out += "  " + doc + "\n";
    out += fmt::format("  {}: {} code, {} comment, {} blank\n", plural(int_at(summary, "total_lines"), "line", "lines"),
                       int_at(summary, "code_lines"), int_at(summary, "comment_lines"),
                       int_at(summary, "blank_lines"));
    return out;
}

std::string counts_line(const json::object& summary) {
    const json::value& avg = summary.at("avg_complexity");
    return fmt::format("  {}, {}, {}, {}; average complexity {}\n",
                       plural(int_at(summary, "function_count"), "function", "functions"),
                       plural(int_at(summary, "class_count"), "class", "classes"),
                       plural(int_at(summary, "import_count"), "import", "imports"),
                       plural(int_at(summary, "todo_count"), "marker", "markers"), pyjson::dumps(avg));
}

std::string section(std::string_view title, std::size_t count) {
    return fmt::format("\n{} ({})\n", title, count);
}

// "csv, json, dataclasses (dataclass, field), pathlib (Path)": names from
// one module on consecutive lines gathered behind it.
std::string imports_line(const json::array& imports) {
    std::vector<std::pair<std::string, std::vector<std::string>>> modules;
    for (const json::value& item : imports) {
        const json::object& record = item.as_object();
        const std::string module = text_at(record, "module");
        const std::string alias = text_at(record, "alias");
        if (text_at(record, "type") == "from_import") {
            std::string name = text_at(record, "name") + (alias.empty() ? "" : " as " + alias);
            if (modules.empty() || modules.back().first != module || modules.back().second.empty()) {
                modules.push_back({module, {}});
            }
            modules.back().second.push_back(std::move(name));
        } else {
            modules.push_back({module + (alias.empty() ? "" : " as " + alias), {}});
        }
    }
    std::string out;
    for (const auto& [module, names] : modules) {
        if (!out.empty()) out += ", ";
        out += module;
        if (names.empty()) continue;
        out += " (";
        for (std::size_t i = 0; i < names.size(); ++i) out += (i ? ", " : "") + names[i];
        out += ")";
    }
    return out;
}

std::string class_cell(const json::object& record) {
    std::string bases;
    if (const json::value* list = record.if_contains("bases"); list && list->is_array()) bases = cell_text(*list);
    return text_at(record, "name") + (bases == "-" || bases.empty() ? "" : "(" + bases + ")");
}

std::string classes_table(const json::array& classes) {
    std::vector<std::vector<std::string>> rows;
    for (const json::value& item : classes) {
        const json::object& c = item.as_object();
        rows.push_back({std::to_string(int_at(c, "line")), class_cell(c), std::to_string(int_at(c, "method_count")),
                        cell_text(c.at("docstring"))});
    }
    return format_table({{"line", true}, {"class"}, {"methods", true}, {"docstring"}}, rows, 2);
}

// The class whose lines hold `line`, innermost first, for "Inventory.add".
std::string owner_of(std::int64_t line, const json::array& classes) {
    std::string owner;
    std::int64_t owner_start = -1;
    for (const json::value& item : classes) {
        const json::object& c = item.as_object();
        const std::int64_t start = int_at(c, "line");
        const std::int64_t end = int_at(c, "end_line");
        if (start < line && line <= end && start > owner_start) {
            owner = text_at(c, "name");
            owner_start = start;
        }
    }
    return owner;
}

std::string signature(const json::object& function, const std::string& owner) {
    std::string out = (owner.empty() ? "" : owner + ".") + text_at(function, "name") + "(";
    bool first = true;
    for (const json::value& arg : array_at(function, "args")) {
        const std::string annotation = text_at(arg.as_object(), "annotation");
        out += (first ? "" : ", ") + text_at(arg.as_object(), "name") + (annotation.empty() ? "" : ": " + annotation);
        first = false;
    }
    out += ")";
    if (const std::string returns = text_at(function, "return_type"); !returns.empty()) out += " -> " + returns;
    if (pystr::length(out) > SIGNATURE_LIMIT) out = std::string(pystr::cut(out, SIGNATURE_LIMIT - 1)) + "…";
    return out;
}

std::string functions_table(const json::array& functions, const json::array& classes, const json::array& complexity) {
    std::map<std::pair<std::int64_t, std::string>, std::string> scores;
    for (const json::value& item : complexity) {
        const json::object& r = item.as_object();
        scores[{int_at(r, "line"), text_at(r, "name")}] = fmt::format("{} {}", int_at(r, "complexity"), text_at(r, "rating"));
    }
    std::vector<const json::object*> ordered;
    for (const json::value& item : functions) ordered.push_back(&item.as_object());
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const json::object* a, const json::object* b) { return int_at(*a, "line") < int_at(*b, "line"); });
    std::vector<std::vector<std::string>> rows;
    for (const json::object* f : ordered) {
        const std::int64_t line = int_at(*f, "line");
        const auto score = scores.find({line, text_at(*f, "name")});
        rows.push_back({std::to_string(line), signature(*f, owner_of(line, classes)),
                        score == scores.end() ? "-" : score->second});
    }
    return format_table({{"line", true}, {"function"}, {"complexity"}}, rows, 2);
}

std::string markers_table(const json::array& todos) {
    std::vector<std::vector<std::string>> rows;
    for (const json::value& item : todos) {
        const json::object& t = item.as_object();
        rows.push_back({std::to_string(int_at(t, "line")), text_at(t, "type"), cell_text(t.at("text"))});
    }
    return format_table({{"line", true}, {"marker"}, {"text"}}, rows, 2);
}

std::string whole_analysis(const json::object& result, std::string_view json_command) {
    const json::object& summary = object_at(result, "summary");
    const json::array& classes = array_at(result, "classes");
    const json::array& functions = array_at(result, "functions");
    const json::array& imports = array_at(result, "imports");
    const json::array& todos = array_at(result, "todos");
    std::string out = header(summary);
    if (!imports.empty()) out += "\nImports: " + imports_line(imports) + "\n";
    if (!classes.empty()) out += section("Classes", classes.size()) + classes_table(classes);
    if (!functions.empty()) {
        out += fmt::format("\nFunctions ({}; average complexity {})\n", functions.size(),
                           pyjson::dumps(summary.at("avg_complexity")));
        out += functions_table(functions, classes, array_at(result, "complexity"));
    }
    if (!todos.empty()) out += section("Markers", todos.size()) + markers_table(todos);
    out += fmt::format("\nSymbols, the call graph and every field: {}\n", json_command);
    return out;
}

std::string summary_view(const json::object& summary) {
    std::string out = header(summary) + counts_line(summary);
    std::vector<std::string> seen;
    for (const json::value& module : array_at(summary, "top_imports")) {
        const std::string name(module.as_string());
        if (std::find(seen.begin(), seen.end(), name) == seen.end()) seen.push_back(name);
    }
    if (!seen.empty()) {
        out += "\nImports: ";
        for (std::size_t i = 0; i < seen.size(); ++i) out += (i ? ", " : "") + seen[i];
        out += "\n";
    }
    const json::array& classes = array_at(summary, "classes");
    if (!classes.empty()) {
        std::vector<std::vector<std::string>> rows;
        for (const json::value& item : classes) {
            const json::object& c = item.as_object();
            rows.push_back({std::to_string(int_at(c, "line")), text_at(c, "name"), std::to_string(int_at(c, "methods"))});
        }
        out += section("Classes", classes.size()) + format_table({{"line", true}, {"class"}, {"methods", true}}, rows, 2);
    }
    const json::array& functions = array_at(summary, "functions");
    if (!functions.empty()) {
        std::vector<std::pair<std::int64_t, std::string>> by_line;
        for (const json::value& item : functions) {
            by_line.emplace_back(int_at(item.as_object(), "line"), text_at(item.as_object(), "name"));
        }
        std::stable_sort(by_line.begin(), by_line.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<std::vector<std::string>> rows;
        for (const auto& [line, name] : by_line) rows.push_back({std::to_string(line), name});
        out += section("Functions", functions.size()) + format_table({{"line", true}, {"function"}}, rows, 2);
    }
    return out;
}

}  // namespace

std::string analysis_text(std::string_view operation, const json::value& result, std::string_view json_command) {
    try {
        if (operation == "analyze") return whole_analysis(result.as_object(), json_command);
        if (operation == "summarize") return summary_view(result.as_object());
    } catch (const std::exception&) {
        // A shape this view does not know: the generic rendering shows it all the same.
    }
    return readable(result);
}

}  // namespace norvex::cli
