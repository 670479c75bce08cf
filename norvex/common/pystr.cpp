// Code-point lengths and cuts, white space, line splitting and UTF-8 coding.
#include "norvex/common/pystr.hpp"

#include <cstdint>
#include <cstring>

namespace norvex::pystr {
namespace {

using u8 = unsigned char;

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
constexpr char32_t kReplacement = 0xFFFD;

inline const u8* bytes(std::string_view s) { return reinterpret_cast<const u8*>(s.data()); }

inline bool is_cont(u8 b) { return (b & 0xC0) == 0x80; }

// True when the eight bytes at p are all ASCII. memcpy keeps the load legal
// for any alignment and compiles to one move.
inline bool ascii8(const u8* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return (w & kHighBits) == 0;
}

// Byte length of the well-formed sequence starting at p, or 0 when p starts
// none. Text can carry lone surrogates (the parser keeps them in string
// constants), so ED A0..BF is accepted here; strict validation lives in
// is_valid_utf8.
inline std::size_t seq_len(const u8* p, const u8* end) {
    const u8 b = p[0];
    if (b < 0x80) return 1;
    const std::size_t avail = static_cast<std::size_t>(end - p);
    if (b < 0xC2) return 0;
    if (b < 0xE0) return avail >= 2 && is_cont(p[1]) ? 2 : 0;
    if (b < 0xF0) {
        if (avail < 3 || !is_cont(p[1]) || !is_cont(p[2])) return 0;
        return b == 0xE0 && p[1] < 0xA0 ? 0 : 3;
    }
    if (b < 0xF5) {
        if (avail < 4 || !is_cont(p[1]) || !is_cont(p[2]) || !is_cont(p[3])) return 0;
        if (b == 0xF0 && p[1] < 0x90) return 0;
        if (b == 0xF4 && p[1] > 0x8F) return 0;
        return 4;
    }
    return 0;
}

// Decodes a sequence seq_len accepted.
inline char32_t decode_seq(const u8* p, std::size_t n) {
    switch (n) {
        case 1: return p[0];
        case 2: return (char32_t(p[0] & 0x1F) << 6) | (p[1] & 0x3F);
        case 3: return (char32_t(p[0] & 0x0F) << 12) | (char32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
        default:
            return (char32_t(p[0] & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12) |
                   (char32_t(p[2] & 0x3F) << 6) | (p[3] & 0x3F);
    }
}

// Bit 0: white space; bit 1: line break; bit 2: a lead byte of a non-ASCII
// white space or line break (C2, E1, E2, E3), which the scanners must decode.
constexpr u8 kSpace = 1, kBreak = 2, kLead = 4;

constexpr auto make_table() {
    struct T { u8 v[256]; } t{};
    for (int c : {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x1C, 0x1D, 0x1E, 0x1F, 0x20}) t.v[c] |= kSpace;
    for (int c : {0x0A, 0x0B, 0x0C, 0x0D, 0x1C, 0x1D, 0x1E}) t.v[c] |= kBreak;
    for (int c : {0xC2, 0xE1, 0xE2, 0xE3}) t.v[c] |= kLead;
    return t;
}
constexpr auto kTable = make_table();

// Byte length of the white-space character at p, or 0. The non-ASCII ones are
// few and fixed (Python's set is category Zs plus bidi classes WS, B and S,
// which has not changed since Unicode 6.3), so they are matched as bytes.
inline std::size_t space_at(const u8* p, const u8* end) {
    const u8 b = p[0];
    if (b < 0x80) return kTable.v[b] & kSpace;
    const std::size_t avail = static_cast<std::size_t>(end - p);
    if (b == 0xC2) return avail >= 2 && (p[1] == 0x85 || p[1] == 0xA0) ? 2 : 0;
    if (avail < 3) return 0;
    if (b == 0xE1) return p[1] == 0x9A && p[2] == 0x80 ? 3 : 0;  // U+1680
    if (b == 0xE2) {
        if (p[1] == 0x80) {
            const u8 t = p[2];
            return (t >= 0x80 && t <= 0x8A) || t == 0xA8 || t == 0xA9 || t == 0xAF ? 3 : 0;
        }
        return p[1] == 0x81 && p[2] == 0x9F ? 3 : 0;  // U+205F
    }
    if (b == 0xE3) return p[1] == 0x80 && p[2] == 0x80 ? 3 : 0;  // U+3000
    return 0;
}

// Byte length of the white-space character that ends just before end, or 0.
// None of the lead bytes involved can be a continuation byte, so matching the
// last two or three bytes is enough to find a whole character.
inline std::size_t space_before(const u8* begin, const u8* end) {
    const u8 last = end[-1];
    if (last < 0x80) return kTable.v[last] & kSpace;
    const std::size_t avail = static_cast<std::size_t>(end - begin);
    if (avail >= 2 && end[-2] == 0xC2) return space_at(end - 2, end);
    if (avail >= 3 && (kTable.v[end[-3]] & kLead)) return space_at(end - 3, end) == 3 ? 3 : 0;
    return 0;
}

// Byte length of the line break at p (\r\n counts as one), or 0.
inline std::size_t break_at(const u8* p, const u8* end) {
    const u8 b = p[0];
    if (b < 0x80) {
        if (!(kTable.v[b] & kBreak)) return 0;
        return b == '\r' && end - p >= 2 && p[1] == '\n' ? 2 : 1;
    }
    const std::size_t avail = static_cast<std::size_t>(end - p);
    if (b == 0xC2) return avail >= 2 && p[1] == 0x85 ? 2 : 0;
    if (b == 0xE2) return avail >= 3 && p[1] == 0x80 && (p[2] == 0xA8 || p[2] == 0xA9) ? 3 : 0;
    return 0;
}

}  // namespace

std::size_t length(std::string_view s) {
    const u8* p = bytes(s);
    const u8* const end = p + s.size();
    std::size_t n = 0;
    while (p < end) {
        while (end - p >= 8 && ascii8(p)) {
            p += 8;
            n += 8;
        }
        if (p == end) break;
        if (*p < 0x80) {
            ++p;
        } else {
            const std::size_t k = seq_len(p, end);
            p += k ? k : 1;
        }
        ++n;
    }
    return n;
}

std::string_view cut(std::string_view s, std::size_t n) {
    // Every code point takes at least one byte.
    if (n >= s.size()) return s;
    const u8* const begin = bytes(s);
    const u8* const end = begin + s.size();
    const u8* p = begin;
    while (n > 0 && p < end) {
        while (n >= 8 && end - p >= 8 && ascii8(p)) {
            p += 8;
            n -= 8;
        }
        if (n == 0 || p == end) break;
        if (*p < 0x80) {
            ++p;
        } else {
            const std::size_t k = seq_len(p, end);
            p += k ? k : 1;
        }
        --n;
    }
    return s.substr(0, static_cast<std::size_t>(p - begin));
}

bool is_space(char32_t c) {
    if (c < 0x80) return kTable.v[c] & kSpace;
    switch (c) {
        case 0x85: case 0xA0: case 0x1680: case 0x2028: case 0x2029:
        case 0x202F: case 0x205F: case 0x3000:
            return true;
        default:
            return c >= 0x2000 && c <= 0x200A;
    }
}

std::string_view lstrip(std::string_view s) {
    const u8* const begin = bytes(s);
    const u8* const end = begin + s.size();
    const u8* p = begin;
    while (p < end) {
        const std::size_t k = space_at(p, end);
        if (k == 0) break;
        p += k;
    }
    return s.substr(static_cast<std::size_t>(p - begin));
}

std::string_view rstrip(std::string_view s) {
    const u8* const begin = bytes(s);
    const u8* e = begin + s.size();
    while (e > begin) {
        const std::size_t k = space_before(begin, e);
        if (k == 0) break;
        e -= k;
    }
    return s.substr(0, static_cast<std::size_t>(e - begin));
}

std::string_view strip(std::string_view s) { return rstrip(lstrip(s)); }

bool isspace(std::string_view s) {
    if (s.empty()) return false;
    const u8* p = bytes(s);
    const u8* const end = p + s.size();
    while (p < end) {
        const std::size_t k = space_at(p, end);
        if (k == 0) return false;
        p += k;
    }
    return true;
}

std::vector<std::string_view> splitlines(std::string_view s, bool keepends) {
    std::vector<std::string_view> lines;
    const u8* const begin = bytes(s);
    const u8* const end = begin + s.size();
    const u8* start = begin;
    const u8* p = begin;
    while (p < end) {
        if (!(kTable.v[*p] & (kBreak | kLead))) {
            ++p;
            continue;
        }
        const std::size_t k = break_at(p, end);
        if (k == 0) {
            ++p;
            continue;
        }
        const u8* const line_end = keepends ? p + k : p;
        lines.push_back(s.substr(static_cast<std::size_t>(start - begin),
                                 static_cast<std::size_t>(line_end - start)));
        p += k;
        start = p;
    }
    if (start < end) lines.push_back(s.substr(static_cast<std::size_t>(start - begin)));
    return lines;
}

std::string decode_utf8_replace(std::string_view in) {
    static constexpr char kFffd[] = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(in.size());
    const u8* const begin = bytes(in);
    const u8* const end = begin + in.size();
    const u8* p = begin;
    const u8* run = begin;  // start of bytes that are copied through as they are
    while (p < end) {
        while (end - p >= 8 && ascii8(p)) p += 8;
        if (p == end) break;
        const u8 b = *p;
        if (b < 0x80) {
            ++p;
            continue;
        }
        // The range of the second byte depends on the lead; it rules out
        // overlongs, surrogates and values past U+10FFFF.
        int need = 0;
        u8 lo = 0x80, hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        }
        // The maximal subpart: the lead plus every following byte that could
        // still continue a well-formed sequence.
        std::size_t taken = 1;
        if (need > 0 && p + 1 < end && p[1] >= lo && p[1] <= hi) {
            taken = 2;
            while (taken <= static_cast<std::size_t>(need) && p + taken < end && is_cont(p[taken]))
                ++taken;
        }
        if (need > 0 && taken == static_cast<std::size_t>(need) + 1) {
            p += taken;
            continue;
        }
        out.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
        out.append(kFffd, 3);
        p += taken;
        run = p;
    }
    out.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(end - run));
    return out;
}

std::size_t valid_utf8_prefix(std::string_view s) {
    const u8* const begin = bytes(s);
    const u8* p = begin;
    const u8* const end = p + s.size();
    while (p < end) {
        while (end - p >= 8 && ascii8(p)) p += 8;
        if (p == end) break;
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const std::size_t k = seq_len(p, end);
        if (k == 0) break;
        if (k == 3 && p[0] == 0xED && p[1] >= 0xA0) break;  // surrogate
        p += k;
    }
    return static_cast<std::size_t>(p - begin);
}

bool is_valid_utf8(std::string_view s) { return valid_utf8_prefix(s) == s.size(); }

std::u32string to_u32(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    const u8* p = bytes(s);
    const u8* const end = p + s.size();
    while (p < end) {
        if (*p < 0x80) {
            out.push_back(*p++);
            continue;
        }
        const std::size_t k = seq_len(p, end);
        if (k == 0) {
            out.push_back(kReplacement);
            ++p;
        } else {
            out.push_back(decode_seq(p, k));
            p += k;
        }
    }
    return out;
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        const char b[2] = {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
        out.append(b, 2);
    } else if (c < 0x10000) {
        const char b[3] = {static_cast<char>(0xE0 | (c >> 12)),
                           static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                           static_cast<char>(0x80 | (c & 0x3F))};
        out.append(b, 3);
    } else if (c < 0x110000) {
        const char b[4] = {static_cast<char>(0xF0 | (c >> 18)),
                           static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
                           static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                           static_cast<char>(0x80 | (c & 0x3F))};
        out.append(b, 4);
    } else {
        // Not a code point at all; nothing could decode it back.
        out.append("\xEF\xBF\xBD", 3);
    }
}

std::string from_u32(std::u32string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char32_t c : s) append_utf8(out, c);
    return out;
}

}  // namespace norvex::pystr
