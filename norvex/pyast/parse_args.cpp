// Call arguments, and the parameters of def and lambda.
#include "norvex/pyast/parser.hpp"

namespace norvex::pyast {

// primary '(' [arguments] ')' or primary genexp; `func` already parsed.
Node* Parser::call(Node* func, const Token& start) {
    DepthGuard guard(*this, 8);
    const Token& lpar = next();
    Scratch args_scratch(*this);
    std::vector<Node*>& args = args_scratch.v;
    Scratch keywords_scratch(*this);
    std::vector<Node*>& keywords = keywords_scratch.v;
    if (error_pass_) invalid_kwarg();
    // A lone generator argument takes the call's parentheses as its own. The
    // first argument is parsed once and handed on: parsing it again for the
    // argument list would double the work at every level of nested calls.
    Node* first = nullptr;
    if (!at(TokenKind::RPAR) && !at(TokenKind::STAR) && !at(TokenKind::DOUBLESTAR) &&
        !(at_name() && peek_at(1).kind == TokenKind::EQUAL)) {
        Node* e = named_expression(true);
        if (!e) return nullptr;
        if (at_kw(Keyword::for_) || (at_kw(Keyword::async) && peek_at(1).keyword == Keyword::for_)) {
            Scratch gens_scratch(*this);
            std::vector<Node*>& gens = gens_scratch.v;
            if (!for_if_clauses(gens)) return nullptr;
            if (!accept(TokenKind::RPAR)) {
                if (error_pass_ && at(TokenKind::COMMA)) {
                    auto* last = as<comprehension>(gens.back());
                    const Node* end = last->ifs.empty() ? last->iter : last->ifs[last->ifs.size() - 1];
                    raise_range("Generator expression must be parenthesized", e, end);
                }
                return nullptr;
            }
            auto* g = make<GeneratorExp>(span_from(lpar));
            g->elt = e;
            g->generators = list(gens);
            auto* c = make<Call>(span_from(start));
            c->func = func;
            c->args = list({&g->base});
            return &c->base;
        }
        first = e;
    }
    if (!call_arguments(args, keywords, TokenKind::RPAR, first) || !accept(TokenKind::RPAR)) return nullptr;
    auto* c = make<Call>(span_from(start));
    c->func = func;
    c->args = list(args);
    c->keywords = list(keywords);
    return &c->base;
}

bool Parser::call_arguments(std::vector<Node*>& args, std::vector<Node*>& keywords, TokenKind closer,
                            Node* first) {
    bool seen_keyword = false;
    bool seen_double_star = false;
    while (first || !at(closer)) {
        const Token& start = peek();
        if (error_pass_ && !first) invalid_kwarg();
        if (first) {
            if (at(TokenKind::EQUAL)) return false;
            if (at_kw(Keyword::for_) || at_kw(Keyword::async)) return false;
            args.push_back(first);
            first = nullptr;
        } else if (accept(TokenKind::STAR)) {
            Node* v = expression();
            if (!v) {
                // RAISE_SYNTAX_ERROR: at the last token the parser has read.
                if (error_pass_) raise_at_last_token("Invalid star expression");
                return false;
            }
            if (error_pass_ && at(TokenKind::EQUAL)) {
                std::size_t m = mark();
                next();
                Node* b = without_invalid([&] { return expression(); });
                if (b) raise_at("cannot assign to iterable argument unpacking", start.lineno, start.col_offset,
                                b->pos.end_lineno, b->pos.end_col_offset);
                reset(m);
            }
            if (seen_double_star) {
                if (error_pass_) {
                    const Token& comma = tokens_[tokens_.index_of(start) - 1];
                    while (accept(TokenKind::COMMA) && accept(TokenKind::STAR) && expression()) {
                    }
                    raise_starting_from("iterable argument unpacking follows keyword argument unpacking", comma);
                }
                return false;
            }
            auto* s = make<Starred>(span_from(start));
            s->value = v;
            s->ctx = ExprContext::Load;
            args.push_back(&s->base);
        } else if (accept(TokenKind::DOUBLESTAR)) {
            Node* v = expression();
            if (!v) return false;
            auto* k = make<keyword>(span_from(start));
            k->value = v;
            keywords.push_back(&k->base);
            seen_keyword = seen_double_star = true;
        } else if (at_name() && peek_at(1).kind == TokenKind::EQUAL) {
            const Token& name = next();
            next();
            Node* v = expression();
            if (!v) return false;
            auto* k = make<keyword>(span_from(start));
            k->arg = ident(name);
            k->value = v;
            keywords.push_back(&k->base);
            seen_keyword = true;
        } else {
            Node* e = named_expression(true);
            if (!e) return false;
            if (at(TokenKind::EQUAL)) return false;
            if (seen_keyword) {
                if (error_pass_) {
                    // The grammar's `args ',' args` reads the rest as a second
                    // argument list before it complains at the last token read.
                    Scratch rest_args(*this);
                    Scratch rest_keywords(*this);
                    call_arguments(rest_args.v, rest_keywords.v, closer, e);
                    raise_at_last_token(seen_double_star ? "positional argument follows keyword argument unpacking"
                                                         : "positional argument follows keyword argument");
                }
                return false;
            }
            if (at_kw(Keyword::for_) || at_kw(Keyword::async)) {
                // One positional argument before the generator: CPython leaves it to "invalid syntax".
                if (error_pass_ && at_kw(Keyword::for_) && !args.empty()) {
                    Scratch gens_scratch(*this);
                    std::vector<Node*>& gens = gens_scratch.v;
                    if (for_if_clauses(gens)) {
                        auto* last = as<comprehension>(gens.back());
                        const Node* end = last->ifs.empty() ? last->iter : last->ifs[last->ifs.size() - 1];
                        raise_range("Generator expression must be parenthesized", e, end);
                    }
                }
                return false;
            }
            args.push_back(e);
        }
        if (!accept(TokenKind::COMMA)) break;
    }
    return true;
}

Node* Parser::empty_arguments() { return &make<arguments>({})->base; }

Node* Parser::param(bool lambda, bool star_annotation) {
    if (!at_name()) return nullptr;
    const Token& name = next();
    Node* annotation = nullptr;
    if (!lambda && accept(TokenKind::COLON)) {
        annotation = star_annotation ? star_expression() : expression();
        if (!annotation) return nullptr;
    }
    auto* a = make<arg>(span_from(name));
    a->arg = ident(name);
    a->annotation = annotation;
    return &a->base;
}

// Parameters up to (not including) ')' for def or ':' for lambda.
Node* Parser::params(bool lambda) {
    TokenKind closer = lambda ? TokenKind::COLON : TokenKind::RPAR;
    Scratch posonly_scratch(*this);
    std::vector<Node*>& posonly = posonly_scratch.v;
    Scratch args_scratch(*this);
    std::vector<Node*>& args = args_scratch.v;
    Scratch defaults_scratch(*this);
    std::vector<Node*>& defaults = defaults_scratch.v;
    Scratch kwonly_scratch(*this);
    std::vector<Node*>& kwonly = kwonly_scratch.v;
    Scratch kw_defaults_scratch(*this);
    std::vector<Node*>& kw_defaults = kw_defaults_scratch.v;
    Node* vararg = nullptr;
    Node* kwarg = nullptr;
    bool star_seen = false;
    bool slash_seen = false;
    while (!at(closer)) {
        const Token& t = peek();
        if (kwarg) {
            if (error_pass_) raise("arguments cannot follow var-keyword argument", t, t);
            return nullptr;
        }
        if (t.kind == TokenKind::LPAR && error_pass_) invalid_parenthesised_params(lambda);
        if (t.kind == TokenKind::SLASH) {
            if (error_pass_ && slash_seen) raise("/ may appear only once", t, t);
            if (error_pass_ && star_seen) raise("/ must be ahead of *", t, t);
            if (error_pass_ && args.empty() && posonly.empty() && peek_at(1).kind == TokenKind::COMMA)
                raise("at least one argument must precede /", t, t);
            if (slash_seen || star_seen || args.empty()) return nullptr;
            next();
            slash_seen = true;
            posonly.swap(args);
            if (error_pass_ && at(TokenKind::STAR)) raise("expected comma between / and *", peek(), peek());
        } else if (t.kind == TokenKind::STAR) {
            if (star_seen) {
                // Only when the second star starts a parameter without a
                // default (or a bare star) does the grammar name the fault.
                if (error_pass_) {
                    std::size_t m = mark();
                    next();
                    bool bare = at(TokenKind::COMMA);
                    bool plain = !bare && without_invalid([&] { return param(lambda, false); }) != nullptr &&
                                 (at(TokenKind::COMMA) || at(closer));
                    reset(m);
                    if (bare || plain) raise("* argument may appear only once", t, t);
                }
                return nullptr;
            }
            next();
            star_seen = true;
            if (at(TokenKind::COMMA) || at(closer)) {
                // A bare '*' needs keyword-only parameters after it.
                if (at(closer) || peek_at(1).kind == closer || peek_at(1).kind == TokenKind::DOUBLESTAR) {
                    if (error_pass_) {
                        const Token& where = lambda ? (at(closer) ? peek() : peek_at(1)) : t;
                        raise("named arguments must follow bare *", where, where);
                    }
                    return nullptr;
                }
            } else {
                vararg = param(lambda, true);
                if (!vararg) return nullptr;
                if (at(TokenKind::EQUAL)) {
                    if (error_pass_) raise("var-positional argument cannot have default value", peek(), peek());
                    return nullptr;
                }
            }
        } else if (t.kind == TokenKind::DOUBLESTAR) {
            next();
            kwarg = param(lambda, false);
            if (kwarg && at(TokenKind::EQUAL) && error_pass_)
                raise("var-keyword argument cannot have default value", peek(), peek());
            if (!kwarg || at(TokenKind::EQUAL)) return nullptr;
        } else {
            Node* p = param(lambda, false);
            if (!p) return nullptr;
            Node* def = nullptr;
            if (accept(TokenKind::EQUAL)) {
                if (error_pass_ && (at(TokenKind::RPAR) || at(TokenKind::COMMA)))
                    raise("expected default value expression", prev(), prev());
                def = expression();
                if (!def) return nullptr;
            }
            if (star_seen) {
                kwonly.push_back(p);
                kw_defaults.push_back(def);
            } else {
                if (!def && !defaults.empty()) {
                    if (error_pass_ && (at(TokenKind::COMMA) || at(closer)))
                        raise_node("parameter without a default follows parameter with a default", p);
                    return nullptr;
                }
                args.push_back(p);
                if (def) defaults.push_back(def);
            }
        }
        if (!accept(TokenKind::COMMA)) break;
    }
    if (!at(closer)) return nullptr;
    if (star_seen && !vararg && kwonly.empty()) return nullptr;
    auto* a = make<arguments>({});
    a->posonlyargs = list(posonly);
    a->args = list(args);
    a->vararg = vararg;
    a->kwonlyargs = list(kwonly);
    a->kw_defaults = list(kw_defaults);
    a->kwarg = kwarg;
    a->defaults = list(defaults);
    return &a->base;
}

}  // namespace norvex::pyast
