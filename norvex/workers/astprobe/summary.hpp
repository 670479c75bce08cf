// The summary of a file and the full analysis that bundles every other one.
#pragma once

#include "norvex/pyast/ast.hpp"

#include <boost/json/object.hpp>

#include <string_view>

namespace norvex::astprobe {

// Line counts, numbers of definitions, imports and markers, the mean
// complexity and short lists of names; fourteen keys, "path" first.
boost::json::object summarize_file(std::string_view path, const pyast::Node& tree, std::string_view source);

// Parses the file and answers {"success": true, "result": {"summary",
// "functions", "classes", "imports", "todos", "complexity", "symbols",
// "call_graph"}}, or {"success": false, "error": ...} when it cannot.
boost::json::object full_analysis(std::string_view path);

}  // namespace norvex::astprobe
