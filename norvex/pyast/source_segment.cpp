// The slice of the source a node spans, with or without a table of line starts.
#include "norvex/pyast/tree_services.hpp"

#include <algorithm>
#include <cstring>

namespace norvex::pyast {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// Only \n, \r\n and \r end lines: form feeds and Unicode line separators are
// part of a line, as the tokenizer counts them. npos when none is left.
std::size_t next_line_start(std::string_view source, std::size_t from) {
    // A plain loop: find_first_of runs a search of its two-character set per byte.
    std::size_t brk = from;
    while (brk < source.size() && source[brk] != '\n' && source[brk] != '\r') ++brk;
    if (brk == source.size()) return npos;
    if (source[brk] == '\r' && brk + 1 < source.size() && source[brk + 1] == '\n') return brk + 2;
    return brk + 1;
}

// Byte offset where line `lineno` (from 1) starts, or npos past the last line.
std::size_t scan_line_start(std::string_view source, std::int32_t lineno, std::size_t from, std::int32_t from_line) {
    std::size_t i = from;
    for (std::int32_t line = from_line; line < lineno; ++line) {
        i = next_line_start(source, i);
        if (i == npos) return npos;
    }
    return i;
}

// The end of the line starting at `start`, its terminator included.
std::size_t scan_line_end(std::string_view source, std::size_t start) {
    const std::size_t next = next_line_start(source, start);
    return next == npos ? source.size() : next;
}

bool usable_position(const Node* node) {
    if (node == nullptr || !has_position(node->kind)) return false;
    const Position& pos = node->pos;
    return pos.lineno > 0 && pos.end_lineno >= pos.lineno && pos.col_offset >= 0 && pos.end_col_offset >= 0;
}

// The slice between two line starts plus columns; columns past a line's end
// clamp to it, as slicing the line would.
std::string_view slice(std::string_view source, std::size_t first, std::size_t first_end, std::size_t last,
                       std::size_t last_end, const Position& pos) {
    const std::size_t begin = std::min(first + static_cast<std::size_t>(pos.col_offset), first_end);
    const std::size_t end = std::min(last + static_cast<std::size_t>(pos.end_col_offset), last_end);
    if (end < begin) return std::string_view(source.data() + begin, 0);
    return source.substr(begin, end - begin);
}

}  // namespace

std::optional<std::string_view> source_segment(std::string_view source, const Node* node) {
    if (!usable_position(node)) return std::nullopt;
    const Position& pos = node->pos;
    const std::size_t first = scan_line_start(source, pos.lineno, 0, 1);
    if (first == npos || (first == source.size() && pos.lineno > 1)) return std::nullopt;
    const std::size_t last = scan_line_start(source, pos.end_lineno, first, pos.lineno);
    if (last == npos) return std::nullopt;
    return slice(source, first, scan_line_end(source, first), last, scan_line_end(source, last), pos);
}

LineTable::LineTable(std::string_view source) : source_(source) {
    starts_.push_back(0);
    if (source.find('\r') == npos) {
        // The usual text: memchr from one "\n" to the next.
        const char* const begin = source.data();
        const char* const end = begin + source.size();
        for (const char* p = begin; p < end;) {
            const auto* brk = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
            if (brk == nullptr) break;
            p = brk + 1;
            starts_.push_back(static_cast<std::size_t>(p - begin));
        }
        return;
    }
    for (std::size_t i = next_line_start(source, 0); i != npos; i = next_line_start(source, i)) starts_.push_back(i);
}

std::size_t LineTable::line_start(std::int32_t lineno) const noexcept {
    if (lineno < 1 || static_cast<std::size_t>(lineno) > starts_.size()) return npos;
    return starts_[static_cast<std::size_t>(lineno) - 1];
}

std::size_t LineTable::line_end(std::int32_t lineno) const noexcept {
    if (lineno < 1) return npos;
    const auto k = static_cast<std::size_t>(lineno);
    return k < starts_.size() ? starts_[k] : source_.size();
}

std::optional<std::string_view> source_segment(const LineTable& lines, const Node* node) {
    if (!usable_position(node)) return std::nullopt;
    const Position& pos = node->pos;
    const std::string_view source = lines.source();
    const std::size_t first = lines.line_start(pos.lineno);
    if (first == npos || (first == source.size() && pos.lineno > 1)) return std::nullopt;
    const std::size_t last = lines.line_start(pos.end_lineno);
    if (last == npos) return std::nullopt;
    return slice(source, first, lines.line_end(pos.lineno), last, lines.line_end(pos.end_lineno), pos);
}

}  // namespace norvex::pyast
