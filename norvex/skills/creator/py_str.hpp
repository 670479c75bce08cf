// Python's str() and repr() of JSON values, for placeholder text and messages.
#pragma once

#include <boost/json/value.hpp>

#include <string>
#include <string_view>

namespace norvex::skills::creator {

// str() of the value Python's json module would have decoded: 3, 2.5, 1e-05,
// True, None, text as itself, lists and dicts as Python prints them
// (['a', 1, {'k': None}]).
std::string py_str(const boost::json::value& value);

// repr(): as py_str, except that text is quoted and escaped ('it''s' becomes
// "it's", a tab '\t', an unprintable U+200B '\u200b').
std::string py_repr(const boost::json::value& value);
std::string py_repr(std::string_view text);
inline std::string py_repr(const char* text) { return py_repr(std::string_view(text)); }

}  // namespace norvex::skills::creator
