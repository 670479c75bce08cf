// The textual dump of a syntax tree, as Python's ast.dump writes it.
#pragma once

#include "norvex/pyast/ast.hpp"

#include <optional>
#include <string>

namespace norvex::pyast {

struct DumpOptions {
    std::optional<int> indent = 2;        // none: everything on one line
    bool include_attributes = false;      // lineno, col_offset, end_lineno, end_col_offset
};

// ast.dump(node, indent=..., include_attributes=...) of CPython 3.14: fields
// that are None or empty lists are left out; values in Python's repr.
std::string dump(const Node* node, const DumpOptions& options = {});

}  // namespace norvex::pyast
