// The tokenizer's driver: lines, indentation, brackets, operators, the end of input and errors.
#include "norvex/pyast/lexer.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace norvex::pyast {
namespace {

// CPython's limits.
constexpr std::size_t max_indent = 100;
constexpr std::size_t max_paren = 200;
constexpr int tab_size = 8;

bool is_name_start(unsigned char c) noexcept {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80;
}

char closer_of(char open) noexcept { return open == '(' ? ')' : open == '[' ? ']' : '}'; }

}  // namespace

Tokenizer::Tokenizer(std::string_view source, Arena& arena) : src_(source), arena_(arena), tokens_(source) {
    // Offsets are 32-bit; longer input is cut rather than misnumbered.
    if (src_.size() > 0xFFFFFFF0u) src_ = src_.substr(0, 0xFFFFFFF0u);
    size_ = static_cast<std::uint32_t>(src_.size());
    if (src_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = line_start_ = buffer_start_ = 3;
    find_bad_utf8();
    if (std::memchr(src_.data(), 0, src_.size()) != nullptr) {
        // CPython checks the whole text before reading a token.
        error_ = SyntaxError{SyntaxError::Type::SyntaxError, "source code string cannot contain null bytes", 0, 0, 0, 0};
        tokens_.push_back().kind = TokenKind::ERRORTOKEN;
        done_ = true;
    }
}

void Tokenizer::find_bad_utf8() {
    std::uint32_t i = pos_;
    std::uint32_t bad = size_;
    while (i < size_) {
        // ASCII 32 bytes at a time.
        if (i + 32 <= size_) {
            std::uint64_t w[4];
            std::memcpy(w, src_.data() + i, 32);
            if (((w[0] | w[1] | w[2] | w[3]) & 0x8080808080808080ull) == 0) {
                i += 32;
                continue;
            }
        }
        if (i + 8 <= size_) {
            std::uint64_t word;
            std::memcpy(&word, src_.data() + i, 8);
            if ((word & 0x8080808080808080ull) == 0) {
                i += 8;
                continue;
            }
        }
        auto c = static_cast<unsigned char>(src_[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        int n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        bool ok = n > 0 && i + n <= size_;
        for (int k = 1; ok && k < n; ++k) ok = (static_cast<unsigned char>(src_[i + k]) & 0xC0) == 0x80;
        if (ok && n >= 3) {
            auto c1 = static_cast<unsigned char>(src_[i + 1]);
            // No overlong forms, no surrogates, nothing past U+10FFFF.
            if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 >= 0xA0) || (c == 0xF0 && c1 < 0x90) ||
                (c == 0xF4 && c1 >= 0x90)) {
                ok = false;
            }
        }
        if (!ok) {
            bad = i;
            break;
        }
        i += static_cast<std::uint32_t>(n);
    }
    if (bad == size_) return;
    // Only now count the lines before it.
    std::uint32_t line_start = pos_;
    std::int32_t line = 1;
    for (std::uint32_t k = pos_; k < bad; ++k) {
        char c = src_[k];
        if (c == '\n' || (c == '\r' && (k + 1 >= size_ || src_[k + 1] != '\n'))) {
            ++line;
            line_start = k + 1;
        }
    }
    bad_utf8_ = Mark{bad, line, line_start};
}

const Token& Tokenizer::next() {
    const Token& t = at(cursor_);
    if (cursor_ < tokens_.size() - 1 || !done_) ++cursor_;
    return t;
}

const Token& Tokenizer::at(std::size_t i) {
    while (i >= tokens_.size() && !done_) produce();
    return i < tokens_.size() ? tokens_[i] : tokens_.back();
}

const TokenStore& Tokenizer::all() {
    while (!done_) produce();
    return tokens_;
}

void Tokenizer::consume_newline(bool within_token) noexcept {
    if (src_[pos_] == '\r' && pos_ + 1 < size_ && src_[pos_ + 1] == '\n') ++pos_;
    ++pos_;
    ++line_;
    line_start_ = pos_;
    if (!within_token) buffer_start_ = pos_;
}

int Tokenizer::continuation_offset(const Mark& after) const noexcept {
    // CPython measures the column in bytes from its buffer's start but turns
    // it into characters with the text of the error's line alone, cutting it
    // to that line's length (its newline and the terminating null counted).
    std::uint32_t line_end = after.pos;
    while (line_end < size_ && src_[line_end] != '\n' && src_[line_end] != '\r') ++line_end;
    const std::uint32_t line_bytes = line_end - after.line_start + 1;
    const std::uint32_t column = std::min(after.pos - buffer_start_ + 1, line_bytes + 1);
    if (column > line_bytes) return char_offset(after.line_start, line_end) + 1;
    return char_offset(after.line_start, after.line_start + column) - 1;
}

std::int32_t Tokenizer::eof_line() const noexcept {
    // The end tokens sit on the last line that holds text; a final newline
    // opens no new line for them.
    if (line_ > 1 && line_start_ == size_) return line_ - 1;
    return line_;
}

int Tokenizer::char_offset(std::uint32_t line_start, std::uint32_t pos) const noexcept {
    int n = 1;
    for (std::uint32_t i = line_start; i < pos && i < size_; ++i) {
        if ((static_cast<unsigned char>(src_[i]) & 0xC0) != 0x80) ++n;
    }
    return n;
}

bool Tokenizer::fail(SyntaxError::Type type, std::string msg, const Mark& at, int offset, int end_lineno, int end_offset) {
    error_ = SyntaxError{type, std::move(msg), at.line, offset, end_lineno, end_offset};
    if (!parens_.empty()) unclosed_at_error_ = never_closed(parens_.back());
    emit(TokenKind::ERRORTOKEN, at, at);
    done_ = true;
    return true;
}

bool Tokenizer::fail_at(std::string msg, const Mark& at) {
    int offset = char_offset(at.line_start, at.pos);
    return fail(SyntaxError::Type::SyntaxError, std::move(msg), at, offset, at.line, offset);
}

void Tokenizer::produce() {
    if (bad_utf8_ && pos_ >= bad_utf8_->line_start) {
        // CPython decodes a line when it reads it; the line with the bad byte fails as a whole.
        char buf[160];
        std::snprintf(buf, sizeof buf,
                      "Non-UTF-8 code starting with '\\x%02x' on line %d, but no encoding declared; see "
                      "https://peps.python.org/pep-0263/ for details",
                      static_cast<unsigned char>(src_[bad_utf8_->pos]), bad_utf8_->line);
        fail_at(buf, *bad_utf8_);
        return;
    }
    while (!done_) {
        if (pending_ != 0) {
            // Indentation tokens carry no columns, as CPython's do.
            Mark m = here();
            Token& t = emit(pending_ > 0 ? TokenKind::INDENT : TokenKind::DEDENT, m, m);
            t.col_offset = t.end_col_offset = -1;
            pending_ += pending_ > 0 ? -1 : 1;
            return;
        }
        if (!frames_.empty()) {
            const Frame& f = frames_.back();
            if (!f.field) {
                if (lex_fstring_text()) return;
                continue;
            }
            if (f.in_spec) {
                if (lex_format_spec()) return;
                continue;
            }
        }
        if (at_bol_) {
            if (start_line()) return;
            continue;
        }
        if (lex_regular()) return;
    }
}

bool Tokenizer::start_line() {
    at_bol_ = false;
    int col = 0;
    int alt_col = 0;
    // Indentation cannot be split over lines with backslashes: the column
    // before the first one counts (unless that column is 0, as in CPython).
    int cont_col = 0;
    int cont_alt_col = 0;
    // Indentation is mostly spaces: eight at a time first.
    for (std::uint64_t w; pos_ + 8 <= size_; pos_ += 8, col += 8, alt_col += 8) {
        std::memcpy(&w, src_.data() + pos_, 8);
        if (w != 0x2020202020202020ull) break;
    }
    for (;;) {
        unsigned char c = cur();
        if (c == ' ') {
            ++col;
            ++alt_col;
        } else if (c == '\t') {
            col = (col / tab_size + 1) * tab_size;
            ++alt_col;
        } else if (c == '\f') {
            col = alt_col = 0;
        } else if (c == '\\') {
            bool joins = pos_ + 1 < size_ && (src_[pos_ + 1] == '\n' || src_[pos_ + 1] == '\r');
            std::uint32_t after = pos_ + 1;
            if (joins) after += (src_[after] == '\r' && after + 1 < size_ && src_[after + 1] == '\n') ? 2 : 1;
            if (!joins || after >= size_) return lex_regular();  // fails as a stray or final backslash
            if (cont_col == 0) {
                cont_col = col;
                cont_alt_col = alt_col;
            }
            ++pos_;
            consume_newline();
            continue;
        } else {
            break;
        }
        ++pos_;
    }
    if (cont_col != 0) {
        col = cont_col;
        alt_col = cont_alt_col;
    }
    unsigned char c = cur();
    blank_line_ = at_eof() || c == '#' || c == '\n' || c == '\r';
    if (blank_line_ || !parens_.empty()) return false;

    Mark m = here();
    auto tab_error = [&] {
        return fail(SyntaxError::Type::TabError, "inconsistent use of tabs and spaces in indentation", m, 1, m.line, 0);
    };
    if (col == indents_.back()) {
        if (alt_col != alt_indents_.back()) return tab_error();
    } else if (col > indents_.back()) {
        if (indents_.size() >= max_indent) {
            return fail(SyntaxError::Type::IndentationError, "too many levels of indentation", m, 1, m.line, 0);
        }
        if (alt_col <= alt_indents_.back()) return tab_error();
        indents_.push_back(col);
        alt_indents_.push_back(alt_col);
        ++pending_;
    } else {
        while (indents_.size() > 1 && col < indents_.back()) {
            indents_.pop_back();
            alt_indents_.pop_back();
            --pending_;
        }
        if (col != indents_.back()) {
            // CPython points past the end of the offending line.
            std::uint32_t e = m.pos;
            while (e < size_ && src_[e] != '\n' && src_[e] != '\r') ++e;
            pending_ = 0;
            return fail(SyntaxError::Type::IndentationError, "unindent does not match any outer indentation level", m,
                        char_offset(m.line_start, e), m.line, -1);
        }
        if (alt_col != alt_indents_.back()) {
            pending_ = 0;
            return tab_error();
        }
    }
    return false;
}

SyntaxError Tokenizer::never_closed(const Paren& p) const {
    std::string msg = "'";
    msg += p.ch;
    msg += "' was never closed";
    return SyntaxError{SyntaxError::Type::SyntaxError, std::move(msg), p.at.line, char_offset(p.at.line_start, p.at.pos),
                       p.at.line, 0};
}

bool Tokenizer::at_end_of_input(const Mark& comment) {
    if (!parens_.empty()) {
        const Paren& p = parens_.back();
        SyntaxError e = never_closed(p);
        return fail(e.type, std::move(e.msg), p.at, e.offset, e.end_lineno, e.end_offset);
    }
    if (need_newline_ && !blank_line_) {
        // The last line had no newline of its own; CPython adds one.
        emit(TokenKind::NEWLINE, comment.pos < pos_ ? comment : here(), here());
        need_newline_ = false;
        return true;
    }
    Mark m{pos_, eof_line(), line_start_};
    if (indents_.size() > 1) {
        indents_.pop_back();
        alt_indents_.pop_back();
        Token& t = emit(TokenKind::DEDENT, m, m);
        t.col_offset = t.end_col_offset = -1;
        return true;
    }
    Token& t = emit(TokenKind::ENDMARKER, m, m);
    t.col_offset = t.end_col_offset = -1;
    done_ = true;
    return true;
}

bool Tokenizer::lex_regular() {
    {
        // Blanks between tokens, scanned in locals.
        const char* d = src_.data();
        const std::uint32_t n = size_;
        std::uint32_t p = pos_;
        while (p < n && (d[p] == ' ' || d[p] == '\t' || d[p] == '\f')) ++p;
        pos_ = p;
    }
    Mark comment = here();
    if (cur() == '#') {
        // To the line's end: "\n", or a "\r" before it.
        const char* from = src_.data() + pos_;
        const auto* nl = static_cast<const char*>(std::memchr(from, '\n', size_ - pos_));
        std::size_t len = nl != nullptr ? static_cast<std::size_t>(nl - from) : size_ - pos_;
        if (const auto* cr = static_cast<const char*>(std::memchr(from, '\r', len))) len = static_cast<std::size_t>(cr - from);
        pos_ += static_cast<std::uint32_t>(len);
    }
    if (at_eof()) return at_end_of_input(comment);
    Mark b = here();
    unsigned char c = cur();

    if (c == '\n' || c == '\r') {
        if (blank_line_ || !parens_.empty()) {
            consume_newline();
            at_bol_ = true;
            return false;
        }
        emit(TokenKind::NEWLINE, comment.pos < b.pos ? comment : b, b);
        need_newline_ = false;
        consume_newline();
        at_bol_ = true;
        return true;
    }
    if (c == '\\') {
        ++pos_;
        if (at_eof()) {
            if (!parens_.empty()) return at_end_of_input(here());
            return fail(SyntaxError::Type::SyntaxError, "unexpected EOF while parsing", b,
                        char_offset(b.line_start, b.pos) + 1, b.line, -1);
        }
        if (!at_newline()) {
            Mark after = here();
            return fail(SyntaxError::Type::SyntaxError, "unexpected character after line continuation character", b,
                        continuation_offset(after), b.line, 0);
        }
        consume_newline(true);
        if (at_eof()) {
            if (!parens_.empty()) return at_end_of_input(here());
            return fail(SyntaxError::Type::SyntaxError, "unexpected EOF while parsing", b,
                        char_offset(b.line_start, b.pos) + 1, b.line, -1);
        }
        return false;
    }
    if (c >= '0' && c <= '9') return lex_number(b);
    if (c == '.' && peek(1) >= '0' && peek(1) <= '9') return lex_number(b);
    if (c == '"' || c == '\'') return lex_string(b, false, false, false, false);
    if (is_name_start(c)) return lex_name(b);
    return lex_operator(b);
}

bool Tokenizer::open_paren(const Mark& b, char ch, bool field) {
    if (parens_.size() >= max_paren) return fail_at("too many nested parentheses", b);
    parens_.push_back(Paren{ch, field, b});
    ++pos_;
    emit(ch == '(' ? TokenKind::LPAR : ch == '[' ? TokenKind::LSQB : TokenKind::LBRACE, b, here());
    return true;
}

bool Tokenizer::close_paren(const Mark& b, char ch) {
    std::string msg;
    if (parens_.empty()) {
        msg = "unmatched '";
        msg += ch;
        msg += "'";
        return fail_at(std::move(msg), b);
    }
    const Paren& open = parens_.back();
    if (open.field && ch != '}') {
        msg = frames_.empty() || !frames_[frames_.back().owner].tstring ? "f" : "t";
        msg += "-string: unmatched '";
        msg += ch;
        msg += "'";
        return fail_at(std::move(msg), b);
    }
    if (closer_of(open.ch) != ch) {
        msg = "closing parenthesis '";
        msg += ch;
        msg += "' does not match opening parenthesis '";
        msg += open.ch;
        msg += "'";
        if (open.at.line != b.line) msg += " on line " + std::to_string(open.at.line);
        return fail_at(std::move(msg), b);
    }
    parens_.pop_back();
    ++pos_;
    emit(ch == ')' ? TokenKind::RPAR : ch == ']' ? TokenKind::RSQB : TokenKind::RBRACE, b, here());
    return true;
}

bool Tokenizer::lex_operator(const Mark& b) {
    unsigned char c = cur();
    unsigned char c1 = peek(1);
    unsigned char c2 = peek(2);

    // Inside a replacement field, its own ':' and '}' belong to the f-string.
    if (!frames_.empty() && frames_.back().field && parens_.size() == frames_.back().paren_depth) {
        Frame& field = frames_.back();
        if (c == '}') {
            parens_.pop_back();
            ++pos_;
            frames_.pop_back();
            if (frames_.back().field) frames_.back().resumed = true;
            emit(TokenKind::RBRACE, b, here());
            return true;
        }
        if (c == ':') {
            std::size_t nested = 0;
            for (std::size_t i = field.owner + 1; i + 1 < frames_.size(); ++i) {
                if (frames_[i].field && frames_[i].in_spec) ++nested;
            }
            ++pos_;
            field.in_spec = true;
            emit(TokenKind::COLON, b, here());
            if (nested >= 2) {
                return fail_at(std::string(frames_[field.owner].tstring ? "t" : "f") +
                                   "-string: expressions nested too deeply",
                               b);
            }
            return true;
        }
    }

    TokenKind kind = TokenKind::OP;
    int len = 1;
    auto two = [&](unsigned char second, TokenKind k2, TokenKind k1) {
        if (c1 == second) {
            kind = k2;
            len = 2;
        } else {
            kind = k1;
        }
    };
    switch (c) {
        case '(':
        case '[':
        case '{': return open_paren(b, static_cast<char>(c), false);
        case ')':
        case ']':
        case '}': return close_paren(b, static_cast<char>(c));
        case ':': two('=', TokenKind::COLONEQUAL, TokenKind::COLON); break;
        case ',': kind = TokenKind::COMMA; break;
        case ';': kind = TokenKind::SEMI; break;
        case '+': two('=', TokenKind::PLUSEQUAL, TokenKind::PLUS); break;
        case '-':
            if (c1 == '>') {
                kind = TokenKind::RARROW;
                len = 2;
            } else {
                two('=', TokenKind::MINEQUAL, TokenKind::MINUS);
            }
            break;
        case '*':
            if (c1 == '*') {
                kind = c2 == '=' ? TokenKind::DOUBLESTAREQUAL : TokenKind::DOUBLESTAR;
                len = c2 == '=' ? 3 : 2;
            } else {
                two('=', TokenKind::STAREQUAL, TokenKind::STAR);
            }
            break;
        case '/':
            if (c1 == '/') {
                kind = c2 == '=' ? TokenKind::DOUBLESLASHEQUAL : TokenKind::DOUBLESLASH;
                len = c2 == '=' ? 3 : 2;
            } else {
                two('=', TokenKind::SLASHEQUAL, TokenKind::SLASH);
            }
            break;
        case '|': two('=', TokenKind::VBAREQUAL, TokenKind::VBAR); break;
        case '&': two('=', TokenKind::AMPEREQUAL, TokenKind::AMPER); break;
        case '<':
            if (c1 == '<') {
                kind = c2 == '=' ? TokenKind::LEFTSHIFTEQUAL : TokenKind::LEFTSHIFT;
                len = c2 == '=' ? 3 : 2;
            } else if (c1 == '>') {
                // "<>" is only valid under "from __future__ import barry_as_FLUFL".
                kind = TokenKind::NOTEQUAL;
                len = 2;
            } else {
                two('=', TokenKind::LESSEQUAL, TokenKind::LESS);
            }
            break;
        case '>':
            if (c1 == '>') {
                kind = c2 == '=' ? TokenKind::RIGHTSHIFTEQUAL : TokenKind::RIGHTSHIFT;
                len = c2 == '=' ? 3 : 2;
            } else {
                two('=', TokenKind::GREATEREQUAL, TokenKind::GREATER);
            }
            break;
        case '=': two('=', TokenKind::EQEQUAL, TokenKind::EQUAL); break;
        case '!': two('=', TokenKind::NOTEQUAL, TokenKind::EXCLAMATION); break;
        case '.':
            if (c1 == '.' && c2 == '.') {
                kind = TokenKind::ELLIPSIS;
                len = 3;
            } else {
                kind = TokenKind::DOT;
            }
            break;
        case '%': two('=', TokenKind::PERCENTEQUAL, TokenKind::PERCENT); break;
        case '~': kind = TokenKind::TILDE; break;
        case '^': two('=', TokenKind::CIRCUMFLEXEQUAL, TokenKind::CIRCUMFLEX); break;
        case '@': two('=', TokenKind::ATEQUAL, TokenKind::AT); break;
        default:
            if (c < 0x20 || c == 0x7F) return invalid_character(pos_);
            break;  // '$', '?', '`': a token the parser rejects
    }
    pos_ += len;
    emit(kind, b, here());
    return true;
}

}  // namespace norvex::pyast
