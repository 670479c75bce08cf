// JSON text as Python's json module reads and writes it, over boost::json values.
#pragma once

#include <boost/json/value.hpp>

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace norvex::pyjson {

// A JSON decoding failure. what() reads like Python's json.JSONDecodeError,
// for example "Expecting value: line 1 column 1 (char 0)"; the position is
// counted in code points, lines and columns from 1.
class DecodeError : public std::invalid_argument {
public:
    DecodeError(std::string msg, std::string_view doc, std::size_t byte_pos);

    const std::string& msg() const noexcept { return msg_; }
    std::size_t pos() const noexcept { return pos_; }      // code points before the fault
    std::size_t lineno() const noexcept { return lineno_; }
    std::size_t colno() const noexcept { return colno_; }

private:
    std::string msg_;
    std::size_t pos_ = 0;
    std::size_t lineno_ = 1;
    std::size_t colno_ = 1;
};

// The DecodeError of a document nested deeper than MAX_NESTING.
class NestingError : public DecodeError {
public:
    using DecodeError::DecodeError;
};

// Arrays and objects nested deeper than this are refused, by this reader and
// by the MCP server, so a value one of them takes is one the other takes too.
// Deep enough for any document a program means to send (Python's own reader
// gives up near 1000), shallow enough for the recursive copies and
// destructors of boost::json values on a thread's stack.
inline constexpr std::size_t MAX_NESTING = 10000;

// Parses one JSON document from UTF-8 text, accepting what json.loads accepts
// (NaN, Infinity, -Infinity; white space around the document; duplicate keys,
// the last value winning at the first key's position). Integers that fit
// int64 or uint64 stay integers, larger ones become the nearest double (±inf
// past the double range, where Python would keep an exact int). Strings
// holding lone surrogate escapes keep them in generalised UTF-8.
// Throws DecodeError with json.loads' message and position; text that is not
// strict UTF-8 fails first, as "Invalid UTF-8 byte 0xNN" at its first bad
// sequence, and nesting past MAX_NESTING containers fails with NestingError,
// "Nesting too deep (more than 10000 nested arrays and objects)".
boost::json::value parse(std::string_view text);

// The layouts Python writes with ensure_ascii=True.
enum class Layout {
    compact,  // json.dumps(v): ", " between items, ": " after keys, one line
    indent2,  // json.dumps(v, indent=2): "{}" and "[]" for empty containers
};

// Serialises a value: ASCII only (non-ASCII as lowercase \uXXXX escapes,
// surrogate pairs above U+FFFF), object members in insertion order, floats as
// Python's repr (Infinity, -Infinity and NaN as json.dumps writes them),
// integers as integers. Strings are read as generalised UTF-8 (a lone
// surrogate is written as its \udXXX escape); any other malformed run of
// bytes is written as \ufffd, one per run as bytes.decode("utf-8",
// "replace") counts them, so writing never fails.
std::string dumps(const boost::json::value& value, Layout layout = Layout::compact);

// Appends the serialisation to `out` (no allocation of a second string).
void dump_to(std::string& out, const boost::json::value& value, Layout layout = Layout::compact);

// repr() of a Python float: the shortest text that reads back to the same
// double, always with a '.' or an exponent: 60.0, 0.5, 1e-05, 1e+16,
// 123456789012345.0, inf, -inf, nan.
std::string float_repr(double x);

// type(v).__name__ of the value json.loads decodes: NoneType, bool, int,
// float, str, list or dict, for messages worded as Python's.
std::string_view type_name(const boost::json::value& value) noexcept;

namespace detail {
// float_repr into a caller's buffer of at least 32 chars, returning the end;
// lets the writer format floats without building a string per value.
char* float_repr_to(char* first, double x) noexcept;
}  // namespace detail

}  // namespace norvex::pyjson
