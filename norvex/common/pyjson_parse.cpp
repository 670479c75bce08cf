// JSON reading with json.loads' grammar, messages and error positions.
#include "norvex/common/pyjson.hpp"
#include "norvex/common/pystr.hpp"

#include <boost/json/value_stack.hpp>

#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace norvex::pyjson {
namespace {

// Python raises RecursionError near 1000 levels; a limit keeps hostile input
// from exhausting memory. The parser itself keeps its stack on the heap.
constexpr std::size_t max_depth = MAX_NESTING;


bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}


// Bytes a string can hold as they are: everything but '"', '\\' and controls.
constexpr std::array<bool, 256> make_string_plain_table() {
    std::array<bool, 256> table{};
    for (int c = 0x20; c < 256; ++c) table[c] = c != '"' && c != '\\';
    return table;
}
constexpr std::array<bool, 256> string_plain = make_string_plain_table();

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The four hex digits at p, or -1.
int hex4(const char* p) {
    int value = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = hex_value(p[i]);
        if (digit < 0) return -1;
        value = value << 4 | digit;
    }
    return value;
}

// Surrogates get their three-byte form (generalised UTF-8), so a lone
// surrogate escape survives as the code point Python would hold.
std::size_t encode_utf8(char32_t cp, char* out) {
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | cp >> 6);
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | cp >> 12);
        out[1] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | cp >> 18);
    out[1] = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

// from_chars leaves the value alone when it is out of range; Python gives
// ±inf for overflow and ±0.0 for underflow. Out-of-range magnitudes are far
// from 1, so the position of the first significant digit plus the exponent
// tells the two apart.
double out_of_range_value(const char* first, const char* last) {
    const bool negative = *first == '-';
    if (negative) ++first;
    long long magnitude = 0;
    bool significant = false;
    const char* p = first;
    for (; p != last && is_digit(*p); ++p) {
        if (significant || *p != '0') {
            significant = true;
            ++magnitude;
        }
    }
    if (p != last && *p == '.') {
        for (++p; p != last && is_digit(*p); ++p) {
            if (significant) continue;
            if (*p == '0') --magnitude;
            else significant = true;
        }
    }
    long long exponent = 0;
    if (p != last && (*p == 'e' || *p == 'E')) {
        ++p;
        const bool negative_exponent = p != last && *p == '-';
        if (p != last && (*p == '-' || *p == '+')) ++p;
        for (; p != last; ++p) {
            if (exponent < 1'000'000'000) exponent = exponent * 10 + (*p - '0');
        }
        if (negative_exponent) exponent = -exponent;
    }
    const double value = magnitude + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -value : value;
}

class Parser {
public:
    explicit Parser(std::string_view text)
        : text_(text), p_(text.data()), end_(text.data() + text.size()) {}

    boost::json::value run();

private:
    struct Frame {
        bool object;
        std::size_t size;
    };

    [[noreturn]] void fail(std::string msg, const char* at) const {
        throw DecodeError(std::move(msg), text_, static_cast<std::size_t>(at - text_.data()));
    }

    void skip_space() {
        while (p_ != end_ && is_space(*p_)) ++p_;
    }

    bool take(std::string_view word) {
        if (static_cast<std::size_t>(end_ - p_) < word.size() ||
            std::memcmp(p_, word.data(), word.size()) != 0)
            return false;
        p_ += word.size();
        return true;
    }

    bool open_container();
    bool close_or_next();
    void key();
    void scalar();
    void string(bool is_key);
    void number();

    std::string_view text_;
    const char* p_;
    const char* end_;
    boost::json::value_stack stack_;
    std::vector<Frame> frames_;
};

boost::json::value Parser::run() {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") fail("Unexpected UTF-8 BOM (decode using utf-8-sig)", p_);
    // Strict UTF-8, as Python's decoder checks bytes before json sees them.
    if (const std::size_t bad = pystr::valid_utf8_prefix(text_); bad != text_.size()) {
        static constexpr char hex[] = "0123456789abcdef";
        const auto byte = static_cast<unsigned char>(text_[bad]);
        std::string msg = "Invalid UTF-8 byte 0x";
        msg += hex[byte >> 4];
        msg += hex[byte & 15];
        fail(std::move(msg), p_ + bad);
    }
    stack_.reset();
    skip_space();
    // Iterative, so nesting depth costs heap, not the thread's stack.
    for (;;) {
        // A value starts at p_ (white space already skipped).
        if (p_ != end_ && (*p_ == '[' || *p_ == '{')) {
            if (open_container()) continue;
        } else {
            scalar();
        }
        // A value ended; close every container it completes.
        for (;;) {
            if (frames_.empty()) {
                skip_space();
                if (p_ != end_) fail("Extra data", p_);
                return stack_.release();
            }
            if (!close_or_next()) break;
        }
        if (frames_.back().object) key();
    }
}

// Consumes '[' or '{' and what follows up to the first value. Returns true
// when a value is expected next, false when the container was empty.
bool Parser::open_container() {
    const bool object = *p_ == '{';
    if (frames_.size() == max_depth) {
        throw NestingError("Nesting too deep (more than " + std::to_string(max_depth) + " nested arrays and objects)",
                           text_, static_cast<std::size_t>(p_ - text_.data()));
    }
    ++p_;
    skip_space();
    if (p_ != end_ && *p_ == (object ? '}' : ']')) {
        ++p_;
        if (object) stack_.push_object(0);
        else stack_.push_array(0);
        return false;
    }
    frames_.push_back({object, 0});
    if (object) key();
    return true;
}

// After a member or element: consumes the closing bracket (true) or the comma
// before the next one (false).
bool Parser::close_or_next() {
    Frame& frame = frames_.back();
    ++frame.size;
    skip_space();
    const char close = frame.object ? '}' : ']';
    if (p_ != end_ && *p_ == close) {
        ++p_;
        if (frame.object) stack_.push_object(frame.size);
        else stack_.push_array(frame.size);
        frames_.pop_back();
        return true;
    }
    if (p_ == end_ || *p_ != ',') fail("Expecting ',' delimiter", p_);
    const char* comma = p_;
    ++p_;
    skip_space();
    if (p_ != end_ && *p_ == close)
        fail(frame.object ? "Illegal trailing comma before end of object"
                          : "Illegal trailing comma before end of array",
             comma);
    return false;
}

// A member's key and colon, leaving p_ at its value.
void Parser::key() {
    if (p_ == end_ || *p_ != '"') fail("Expecting property name enclosed in double quotes", p_);
    string(true);
    skip_space();
    if (p_ == end_ || *p_ != ':') fail("Expecting ':' delimiter", p_);
    ++p_;
    skip_space();
}

void Parser::scalar() {
    if (p_ == end_) fail("Expecting value", p_);
    switch (*p_) {
    case '"':
        string(false);
        return;
    case 'n':
        if (take("null")) return stack_.push_null();
        break;
    case 't':
        if (take("true")) return stack_.push_bool(true);
        break;
    case 'f':
        if (take("false")) return stack_.push_bool(false);
        break;
    case 'N':
        if (take("NaN")) return stack_.push_double(std::numeric_limits<double>::quiet_NaN());
        break;
    case 'I':
        if (take("Infinity")) return stack_.push_double(std::numeric_limits<double>::infinity());
        break;
    case '-':
        if (take("-Infinity")) return stack_.push_double(-std::numeric_limits<double>::infinity());
        break;
    default:
        break;
    }
    number();
}

void Parser::string(bool is_key) {
    const char* quote = p_;
    const char* p = p_ + 1;
    const char* run = p;
    for (;;) {
        while (p != end_ && string_plain[static_cast<unsigned char>(*p)]) ++p;
        if (p == end_) fail("Unterminated string starting at", quote);
        if (*p == '"') break;
        if (*p != '\\') fail("Invalid control character at", p);

        stack_.push_chars({run, static_cast<std::size_t>(p - run)});
        const char* backslash = p++;
        if (p == end_) fail("Unterminated string starting at", quote);
        char utf8[4];
        std::size_t len = 1;
        switch (*p) {
        case '"': utf8[0] = '"'; break;
        case '\\': utf8[0] = '\\'; break;
        case '/': utf8[0] = '/'; break;
        case 'b': utf8[0] = '\b'; break;
        case 'f': utf8[0] = '\f'; break;
        case 'n': utf8[0] = '\n'; break;
        case 'r': utf8[0] = '\r'; break;
        case 't': utf8[0] = '\t'; break;
        case 'u': {
            // Python wants the four digits followed by at least one more
            // character, even when that one cannot close the string.
            const char* u = p++;
            if (end_ - p <= 4) fail("Invalid \\uXXXX escape", u);
            char32_t cp = 0;
            if (const int v = hex4(p); v >= 0) cp = static_cast<char32_t>(v);
            else fail("Invalid \\uXXXX escape", u);
            p += 4;
            if (cp >= 0xD800 && cp <= 0xDBFF && end_ - p > 6 && p[0] == '\\' && p[1] == 'u') {
                const int low = hex4(p + 2);
                if (low < 0) fail("Invalid \\uXXXX escape", p + 1);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char32_t>(low) - 0xDC00);
                    p += 6;
                }
            }
            len = encode_utf8(cp, utf8);
            --p;  // the common step below moves past the escape
            break;
        }
        default:
            fail("Invalid \\escape", backslash);
        }
        stack_.push_chars({utf8, len});
        run = ++p;
    }
    const boost::json::string_view tail(run, static_cast<std::size_t>(p - run));
    if (is_key) stack_.push_key(tail);
    else stack_.push_string(tail);
    p_ = p + 1;
}

