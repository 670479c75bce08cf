// The tokenizer's names: identifiers (Unicode, NFKC), keywords, soft keywords, string prefixes, stray characters.
#include "norvex/pyast/lexer.hpp"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace norvex::pyast {
namespace {

// Bytes that continue an identifier: ASCII letters, digits, '_', and every
// byte of a non-ASCII character (checked against the Unicode tables later).
struct NameBytes {
    bool table[256] = {};
    constexpr NameBytes() {
        for (int c = 0; c < 256; ++c)
            table[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c >= 0x80;
    }
};
constexpr NameBytes name_bytes;

// Letters that may begin a string prefix.
struct PrefixLetters {
    bool table[256] = {};
    constexpr PrefixLetters() {
        for (unsigned char c : {'b', 'B', 'r', 'R', 'u', 'U', 'f', 'F', 't', 'T'}) table[c] = true;
    }
};
constexpr PrefixLetters prefix_letters;

// How many of the eight ASCII bytes in `w` (little-endian), from the first,
// continue an identifier; 8 when all do. Bytes with the high bit set count
// as stopping here: the caller takes those one at a time.
unsigned name_run(std::uint64_t w) noexcept {
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t high = 0x8080808080808080ull;
    // Per byte, without carries between bytes (every byte is below 0x80 here):
    // the high bit of b + (0x80 - lo) is set when b >= lo, that of
    // b + (0x7F - hi) when b > hi.
    auto in_range = [&](std::uint64_t v, unsigned lo, unsigned hi) {
        return (v + ones * (0x80 - lo)) & ~(v + ones * (0x7F - hi)) & high;
    };
    auto equal = [&](std::uint64_t v, unsigned c) {
        std::uint64_t x = v ^ (ones * c);
        return ~(((x & ~high) + ~high) | x) & high;
    };
    if ((w & high) != 0) {
        // Keep the bytes before the first non-ASCII one; the rest stop the run.
        const unsigned ascii = static_cast<unsigned>(std::countr_zero(w & high)) / 8;
        if (ascii == 0) return 0;
        w &= ~std::uint64_t{0} >> (64 - 8 * ascii);
    }
    const std::uint64_t ok = in_range(w | (ones * 0x20), 'a', 'z') | in_range(w, '0', '9') | equal(w, '_');
    const std::uint64_t stop = ~ok & high;
    return stop == 0 ? 8 : static_cast<unsigned>(std::countr_zero(stop)) / 8;
}

// Names are mostly no keyword: the length and first letter settle most of them.
Keyword keyword_of(std::string_view name) noexcept {
    auto is = [&](std::string_view word, Keyword k) { return name == word ? k : Keyword::None_; };
    switch (name.size()) {
        case 2:
            switch (name[0]) {
                case 'a': return is("as", Keyword::as);
                case 'i':
                    return name[1] == 'f' ? Keyword::if_ : name[1] == 'n' ? Keyword::in : name[1] == 's' ? Keyword::is : Keyword::None_;
                case 'o': return is("or", Keyword::or_);
                default: return Keyword::None_;
            }
        case 3:
            switch (name[0]) {
                case 'a': return is("and", Keyword::and_);
                case 'd': return name == "def" ? Keyword::def : is("del", Keyword::del);
                case 'f': return is("for", Keyword::for_);
                case 'n': return is("not", Keyword::not_);
                case 't': return is("try", Keyword::try_);
                default: return Keyword::None_;
            }
        case 4:
            switch (name[0]) {
                case 'N': return is("None", Keyword::None);
                case 'T': return is("True", Keyword::True_);
                case 'e': return name == "elif" ? Keyword::elif : is("else", Keyword::else_);
                case 'f': return is("from", Keyword::from);
                case 'p': return is("pass", Keyword::pass);
                case 'w': return is("with", Keyword::with);
                default: return Keyword::None_;
            }
        case 5:
            switch (name[0]) {
                case 'F': return is("False", Keyword::False_);
                case 'a': return name == "async" ? Keyword::async : is("await", Keyword::await);
                case 'b': return is("break", Keyword::break_);
                case 'c': return is("class", Keyword::class_);
                case 'r': return is("raise", Keyword::raise);
                case 'w': return is("while", Keyword::while_);
                case 'y': return is("yield", Keyword::yield);
                default: return Keyword::None_;
            }
        case 6:
            switch (name[0]) {
                case 'a': return is("assert", Keyword::assert_);
                case 'e': return is("except", Keyword::except);
                case 'g': return is("global", Keyword::global);
                case 'i': return is("import", Keyword::import);
                case 'l': return is("lambda", Keyword::lambda);
                case 'r': return is("return", Keyword::return_);
                default: return Keyword::None_;
            }
        case 7: return is("finally", Keyword::finally);
        case 8: return name == "continue" ? Keyword::continue_ : is("nonlocal", Keyword::nonlocal);
        default: return Keyword::None_;
    }
}

SoftKeyword soft_keyword_of(std::string_view name) noexcept {
    switch (name.size()) {
        case 1: return name[0] == '_' ? SoftKeyword::underscore : SoftKeyword::none;
        case 4:
            if (name == "case") return SoftKeyword::case_;
            if (name == "type") return SoftKeyword::type;
            return SoftKeyword::none;
        case 5: return name == "match" ? SoftKeyword::match : SoftKeyword::none;
        default: return SoftKeyword::none;
    }
}

// One code point of UTF-8 at `p`; -1 and a length of 1 for a malformed sequence.
char32_t decode(std::string_view s, std::uint32_t p, int& len) noexcept {
    auto b = [&](std::uint32_t i) -> unsigned { return i < s.size() ? static_cast<unsigned char>(s[i]) : 0u; };
    unsigned c = b(p);
    len = 1;
    if (c < 0x80) return c;
    int n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (n == 0 || (n == 3 && c >= 0xF0)) return static_cast<char32_t>(-1);
    char32_t cp = c & (0x7F >> n);
    for (int i = 1; i < n; ++i) {
        unsigned d = b(p + i);
        if ((d & 0xC0) != 0x80) return static_cast<char32_t>(-1);
        cp = (cp << 6) | (d & 0x3F);
    }
    if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF))) {
        return static_cast<char32_t>(-1);
    }
    len = n;
    return cp;
}

