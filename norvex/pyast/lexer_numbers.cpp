// The tokenizer's number literals: every form CPython accepts and its messages for the ones it rejects.
#include "norvex/pyast/lexer.hpp"

namespace norvex::pyast {
namespace {

bool is_digit(unsigned char c) noexcept { return c >= '0' && c <= '9'; }
bool is_hex(unsigned char c) noexcept {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
// Only ASCII: a non-ASCII letter after a number starts a name of its own.
bool is_name_char(unsigned char c) noexcept {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || is_digit(c) || c == '_';
}

}  // namespace

bool Tokenizer::verify_end_of_number(const Mark& b, const char* kind) {
    // A keyword may follow a number without a space ("1if x else 2"); CPython
    // allows the ones listed here and warns.
    unsigned char c = cur();
    auto word = [&](std::string_view rest) {
        for (std::size_t i = 0; i < rest.size(); ++i) {
            if (peek(static_cast<std::uint32_t>(i + 1)) != static_cast<unsigned char>(rest[i])) return false;
        }
        return !is_name_char(peek(static_cast<std::uint32_t>(rest.size() + 1)));
    };
    bool keyword = false;
    switch (c) {
        case 'a': keyword = word("nd"); break;
        case 'e': keyword = word("lse"); break;
        case 'f': keyword = word("or"); break;
        case 'i': keyword = peek(1) == 'f' || peek(1) == 'n' || peek(1) == 's'; break;
        case 'n': keyword = word("ot"); break;
        case 'o': keyword = word("r"); break;
        default: break;
    }
    if (!keyword && is_name_char(c)) {
        Mark m = here();
        int offset = char_offset(m.line_start, m.pos) - 1;
        return fail(SyntaxError::Type::SyntaxError, std::string("invalid ") + kind + " literal", m, offset, m.line,
                    offset);
    }
    emit(TokenKind::NUMBER, b, here());
    return true;
}

bool Tokenizer::lex_number(const Mark& b) {
    // Errors point where CPython's do: at the character before the bad one,
    // or at a bad digit itself.
    auto bad = [&](const std::string& msg) {
        Mark m = here();
        int offset = char_offset(m.line_start, m.pos) - 1;
        return fail(SyntaxError::Type::SyntaxError, msg, m, offset, m.line, offset);
    };
    auto bad_digit = [&](const char* base) {
        Mark m = here();
        int offset = char_offset(m.line_start, m.pos);
        std::string msg = "invalid digit '";
        msg += static_cast<char>(cur());
        msg += "' in ";
        msg += base;
        msg += " literal";
        return fail(SyntaxError::Type::SyntaxError, std::move(msg), m, offset, m.line, offset);
    };
    // Digits with single underscores between them; false after an error.
    auto decimal_tail = [&]() {
        for (;;) {
            while (is_digit(cur())) ++pos_;
            if (cur() != '_') return true;
            ++pos_;
            if (!is_digit(cur())) {
                bad("invalid decimal literal");
                return false;
            }
        }
    };

    unsigned char c = cur();
    if (c == '0' && (peek(1) | 0x20) == 'x') {
        pos_ += 2;
        do {
            if (cur() == '_') ++pos_;
            if (!is_hex(cur())) return bad("invalid hexadecimal literal");
            while (is_hex(cur())) ++pos_;
        } while (cur() == '_');
        return verify_end_of_number(b, "hexadecimal");
    }
    if (c == '0' && ((peek(1) | 0x20) == 'o' || (peek(1) | 0x20) == 'b')) {
        bool octal = (peek(1) | 0x20) == 'o';
        unsigned char top = octal ? '7' : '1';
        const char* base = octal ? "octal" : "binary";
        pos_ += 2;
        do {
            if (cur() == '_') ++pos_;
            if (!(cur() >= '0' && cur() <= top)) {
                if (is_digit(cur())) return bad_digit(base);
                return bad(std::string("invalid ") + base + " literal");
            }
            while (cur() >= '0' && cur() <= top) ++pos_;
        } while (cur() == '_');
        if (is_digit(cur())) return bad_digit(base);
        return verify_end_of_number(b, base);
    }

    if (c == '0') {
        // Zeros may lead only a float, an imaginary number or zero itself.
        while (cur() == '0') {
            ++pos_;
            if (cur() == '_') {
                ++pos_;
                if (!is_digit(cur())) return bad("invalid decimal literal");
            }
        }
        std::uint32_t nonzero = pos_;
        bool has_nonzero = is_digit(cur());
        if (has_nonzero && !decimal_tail()) return true;
        unsigned char d = cur();
        if (d != '.' && (d | 0x20) != 'e' && (d | 0x20) != 'j' && has_nonzero) {
            int offset = char_offset(b.line_start, b.pos);
            return fail(SyntaxError::Type::SyntaxError,
                        "leading zeros in decimal integer literals are not permitted; use an 0o prefix for octal "
                        "integers",
                        b, offset, b.line, char_offset(b.line_start, nonzero));
        }
    } else if (c != '.') {
        if (!decimal_tail()) return true;
    }
    if (cur() == '.') {
        ++pos_;
        if (is_digit(cur()) && !decimal_tail()) return true;
    }
    if ((cur() | 0x20) == 'e') {
        std::uint32_t e = pos_;
        ++pos_;
        if (cur() == '+' || cur() == '-') {
            ++pos_;
            if (!is_digit(cur())) return bad("invalid decimal literal");
        } else if (!is_digit(cur())) {
            // Not an exponent after all: the number ends before the 'e'.
            pos_ = e;
            return verify_end_of_number(b, "decimal");
        }
        if (!decimal_tail()) return true;
    }
    if ((cur() | 0x20) == 'j') {
        ++pos_;
        return verify_end_of_number(b, "imaginary");
    }
    return verify_end_of_number(b, "decimal");
}

}  // namespace norvex::pyast
