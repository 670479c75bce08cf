// The match statement and its patterns.
#include "norvex/pyast/parser.hpp"

namespace norvex::pyast {

namespace {
Position pos_of(const Token& t) { return {t.lineno, t.col_offset, t.end_lineno, t.end_col_offset}; }
}  // namespace

// "match" subject ':' NEWLINE INDENT case_block+ DEDENT; null (caller resets)
// when this is not a match statement after all.
Node* Parser::match_stmt() {
    const Token& start = next();  // "match"
    const Token& sstart = peek();
    Node* subject = star_named_expression();
    if (!subject) return nullptr;
    if (at(TokenKind::COMMA)) {
        Scratch elts_scratch(*this);
        std::vector<Node*>& elts = elts_scratch.v;
        elts.push_back(subject);
        next();
        if (!star_named_expressions(elts, TokenKind::COLON)) return nullptr;
        auto* t = make<Tuple>(span_from(sstart));
        t->elts = list(elts);
        t->ctx = ExprContext::Load;
        subject = &t->base;
    } else if (is<Starred>(subject)) {
        return nullptr;
    }
    if (!accept(TokenKind::COLON)) {
        // invalid_match_stmt comes before expression statements, so even
        // `match(x)` on its own line is reported this way in the error pass.
        if (error_pass_ && at(TokenKind::NEWLINE)) raise_at_last_token("expected ':'");
        return nullptr;
    }
    if (!at(TokenKind::NEWLINE) || peek_at(1).kind != TokenKind::INDENT) {
        if (error_pass_) invalid_block_after(start, "'match' statement");
        return nullptr;
    }
    next();
    next();
    Scratch cases_scratch(*this);
    std::vector<Node*>& cases = cases_scratch.v;
    while (at_soft(SoftKeyword::case_)) {
        const Token& kw = next();
        Node* pat = patterns();
        if (!pat) return nullptr;
        Node* guard = nullptr;
        if (accept_kw(Keyword::if_)) {
            guard = named_expression();
            if (!guard) return nullptr;
        }
        if (!accept(TokenKind::COLON)) {
            if (error_pass_) expect_colon(false);
            return nullptr;
        }
        Scratch body_scratch(*this);
        std::vector<Node*>& body = body_scratch.v;
        if (!block(body)) {
            if (error_pass_) invalid_block_after(kw, "'case' statement");
            return nullptr;
        }
        auto* c = make<match_case>({});
        c->pattern = pat;
        c->guard = guard;
        c->body = list(body);
        cases.push_back(&c->base);
    }
    if (cases.empty() || !accept(TokenKind::DEDENT)) return nullptr;
    auto* m = make<Match>(span_from(start));
    m->subject = subject;
    m->cases = list(cases);
    return &m->base;
}

// patterns: open_sequence_pattern | pattern
Node* Parser::patterns() {
    const Token& start = peek();
    Node* p = maybe_star_pattern();
    if (!p) return nullptr;
    if (!at(TokenKind::COMMA)) {
        if (is<MatchStar>(p)) return nullptr;
        return p;
    }
    Scratch pats_scratch(*this);
    std::vector<Node*>& pats = pats_scratch.v;
    pats.push_back(p);
    while (accept(TokenKind::COMMA)) {
        if (at(TokenKind::COLON) || at_kw(Keyword::if_)) break;
        Node* q = maybe_star_pattern();
        if (!q) return nullptr;
        pats.push_back(q);
    }
    auto* s = make<MatchSequence>(span_from(start));
    s->patterns = list(pats);
    return &s->base;
}

Node* Parser::maybe_star_pattern() { return at(TokenKind::STAR) ? star_pattern() : pattern(); }

Node* Parser::star_pattern() {
    const Token& start = next();
    if (!at_name()) return nullptr;
    const Token& name = next();
    auto* s = make<MatchStar>(span_from(start));
    if (name.soft != SoftKeyword::underscore) s->name = ident(name);
    return &s->base;
}

// pattern: or_pattern ['as' capture_target]
Node* Parser::pattern() {
    DepthGuard guard(*this, 4);
    const Token& start = peek();
    Node* p = or_pattern();
    if (!p) return nullptr;
    if (!at_kw(Keyword::as)) return p;
    next();
    Identifier name{};
    if (!capture_target(name)) {
        if (error_pass_) {
            const Token& t = peek();
            if (t.kind == TokenKind::NAME && t.soft == SoftKeyword::underscore)
                raise("cannot use '_' as a target", t, t);
            Node* e = without_invalid([&] { return expression(); });
            if (e) raise_node("cannot use " + target_kind_name(e) + " as pattern target", e);
        }
        return nullptr;
    }
    auto* a = make<MatchAs>(span_from(start));
    a->pattern = p;
    a->name = name;
    return &a->base;
}

bool Parser::capture_target(Identifier& name) {
    if (!at_name() || at_soft(SoftKeyword::underscore)) return false;
    TokenKind k = peek_at(1).kind;
    if (k == TokenKind::DOT || k == TokenKind::LPAR || k == TokenKind::EQUAL) return false;
    name = ident(next());
    return true;
}

Node* Parser::or_pattern() {
    const Token& start = peek();
    Node* p = closed_pattern();
    if (!p || !at(TokenKind::VBAR)) return p;
    Scratch pats_scratch(*this);
    std::vector<Node*>& pats = pats_scratch.v;
    pats.push_back(p);
    while (accept(TokenKind::VBAR)) {
        Node* q = closed_pattern();
        if (!q) return nullptr;
        pats.push_back(q);
    }
    auto* o = make<MatchOr>(span_from(start));
    o->patterns = list(pats);
    return &o->base;
}

// name_or_attr: NAME ('.' NAME)*
Node* Parser::name_or_attr() {
    const Token& start = peek();
    if (!at_name()) return nullptr;
    Node* e = name_node(next(), ExprContext::Load);
    while (at(TokenKind::DOT) && peek_at(1).kind == TokenKind::NAME && peek_at(1).keyword == Keyword::None_) {
        next();
        const Token& n = next();
        auto* a = make<Attribute>(span_from(start));
        a->value = e;
        a->attr = ident(n);
        a->ctx = ExprContext::Load;
        e = &a->base;
    }
    return e;
}

Node* Parser::signed_number(bool& negative_ok) {
    const Token& start = peek();
    bool neg = accept(TokenKind::MINUS) != nullptr;
    if (!at(TokenKind::NUMBER)) return nullptr;
    const Token& t = next();
    ConstantValue v;
    if (!number(t, v)) return nullptr;
    auto* c = make<Constant>(pos_of(t));
    c->value = v;
    negative_ok = true;
    if (!neg) return &c->base;
    auto* u = make<UnaryOp>(span_from(start));
    u->op = Op::USub;
    u->operand = &c->base;
    return &u->base;
}

// signed_number !('+' | '-') | complex_number; also the key of a mapping pattern.
Node* Parser::complex_number() {
    const Token& start = peek();
    bool ok = false;
    Node* real = signed_number(ok);
    if (!real) return nullptr;
    if (!at(TokenKind::PLUS) && !at(TokenKind::MINUS)) return real;
    Op op = next().kind == TokenKind::PLUS ? Op::Add : Op::Sub;
    const Node* real_const = is<UnaryOp>(real) ? as<UnaryOp>(real)->operand : real;
    if (as<Constant>(real_const)->value.kind == ConstantValue::Kind::Complex)
        raise_node("real number required in complex literal", real_const);
    if (!at(TokenKind::NUMBER)) return nullptr;
    const Token& t = next();
    ConstantValue v;
    if (!number(t, v)) return nullptr;
    auto* imag = make<Constant>(pos_of(t));
    imag->value = v;
    if (v.kind != ConstantValue::Kind::Complex) raise_node("imaginary number required in complex literal", &imag->base);
    auto* b = make<BinOp>(span_from(start));
    b->left = real;
    b->op = op;
    b->right = &imag->base;
    return &b->base;
}

// The key of a mapping pattern or the value of a literal/value pattern.
Node* Parser::literal_or_value_pattern() {
    const Token& t = peek();
    if (t.kind == TokenKind::NUMBER || t.kind == TokenKind::MINUS) return complex_number();
    if (t.kind == TokenKind::STRING || t.kind == TokenKind::FSTRING_START || t.kind == TokenKind::TSTRING_START)
        return strings();
    if (t.kind == TokenKind::NAME) {
        ConstantValue::Kind k;
        switch (t.keyword) {
            case Keyword::None: k = ConstantValue::Kind::None; break;
            case Keyword::True_: k = ConstantValue::Kind::True; break;
            case Keyword::False_: k = ConstantValue::Kind::False; break;
            case Keyword::None_: {
                if (peek_at(1).kind != TokenKind::DOT) return nullptr;
                Node* e = name_or_attr();
                return is<Attribute>(e) ? e : nullptr;
            }
            default: return nullptr;
        }
        next();
        auto* c = make<Constant>(pos_of(t));
        c->value.kind = k;
        return &c->base;
    }
    return nullptr;
}

Node* Parser::closed_pattern() {
    DepthGuard guard(*this, 4);
    const Token& t = peek();
    switch (t.kind) {
        case TokenKind::NUMBER:
        case TokenKind::MINUS:
        case TokenKind::STRING:
        case TokenKind::FSTRING_START:
        case TokenKind::TSTRING_START: {
            Node* v = literal_or_value_pattern();
            if (!v) return nullptr;
            auto* m = make<MatchValue>(v->pos);
            m->value = v;
            return &m->base;
        }
        case TokenKind::NAME: {
            if (t.keyword == Keyword::None || t.keyword == Keyword::True_ || t.keyword == Keyword::False_) {
                next();
                auto* s = make<MatchSingleton>(pos_of(t));
                s->value.kind = t.keyword == Keyword::None   ? ConstantValue::Kind::None
                                : t.keyword == Keyword::True_ ? ConstantValue::Kind::True
                                                              : ConstantValue::Kind::False;
                return &s->base;
            }
            if (t.keyword != Keyword::None_) return nullptr;
            TokenKind k = peek_at(1).kind;
            if (k == TokenKind::DOT || k == TokenKind::LPAR) {
                Node* cls = name_or_attr();
                if (at(TokenKind::LPAR)) return class_pattern(cls, t);
                if (!is<Attribute>(cls) || at(TokenKind::EQUAL) || at(TokenKind::DOT)) return nullptr;
                auto* m = make<MatchValue>(cls->pos);
                m->value = cls;
                return &m->base;
            }
            if (t.soft == SoftKeyword::underscore) {
                next();
                return &make<MatchAs>(pos_of(t))->base;
            }
            Identifier name{};
            if (!capture_target(name)) return nullptr;
            auto* a = make<MatchAs>(pos_of(t));
            a->name = name;
            return &a->base;
        }
        case TokenKind::LPAR:
        case TokenKind::LSQB: return sequence_pattern(t.kind);
        case TokenKind::LBRACE: return mapping_pattern();
        default: return nullptr;
    }
}

// '[' maybe_sequence_pattern? ']' | '(' open_sequence_pattern? ')' | group_pattern
Node* Parser::sequence_pattern(TokenKind open) {
    const Token& start = next();
    TokenKind close = open == TokenKind::LPAR ? TokenKind::RPAR : TokenKind::RSQB;
    Scratch pats_scratch(*this);
    std::vector<Node*>& pats = pats_scratch.v;
    bool comma = false;
    while (!at(close)) {
        Node* p = maybe_star_pattern();
        if (!p) return nullptr;
        pats.push_back(p);
        if (!accept(TokenKind::COMMA)) break;
        comma = true;
    }
    if (!accept(close)) return nullptr;
    if (open == TokenKind::LPAR && pats.size() == 1 && !comma) {
        if (is<MatchStar>(pats[0])) return nullptr;
        return pats[0];
    }
    auto* s = make<MatchSequence>(span_from(start));
    s->patterns = list(pats);
    return &s->base;
}

Node* Parser::mapping_pattern() {
    const Token& start = next();
    Scratch keys_scratch(*this);
    std::vector<Node*>& keys = keys_scratch.v;
    Scratch pats_scratch(*this);
    std::vector<Node*>& pats = pats_scratch.v;
    Identifier rest{};
    while (!at(TokenKind::RBRACE)) {
        if (accept(TokenKind::DOUBLESTAR)) {
            if (!capture_target(rest)) return nullptr;
            accept(TokenKind::COMMA);
            break;
        }
        Node* key = literal_or_value_pattern();
        if (!key || !accept(TokenKind::COLON)) return nullptr;
        Node* p = pattern();
        if (!p) return nullptr;
        keys.push_back(key);
        pats.push_back(p);
        if (!accept(TokenKind::COMMA)) break;
    }
    if (!accept(TokenKind::RBRACE)) return nullptr;
    auto* m = make<MatchMapping>(span_from(start));
    m->keys = list(keys);
    m->patterns = list(pats);
    m->rest = rest;
    return &m->base;
}

Node* Parser::class_pattern(Node* cls, const Token& start) {
    next();  // '('
    Scratch pats_scratch(*this);
    std::vector<Node*>& pats = pats_scratch.v;
    Scratch kwd_pats_scratch(*this);
    std::vector<Node*>& kwd_pats = kwd_pats_scratch.v;
    std::vector<Identifier> kwd_names;
    while (!at(TokenKind::RPAR)) {
        if (at_name() && peek_at(1).kind == TokenKind::EQUAL) {
            kwd_names.push_back(ident(next()));
            next();
            Node* p = pattern();
            if (!p) return nullptr;
            kwd_pats.push_back(p);
        } else {
            if (!kwd_names.empty()) {
                if (error_pass_) {
                    // The whole run of positional patterns after the keywords.
                    std::size_t m = mark();
                    Node* first = pattern();
                    Node* last = first;
                    while (last && at(TokenKind::COMMA) && !(peek_at(1).kind == TokenKind::NAME &&
                                                             peek_at(2).kind == TokenKind::EQUAL)) {
                        std::size_t before = mark();
                        next();
                        Node* q = pattern();
                        if (!q) {
                            reset(before);
                            break;
                        }
                        last = q;
                    }
                    reset(m);
                    if (first) raise_range("positional patterns follow keyword patterns", first, last);
                }
                return nullptr;
            }
            Node* p = pattern();
            if (!p) return nullptr;
            pats.push_back(p);
        }
        if (!accept(TokenKind::COMMA)) break;
    }
    if (!accept(TokenKind::RPAR)) return nullptr;
    auto* c = make<MatchClass>(span_from(start));
    c->cls = cls;
    c->patterns = list(pats);
    c->kwd_attrs = arena_.identifiers(kwd_names);
    c->kwd_patterns = list(kwd_pats);
    return &c->base;
}

}  // namespace norvex::pyast
