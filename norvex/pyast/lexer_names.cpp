// The tokenizer's names: identifiers (Unicode, NFKC), keywords, soft keywords, string prefixes, stray characters.
#include "norvex/pyast/lexer.hpp"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

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

// Keywords and soft keywords by a hash of first letter, last letter and
// length that gives each its own slot: one table read and a compare of at
// most two words tell a name from all of them.
static_assert(std::endian::native == std::endian::little, "the word compare loads bytes little-endian");

struct WordKind {
    Keyword keyword = Keyword::None_;
    SoftKeyword soft = SoftKeyword::none;
};

constexpr unsigned word_slot(unsigned char first, unsigned char last, std::size_t len) noexcept {
    return (first + last * 28u + static_cast<unsigned>(len) * 11u) & 127u;
}

// A word of one to eight bytes as two numbers that, with its length, tell it
// apart: its first and last four bytes (overlapping), or for one to three
// bytes, the first and middle byte, and the last.
struct WordKey {
    std::uint32_t head;
    std::uint32_t tail;
};

constexpr std::uint32_t le4(const char* p) noexcept {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(p[0])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(p[1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(p[2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(p[3])) << 24;
}

constexpr WordKey key_of_word(const char* p, std::size_t n) noexcept {
    if (n >= 4) return {le4(p), le4(p + n - 4)};
    return {static_cast<std::uint32_t>(static_cast<unsigned char>(p[0])) |
                static_cast<std::uint32_t>(static_cast<unsigned char>(p[n / 2])) << 8,
            static_cast<unsigned char>(p[n - 1])};
}

struct WordTable {
    struct Slot {
        WordKey key{};
        std::uint8_t len = 0;  // 0: empty
        WordKind kind;
    };
    Slot slots[128];

    constexpr WordTable() {
        struct Entry {
            std::string_view word;
            Keyword keyword;
            SoftKeyword soft;
        };
        constexpr Entry entries[] = {
            {"False", Keyword::False_, {}}, {"None", Keyword::None, {}}, {"True", Keyword::True_, {}},
            {"and", Keyword::and_, {}}, {"as", Keyword::as, {}}, {"assert", Keyword::assert_, {}},
            {"async", Keyword::async, {}}, {"await", Keyword::await, {}}, {"break", Keyword::break_, {}},
            {"class", Keyword::class_, {}}, {"continue", Keyword::continue_, {}}, {"def", Keyword::def, {}},
            {"del", Keyword::del, {}}, {"elif", Keyword::elif, {}}, {"else", Keyword::else_, {}},
            {"except", Keyword::except, {}}, {"finally", Keyword::finally, {}}, {"for", Keyword::for_, {}},
            {"from", Keyword::from, {}}, {"global", Keyword::global, {}}, {"if", Keyword::if_, {}},
            {"import", Keyword::import, {}}, {"in", Keyword::in, {}}, {"is", Keyword::is, {}},
            {"lambda", Keyword::lambda, {}}, {"nonlocal", Keyword::nonlocal, {}}, {"not", Keyword::not_, {}},
            {"or", Keyword::or_, {}}, {"pass", Keyword::pass, {}}, {"raise", Keyword::raise, {}},
            {"return", Keyword::return_, {}}, {"try", Keyword::try_, {}}, {"while", Keyword::while_, {}},
            {"with", Keyword::with, {}}, {"yield", Keyword::yield, {}},
            {"match", Keyword::None_, SoftKeyword::match}, {"case", Keyword::None_, SoftKeyword::case_},
            {"type", Keyword::None_, SoftKeyword::type}, {"_", Keyword::None_, SoftKeyword::underscore},
        };
        for (const Entry& e : entries) {
            Slot& s = slots[word_slot(static_cast<unsigned char>(e.word.front()),
                                      static_cast<unsigned char>(e.word.back()), e.word.size())];
            // Two words in one slot: not a constant expression, so the build fails.
            if (s.len != 0) throw "two words share a slot";
            s.key = key_of_word(e.word.data(), e.word.size());
            s.len = static_cast<std::uint8_t>(e.word.size());
            s.kind = {e.keyword, e.soft};
        }
    }
};
constexpr WordTable word_table;

std::uint32_t load4(const char* p) noexcept {
    std::uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

WordKind word_kind(const char* p, std::size_t n) noexcept {
    // n >= 1; a name longer than eight bytes finds no slot of its length.
    const WordTable::Slot& s =
        word_table.slots[word_slot(static_cast<unsigned char>(p[0]), static_cast<unsigned char>(p[n - 1]), n)];
    if (s.len != n) return {};
    const WordKey k = n >= 4 ? WordKey{load4(p), load4(p + n - 4)} : key_of_word(p, n);
    if (k.head != s.key.head || k.tail != s.key.tail) return {};
    return s.kind;
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

// The name [pos_, quote) before a quote: when it is a string prefix, the
// string (or the error of prefixes that clash) and true; false otherwise.
bool Tokenizer::lex_prefixed_string(const Mark& b, std::uint32_t quote) {
    bool saw_b = false, saw_r = false, saw_u = false, saw_f = false, saw_t = false;
    for (std::uint32_t p = pos_; p < quote; ++p) {
        char c = static_cast<char>(src_[p] | 0x20);
        bool* flag = c == 'b' ? &saw_b : c == 'r' ? &saw_r : c == 'u' ? &saw_u : c == 'f' ? &saw_f : c == 't' ? &saw_t
                                                                                                          : nullptr;
        if (flag == nullptr || *flag || !prefix_letters.table[static_cast<unsigned char>(src_[p])]) return false;
        *flag = true;
    }
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
                    b.line, offset + static_cast<int>(quote - b.pos));
    }
    pos_ = quote;
    return lex_string(b, saw_r, saw_b, saw_f, saw_t);
}

bool Tokenizer::lex_name(const Mark& b) {
    unsigned char high = 0;
    const char* data = src_.data();
    std::uint32_t q = pos_;
    // Eight bytes at a time while they are ASCII name bytes, then one at a time.
    bool ascii_stop = false;  // the run ended at an ASCII byte that cannot continue it
    while (q + 8 <= size_) {
        std::uint64_t w;
        std::memcpy(&w, data + q, 8);
        const unsigned n = name_run(w);
        q += n;
        if (n < 8) {
            ascii_stop = static_cast<unsigned char>(data[q]) < 0x80;
            break;
        }
    }
    if (!ascii_stop) {
        while (q < size_ && name_bytes.table[static_cast<unsigned char>(data[q])])
            high |= static_cast<unsigned char>(data[q++]);
    }
    // A string prefix: distinct letters from "bBrRuUfFtT" right before a quote.
    if (q < size_ && (data[q] == '\'' || data[q] == '"') && q - pos_ <= 5 && lex_prefixed_string(b, q)) return true;
    pos_ = q;
    std::string_view text = src_.substr(b.pos, pos_ - b.pos);
    if (high < 0x80) {
        Token& t = emit(TokenKind::NAME, b, here());
        const WordKind k = word_kind(text.data(), text.size());
        t.keyword = k.keyword;
        t.soft = k.soft;
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