void Parser::number() {
    const char* start = p_;
    const char* p = p_;
    if (*p == '-' && ++p == end_) fail("Expecting value", start);
    if (*p >= '1' && *p <= '9') {
        while (++p != end_ && is_digit(*p)) {}
    } else if (*p == '0') {
        ++p;
    } else {
        fail("Expecting value", start);
    }
    bool is_float = false;
    if (end_ - p >= 2 && *p == '.' && is_digit(p[1])) {
        is_float = true;
        p += 2;
        while (p != end_ && is_digit(*p)) ++p;
    }
    if (p != end_ && (*p == 'e' || *p == 'E')) {
        // Without digits the 'e' is not part of the number ("1e" is 1, then extra data).
        const char* e = p++;
        if (p != end_ && (*p == '+' || *p == '-')) ++p;
        const char* digits = p;
        while (p != end_ && is_digit(*p)) ++p;
        if (p == digits) p = e;
        else is_float = true;
    }
    p_ = p;

    if (!is_float) {
        std::int64_t i = 0;
        if (std::from_chars(start, p, i).ec == std::errc{}) return stack_.push_int64(i);
        std::uint64_t u = 0;
        if (*start != '-' && std::from_chars(start, p, u).ec == std::errc{}) return stack_.push_uint64(u);
        // Wider integers than 64 bits become the nearest double.
    }
    double d = 0.0;
    if (std::from_chars(start, p, d).ec == std::errc::result_out_of_range) d = out_of_range_value(start, p);
    stack_.push_double(d);
}

}  // namespace

boost::json::value parse(std::string_view text) {
    return Parser(text).run();
}

}  // namespace norvex::pyjson
