// Walking, child nodes, source segments and docstrings of a syntax tree.
#pragma once

#include "norvex/pyast/ast.hpp"

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

// The docstring of a Module, ClassDef, FunctionDef or AsyncFunctionDef whose
// first statement is a bare string literal, cleaned (tabs expanded to 8
// columns, common indentation of the later lines removed, the first line's
// leading white space removed, leading and trailing blank lines removed);
// none otherwise.
std::optional<std::string> docstring(const Node* node);

}  // namespace norvex::pyast

#include "norvex/pyast/walk_impl.hpp"
