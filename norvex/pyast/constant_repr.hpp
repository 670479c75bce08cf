// Python's repr() of the values a syntax tree holds: str, bytes, numbers and singletons.
#pragma once

#include "norvex/pyast/ast.hpp"

#include <string>
#include <string_view>

namespace norvex::pyast {

// str.isprintable() for one code point.
bool is_printable(char32_t c) noexcept;

// repr(s) of a str given as UTF-8 (lone surrogates in generalised UTF-8).
void append_str_repr(std::string& out, std::string_view text);
// repr(b) of a bytes value.
void append_bytes_repr(std::string& out, std::string_view bytes);
// repr(value) of any constant, e.g. 'a', b'\x00', 10, 1.5, inf, 2j, 1e+100j, None, Ellipsis.
void append_constant_repr(std::string& out, const ConstantValue& value);
std::string constant_repr(const ConstantValue& value);

}  // namespace norvex::pyast
