// The tokenizer's string literals: plain and bytes strings, and f-/t-strings with their fields and format specs.
#include "norvex/pyast/lexer.hpp"

#include <bit>
#include <cstdint>
#include <cstring>

namespace norvex::pyast {
namespace {

// CPython's limit on f-strings and t-strings open inside each other.
constexpr std::size_t max_fstring_nesting = 149;

// The bytes that stop a run of string body: its quote ('\'' for row 0, '"'
// for row 1), a backslash, and line ends.
struct StringStops {
    bool table[2][256] = {};
    constexpr StringStops() {
        for (int row = 0; row < 2; ++row) {
            table[row][row == 0 ? 0x27 : 0x22] = true;  // ' and "
            for (unsigned char stop : {'\\', '\n', '\r'}) table[row][stop] = true;
        }
    }
};
constexpr StringStops string_stops;

// Where in the eight bytes of `w` (little-endian) the first byte that ends a
// run of string body is (its quote, a backslash or a line end); 8 when none.
unsigned body_run(std::uint64_t w, unsigned char quote) noexcept {
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t high = 0x8080808080808080ull;
    // Exact per byte: the high bit of the result is set where x's byte is zero.
    auto zero_bytes = [&](std::uint64_t x) { return ~(((x & ~high) + ~high) | x) & high; };
    const std::uint64_t m = zero_bytes(w ^ (ones * quote)) | zero_bytes(w ^ (ones * '\\')) |
                            zero_bytes(w ^ (ones * '\n')) | zero_bytes(w ^ (ones * '\r'));
    return m == 0 ? 8 : static_cast<unsigned>(std::countr_zero(m)) / 8;
}

}  // namespace

std::string Tokenizer::unterminated_message(const Frame& fs, std::int32_t detected) const {
    std::string msg = "unterminated ";
    if (fs.quote_len == 3) msg += "triple-quoted ";
    msg += fs.tstring ? "t-string" : "f-string";
    msg += " literal (detected at line " + std::to_string(detected) + ")";
    return msg;
}

bool Tokenizer::lex_string(const Mark& b, bool raw, bool /*bytes*/, bool fstring, bool tstring) {
    const char q = src_[pos_];
    const std::uint8_t qlen = peek(1) == q && peek(2) == q ? 3 : 1;
    if (fstring || tstring) {
        std::size_t open = 0;
        for (const Frame& f : frames_) open += f.field ? 0 : 1;
        if (open >= max_fstring_nesting) return fail_at("too many nested f-strings or t-strings", here());
    }
    pos_ += qlen;
    if (fstring || tstring) {
        Frame f;
        f.quote = q;
        f.quote_len = qlen;
        f.raw = raw;
        f.tstring = tstring;
        f.start = b;
        f.paren_base = static_cast<std::uint32_t>(parens_.size());
        frames_.push_back(f);
        emit(tstring ? TokenKind::TSTRING_START : TokenKind::FSTRING_START, b, here());
        return true;
    }
    bool escaped_quote = false;
    auto unterminated = [&](std::int32_t detected) {
        // Inside a replacement field, a stray quote of the enclosing
        // literal means the field was never closed.
        if (!frames_.empty() && frames_.back().field) {
            const Frame& fs = owner_of(frames_.back());
            if (fs.quote == q && fs.quote_len == qlen) {
                return fail_at(std::string(fs.tstring ? "t" : "f") + "-string: expecting '}'", b);
            }
        }
        std::string msg = qlen == 3 ? "unterminated triple-quoted string literal (detected at line "
                                    : "unterminated string literal (detected at line ";
        msg += std::to_string(detected) + ")";
        if (escaped_quote && qlen == 1) msg += "; perhaps you escaped the end quote?";
        return fail_at(std::move(msg), b);
    };
    for (;;) {
        if (at_eof()) return unterminated(eof_line());
        char c = src_[pos_];
        if (c == q) {
            if (qlen == 1) {
                ++pos_;
                break;
            }
            if (peek(1) == q && peek(2) == q) {
                pos_ += 3;
                break;
            }
            ++pos_;
        } else if (c == '\n' || c == '\r') {
            if (qlen == 1) return unterminated(line_);
            consume_newline(true);
        } else if (c == '\\') {
            ++pos_;
            if (at_eof()) continue;
            if (at_newline()) {
                consume_newline(true);
            } else {
                if (src_[pos_] == q) escaped_quote = true;
                ++pos_;
            }
        } else {
            // The body up to the next quote, backslash or line end: eight bytes
            // at a time, the last few at one test a byte.
            const bool* stops = string_stops.table[q == '"'];
            const char* data = src_.data();
            std::uint32_t p = pos_ + 1;
            bool stopped = false;
            while (p + 8 <= size_) {
                std::uint64_t w;
                std::memcpy(&w, data + p, 8);
                const unsigned n = body_run(w, static_cast<unsigned char>(q));
                p += n;
                if (n < 8) {
                    stopped = true;
                    break;
                }
            }
            if (!stopped) {
                while (p < size_ && !stops[static_cast<unsigned char>(data[p])]) ++p;
            }
            pos_ = p;
        }
    }
    emit(TokenKind::STRING, b, here());
    return true;
}

bool Tokenizer::skip_named_escape(const Frame& fs) {
    // The name runs to '}'; a brace, quote, backslash or line end first
    // leaves the rest to the caller, as CPython does.
    while (!at_eof()) {
        unsigned char c = cur();
        if (c == '}') {
            ++pos_;
            return true;
        }
        if (c == '{' || c == static_cast<unsigned char>(fs.quote) || c == '\\' || c == '\n' || c == '\r') break;
        ++pos_;
    }
    return false;
}

bool Tokenizer::lex_fstring_text() {
    const Frame fs = frames_.back();
    const TokenKind middle = fs.tstring ? TokenKind::TSTRING_MIDDLE : TokenKind::FSTRING_MIDDLE;
    const Mark b = here();
    auto unterminated = [&](std::int32_t detected) {
        int offset = char_offset(fs.start.line_start, fs.start.pos);
        return fail(SyntaxError::Type::SyntaxError, unterminated_message(fs, detected), fs.start, offset,
                    fs.start.line, offset);
    };
    for (;;) {
        if (at_eof()) return unterminated(eof_line());
        unsigned char c = cur();
        if (c == static_cast<unsigned char>(fs.quote) && (fs.quote_len == 1 || (peek(1) == c && peek(2) == c))) {
            if (pos_ > b.pos) {
                emit(middle, b, here());
                return true;
            }
            pos_ += fs.quote_len;
            emit(fs.tstring ? TokenKind::TSTRING_END : TokenKind::FSTRING_END, b, here());
            frames_.pop_back();
            return true;
        }
        if (c == '\n' || c == '\r') {
            if (fs.quote_len == 1) return unterminated(line_);
            consume_newline(true);
            continue;
        }
        if (c == '\\') {
            unsigned char n = peek(1);
            if (n == '{' || n == '}') {
                // The brace keeps its meaning; the backslash is literal text.
                ++pos_;
                continue;
            }
            if (!fs.raw && n == 'N' && peek(2) == '{') {
                pos_ += 3;
                if (skip_named_escape(fs)) {
                    // CPython ends the middle after a named escape.
                    emit(middle, b, here());
                    return true;
                }
                continue;
            }
            ++pos_;
            if (at_eof()) continue;
            if (at_newline()) {
                consume_newline(true);
            } else {
                ++pos_;
            }
            continue;
        }
        if (c == '{' || c == '}') {
            if (peek(1) == c) {
                // A doubled brace: the middle ends after the first one.
                ++pos_;
                emit(middle, b, here());
                ++pos_;
                return true;
            }
            if (c == '{') {
                if (pos_ > b.pos) {
                    emit(middle, b, here());
                    return true;
                }
                if (!open_paren(b, '{', true)) return false;
                if (done_) return true;
                Frame field;
                field.field = true;
                field.paren_depth = static_cast<std::uint32_t>(parens_.size());
                field.owner = static_cast<std::uint32_t>(frames_.size() - 1);
                frames_.push_back(field);
                return true;
            }
            if (pos_ > b.pos || stop_mark_ != pos_) {
                emit(middle, b, here());
                stop_mark_ = pos_;
                return true;
            }
            return fail_at(std::string(fs.tstring ? "t" : "f") + "-string: single '}' is not allowed", b);
        }
        ++pos_;
    }
}

bool Tokenizer::lex_format_spec() {
    const Frame field = frames_.back();
    const Frame fs = frames_[field.owner];
    const TokenKind middle = fs.tstring ? TokenKind::TSTRING_MIDDLE : TokenKind::FSTRING_MIDDLE;
    const Mark b = here();
    const char* newline_msg = fs.tstring
                                  ? "t-string: newlines are not allowed in format specifiers for single quoted t-strings"
                                  : "f-string: newlines are not allowed in format specifiers for single quoted f-strings";
    for (;;) {
        if (at_eof()) {
            if (fs.quote_len == 1) return fail_at(newline_msg, here());
            int offset = char_offset(fs.start.line_start, fs.start.pos);
            return fail(SyntaxError::Type::SyntaxError, unterminated_message(fs, eof_line()), fs.start, offset,
                        fs.start.line, offset);
        }
        unsigned char c = cur();
        if (c == static_cast<unsigned char>(fs.quote) && (fs.quote_len == 1 || (peek(1) == c && peek(2) == c))) {
            if (pos_ > b.pos) {
                emit(middle, b, here());
                return true;
            }
            // The literal ends inside its field: the parser reports that. As
            // in CPython, the field's '{' stays open, now a plain bracket.
            pos_ += fs.quote_len;
            emit(fs.tstring ? TokenKind::TSTRING_END : TokenKind::FSTRING_END, b, here());
            for (std::size_t i = fs.paren_base; i < parens_.size(); ++i) parens_[i].field = false;
            frames_.resize(field.owner);
            return true;
        }
        if (c == '\n' || c == '\r') {
            if (fs.quote_len == 1) {
                if (!field.resumed) return fail_at(newline_msg, here());
                int offset = char_offset(fs.start.line_start, fs.start.pos);
                return fail(SyntaxError::Type::SyntaxError, unterminated_message(fs, line_), fs.start, offset,
                            fs.start.line, offset);
            }
            consume_newline(true);
            continue;
        }
        if (c == '{' && peek(1) == '{' && field.resumed) {
            ++pos_;
            emit(middle, b, here());
            ++pos_;
            return true;
        }
        if (c == '{') {
            if (pos_ > b.pos || (peek(1) == '{' && stop_mark_ != pos_)) {
                emit(middle, b, here());
                stop_mark_ = pos_;
                return true;
            }
            if (!open_paren(b, '{', true)) return false;
            if (done_) return true;
            Frame nested;
            nested.field = true;
            nested.paren_depth = static_cast<std::uint32_t>(parens_.size());
            nested.owner = field.owner;
            frames_.push_back(nested);
            return true;
        }
        if (c == '}') {
            if (pos_ > b.pos || stop_mark_ != pos_) {
                emit(middle, b, here());
                stop_mark_ = pos_;
                return true;
            }
            parens_.pop_back();
            ++pos_;
            frames_.pop_back();
            if (frames_.back().field) frames_.back().resumed = true;
            emit(TokenKind::RBRACE, b, here());
            return true;
        }
        if (c == '\\') {
            ++pos_;
            if (at_eof() || cur() == '{' || cur() == '}') continue;
            if (!fs.raw && cur() == 'N' && peek(1) == '{') {
                pos_ += 2;
                if (skip_named_escape(fs)) {
                    emit(middle, b, here());
                    return true;
                }
                continue;
            }
            if (at_newline()) {
                consume_newline(true);
            } else {
                ++pos_;
            }
            continue;
        }
        ++pos_;
    }
}

}  // namespace norvex::pyast
