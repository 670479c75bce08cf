// DecodeError: a byte offset turned into json.JSONDecodeError's char, line and column.
#include "norvex/common/pyjson.hpp"

#include <algorithm>
#include <string>
#include <utility>

namespace norvex::pyjson {
namespace {

struct Location {
    std::size_t pos = 0;
    std::size_t lineno = 1;
    std::size_t colno = 1;
};

// Python counts characters of a str; over UTF-8 that is every byte that is
// not a continuation byte. Only '\n' ends a line, as in JSONDecodeError.
Location locate(std::string_view doc, std::size_t byte_pos) {
    byte_pos = std::min(byte_pos, doc.size());
    Location loc;
    std::size_t since_newline = 0;
    for (std::size_t i = 0; i < byte_pos; ++i) {
        const auto c = static_cast<unsigned char>(doc[i]);
        if ((c & 0xC0) == 0x80) continue;
        ++loc.pos;
        ++since_newline;
        if (c == '\n') {
            ++loc.lineno;
            since_newline = 0;
        }
    }
    loc.colno = since_newline + 1;
    return loc;
}

std::string describe(const std::string& msg, const Location& loc) {
    return msg + ": line " + std::to_string(loc.lineno) + " column " + std::to_string(loc.colno) +
           " (char " + std::to_string(loc.pos) + ")";
}

}  // namespace

DecodeError::DecodeError(std::string msg, std::string_view doc, std::size_t byte_pos)
    : std::invalid_argument(msg), msg_(std::move(msg)) {
    const Location loc = locate(doc, byte_pos);
    pos_ = loc.pos;
    lineno_ = loc.lineno;
    colno_ = loc.colno;
    // The base can only take its text whole, and the location is known only now.
    std::invalid_argument::operator=(std::invalid_argument(describe(msg_, loc)));
}

}  // namespace norvex::pyjson
