// Walking, child nodes, source segments and docstrings of a syntax tree.
#pragma once

#include "norvex/pyast/ast.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norvex::pyast {

// The direct child nodes in field order (list fields in list order; null
// entries of optional lists skipped). Operators and contexts are not nodes here.
std::vector<const Node*> child_nodes(const Node* node);

// Every node of the subtree, the node itself first, breadth first: a FIFO
// queue starts with the node; each node taken from it is yielded and its
// child nodes are appended.
std::vector<const Node*> walk(const Node* node);

// Calls f(node) in walk order, without building the list.
template <typename F>
void for_each_in_walk(const Node* node, F&& f);

// The exact source text the node spans, or none when it has no position.
// Lines end at "\n", "\r\n" or "\r"; columns are UTF-8 byte offsets.
std::optional<std::string_view> source_segment(std::string_view source, const Node* node);

// Where each line of a text starts, found in one pass. source_segment alone
// looks for its lines from the start of the text on every call, which makes
// a segment per node of a large file quadratic; a table answers in constant
// time. It keeps a view of the text, which must outlive it.
class LineTable {
public:
    explicit LineTable(std::string_view source);

    std::string_view source() const noexcept { return source_; }
    // Lines counted as source_segment counts them ("\n", "\r\n", "\r").
    std::size_t line_count() const noexcept { return starts_.size(); }
    // Byte offset where line `lineno` (from 1) starts, or npos when the text
    // has fewer line breaks than that line needs.
    std::size_t line_start(std::int32_t lineno) const noexcept;
    // Byte offset just past line `lineno`, its terminator included.
    std::size_t line_end(std::int32_t lineno) const noexcept;

private:
    std::string_view source_;
    std::vector<std::size_t> starts_;  // starts_[k] is where line k + 1 starts
};

// source_segment(lines.source(), node), without rescanning the text.
std::optional<std::string_view> source_segment(const LineTable& lines, const Node* node);

// The docstring of a Module, ClassDef, FunctionDef or AsyncFunctionDef whose
// first statement is a bare string literal, cleaned (tabs expanded to 8
// columns, common indentation of the later lines removed, the first line's
// leading white space removed, leading and trailing blank lines removed);
// none otherwise.
std::optional<std::string> docstring(const Node* node);

}  // namespace norvex::pyast

#include "norvex/pyast/walk_impl.hpp"
