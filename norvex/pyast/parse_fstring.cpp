// Strings: implicit concatenation, f-strings and t-strings into Constant, JoinedStr, TemplateStr.
#include "norvex/pyast/parser.hpp"

namespace norvex::pyast {

namespace {

// Adjacent literal text (string tokens, f-string middles, '=' debug text)
// becomes one Constant spanning from the first piece to the last; pieces
// that add up to nothing leave no Constant.
// The '=' text of a replacement field as CPython keeps it: comments dropped.
std::string without_comments(std::string_view text) {
    std::string out;
    char quote = 0;
    bool triple = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quote) {
            out += c;
            if (c == '\\' && i + 1 < text.size()) {
                out += text[++i];
            } else if (c == quote && (!triple || (i + 2 < text.size() && text[i + 1] == quote && text[i + 2] == quote))) {
                if (triple) {
                    out += text[++i];
                    out += text[++i];
                }
                quote = 0;
            }
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
            triple = i + 2 < text.size() && text[i + 1] == c && text[i + 2] == c;
            out += c;
            if (triple) {
                out += text[++i];
                out += text[++i];
            }
        } else if (c == '#') {
            while (i < text.size() && text[i] != '\n') ++i;
            if (i < text.size()) out += '\n';
        } else {
            out += c;
        }
    }
    return out;
}

struct TextRun {
    std::string text;
    bool open = false;
    bool unicode = false;
    Position pos;

    void add(std::string_view piece, Position p, bool u) {
        if (!open) {
            open = true;
            unicode = u;
            pos = p;
            text.clear();
        }
        pos.end_lineno = p.end_lineno;
        pos.end_col_offset = p.end_col_offset;
        text.append(piece);
    }
};

}  // namespace

static void flush_run(Arena& arena, TextRun& run, std::vector<Node*>& values) {
    if (!run.open) return;
    run.open = false;
    if (run.text.empty()) return;
    auto* c = arena.make<Constant>(run.pos);
    c->value.kind = ConstantValue::Kind::Str;
    c->value.text = arena.store(run.text);
    if (run.unicode) c->kind = arena.intern("u");
    values.push_back(&c->base);
}

Node* Parser::strings() {
    const Token& start = peek();
    if (Node* plain = lone_plain_string(start)) return plain;
    TextRun run;
    Scratch values_scratch(*this);
    std::vector<Node*>& values = values_scratch.v;
    bool any_f = false, any_t = false, any_plain = false, any_bytes = false, any_text = false;
    struct Piece {
        const Token* first;
        const Token* last;
        bool tmpl;
    };
    std::vector<Piece> pieces;
    for (;;) {
        const Token& t = peek();
        if (t.kind == TokenKind::STRING) {
            std::size_t plen = 0;
            literal::StringPrefix pre = literal::prefix_of(text(t), plen);
            std::string_view rest = text(t).substr(plen);
            std::size_t q = (rest.size() >= 6 && rest[0] == rest[1] && rest[1] == rest[2]) ? 3 : 1;
            std::string_view body = rest.substr(q, rest.size() - 2 * q);
            scratch_.clear();
            literal::DecodeError err = literal::decode_body(body, pre.raw, pre.bytes, scratch_);
            if (!err.msg.empty()) raise(err.msg, t, t);
            if (pre.bytes) any_bytes = true;
            else any_text = true;
            any_plain = true;
            if (error_pass_) pieces.push_back({&t, &t, false});
            next();
            run.add(scratch_, {t.lineno, t.col_offset, t.end_lineno, t.end_col_offset}, pre.unicode);
        } else if (t.kind == TokenKind::FSTRING_START || t.kind == TokenKind::TSTRING_START) {
            bool tmpl = t.kind == TokenKind::TSTRING_START;
            if (tmpl) any_t = true;
            else any_f = true;
            any_text = true;
            next();
            std::size_t plen = 0;
            literal::StringPrefix pre = literal::prefix_of(text(t), plen);
            TokenKind middle = tmpl ? TokenKind::TSTRING_MIDDLE : TokenKind::FSTRING_MIDDLE;
            TokenKind end = tmpl ? TokenKind::TSTRING_END : TokenKind::FSTRING_END;
            // CPython decodes the literal parts once the whole f-string is
            // read, so a bad escape is reported at the last token read then.
            std::string bad_escape;
            for (;;) {
                const Token& m = peek();
                if (m.kind == middle) {
                    scratch_.clear();
                    literal::DecodeError err = literal::decode_body(text(m), pre.raw, false, scratch_);
                    if (!err.msg.empty() && bad_escape.empty()) bad_escape = std::move(err.msg);
                    next();
                    Position mp{m.lineno, m.col_offset, m.end_lineno, m.end_col_offset};
                    // A middle cut after the first of "{{" or "}}" still ends, for the tree, after both.
                    if (!text(m).empty() && (text(m).back() == '{' || text(m).back() == '}') && m.end < source_.size() &&
                        source_[m.end] == text(m).back())
                        ++mp.end_col_offset;
                    run.add(scratch_, mp, false);
                } else if (m.kind == TokenKind::LBRACE) {
                    // The '=' debug text joins the literal run before the field.
                    Node* field = replacement_field(tmpl, tmpl);
                    if (!field) return nullptr;
                    if (debug_pending_) run.add(debug_text_, debug_pos_, false);
                    debug_pending_ = false;
                    flush_run(arena_, run, values);
                    values.push_back(field);
                } else if (m.kind == end) {
                    if (error_pass_) pieces.push_back({&t, &m, tmpl});
                    next();
                    if (!bad_escape.empty()) {
                        const Token& last = token_at(std::max(furthest_, prior_furthest_));
                        raise(std::move(bad_escape), last, last);
                    }
                    break;
                } else {
                    if (error_pass_) {
                        if (m.kind == TokenKind::RBRACE) raise("f-string: single '}' is not allowed", m, m);
                    }
                    return nullptr;
                }
            }
        } else {
            break;
        }
    }
    if (any_t && (any_plain || any_f)) {
        if (error_pass_) {
            // From the last piece before the kind changes to the first piece after it.
            for (std::size_t i = 1; i < pieces.size(); ++i) {
                if (pieces[i].tmpl != pieces[i - 1].tmpl)
                    raise("cannot mix t-string literals with string or bytes literals", *pieces[i - 1].first,
                          *pieces[i].last);
            }
        }
        return nullptr;
    }
    if (any_bytes && any_text) raise("cannot mix bytes and nonbytes literals", peek(), peek());
    Position whole = span_from(start);
    if (!any_f && !any_t) {
        auto* c = make<Constant>(whole);
        c->value.kind = any_bytes ? ConstantValue::Kind::Bytes : ConstantValue::Kind::Str;
        c->value.text = arena_.store(run.text);
        if (run.unicode) c->kind = arena_.intern("u");
        return &c->base;
    }
    flush_run(arena_, run, values);
    if (any_t) {
        auto* s = make<TemplateStr>(whole);
        s->values = list(values);
        return &s->base;
    }
    auto* s = make<JoinedStr>(whole);
    s->values = list(values);
    return &s->base;
}

