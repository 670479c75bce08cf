// Case mapping (lower, upper) and the case and alphanumeric string classes;
// ASCII is handled here, everything else goes through ICU.
//
// ICU 72 carries Unicode 15 while Python 3.11 carries Unicode 14 (3.14 has
// 16), so characters assigned in between may classify differently from a
// given Python; characters both know agree, except a few modifier letters
// (U+10FC, U+A7F2-A7F4, U+AB69) that Unicode 15 made Lowercase: "A\u10fc" is
// upper for 3.11 but not here, nor for Pythons on Unicode 15 or later.
#include "norvex/common/pystr.hpp"

#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/uchar.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>

namespace norvex::pystr {
namespace {

using u8 = unsigned char;

bool all_ascii(std::string_view s) {
    const auto* p = reinterpret_cast<const u8*>(s.data());
    const auto* const end = p + s.size();
    for (; end - p >= 8; p += 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        if (w & 0x8080808080808080ULL) return false;
    }
    for (; p < end; ++p)
        if (*p >= 0x80) return false;
    return true;
}

// Next code point of generalised UTF-8 at p, advancing p. Invalid bytes come
// back as U+FFFD, which is neither cased nor alphanumeric, like the lone
// surrogates Python would hold in their place.
char32_t next_cp(const u8*& p, const u8* end) {
    const u8 b = *p;
    const auto avail = end - p;
    auto cont = [&](int i) { return (p[i] & 0xC0) == 0x80; };
    if (b >= 0xC2 && b < 0xE0 && avail >= 2 && cont(1)) {
        const char32_t c = (char32_t(b & 0x1F) << 6) | (p[1] & 0x3F);
        p += 2;
        return c;
    }
    if (b >= 0xE0 && b < 0xF0 && avail >= 3 && cont(1) && cont(2) && !(b == 0xE0 && p[1] < 0xA0)) {
        const char32_t c = (char32_t(b & 0x0F) << 12) | (char32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
        p += 3;
        return c;
    }
    if (b >= 0xF0 && b < 0xF5 && avail >= 4 && cont(1) && cont(2) && cont(3) &&
        !(b == 0xF0 && p[1] < 0x90) && !(b == 0xF4 && p[1] > 0x8F)) {
        const char32_t c = (char32_t(b & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12) |
                           (char32_t(p[2] & 0x3F) << 6) | (p[3] & 0x3F);
        p += 4;
        return c;
    }
    ++p;
    return 0xFFFD;
}

// ICU's UTF-8 case mapper copies ill-formed sequences through unchanged and
// treats them as uncased, non-ignorable context for the final-sigma rule;
// that is exactly how Python treats the lone surrogates such bytes stand
// for. Locale "" is the root locale: no Turkish or Lithuanian rules, as in
// Python.
std::string icu_case(std::string_view s, bool to_upper) {
    std::string out;
    out.reserve(s.size() + s.size() / 8);
    icu::StringByteSink<std::string> sink(&out);
    // ICU lengths are int32_t. Huge inputs go in pieces cut at a character
    // start; a final sigma exactly at a seam is the only thing that could
    // differ.
    constexpr std::size_t kPiece = std::size_t{1} << 30;
    while (!s.empty()) {
        std::size_t n = s.size();
        if (n > kPiece) {
            n = kPiece;
            while (n > 0 && (static_cast<u8>(s[n]) & 0xC0) == 0x80) --n;
            if (n == 0) n = kPiece;
        }
        UErrorCode err = U_ZERO_ERROR;
        const icu::StringPiece piece(s.data(), static_cast<int32_t>(n));
        if (to_upper)
            icu::CaseMap::utf8ToUpper("", 0, piece, sink, nullptr, err);
        else
            icu::CaseMap::utf8ToLower("", 0, piece, sink, nullptr, err);
        if (err == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
        if (U_FAILURE(err)) throw std::runtime_error(std::string("ICU case mapping failed: ") + u_errorName(err));
        s.remove_prefix(n);
    }
    return out;
}

}  // namespace

std::string lower(std::string_view s) {
    if (!all_ascii(s)) return icu_case(s, false);
    std::string out(s);
    for (char& ch : out)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + ('a' - 'A'));
    return out;
}

std::string upper(std::string_view s) {
    if (!all_ascii(s)) return icu_case(s, true);
    std::string out(s);
    for (char& ch : out)
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - ('a' - 'A'));
    return out;
}

// Python: false if any character has the Lowercase property or is titlecase
// (Lt); true if at least one has the Uppercase property. Digits and marks are
// neutral, so "ABC1" is upper, "Ⅷ" (Other_Uppercase) is upper and "ǅ" (Lt)
// is not.
bool isupper(std::string_view s) {
    const auto* p = reinterpret_cast<const u8*>(s.data());
    const auto* const end = p + s.size();
    bool cased = false;
    while (p < end) {
        const u8 b = *p;
        if (b < 0x80) {
            if (b >= 'a' && b <= 'z') return false;
            if (b >= 'A' && b <= 'Z') cased = true;
            ++p;
            continue;
        }
        const char32_t c = next_cp(p, end);
        const auto cp = static_cast<UChar32>(c);
        if (u_isULowercase(cp) || u_charType(cp) == U_TITLECASE_LETTER) return false;
        if (!cased && u_isUUppercase(cp)) cased = true;
    }
    return cased;
}

// Python: every character is a letter (Lu, Ll, Lt, Lm, Lo) or has a numeric
// type (decimal, digit or numeric, which includes the Unihan numerals).
bool isalnum(std::string_view s) {
    if (s.empty()) return false;
    const auto* p = reinterpret_cast<const u8*>(s.data());
    const auto* const end = p + s.size();
    while (p < end) {
        const u8 b = *p;
        if (b < 0x80) {
            if (!((b >= '0' && b <= '9') || ((b | 0x20) >= 'a' && (b | 0x20) <= 'z'))) return false;
            ++p;
            continue;
        }
        const auto cp = static_cast<UChar32>(next_cp(p, end));
        if (U_GET_GC_MASK(cp) & U_GC_L_MASK) continue;
        if (u_getIntPropertyValue(cp, UCHAR_NUMERIC_TYPE) == U_NT_NONE) return false;
    }
    return true;
}

}  // namespace norvex::pystr
