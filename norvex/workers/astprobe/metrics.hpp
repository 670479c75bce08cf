// Measures and relations of a parsed file: complexity per function, the call graph, marker comments.
#pragma once

#include "norvex/pyast/ast.hpp"

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>

#include <cstdint>
#include <string_view>
#include <vector>

namespace norvex::astprobe {

// "A" up to 5, "B" up to 10, "C" up to 20, "F" above.
std::string_view complexity_rating(std::int64_t complexity) noexcept;

// One {"name", "line", "complexity", "rating"} per function in walk order; a
// nested function counts on its own and inside every function around it.
boost::json::array calculate_complexity(const pyast::Node& tree);

// Function name -> the distinct names it calls (Name ids and Attribute
// attrs), sorted by code point. A repeated function name keeps the first
// one's place and the last one's list.
boost::json::object build_call_graph(const pyast::Node& tree);

// One {"line", "type", "text"} per line holding a TODO, FIXME, HACK, XXX,
// NOTE or BUG marker after a "#", in any letter case.
boost::json::array find_todos(std::string_view source);

// find_todos over a text already split by pystr::splitlines, which must be
// valid UTF-8 (parse_file's text always is): callers that need the lines for
// something else split the text once.
boost::json::array find_todos_in_lines(const std::vector<std::string_view>& lines);

}  // namespace norvex::astprobe