// Most literals stand alone and hold no escape and no carriage return:
// their value is then their body as the source spells it, and the tree's
// own copy of the source holds it.
Node* Parser::lone_plain_string(const Token& t) {
    if (t.kind != TokenKind::STRING) return nullptr;
    const TokenKind after = peek_at(1).kind;
    if (after == TokenKind::STRING || after == TokenKind::FSTRING_START || after == TokenKind::TSTRING_START)
        return nullptr;
    std::size_t plen = 0;
    const std::string_view spelled = text(t);
    const literal::StringPrefix pre = literal::prefix_of(spelled, plen);
    if (pre.bytes) return nullptr;
    const std::string_view rest = spelled.substr(plen);
    const std::size_t q = (rest.size() >= 6 && rest[0] == rest[1] && rest[1] == rest[2]) ? 3 : 1;
    const std::string_view body = rest.substr(q, rest.size() - 2 * q);
    if (body.find('\r') != std::string_view::npos || (!pre.raw && body.find('\\') != std::string_view::npos))
        return nullptr;
    next();
    auto* c = make<Constant>({t.lineno, t.col_offset, t.end_lineno, t.end_col_offset});
    c->value.kind = ConstantValue::Kind::Str;
    c->value.text = body;
    if (pre.unicode) c->kind = arena_.intern("u");
    return &c->base;
}

