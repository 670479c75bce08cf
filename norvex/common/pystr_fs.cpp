// os.fsdecode and os.fsencode: file-name bytes as Python's text, surrogate escapes and back.
#include "norvex/common/pystr.hpp"

#include <stdexcept>

namespace norvex::pystr {
namespace {

using u8 = unsigned char;

constexpr char kHex[] = "0123456789abcdef";

// The lone surrogate at byte i (generalised UTF-8: ED A0..BF 80..BF), or 0.
char32_t surrogate_at(std::string_view text, std::size_t i) {
    if (i + 3 > text.size()) return 0;
    const auto b0 = static_cast<u8>(text[i]);
    const auto b1 = static_cast<u8>(text[i + 1]);
    const auto b2 = static_cast<u8>(text[i + 2]);
    if (b0 != 0xED || b1 < 0xA0 || b1 > 0xBF || (b2 & 0xC0) != 0x80) return 0;
    return 0xD000 | char32_t(b1 & 0x3F) << 6 | (b2 & 0x3F);
}

bool is_escape(char32_t surrogate) { return surrogate >= 0xDC80 && surrogate <= 0xDCFF; }

// Python's UnicodeEncodeError text for the surrogates from `first` to the
// end of their run, the range CPython's encoder reports.
[[noreturn]] void refuse(std::string_view text, std::size_t first) {
    std::size_t end = first;
    while (surrogate_at(text, end) != 0) end += 3;
    const std::size_t position = length(text.substr(0, first));
    const std::size_t count = (end - first) / 3;
    std::string message = "'utf-8' codec can't encode ";
    if (count == 1) {
        const char32_t c = surrogate_at(text, first);
        message += "character '\\u";
        for (int shift = 12; shift >= 0; shift -= 4) message += kHex[(c >> shift) & 0xF];
        message += "' in position " + std::to_string(position);
    } else {
        message += "characters in position " + std::to_string(position) + "-" + std::to_string(position + count - 1);
    }
    throw std::invalid_argument(message + ": surrogates not allowed");
}

template <typename OnOther>
std::string encode(std::string_view text, OnOther on_other) {
    std::string out;
    out.reserve(text.size());
    std::size_t run = 0;  // start of the bytes copied through unchanged
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<u8>(text[i]) != 0xED) {
            ++i;
            continue;
        }
        const char32_t c = surrogate_at(text, i);
        if (c == 0) {
            ++i;
            continue;
        }
        out.append(text, run, i - run);
        if (is_escape(c)) {
            out.push_back(static_cast<char>(c - 0xDC00));
        } else {
            on_other(out, i);
        }
        i += 3;
        run = i;
    }
    out.append(text, run, text.size() - run);
    return out;
}

// Escapes every byte that is not part of valid UTF-8; with `keep_surrogates`,
// surrogates in generalised UTF-8 are taken as text too.
std::string decode(std::string_view bytes, bool keep_surrogates) {
    std::size_t valid = valid_utf8_prefix(bytes);
    if (valid == bytes.size()) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + 8);
    while (true) {
        out.append(bytes, 0, valid);
        if (valid == bytes.size()) return out;
        if (keep_surrogates && surrogate_at(bytes, valid) != 0) {
            out.append(bytes, valid, 3);
            bytes.remove_prefix(valid + 3);
        } else {
            // One escape for the offending byte; what follows it may be valid
            // again (a continuation byte never is, so every byte of a broken
            // sequence gets its own escape, as Python gives them).
            append_utf8(out, 0xDC00 + static_cast<u8>(bytes[valid]));
            bytes.remove_prefix(valid + 1);
        }
        valid = valid_utf8_prefix(bytes);
    }
}

}  // namespace

std::string fsdecode(std::string_view bytes) { return decode(bytes, false); }

std::string fsdecode_text(std::string_view text) { return decode(text, true); }

std::string fsencode(std::string_view text) {
    return encode(text, [&](std::string&, std::size_t at) { refuse(text, at); });
}

std::string fsencode_replace(std::string_view text) {
    return encode(text, [](std::string& out, std::size_t) { out.append("\xEF\xBF\xBD", 3); });
}

}  // namespace norvex::pystr
