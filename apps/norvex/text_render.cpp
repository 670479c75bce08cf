// Tables, cells and the generic readable rendering of JSON results.
#include "text_render.hpp"

#include "norvex/common/pyjson.hpp"
#include "norvex/common/pystr.hpp"

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>

#include <algorithm>

namespace norvex::cli {

namespace json = boost::json;

namespace {

constexpr std::size_t CELL_LIMIT = 60;

std::string scalar_text(const json::value& value) {
    switch (value.kind()) {
        case json::kind::null: return "";
        case json::kind::bool_: return value.get_bool() ? "yes" : "no";
        case json::kind::string: {
            const auto lines = pystr::splitlines(std::string_view(value.get_string()));
            return lines.empty() ? "" : std::string(pystr::strip(lines.front()));
        }
        default: return pyjson::dumps(value);
    }
}

std::string joined_text(const json::value& value) {
    if (const auto* list = value.if_array()) {
        std::string out;
        for (const json::value& item : *list) {
            const std::string text = joined_text(item);
            if (text.empty()) continue;
            out += (out.empty() ? "" : ", ") + text;
        }
        return out;
    }
    if (const auto* object = value.if_object()) {
        std::string out;
        for (const auto& member : *object) {
            const std::string text = joined_text(member.value());
            if (text.empty()) continue;
            out += (out.empty() ? "" : ": ") + text;
        }
        return out;
    }
    return scalar_text(value);
}

bool is_table(const json::value& value) {
    const auto* list = value.if_array();
    return list != nullptr && !list->empty() &&
           std::all_of(list->begin(), list->end(), [](const json::value& v) { return v.is_object(); });
}

// "top_imports" → "Top imports"
std::string heading(std::string_view key) {
    std::string out(key);
    std::replace(out.begin(), out.end(), '_', ' ');
    if (!out.empty() && out[0] >= 'a' && out[0] <= 'z') out[0] = static_cast<char>(out[0] - 'a' + 'A');
    return out;
}

std::string label(std::string_view key) {
    std::string out(key);
    std::replace(out.begin(), out.end(), '_', ' ');
    return out;
}

std::string table_of(const json::array& rows, std::size_t indent) {
    std::vector<std::string> keys;
    for (const json::value& row : rows) {
        for (const auto& member : row.get_object()) {
            if (std::find(keys.begin(), keys.end(), member.key()) == keys.end()) keys.emplace_back(member.key());
        }
    }
    std::vector<Column> columns;
    for (const std::string& key : keys) {
        const bool numeric = std::all_of(rows.begin(), rows.end(), [&](const json::value& row) {
            const json::value* cell = row.get_object().if_contains(key);
            return cell == nullptr || cell->is_number();
        });
        columns.push_back({label(key), numeric});
    }
    std::vector<std::vector<std::string>> cells;
    for (const json::value& row : rows) {
        std::vector<std::string> line;
        for (const std::string& key : keys) {
            const json::value* cell = row.get_object().if_contains(key);
            line.push_back(cell ? cell_text(*cell) : "-");
        }
        cells.push_back(std::move(line));
    }
    return format_table(columns, cells, indent);
}

std::string readable_at(const json::value& value, std::size_t indent);

// Keys are shown as they are: in a call graph they are the program's own names.
std::string object_text(const json::object& object, std::size_t indent) {
    if (object.empty()) return std::string(indent, ' ') + "(none)\n";
    auto nested = [](const json::value& v) { return is_table(v) || (v.is_object() && !v.get_object().empty()); };
    // Where some members are tables, empty lists are tables without rows, not empty cells.
    const bool sections = std::any_of(object.begin(), object.end(), [&](const auto& m) { return nested(m.value()); });
    std::string out;
    std::vector<std::vector<std::string>> pairs;  // consecutive one-line members, aligned together
    auto flush_pairs = [&] {
        if (!pairs.empty()) out += format_table({{""}, {""}}, pairs, indent);
        pairs.clear();
    };
    for (const auto& member : object) {
        const json::value& v = member.value();
        const bool empty_list = v.is_array() && v.get_array().empty();
        if (nested(v) || (sections && empty_list)) {
            flush_pairs();
            const std::size_t count = v.is_array() ? v.get_array().size() : v.get_object().size();
            out += std::string(indent, ' ') + heading(member.key()) + " (" + std::to_string(count) + ")\n";
            if (!empty_list) out += readable_at(v, indent + 2);
        } else {
            pairs.push_back({std::string(member.key()), cell_text(v)});
        }
    }
    flush_pairs();
    return out;
}

std::string readable_at(const json::value& value, std::size_t indent) {
    if (const auto* object = value.if_object()) return object_text(*object, indent);
    if (is_table(value)) return table_of(value.get_array(), indent);
    if (const auto* list = value.if_array()) {
        if (list->empty()) return std::string(indent, ' ') + "(none)\n";
        std::string out;
        for (const json::value& item : *list) out += std::string(indent, ' ') + cell_text(item) + "\n";
        return out;
    }
    return std::string(indent, ' ') + cell_text(value) + "\n";
}

}  // namespace

std::string format_table(const std::vector<Column>& columns, const std::vector<std::vector<std::string>>& rows,
                         std::size_t indent) {
    const bool has_header = std::any_of(columns.begin(), columns.end(), [](const Column& c) { return !c.header.empty(); });
    std::vector<std::size_t> widths(columns.size());
    for (std::size_t c = 0; c < columns.size(); ++c) {
        widths[c] = has_header ? pystr::length(columns[c].header) : 0;
        for (const auto& row : rows) widths[c] = std::max(widths[c], pystr::length(row[c]));
    }
    std::string out;
    auto add_row = [&](const std::vector<std::string>& cells, bool header) {
        std::string line(indent, ' ');
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const std::string pad(widths[c] - pystr::length(cells[c]), ' ');
            const bool right = columns[c].right && !header;
            line += right ? pad + cells[c] : cells[c];
            if (c + 1 < cells.size()) line += (right ? "" : pad) + "  ";
        }
        out += pystr::rstrip(line);
        out += '\n';
    };
    if (has_header) {
        std::vector<std::string> headers;
        for (const Column& c : columns) headers.push_back(c.header);
        add_row(headers, true);
    }
    for (const auto& row : rows) add_row(row, false);
    return out;
}

std::string cell_text(const json::value& value) {
    std::string text = joined_text(value);
    if (text.empty()) return "-";
    if (pystr::length(text) > CELL_LIMIT) text = std::string(pystr::cut(text, CELL_LIMIT - 1)) + "…";
    return text;
}

std::string wrap_list(const std::vector<std::string>& words, std::size_t width, std::size_t indent) {
    std::string out;
    std::string line(indent, ' ');
    bool line_empty = true;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string word = words[i] + (i + 1 < words.size() ? "," : "");
        if (!line_empty && pystr::length(line) + 1 + pystr::length(word) > width) {
            out += line + "\n";
            line = std::string(indent, ' ');
            line_empty = true;
        }
        line += (line_empty ? "" : " ") + word;
        line_empty = false;
    }
    if (!line_empty) out += line + "\n";
    return out;
}

std::string readable(const json::value& value) { return readable_at(value, 0); }

}  // namespace norvex::cli
