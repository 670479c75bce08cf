// Statement rules: simple statements, blocks, and the compound statements but match.
#include "norvex/pyast/parser.hpp"

namespace norvex::pyast {

Node* Parser::parse_file() {
    Scratch body_scratch(*this);
    std::vector<Node*>& body = body_scratch.v;
    if (!at(TokenKind::ENDMARKER) && !statements(body)) return nullptr;
    if (!at(TokenKind::ENDMARKER)) return nullptr;
    auto* m = make<Module>({});
    m->body = list(body);
    return &m->base;
}

bool Parser::statements(std::vector<Node*>& out) {
    std::size_t before = out.size();
    for (;;) {
        TokenKind k = peek().kind;
        if (k == TokenKind::ENDMARKER || k == TokenKind::DEDENT || k == TokenKind::ERRORTOKEN) break;
        std::size_t m = mark();
        if (!statement(out)) {
            reset(m);
            break;
        }
    }
    return out.size() > before;
}

bool Parser::statement(std::vector<Node*>& out) {
    std::size_t m = mark();
    Node* c = compound_stmt();
    if (c) {
        out.push_back(c);
        return true;
    }
    reset(m);
    return simple_stmts(out);
}

bool Parser::simple_stmts(std::vector<Node*>& out) {
    for (;;) {
        Node* s = simple_stmt();
        if (!s) return false;
        out.push_back(s);
        if (!accept(TokenKind::SEMI)) break;
        if (at(TokenKind::NEWLINE)) break;
    }
    return accept(TokenKind::NEWLINE) != nullptr;
}

Node* Parser::simple_stmt() {
    const Token& start = peek();
    if (start.kind == TokenKind::NAME) {
        switch (start.keyword) {
            case Keyword::return_: {
                next();
                std::size_t m = mark();
                Node* v = nullptr;
                if (!at(TokenKind::NEWLINE) && !at(TokenKind::SEMI)) {
                    v = star_expressions();
                    if (!v) reset(m);
                }
                auto* r = make<Return>(span_from(start));
                r->value = v;
                return &r->base;
            }
            case Keyword::import:
            case Keyword::from: return import_stmt();
            case Keyword::raise: {
                next();
                auto* r = make<Raise>({});
                if (!at(TokenKind::NEWLINE) && !at(TokenKind::SEMI)) {
                    r->exc = expression();
                    if (!r->exc) return nullptr;
                    if (accept_kw(Keyword::from)) {
                        r->cause = expression();
                        if (!r->cause) return nullptr;
                    }
                }
                r->base.pos = span_from(start);
                return &r->base;
            }
            case Keyword::pass:
            case Keyword::break_:
            case Keyword::continue_: {
                next();
                Position p = span_from(start);
                if (error_pass_ && at_kw(Keyword::if_)) invalid_statement_before_if(start);
                if (start.keyword == Keyword::pass) return &make<Pass>(p)->base;
                if (start.keyword == Keyword::break_) return &make<Break>(p)->base;
                return &make<Continue>(p)->base;
            }
            case Keyword::del: {
                next();
                std::size_t targets_at = mark();
                Scratch targets_scratch(*this);
                std::vector<Node*>& targets = targets_scratch.v;
                bool ok = true;
                for (;;) {
                    Node* t = target_atom(ExprContext::Del);
                    if (!t) {
                        ok = false;
                        break;
                    }
                    targets.push_back(t);
                    if (!accept(TokenKind::COMMA)) break;
                    if (at(TokenKind::NEWLINE) || at(TokenKind::SEMI)) break;
                }
                if (!ok || (!at(TokenKind::NEWLINE) && !at(TokenKind::SEMI))) {
                    if (error_pass_) invalid_targets(targets_at, ExprContext::Del);
                    return nullptr;
                }
                auto* d = make<Delete>(span_from(start));
                d->targets = list(targets);
                return &d->base;
            }
            case Keyword::assert_: {
                next();
                Node* test = expression();
                if (!test) return nullptr;
                Node* msg = nullptr;
                if (accept(TokenKind::COMMA)) {
                    msg = expression();
                    if (!msg) return nullptr;
                }
                auto* a = make<Assert>(span_from(start));
                a->test = test;
                a->msg = msg;
                return &a->base;
            }
            case Keyword::global:
            case Keyword::nonlocal: {
                next();
                std::vector<Identifier> names;
                for (;;) {
                    if (!at_name()) return nullptr;
                    names.push_back(ident(next()));
                    if (!accept(TokenKind::COMMA)) break;
                }
                if (start.keyword == Keyword::global) {
                    auto* g = make<Global>(span_from(start));
                    g->names = arena_.identifiers(names);
                    return &g->base;
                }
                auto* g = make<Nonlocal>(span_from(start));
                g->names = arena_.identifiers(names);
                return &g->base;
            }
            default: break;
        }
        if (start.soft == SoftKeyword::type && peek_at(1).kind == TokenKind::NAME &&
            peek_at(1).keyword == Keyword::None_ &&
            (peek_at(2).kind == TokenKind::EQUAL || peek_at(2).kind == TokenKind::LSQB)) {
            std::size_t m = mark();
            if (Node* t = type_alias()) return t;
            reset(m);
        }
    }
    return assignment_or_expr();
}

namespace {
bool augassign_op(TokenKind k, Op& op) {
    switch (k) {
        case TokenKind::PLUSEQUAL: op = Op::Add; return true;
        case TokenKind::MINEQUAL: op = Op::Sub; return true;
        case TokenKind::STAREQUAL: op = Op::Mult; return true;
        case TokenKind::ATEQUAL: op = Op::MatMult; return true;
        case TokenKind::SLASHEQUAL: op = Op::Div; return true;
        case TokenKind::PERCENTEQUAL: op = Op::Mod; return true;
        case TokenKind::AMPEREQUAL: op = Op::BitAnd; return true;
        case TokenKind::VBAREQUAL: op = Op::BitOr; return true;
        case TokenKind::CIRCUMFLEXEQUAL: op = Op::BitXor; return true;
        case TokenKind::LEFTSHIFTEQUAL: op = Op::LShift; return true;
        case TokenKind::RIGHTSHIFTEQUAL: op = Op::RShift; return true;
        case TokenKind::DOUBLESTAREQUAL: op = Op::Pow; return true;
        case TokenKind::DOUBLESLASHEQUAL: op = Op::FloorDiv; return true;
        default: return false;
    }
}
}  // namespace

// assignment | star_expressions: the left side is parsed as an expression and
// becomes a target when '=', ':' or an augmented operator follows.
Node* Parser::assignment_or_expr() {
    if (!error_pass_) return assignment_or_expr_rule();
    std::size_t m = mark();
    Node* s = assignment_or_expr_rule();
    if (s && !is<Expr>(s)) return s;
    // Not an assignment: CPython tries invalid_assignment before reading an
    // expression statement, and its `star_named_expression ','
    // star_named_expressions*` runs the named-expression messages over every
    // item it can read.
    std::size_t after = mark();
    reset(m);
    if (star_named_expression() && accept(TokenKind::COMMA)) {
        for (;;) {
            std::size_t before = mark();
            if (!star_named_expression()) {
                reset(before);
                break;
            }
            accept(TokenKind::COMMA);
        }
    }
    reset(after);
    return s;
}

Node* Parser::assignment_or_expr_rule() {
    const Token& start = peek();
    Node* e = at_kw(Keyword::yield) ? yield_expr() : star_expressions();
    if (!e) return nullptr;
    const Token& t = peek();
    if (t.kind == TokenKind::COLON) {
        bool single = is<Name>(e) || is<Attribute>(e) || is<Subscript>(e);
        if (!single) {
            // These messages need an annotation after the ':'.
            bool annotated = false;
            if (error_pass_ && !is<Yield>(e) && !is<YieldFrom>(e)) {
                std::size_t m = mark();
                next();
                annotated = without_invalid([&] { return expression(); }) != nullptr;
                reset(m);
            }
            if (annotated) {
                if (is<Tuple>(e))
                    raise_node("only single target (not tuple) can be annotated",
                               start.kind == TokenKind::LPAR ? e : as<Tuple>(e)->elts[0]);
                if (is<List>(e)) raise_node("only single target (not list) can be annotated", e);
                raise_node("illegal target for annotation", e);
            }
            return nullptr;
        }
        next();
        Node* annotation = expression();
        if (!annotation) return nullptr;
        Node* value = nullptr;
        if (accept(TokenKind::EQUAL)) {
            value = annotated_rhs();
            if (!value) return nullptr;
        }
        set_context(e, ExprContext::Store);
        auto* a = make<AnnAssign>(span_from(start));
        a->target = e;
        a->annotation = annotation;
        a->value = value;
        a->simple = is<Name>(e) && start.kind == TokenKind::NAME ? 1 : 0;
        return &a->base;
    }
    Op op;
    if (augassign_op(t.kind, op)) {
        if (!(is<Name>(e) || is<Attribute>(e) || is<Subscript>(e))) {
            // A bare yield is no star_expressions, so CPython gives no message for it.
            bool bare_yield = start.kind == TokenKind::NAME && start.keyword == Keyword::yield;
            // The message needs a right-hand side after the operator.
            if (error_pass_ && !bare_yield) {
                std::size_t m = mark();
                next();
                bool rhs = without_invalid([&] { return annotated_rhs(); }) != nullptr;
                reset(m);
                if (rhs) check_target(e, ExprContext::Store, true);
            }
            return nullptr;
        }
        next();
        Node* value = annotated_rhs();
        if (!value) return nullptr;
        set_context(e, ExprContext::Store);
        auto* a = make<AugAssign>(span_from(start));
        a->target = e;
        a->op = op;
        a->value = value;
        return &a->base;
    }
    if (t.kind == TokenKind::EQUAL) {
        Scratch targets_scratch(*this);
        std::vector<Node*>& targets = targets_scratch.v;
        while (at(TokenKind::EQUAL)) {
            if (is<Yield>(e) || is<YieldFrom>(e) || !set_context(e, ExprContext::Store)) {
                if (error_pass_) {
                    bool bare_yield = start.kind == TokenKind::NAME && start.keyword == Keyword::yield;
                    if (targets.empty() && !bare_yield) {
                        Node* last = e;
                        if (is<Tuple>(e) && start.kind != TokenKind::LPAR && !as<Tuple>(e)->elts.empty())
                            last = as<Tuple>(e)->elts[as<Tuple>(e)->elts.size() - 1];
                        invalid_named_assignment(last);
                    }
                    check_target(e, ExprContext::Store, false);
                }
                return nullptr;
            }
            next();
            targets.push_back(e);
            e = annotated_rhs();
            if (!e) return nullptr;
        }
        auto* a = make<Assign>(span_from(start));
        a->targets = list(targets);
        a->value = e;
        return &a->base;
    }
    auto* x = make<Expr>(span_from(start));
    x->value = e;
    return &x->base;
}

bool Parser::dotted_name_text(std::string& out) {
    if (!at_name()) return false;
    out.assign(text(next()));
    while (at(TokenKind::DOT) && peek_at(1).kind == TokenKind::NAME && peek_at(1).keyword == Keyword::None_) {
        next();
        out += '.';
        out += text(next());
    }
    return true;
}

Node* Parser::import_stmt() {
    const Token& start = peek();
    if (start.keyword == Keyword::from) return import_from();
    next();
    if (error_pass_ && at(TokenKind::NEWLINE)) expected_names();
    if (error_pass_) {
        // invalid_import: names, then 'from' and a module, as in the other import form.
        std::size_t m = mark();
        std::string dotted;
        while (dotted_name_text(dotted) && accept(TokenKind::COMMA)) {
        }
        if (!dotted.empty() && accept_kw(Keyword::from) && dotted_name_text(dotted))
            raise_starting_from("Did you mean to use 'from ... import ...' instead?", start);
        reset(m);
    }
    Scratch names_scratch(*this);
    std::vector<Node*>& names = names_scratch.v;
    for (;;) {
        const Token& first = peek();
        std::string dotted;
        if (!dotted_name_text(dotted)) return nullptr;
        Identifier asname{};
        if (accept_kw(Keyword::as)) {
            if (error_pass_) invalid_import_target();
            if (!at_name()) return nullptr;
            asname = ident(next());
        }
        auto* a = make<alias>(span_from(first));
        a->name = arena_.intern(dotted);
        a->asname = asname;
        names.push_back(&a->base);
        if (!accept(TokenKind::COMMA)) break;
    }
    auto* i = make<Import>(span_from(start));
    i->names = list(names);
    return &i->base;
}

Node* Parser::import_from() {
    const Token& start = next();
    int level = 0;
    for (;;) {
        if (accept(TokenKind::DOT)) ++level;
        else if (accept(TokenKind::ELLIPSIS)) level += 3;
        else break;
    }
    Identifier module{};
    if (!at_kw(Keyword::import)) {
        std::string dotted;
        if (!dotted_name_text(dotted)) return nullptr;
        module = arena_.intern(dotted);
    } else if (level == 0) {
        return nullptr;
    }
    if (!accept_kw(Keyword::import)) return nullptr;
    if (error_pass_ && at(TokenKind::NEWLINE)) expected_names();
    Scratch names_scratch(*this);
    std::vector<Node*>& names = names_scratch.v;
    if (at(TokenKind::STAR)) {
        const Token& star = next();
        auto* a = make<alias>(span_from(star));
        a->name = arena_.intern("*");
        names.push_back(&a->base);
    } else {
        bool paren = accept(TokenKind::LPAR) != nullptr;
        for (;;) {
            if (!at_name()) return nullptr;
            const Token& name = next();
            Identifier asname{};
            if (accept_kw(Keyword::as)) {
                if (error_pass_) invalid_import_target();
                if (!at_name()) return nullptr;
                asname = ident(next());
            }
            auto* a = make<alias>(span_from(name));
            a->name = ident(name);
            a->asname = asname;
            names.push_back(&a->base);
            if (!accept(TokenKind::COMMA)) break;
            if (paren && at(TokenKind::RPAR)) break;
            if (!paren && (at(TokenKind::NEWLINE) || at(TokenKind::SEMI))) {
                if (error_pass_ && at(TokenKind::NEWLINE))
                    raise_at_last_token("trailing comma not allowed without surrounding parentheses");
                return nullptr;
            }
        }
        if (paren && !accept(TokenKind::RPAR)) return nullptr;
    }
    auto* f = make<ImportFrom>(span_from(start));
    f->module = module;
    f->names = list(names);
    f->level = level;
    // The feature changes the grammar from the next statement on, wherever the import stands.
    if (level == 0 && module == "__future__") {
        for (const Node* n : names)
            if (as<alias>(n)->name == "barry_as_FLUFL") barry_ = true;
    }
    return &f->base;
}

// block: NEWLINE INDENT statements DEDENT | simple_stmts
bool Parser::block(std::vector<Node*>& out) {
    if (at(TokenKind::NEWLINE)) {
        if (peek_at(1).kind != TokenKind::INDENT) return false;
        next();
        next();
        if (!statements(out)) return false;
        return accept(TokenKind::DEDENT) != nullptr;
    }
    return simple_stmts(out);
}

Node* Parser::compound_stmt() {
    const Token& start = peek();
    if (start.kind == TokenKind::AT) {
        Scratch decorators_scratch(*this);
        std::vector<Node*>& decorators = decorators_scratch.v;
        while (accept(TokenKind::AT)) {
            Node* d = named_expression();
            if (!d || !accept(TokenKind::NEWLINE)) return nullptr;
            decorators.push_back(d);
        }
        const Token& def = peek();
        if (def.keyword == Keyword::class_) return class_def(std::move(decorators), def);
        if (def.keyword == Keyword::def || (def.keyword == Keyword::async && peek_at(1).keyword == Keyword::def))
            return function_def(std::move(decorators), def);
        return nullptr;
    }
    if (start.kind != TokenKind::NAME) return nullptr;
    switch (start.keyword) {
        case Keyword::def: return function_def({}, start);
        case Keyword::class_: return class_def({}, start);
        case Keyword::if_: return if_stmt(false);
        case Keyword::while_: return while_stmt();
        case Keyword::for_: return for_stmt(nullptr);
        case Keyword::with: return with_stmt(nullptr);
        case Keyword::try_: return try_stmt();
        case Keyword::async: {
            const Token& n = peek_at(1);
            if (n.keyword == Keyword::def) return function_def({}, start);
            if (n.keyword == Keyword::for_) return for_stmt(&next());
            if (n.keyword == Keyword::with) return with_stmt(&next());
            return nullptr;
        }
        case Keyword::None_:
            if (start.soft == SoftKeyword::match) {
                std::size_t m = mark();
                if (Node* s = match_stmt()) return s;
                reset(m);
            }
            return nullptr;
        default: return nullptr;
    }
}

bool Parser::type_params(std::vector<Node*>& out) {
    if (!accept(TokenKind::LSQB)) return false;
    if (error_pass_ && at(TokenKind::RSQB)) raise_starting_from("Type parameter list cannot be empty", peek());
    for (;;) {
        Node* t = type_param();
        if (!t) return false;
        out.push_back(t);
        if (!accept(TokenKind::COMMA)) break;
        if (at(TokenKind::RSQB)) break;
    }
    return accept(TokenKind::RSQB) != nullptr;
}

Node* Parser::type_param() {
    const Token& start = peek();
    if (accept(TokenKind::STAR)) {
        if (!at_name()) return nullptr;
        const Token& name = next();
        if (error_pass_ && at(TokenKind::COLON)) invalid_type_param_bound("TypeVarTuple");
        Node* def = nullptr;
        if (accept(TokenKind::EQUAL)) {
            def = star_expression();
            if (!def) return nullptr;
        }
        auto* t = make<TypeVarTuple>(span_from(start));
        t->name = ident(name);
        t->default_value = def;
        return &t->base;
    }
    if (accept(TokenKind::DOUBLESTAR)) {
        if (!at_name()) return nullptr;
        const Token& name = next();
        if (error_pass_ && at(TokenKind::COLON)) invalid_type_param_bound("ParamSpec");
        Node* def = nullptr;
        if (accept(TokenKind::EQUAL)) {
            def = expression();
            if (!def) return nullptr;
        }
        auto* t = make<ParamSpec>(span_from(start));
        t->name = ident(name);
        t->default_value = def;
        return &t->base;
    }
    if (!at_name()) return nullptr;
    const Token& name = next();
    Node* bound = nullptr;
    Node* def = nullptr;
    if (accept(TokenKind::COLON)) {
        bound = expression();
        if (!bound) return nullptr;
    }
    if (accept(TokenKind::EQUAL)) {
        def = expression();
        if (!def) return nullptr;
    }
    auto* t = make<TypeVar>(span_from(start));
    t->name = ident(name);
    t->bound = bound;
    t->default_value = def;
    return &t->base;
}

Node* Parser::type_alias() {
    const Token& start = next();  // "type"
    Node* name = name_node(next(), ExprContext::Store);
    Scratch tparams_scratch(*this);
    std::vector<Node*>& tparams = tparams_scratch.v;
    if (at(TokenKind::LSQB) && !type_params(tparams)) return nullptr;
    if (!accept(TokenKind::EQUAL)) return nullptr;
    Node* value = expression();
    if (!value) return nullptr;
    auto* t = make<TypeAlias>(span_from(start));
    t->name = name;
    t->type_params = list(tparams);
    t->value = value;
    return &t->base;
}

Node* Parser::function_def(std::vector<Node*> decorators, const Token& start) {
    bool is_async = accept_kw(Keyword::async) != nullptr;
    const Token& def = next();
    if (!at_name()) return nullptr;
    const Token& name = next();
    Scratch tparams_scratch(*this);
    std::vector<Node*>& tparams = tparams_scratch.v;
    if (at(TokenKind::LSQB)) {
        std::size_t m = mark();
        if (!type_params(tparams)) {
            // The type parameters are optional, so CPython's forced '(' meets the '['.
            reset(m);
            if (error_pass_) raise("expected '('", peek(), peek());
            return nullptr;
        }
    }
    if (!accept(TokenKind::LPAR)) {
        if (error_pass_) raise("expected '('", peek(), peek());
        return nullptr;
    }
    Node* args = at(TokenKind::RPAR) ? empty_arguments() : params(false);
    if (!args || !accept(TokenKind::RPAR)) return nullptr;
    Node* returns = nullptr;
    if (at(TokenKind::RARROW)) {
        const Token& arrow = next();
        returns = expression();
        if (!returns) {
            if (error_pass_) raise("expected ':'", arrow, arrow);
            return nullptr;
        }
    }
    if (!accept(TokenKind::COLON)) {
        if (error_pass_) expect_colon(true);
        return nullptr;
    }
    Scratch body_scratch(*this);
    std::vector<Node*>& body = body_scratch.v;
    if (!block(body)) {
        if (error_pass_) invalid_block_after(def, "function definition");
        return nullptr;
    }
    Position p = span_from(start);
    if (is_async) {
        auto* f = make<AsyncFunctionDef>(p);
        f->name = ident(name);
        f->args = args;
        f->body = list(body);
        f->decorator_list = list(decorators);
        f->returns = returns;
        f->type_params = list(tparams);
        return &f->base;
    }
    auto* f = make<FunctionDef>(p);
    f->name = ident(name);
    f->args = args;
    f->body = list(body);
    f->decorator_list = list(decorators);
    f->returns = returns;
    f->type_params = list(tparams);
    return &f->base;
}

Node* Parser::class_def(std::vector<Node*> decorators, const Token& start) {
    const Token& kw = next();
    if (!at_name()) return nullptr;
    const Token& name = next();
    Scratch tparams_scratch(*this);
    std::vector<Node*>& tparams = tparams_scratch.v;
    if (at(TokenKind::LSQB) && !type_params(tparams)) return nullptr;
    Scratch bases_scratch(*this);
    std::vector<Node*>& bases = bases_scratch.v;
    Scratch keywords_scratch(*this);
    std::vector<Node*>& keywords = keywords_scratch.v;
    if (accept(TokenKind::LPAR)) {
        if (!call_arguments(bases, keywords, TokenKind::RPAR) || !accept(TokenKind::RPAR)) return nullptr;
    }
    if (!accept(TokenKind::COLON)) {
        if (error_pass_) expect_colon(false);
        return nullptr;
    }
    Scratch body_scratch(*this);
    std::vector<Node*>& body = body_scratch.v;
    if (!block(body)) {
        if (error_pass_) invalid_block_after(kw, "class definition");
        return nullptr;
    }
    auto* c = make<ClassDef>(span_from(start));
    c->name = ident(name);
    c->bases = list(bases);
    c->keywords = list(keywords);
    c->body = list(body);
    c->decorator_list = list(decorators);
    c->type_params = list(tparams);
    return &c->base;
}

// 'if' and its 'elif' clauses are read in a loop and nested afterwards, so a
// long elif chain cannot exhaust the stack; each clause's If ends where the
// whole statement ends, as in CPython.
Node* Parser::if_stmt(bool) {
    struct Clause {
        const Token* kw;
        Node* test;
        NodeList body;
    };
    std::vector<Clause> clauses;
    Scratch orelse_scratch(*this);
    std::vector<Node*>& orelse = orelse_scratch.v;
    do {
        const Token& kw = next();  // 'if' or 'elif'
        Node* test = named_expression();
        if (!test) return nullptr;
        if (!accept(TokenKind::COLON)) {
            if (error_pass_) expect_colon(false);
            return nullptr;
        }
        Scratch body_scratch(*this);
        std::vector<Node*>& body = body_scratch.v;
        if (!block(body)) {
            if (error_pass_) invalid_block_after(kw, kw.keyword == Keyword::if_ ? "'if' statement" : "'elif' statement");
            return nullptr;
        }
        clauses.push_back({&kw, test, list(body)});
    } while (at_kw(Keyword::elif));
    DepthGuard guard(*this, static_cast<int>(clauses.size()) - 1);
    if (at_kw(Keyword::else_)) {
        if (!else_block(orelse)) return nullptr;
        if (error_pass_ && at_kw(Keyword::elif)) raise("'elif' block follows an 'else' block", peek(), peek());
    }
    Node* inner = nullptr;
    for (auto it = clauses.rbegin(); it != clauses.rend(); ++it) {
        auto* n = make<If>(span_from(*it->kw));
        n->test = it->test;
        n->body = it->body;
        n->orelse = inner ? list({inner}) : list(orelse);
        inner = &n->base;
    }
    return inner;
}

bool Parser::else_block(std::vector<Node*>& out) {
    const Token& kw = next();
    if (!accept(TokenKind::COLON)) {
        if (error_pass_) expect_colon(true);
        return false;
    }
    if (!block(out)) {
        if (error_pass_) invalid_block_after(kw, "'else' statement");
        return false;
    }
    return true;
}

Node* Parser::while_stmt() {
    const Token& start = next();
    Node* test = named_expression();
    if (!test) return nullptr;
    if (!accept(TokenKind::COLON)) {
        if (error_pass_) expect_colon(false);
        return nullptr;
    }
    Scratch body_scratch(*this);
    std::vector<Node*>& body = body_scratch.v;
    Scratch orelse_scratch(*this);
    std::vector<Node*>& orelse = orelse_scratch.v;
    if (!block(body)) {
        if (error_pass_) invalid_block_after(start, "'while' statement");
        return nullptr;
    }
    if (at_kw(Keyword::else_) && !else_block(orelse)) return nullptr;
    auto* n = make<While>(span_from(start));
    n->test = test;
    n->body = list(body);
    n->orelse = list(orelse);
    return &n->base;
}

Node* Parser::for_stmt(const Token* async_tok) {
    const Token& kw = next();
    const Token& start = async_tok ? *async_tok : kw;
    std::size_t target_at = mark();
    Node* target = star_targets();
    if (!target || !accept_kw(Keyword::in)) {
        if (error_pass_) invalid_targets(target_at, ExprContext::Store);
        return nullptr;
    }
    Node* iter = star_expressions();
    if (!iter) return nullptr;
    if (!accept(TokenKind::COLON)) {
        if (error_pass_) expect_colon(false);
        return nullptr;
    }
    Scratch body_scratch(*this);
    std::vector<Node*>& body = body_scratch.v;
    Scratch orelse_scratch(*this);
    std::vector<Node*>& orelse = orelse_scratch.v;
    if (!block(body)) {
        if (error_pass_) invalid_block_after(kw, "'for' statement");
        return nullptr;
    }
    if (at_kw(Keyword::else_) && !else_block(orelse)) return nullptr;
    Position p = span_from(start);
    if (async_tok) {
        auto* n = make<AsyncFor>(p);
        n->target = target;
        n->iter = iter;
        n->body = list(body);
        n->orelse = list(orelse);
        return &n->base;
    }
    auto* n = make<For>(p);
    n->target = target;
    n->iter = iter;
    n->body = list(body);
    n->orelse = list(orelse);
    return &n->base;
}

Node* Parser::with_item() {
    Node* e = expression();
    if (!e) return nullptr;
    Node* vars = nullptr;
    if (at_kw(Keyword::as)) {
        std::size_t m = mark();
        next();
        vars = star_target();
        TokenKind k = peek().kind;
        // invalid_with_stmt reads the items up to a NEWLINE to say "expected ':'".
        if (vars && error_pass_ && k == TokenKind::NEWLINE) k = TokenKind::COLON;
        if (!vars || (k != TokenKind::COMMA && k != TokenKind::RPAR && k != TokenKind::COLON)) {
            if (error_pass_) {
                reset(m);
                next();
                Node* t = without_invalid([&] { return expression(); });
                k = peek().kind;
                if (t && (k == TokenKind::COMMA || k == TokenKind::RPAR || k == TokenKind::COLON))
                    check_target(t, ExprContext::Store, false);
            }
            reset(m);
            return nullptr;
        }
    }
    auto* w = make<withitem>({});
    w->context_expr = e;
    w->optional_vars = vars;
    return &w->base;
}

Node* Parser::with_stmt(const Token* async_tok) {
    const Token& kw = next();
    const Token& start = async_tok ? *async_tok : kw;
    Scratch items_scratch(*this);
    std::vector<Node*>& items = items_scratch.v;
    bool done = false;
    if (at(TokenKind::LPAR)) {
        std::size_t m = mark();
        next();
        for (;;) {
            Node* w = with_item();
            if (!w) break;
            items.push_back(w);
            if (!accept(TokenKind::COMMA)) break;
            if (at(TokenKind::RPAR)) break;
        }
        if (!items.empty() && accept(TokenKind::RPAR) && at(TokenKind::COLON)) {
            done = true;
        } else if (error_pass_ && !items.empty() && prev().kind == TokenKind::RPAR && at(TokenKind::NEWLINE)) {
            raise_at_last_token("expected ':'");
        } else {
            items.clear();
            reset(m);
        }
    }
    if (!done) {
        for (;;) {
            Node* w = with_item();
            if (!w) return nullptr;
            items.push_back(w);
            if (!accept(TokenKind::COMMA)) break;
        }
    }
    if (!accept(TokenKind::COLON)) {
        if (error_pass_) expect_colon(false);
        return nullptr;
    }
    Scratch body_scratch(*this);
    std::vector<Node*>& body = body_scratch.v;
    if (!block(body)) {
        if (error_pass_) invalid_block_after(kw, "'with' statement");
        return nullptr;
    }
    Position p = span_from(start);
    if (async_tok) {
        auto* n = make<AsyncWith>(p);
        n->items = list(items);
        n->body = list(body);
        return &n->base;
    }
    auto* n = make<With>(p);
    n->items = list(items);
    n->body = list(body);
    return &n->base;
}

// want_star: -1 either, 0 plain only, 1 star only.
Node* Parser::except_block(bool& star, int want_star) {
    const Token& start = next();  // 'except'
    const Token* star_tok = accept(TokenKind::STAR);
    star = star_tok != nullptr;
    if ((want_star == 0 && star) || (want_star == 1 && !star)) {
        if (error_pass_)
            raise("cannot have both 'except' and 'except*' on the same 'try'", start, star_tok ? *star_tok : start);
        return nullptr;
    }
    Node* type = nullptr;
    Identifier name{};
    if (error_pass_ && at(TokenKind::NEWLINE)) raise_at_last_token("expected ':'");
    if (error_pass_ && star && (at(TokenKind::COLON) || at(TokenKind::NEWLINE)))
        raise_at_last_token("expected one or more exception types");
    if (!at(TokenKind::COLON) || star) {
        const Token& tstart = peek();
        type = expression();
        if (!type) return nullptr;
        if (accept_kw(Keyword::as)) {
            if (error_pass_ && !(at_name() && peek_at(1).kind == TokenKind::COLON)) {
                std::size_t m = mark();
                Node* e = without_invalid([&] { return expression(); });
                if (e && at(TokenKind::COLON))
                    raise_node(std::string("cannot use ") + (star ? "except*" : "except") + " statement with " +
                                   target_kind_name(e),
                               e);
                reset(m);
            }
            if (!at_name()) return nullptr;
            name = ident(next());
        } else if (at(TokenKind::COMMA)) {
            Scratch elts_scratch(*this);
            std::vector<Node*>& elts = elts_scratch.v;
            elts.push_back(type);
            while (accept(TokenKind::COMMA)) {
                if (at(TokenKind::COLON)) break;
                Node* e = expression();
                if (!e) return nullptr;
                elts.push_back(e);
            }
            if (at_kw(Keyword::as)) {
                if (error_pass_ && peek_at(1).kind == TokenKind::NAME) {
                    const Token& name_tok = peek_at(1);
                    raise_at("multiple exception types must be parenthesized when using 'as'", type->pos.lineno,
                             type->pos.col_offset, name_tok.end_lineno, name_tok.end_col_offset);
                }
                return nullptr;
            }
            auto* t = make<Tuple>(span_from(tstart));
            t->elts = list(elts);
            t->ctx = ExprContext::Load;
            type = &t->base;
        }
    }
    if (!accept(TokenKind::COLON)) {
        if (error_pass_) expect_colon(false);
        return nullptr;
    }
    Scratch body_scratch(*this);
    std::vector<Node*>& body = body_scratch.v;
    if (!block(body)) {
        if (error_pass_) invalid_block_after(start, star ? "'except*' statement" : "'except' statement");
        return nullptr;
    }
    auto* h = make<ExceptHandler>(span_from(start));
    h->type = type;
    h->name = name;
    h->body = list(body);
    return &h->base;
}

Node* Parser::try_stmt() {
    const Token& start = next();
    if (!accept(TokenKind::COLON)) {
        if (error_pass_) expect_colon(true);
        return nullptr;
    }
    Scratch body_scratch(*this);
    std::vector<Node*>& body = body_scratch.v;
    Scratch handlers_scratch(*this);
    std::vector<Node*>& handlers = handlers_scratch.v;
    Scratch orelse_scratch(*this);
    std::vector<Node*>& orelse = orelse_scratch.v;
    Scratch finalbody_scratch(*this);
    std::vector<Node*>& finalbody = finalbody_scratch.v;
    if (!block(body)) {
        if (error_pass_) invalid_block_after(start, "'try' statement");
        return nullptr;
    }
    int want_star = -1;
    while (at_kw(Keyword::except)) {
        bool star = false;
        Node* h = except_block(star, want_star);
        if (!h) return nullptr;
        want_star = star ? 1 : 0;
        handlers.push_back(h);
    }
    if (!handlers.empty() && at_kw(Keyword::else_) && !else_block(orelse)) return nullptr;
    if (at_kw(Keyword::finally)) {
        const Token& kw = next();
        if (!accept(TokenKind::COLON)) {
            if (error_pass_) expect_colon(true);
            return nullptr;
        }
        if (!block(finalbody)) {
            if (error_pass_) invalid_block_after(kw, "'finally' statement");
            return nullptr;
        }
    }
    if (handlers.empty() && finalbody.empty()) {
        if (error_pass_) raise_at_last_token("expected 'except' or 'finally' block");
        return nullptr;
    }
    Position p = span_from(start);
    if (want_star == 1) {
        auto* t = make<TryStar>(p);
        t->body = list(body);
        t->handlers = list(handlers);
        t->orelse = list(orelse);
        t->finalbody = list(finalbody);
        return &t->base;
    }
    auto* t = make<Try>(p);
    t->body = list(body);
    t->handlers = list(handlers);
    t->orelse = list(orelse);
    t->finalbody = list(finalbody);
    return &t->base;
}

}  // namespace norvex::pyast