// Identifier characters newer than the system's ICU tables (Unicode 15.1
// made these ID_Continue; Python follows the newer data).
bool joins_identifier(char32_t c) noexcept { return c == 0x200C || c == 0x200D || c == 0x30FB || c == 0xFF65; }

bool is_printable(char32_t c) noexcept {
    switch (u_charType(static_cast<UChar32>(c))) {
        case U_CONTROL_CHAR:
        case U_FORMAT_CHAR:
        case U_SURROGATE:
        case U_PRIVATE_USE_CHAR:
        case U_UNASSIGNED:
        case U_LINE_SEPARATOR:
        case U_PARAGRAPH_SEPARATOR: return false;
        case U_SPACE_SEPARATOR: return c == ' ';
        default: return true;
    }
}

}  // namespace

bool Tokenizer::invalid_character(std::uint32_t at) {
    int len = 1;
    char32_t c = decode(src_, at, len);
    Mark m{at, line_, line_start_};
    char buf[64];
    if (c == static_cast<char32_t>(-1)) {
        // Python decodes the whole text first and reports the first bad byte.
        std::snprintf(buf, sizeof buf, "(unicode error) 'utf-8' codec can't decode byte 0x%02x",
                      static_cast<unsigned char>(src_[at]));
        return fail_at(buf, m);
    }
    if (!is_printable(c)) {
        std::snprintf(buf, sizeof buf, "invalid non-printable character U+%04X", static_cast<unsigned>(c));
        return fail_at(buf, m);
    }
    std::snprintf(buf, sizeof buf, "' (U+%04X)", static_cast<unsigned>(c));
    return fail_at("invalid character '" + std::string(src_.substr(at, len)) + buf, m);
}