// '{' annotated_rhs ['='] ['!' NAME] [':' format] '}'. Sets debug_pending_ and
// debug_text_ when '=' asks for the expression's text before the value.
Node* Parser::replacement_field(bool tmpl, bool interpolation) {
    DepthGuard guard(*this, 8);
    const std::string kind = tmpl ? "t-string: " : "f-string: ";
    const Token& lbrace = next();
    const Token& first = peek();
    if (first.kind == TokenKind::RBRACE || first.kind == TokenKind::EXCLAMATION || first.kind == TokenKind::COLON ||
        first.kind == TokenKind::EQUAL) {
        if (error_pass_) {
            std::string what = first.kind == TokenKind::RBRACE ? "'}'" : first.kind == TokenKind::EXCLAMATION ? "'!'"
                               : first.kind == TokenKind::COLON ? "':'" : "'='";
            raise(kind + "valid expression required before " + what, first, first);
        }
        return nullptr;
    }
    Node* value = annotated_rhs();
    if (!value) {
        if (error_pass_) raise(kind + "expecting a valid expression after '{'", first, first);
        return nullptr;
    }
    const Token& expr_last = prev();
    auto expecting = [&](std::initializer_list<TokenKind> ok, const char* msg) {
        if (!error_pass_) return;
        for (TokenKind k : ok)
            if (at(k)) return;
        raise(kind + msg, peek(), peek());
    };
    expecting({TokenKind::EQUAL, TokenKind::EXCLAMATION, TokenKind::COLON, TokenKind::RBRACE},
              "expecting '=', or '!', or ':', or '}'");
    bool debug = false;
    std::string dtext;
    Position dpos;
    if (at(TokenKind::EQUAL)) {
        next();
        debug = true;
        const Token& after = peek();
        literal::decode_body(without_comments(source_.substr(lbrace.end, after.start - lbrace.end)), true, false, dtext);
        dpos = {lbrace.end_lineno, lbrace.end_col_offset, after.lineno, after.col_offset};
        expecting({TokenKind::EXCLAMATION, TokenKind::COLON, TokenKind::RBRACE},
                  "expecting '!', or ':', or '}'");
    }
    int conversion = -1;
    if (at(TokenKind::EXCLAMATION)) {
        const Token& bang = next();
        const Token& conv = peek();
        if (conv.kind != TokenKind::NAME) {
            if (error_pass_) {
                bool missing = conv.kind == TokenKind::COLON || conv.kind == TokenKind::RBRACE;
                raise(kind + (missing ? "missing conversion character" : "invalid conversion character"), conv, conv);
            }
            return nullptr;
        }
        if (conv.start != bang.end)
            raise(kind + "conversion type must come right after the exclamation mark", bang, conv);
        if (text(conv) != "s" && text(conv) != "r" && text(conv) != "a") {
            raise(kind + "invalid conversion character '" + std::string(text(conv)) + "': expected 's', 'r', or 'a'",
                  conv, conv);
        }
        conversion = text(conv)[0];
        next();
        expecting({TokenKind::COLON, TokenKind::RBRACE}, "expecting ':' or '}'");
    }
    Node* format = nullptr;
    if (at(TokenKind::COLON)) {
        const Token& colon = next();
        format = format_specifier(tmpl, colon);
        if (!format) return nullptr;
    }
    if (!at(TokenKind::RBRACE)) {
        if (error_pass_) raise(kind + (format ? "expecting '}', or format specs" : "expecting '}'"), peek(), peek());
        return nullptr;
    }
    next();
    if (debug && conversion == -1 && !format) conversion = 'r';
    Position p = span_from(lbrace);
    Node* field;
    if (interpolation) {
        auto* n = make<Interpolation>(p);
        n->value = value;
        n->str.kind = ConstantValue::Kind::Str;
        std::string text;
        literal::decode_body(source_.substr(lbrace.end, expr_last.end - lbrace.end), true, false, text);
        n->str.text = arena_.store(text);
        n->conversion = conversion;
        n->format_spec = format;
        field = &n->base;
    } else {
        auto* n = make<FormattedValue>(p);
        n->value = value;
        n->conversion = conversion;
        n->format_spec = format;
        field = &n->base;
    }
    debug_pending_ = debug;
    debug_text_ = std::move(dtext);
    debug_pos_ = dpos;
    scratch_.clear();
    return field;
}

Node* Parser::format_specifier(bool tmpl, const Token& colon) {
    TextRun run;
    Scratch values_scratch(*this);
    std::vector<Node*>& values = values_scratch.v;
    TokenKind middle = tmpl ? TokenKind::TSTRING_MIDDLE : TokenKind::FSTRING_MIDDLE;
    for (;;) {
        const Token& m = peek();
        if (m.kind == middle) {
            scratch_.clear();
            literal::DecodeError err = literal::decode_body(text(m), false, false, scratch_);
            if (!err.msg.empty()) raise(err.msg, m, m);
            next();
            run.add(scratch_, {m.lineno, m.col_offset, m.end_lineno, m.end_col_offset}, false);
        } else if (m.kind == TokenKind::LBRACE) {
            Node* field = replacement_field(tmpl, false);
            if (!field) return nullptr;
            if (debug_pending_) run.add(debug_text_, debug_pos_, false);
            debug_pending_ = false;
            flush_run(arena_, run, values);
            values.push_back(field);
        } else {
            break;
        }
    }
    flush_run(arena_, run, values);
    auto* s = make<JoinedStr>(span_from(colon));
    s->values = list(values);
    return &s->base;
}

}  // namespace norvex::pyast
