// Python's repr() of str, bytes, int, float, complex and the singleton constants.
#include "norvex/pyast/constant_repr.hpp"

#include "norvex/common/pyjson.hpp"

#include <unicode/uchar.h>

#include <algorithm>
#include <charconv>
#include <iterator>
#include <cstring>

namespace norvex::pyast {
namespace {

constexpr char kHex[] = "0123456789abcdef";

void append_hex_escape(std::string& out, char32_t c, char letter, int digits) {
    char buf[10];
    buf[0] = '\\';
    buf[1] = letter;
    for (int i = digits - 1; i >= 0; --i) {
        buf[2 + i] = kHex[c & 0xF];
        c >>= 4;
    }
    out.append(buf, static_cast<std::size_t>(2 + digits));
}

// Python picks the single quote unless the text has one and no double quote.
char pick_quote(std::string_view text) {
    const bool has_single = text.find('\'') != std::string_view::npos;
    const bool has_double = text.find('"') != std::string_view::npos;
    return has_single && !has_double ? '"' : '\'';
}

// Decodes one code point of generalised UTF-8 (surrogates allowed) at p;
// an invalid byte comes back as itself with length 1.
char32_t decode(const unsigned char* p, const unsigned char* end, std::size_t& len) {
    const unsigned char b = p[0];
    const auto avail = static_cast<std::size_t>(end - p);
    auto cont = [&](std::size_t i) { return i < avail && (p[i] & 0xC0) == 0x80; };
    if (b >= 0xC2 && b < 0xE0 && cont(1)) {
        len = 2;
        return (char32_t(b & 0x1F) << 6) | (p[1] & 0x3F);
    }
    if (b >= 0xE0 && b < 0xF0 && cont(1) && cont(2) && !(b == 0xE0 && p[1] < 0xA0)) {
        len = 3;
        return (char32_t(b & 0x0F) << 12) | (char32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
    }
    if (b >= 0xF0 && b < 0xF5 && cont(1) && cont(2) && cont(3) && !(b == 0xF0 && p[1] < 0x90) &&
        !(b == 0xF4 && p[1] > 0x8F)) {
        len = 4;
        return (char32_t(b & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12) | (char32_t(p[2] & 0x3F) << 6) |
               (p[3] & 0x3F);
    }
    len = 1;
    return b;
}

// Printable characters assigned after Unicode 15.0, which Python 3.14
// (Unicode 16.0) knows and Debian 12's ICU (Unicode 15.0) reports as
// unassigned; found by comparing str.isprintable over every code point.
struct Range {
    char32_t first, last;
};
constexpr Range kPrintableSince15[] = {
    {0x897, 0x897}, {0x1B4E, 0x1B4F}, {0x1B7F, 0x1B7F}, {0x1C89, 0x1C8A}, {0x2427, 0x2429}, {0x2FFC, 0x2FFF},
    {0x31E4, 0x31E5}, {0x31EF, 0x31EF}, {0xA7CB, 0xA7CD}, {0xA7DA, 0xA7DC}, {0x105C0, 0x105F3}, {0x10D40, 0x10D65},
    {0x10D69, 0x10D85}, {0x10D8E, 0x10D8F}, {0x10EC2, 0x10EC4}, {0x10EFC, 0x10EFC}, {0x11380, 0x11389},
    {0x1138B, 0x1138B}, {0x1138E, 0x1138E}, {0x11390, 0x113B5}, {0x113B7, 0x113C0}, {0x113C2, 0x113C2},
    {0x113C5, 0x113C5}, {0x113C7, 0x113CA}, {0x113CC, 0x113D5}, {0x113D7, 0x113D8}, {0x113E1, 0x113E2},
    {0x116D0, 0x116E3}, {0x11BC0, 0x11BE1}, {0x11BF0, 0x11BF9}, {0x11F5A, 0x11F5A}, {0x13460, 0x143FA},
    {0x16100, 0x16139}, {0x16D40, 0x16D79}, {0x18CFF, 0x18CFF}, {0x1CC00, 0x1CCF9}, {0x1CD00, 0x1CEB3},
    {0x1E5D0, 0x1E5FA}, {0x1E5FF, 0x1E5FF}, {0x1F8B2, 0x1F8BB}, {0x1F8C0, 0x1F8C1}, {0x1FA89, 0x1FA89},
    {0x1FA8F, 0x1FA8F}, {0x1FABE, 0x1FABE}, {0x1FAC6, 0x1FAC6}, {0x1FADC, 0x1FADC}, {0x1FADF, 0x1FADF},
    {0x1FAE9, 0x1FAE9}, {0x1FBCB, 0x1FBEF}, {0x2EBF0, 0x2EE5D},
};

bool printable_since_15(char32_t c) {
    const auto* it = std::upper_bound(std::begin(kPrintableSince15), std::end(kPrintableSince15), c,
                                      [](char32_t v, const Range& r) { return v < r.first; });
    return it != std::begin(kPrintableSince15) && c <= (it - 1)->last;
}

}  // namespace

bool is_printable(char32_t c) noexcept {
    if (c < 0x80) return c >= 0x20 && c < 0x7F;
    switch (u_charType(static_cast<UChar32>(c))) {
        case U_CONTROL_CHAR:
        case U_FORMAT_CHAR:
        case U_SURROGATE:
        case U_PRIVATE_USE_CHAR:
        case U_LINE_SEPARATOR:
        case U_PARAGRAPH_SEPARATOR:
        case U_SPACE_SEPARATOR: return false;
        case U_UNASSIGNED: return printable_since_15(c);
        default: return true;
    }
}

void append_str_repr(std::string& out, std::string_view text) {
    const char quote = pick_quote(text);
    out.reserve(out.size() + text.size() + 2);
    out.push_back(quote);
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        // Runs of plain printable ASCII go out in one append.
        const unsigned char* run = p;
        while (p < end && *p >= 0x20 && *p < 0x7F && *p != '\\' && *p != static_cast<unsigned char>(quote)) ++p;
        if (p != run) out.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
        if (p == end) break;
        const unsigned char b = *p;
        if (b < 0x80) {
            switch (b) {
                case '\\': out += "\\\\"; break;
                case '\t': out += "\\t"; break;
                case '\n': out += "\\n"; break;
                case '\r': out += "\\r"; break;
                default:
                    if (b == static_cast<unsigned char>(quote)) {
                        out.push_back('\\');
                        out.push_back(quote);
                    } else {
                        append_hex_escape(out, b, 'x', 2);
                    }
            }
            ++p;
            continue;
        }
        std::size_t len = 0;
        const char32_t c = decode(p, end, len);
        if (len > 1 && is_printable(c)) {
            out.append(reinterpret_cast<const char*>(p), len);
        } else if (c < 0x100) {
            append_hex_escape(out, c, 'x', 2);
        } else if (c < 0x10000) {
            append_hex_escape(out, c, 'u', 4);
        } else {
            append_hex_escape(out, c, 'U', 8);
        }
        p += len;
    }
    out.push_back(quote);
}

void append_bytes_repr(std::string& out, std::string_view bytes) {
    const char quote = pick_quote(bytes);
    out.reserve(out.size() + bytes.size() + 3);
    out.push_back('b');
    out.push_back(quote);
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b == static_cast<unsigned char>(quote) || b == '\\') {
            out.push_back('\\');
            out.push_back(ch);
        } else if (b == '\t') {
            out += "\\t";
        } else if (b == '\n') {
            out += "\\n";
        } else if (b == '\r') {
            out += "\\r";
        } else if (b < 0x20 || b >= 0x7F) {
            append_hex_escape(out, b, 'x', 2);
        } else {
            out.push_back(ch);
        }
    }
    out.push_back(quote);
}

