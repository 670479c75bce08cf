// Docstrings: the leading string literal of a module, class or function, cleaned.
#include "norvex/pyast/tree_services.hpp"

#include <algorithm>
#include <limits>

namespace norvex::pyast {
namespace {

// Expands tabs to 8 columns. Columns count code points and restart after
// "\n" and "\r", as str.expandtabs does.
std::string expand_tabs(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t column = 0;
    for (const char ch : text) {
        if (ch == '\t') {
            const std::size_t spaces = 8 - column % 8;
            out.append(spaces, ' ');
            column += spaces;
            continue;
        }
        out.push_back(ch);
        if (ch == '\n' || ch == '\r') {
            column = 0;
        } else if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80) {
            ++column;  // a continuation byte belongs to the code point already counted
        }
    }
    return out;
}

std::size_t leading_spaces(std::string_view line) {
    const std::size_t n = line.find_first_not_of(' ');
    return n == std::string_view::npos ? line.size() : n;
}

// Cuts the margin off a later line. A line with text starts with at least
// `margin` spaces and a blank line is all spaces, so counting the margin in
// bytes is counting it in characters.
std::string_view drop_margin(std::string_view line, std::size_t margin) {
    return line.substr(std::min(margin, line.size()));
}

// Cleans like CPython 3.14's inspect.cleandoc, whose stripping is of the
// space character only (3.11 stripped all white space; tab expansion comes
// first, so tabs count as spaces either way).
std::string clean(std::string_view raw) {
    const std::string text = expand_tabs(raw);
    std::vector<std::string_view> lines;
    std::string_view rest = text;
    for (;;) {
        const std::size_t nl = rest.find('\n');
        lines.push_back(rest.substr(0, nl));
        if (nl == std::string_view::npos) break;
        rest.remove_prefix(nl + 1);
    }
    std::size_t margin = std::numeric_limits<std::size_t>::max();
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::size_t indent = leading_spaces(lines[i]);
        if (indent < lines[i].size()) margin = std::min(margin, indent);
    }
    lines[0].remove_prefix(leading_spaces(lines[0]));
    if (margin != std::numeric_limits<std::size_t>::max()) {
        for (std::size_t i = 1; i < lines.size(); ++i) lines[i] = drop_margin(lines[i], margin);
    }
    std::size_t first = 0;
    std::size_t last = lines.size();
    while (last > first && lines[last - 1].empty()) --last;
    while (first < last && lines[first].empty()) ++first;
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = first; i < last; ++i) {
        if (i != first) out.push_back('\n');
        out += lines[i];
    }
    return out;
}

const NodeList* body_of(const Node* node) {
    if (const auto* m = as<Module>(node)) return &m->body;
    if (const auto* c = as<ClassDef>(node)) return &c->body;
    if (const auto* f = as<FunctionDef>(node)) return &f->body;
    if (const auto* f = as<AsyncFunctionDef>(node)) return &f->body;
    return nullptr;
}

}  // namespace

std::optional<std::string> docstring(const Node* node) {
    const NodeList* body = body_of(node);
    if (body == nullptr || body->empty()) return std::nullopt;
    const auto* expr = as<Expr>((*body)[0]);
    if (expr == nullptr) return std::nullopt;
    const auto* constant = as<Constant>(expr->value);
    if (constant == nullptr || constant->value.kind != ConstantValue::Kind::Str) return std::nullopt;
    return clean(constant->value.text);
}

}  // namespace norvex::pyast