bool Tokenizer::lex_name(const Mark& b) {
    // A string prefix: distinct letters from "bBrRuUfFtT" right before a quote.
    bool saw_b = false, saw_r = false, saw_u = false, saw_f = false, saw_t = false;
    std::uint32_t p = pos_;
    for (; p < size_ && prefix_letters.table[static_cast<unsigned char>(src_[p])]; ++p) {
        char c = static_cast<char>(src_[p] | 0x20);
        bool* flag = c == 'b' ? &saw_b : c == 'r' ? &saw_r : c == 'u' ? &saw_u : c == 'f' ? &saw_f : c == 't' ? &saw_t
                                                                                                          : nullptr;
        if (flag == nullptr || *flag) break;
        *flag = true;
    }
    if (p > pos_ && p < size_ && (src_[p] == '\'' || src_[p] == '"')) {
        const char* clash = nullptr;
        if (saw_u && saw_b) clash = "'u' and 'b'";
        else if (saw_u && saw_r) clash = "'u' and 'r'";
        else if (saw_u && saw_f) clash = "'u' and 'f'";
        else if (saw_u && saw_t) clash = "'u' and 't'";
        else if (saw_b && saw_f) clash = "'b' and 'f'";
        else if (saw_b && saw_t) clash = "'b' and 't'";
        else if (saw_f && saw_t) clash = "'f' and 't'";
        if (clash != nullptr) {
            int offset = char_offset(b.line_start, b.pos);
            return fail(SyntaxError::Type::SyntaxError, std::string(clash) + " prefixes are incompatible", b, offset,
                        b.line, offset + static_cast<int>(p - b.pos));
        }
        pos_ = p;
        return lex_string(b, saw_r, saw_b, saw_f, saw_t);
    }

    unsigned char high = 0;
    const char* data = src_.data();
    std::uint32_t q = pos_;
    // Eight bytes at a time while they are ASCII name bytes, then one at a time.
    while (q + 8 <= size_) {
        std::uint64_t w;
        std::memcpy(&w, data + q, 8);
        const unsigned n = name_run(w);
        q += n;
        if (n < 8) break;
    }
    while (q < size_ && name_bytes.table[static_cast<unsigned char>(data[q])]) high |= static_cast<unsigned char>(data[q++]);
    pos_ = q;
    std::string_view text = src_.substr(b.pos, pos_ - b.pos);
    if (high < 0x80) {
        Token& t = emit(TokenKind::NAME, b, here());
        t.keyword = keyword_of(text);
        if (t.keyword == Keyword::None_) t.soft = soft_keyword_of(text);
        return true;
    }

    // Every character must be XID_Start (or '_') first and XID_Continue after.
    for (std::uint32_t q = b.pos; q < pos_;) {
        int len = 1;
        char32_t c = decode(src_, q, len);
        bool ok = c != static_cast<char32_t>(-1) &&
                  (c == '_' || u_hasBinaryProperty(static_cast<UChar32>(c), q == b.pos ? UCHAR_XID_START
                                                                                       : UCHAR_XID_CONTINUE) ||
                   (q != b.pos && joins_identifier(c)));
        if (!ok) {
            pos_ = q;
            return invalid_character(q);
        }
        q += static_cast<std::uint32_t>(len);
    }
    Token& t = emit(TokenKind::NAME, b, here());
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfkc = icu::Normalizer2::getNFKCInstance(status);
    if (U_FAILURE(status)) return true;
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    if (!nfkc->isNormalized(u, status) && U_SUCCESS(status)) {
        icu::UnicodeString n = nfkc->normalize(u, status);
        if (U_SUCCESS(status)) {
            std::string out;
            n.toUTF8String(out);
            tokens_.set_normalized(t, arena_.store(out));
        }
    }
    return true;
}

}  // namespace norvex::pyast
