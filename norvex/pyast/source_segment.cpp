// The slice of the source a node spans.
#include "norvex/pyast/tree_services.hpp"

namespace norvex::pyast {
namespace {

// Byte offset where line `lineno` (from 1) starts, or npos past the last line.
// Only \n, \r\n and \r end lines: form feeds and Unicode line separators are
// part of a line, as the tokenizer counts them.
std::size_t line_start(std::string_view source, std::int32_t lineno, std::size_t from, std::int32_t from_line) {
    std::size_t i = from;
    for (std::int32_t line = from_line; line < lineno; ++line) {
        const std::size_t brk = source.find_first_of("\r\n", i);
        if (brk == std::string_view::npos) return std::string_view::npos;
        i = brk + 1;
        if (source[brk] == '\r' && i < source.size() && source[i] == '\n') ++i;
    }
    return i;
}

// The end of the line starting at `start`, its terminator included.
std::size_t line_end(std::string_view source, std::size_t start) {
    const std::size_t brk = source.find_first_of("\r\n", start);
    if (brk == std::string_view::npos) return source.size();
    if (source[brk] == '\r' && brk + 1 < source.size() && source[brk + 1] == '\n') return brk + 2;
    return brk + 1;
}

}  // namespace

std::optional<std::string_view> source_segment(std::string_view source, const Node* node) {
    if (node == nullptr || !has_position(node->kind)) return std::nullopt;
    const Position& pos = node->pos;
    if (pos.lineno <= 0 || pos.end_lineno < pos.lineno || pos.col_offset < 0 || pos.end_col_offset < 0) {
        return std::nullopt;
    }
    const std::size_t first = line_start(source, pos.lineno, 0, 1);
    if (first == std::string_view::npos || (first == source.size() && pos.lineno > 1)) return std::nullopt;
    const std::size_t last = line_start(source, pos.end_lineno, first, pos.lineno);
    if (last == std::string_view::npos) return std::nullopt;
    // Columns past a line's end clamp to it, as slicing the line would.
    const std::size_t begin = std::min(first + static_cast<std::size_t>(pos.col_offset), line_end(source, first));
    const std::size_t end = std::min(last + static_cast<std::size_t>(pos.end_col_offset), line_end(source, last));
    if (end < begin) return std::string_view(source.data() + begin, 0);
    return source.substr(begin, end - begin);
}

}  // namespace norvex::pyast
