// Small helpers the analyses share for reading nodes into JSON records.
#pragma once

#include "norvex/pyast/ast.hpp"
#include "norvex/pyast/tree_services.hpp"

#include <boost/json/string.hpp>
#include <boost/json/value.hpp>

#include <cstddef>
#include <string_view>

namespace norvex::astprobe::detail {

// The node's exact source text, or "" when there is no node or no position.
// One table of line starts per file keeps a segment per node linear.
boost::json::string segment_or_empty(const pyast::LineTable& lines, const pyast::Node* node);

// The cleaned docstring cut to `limit` code points, or "".
boost::json::string docstring_or_empty(const pyast::Node& node, std::size_t limit);

// An identifier as text, or null when it is none.
boost::json::value identifier_or_null(pyast::Identifier name);

inline bool is_function(const pyast::Node* node) noexcept {
    return node != nullptr &&
           (node->kind == pyast::NodeKind::FunctionDef || node->kind == pyast::NodeKind::AsyncFunctionDef);
}

// The name of a FunctionDef or AsyncFunctionDef.
inline pyast::Identifier function_name(const pyast::Node& node) noexcept {
    if (const auto* f = pyast::as<pyast::FunctionDef>(&node)) return f->name;
    return pyast::as<pyast::AsyncFunctionDef>(&node)->name;
}

}  // namespace norvex::astprobe::detail