void append_constant_repr(std::string& out, const ConstantValue& value) {
    using Kind = ConstantValue::Kind;
    switch (value.kind) {
        case Kind::None: out += "None"; return;
        case Kind::True: out += "True"; return;
        case Kind::False: out += "False"; return;
        case Kind::Ellipsis: out += "Ellipsis"; return;
        case Kind::Int: {
            char buf[24];
            const auto result = std::to_chars(buf, buf + sizeof buf, value.int_value);
            out.append(buf, result.ptr);
            return;
        }
        case Kind::BigInt: out += value.text; return;
        case Kind::Float: {
            char buf[40];
            out.append(buf, pyjson::detail::float_repr_to(buf, value.float_value));
            return;
        }
        case Kind::Complex: {
            // A complex with a zero real part prints only its imaginary part,
            // in float repr without the ".0" a float would carry (2j, 1.5j, infj).
            char buf[40];
            char* last = pyjson::detail::float_repr_to(buf, value.float_value);
            if (last - buf >= 2 && last[-2] == '.' && last[-1] == '0') last -= 2;
            out.append(buf, last);
            out.push_back('j');
            return;
        }
        case Kind::Str: append_str_repr(out, value.text); return;
        case Kind::Bytes: append_bytes_repr(out, value.text); return;
    }
}

std::string constant_repr(const ConstantValue& value) {
    std::string out;
    append_constant_repr(out, value);
    return out;
}

}  // namespace norvex::pyast
