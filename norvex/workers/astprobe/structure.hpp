// The outline of a parsed file: functions, classes, imports and top-level symbols.
#pragma once

#include "norvex/pyast/ast.hpp"

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>

#include <string_view>

namespace norvex::astprobe {

// Every FunctionDef and AsyncFunctionDef in walk order (shallower first):
// {"name", "type", "line", "end_line", "args", "return_type", "decorators",
//  "docstring", "is_method"}.
boost::json::array find_functions(const pyast::Node& tree, std::string_view source);

// Every ClassDef in walk order: {"name", "line", "end_line", "bases",
// "methods", "attributes", "docstring", "method_count"}.
boost::json::array find_classes(const pyast::Node& tree, std::string_view source);

// One record per imported name, statements in walk order:
// {"module", "alias", "line", "type": "import"} or
// {"module", "name", "alias", "line", "type": "from_import"}.
boost::json::array find_imports(const pyast::Node& tree);

// The module's own definitions and assignments: {"functions", "classes",
// "variables", "constants"}, each a list of {"name", "line"}.
boost::json::object extract_symbols(const pyast::Node& tree);

}  // namespace norvex::astprobe
