// Expression rules: from star_expressions down to atoms, comprehensions and targets.
#include "norvex/pyast/parser.hpp"

#include <algorithm>
#include <string>

namespace norvex::pyast {

namespace {
bool is_ws_token(TokenKind k) {
    return k == TokenKind::NEWLINE || k == TokenKind::INDENT || k == TokenKind::DEDENT || k == TokenKind::ENDMARKER;
}
}  // namespace

Parser::Parser(const TokenStore& tokens, std::string_view source, Arena& arena, bool error_pass)
    : tokens_(tokens), source_(source), arena_(arena), error_pass_(error_pass), memo_(error_pass),
      cur_(&tokens[0]), last_(tokens.size() - 1) {}

// CPython ends a node at the last token it consumed that is not layout, so a
// compound statement ends with its last statement, not with the DEDENT.
Position Parser::span_from(const Token& start) const {
    std::size_t j = pos_ > 0 ? pos_ - 1 : 0;
    const Token* last = &tokens_[j];
    while (j > 0 && is_ws_token(last->kind) && last != &start) last = &tokens_[--j];
    return {start.lineno, start.col_offset, last->end_lineno, last->end_col_offset};
}

Position Parser::span_from(const Node* start) const {
    Position p = span_from(tokens_[pos_ > 0 ? pos_ - 1 : 0]);
    p.lineno = start->pos.lineno;
    p.col_offset = start->pos.col_offset;
    return p;
}

bool Parser::number(const Token& t, ConstantValue& out) {
    const std::string_view digits = text(t);
    if (!literal::decode_number(digits, arena_, out)) return false;
    // CPython converts decimal literals to int while it parses and refuses
    // those past its conversion limit (other bases convert without one).
    constexpr std::size_t max_digits = 4300;
    if (out.kind != ConstantValue::Kind::BigInt || digits[0] == '0' || digits.size() <= max_digits) return true;
    const std::size_t count = digits.size() - static_cast<std::size_t>(std::count(digits.begin(), digits.end(), '_'));
    if (count <= max_digits) return true;
    SyntaxError e;
    e.msg = "Exceeds the limit (" + std::to_string(max_digits) + " digits) for integer string conversion: value has " +
            std::to_string(count) +
            " digits; use sys.set_int_max_str_digits() to increase the limit - Consider hexadecimal for huge integer "
            "literals to avoid decimal conversion limits.";
    e.lineno = e.end_lineno = t.lineno;
    e.offset = e.end_offset = 0;
    throw ParseFailure{std::move(e), furthest_};
}

Node* Parser::name_node(const Token& t, ExprContext ctx) {
    auto* n = make<Name>({t.lineno, t.col_offset, t.end_lineno, t.end_col_offset});
    n->id = ident(t);
    n->ctx = ctx;
    return &n->base;
}

void DepthGuard::overflow() {
    const Token& t = p.token_at(p.pos_);
    try {
        p.raise_at("Parser stack overflowed - Python source too complex to parse", t.lineno, t.col_offset,
                   t.end_lineno, t.end_col_offset);
    } catch (ParseFailure& f) {
        f.error.type = SyntaxError::Type::MemoryError;
        throw;
    }
}

// In the error pass the invalid_* rules look ahead and retry by parsing
// expressions again; remembering each parse by position (and by whether the
// invalid rules were on) keeps nested brackets linear instead of doubling the
// work at each level. The error pass builds no tree, so sharing nodes is safe.
Node* Parser::expression() {
    if (!memo_) return expression_rule();
    if (plain_depth_ > 0 && !error_pass_) mark_plain(pos_, 1);
    if (error_pass_ && read_plain(pos_, 1)) return without_invalid([&] { return expression(); });
    std::size_t key = pos_ * 2 + (error_pass_ ? 1 : 0);
    auto it = expr_memo_.find(key);
    if (it != expr_memo_.end()) {
        reset(it->second.second);
        return it->second.first;
    }
    Node* e = expression_rule();
    expr_memo_[key] = {e, pos_};
    return e;
}

Node* Parser::expression_without_invalid() {
    ++plain_depth_;
    Node* e = without_invalid([&] { return expression_rule(); });
    --plain_depth_;
    return e;
}

Node* Parser::expression_rule() {
    DepthGuard guard(*this);
    if (at_kw(Keyword::lambda)) return lambdef();
    const std::size_t start_index = mark();
    const Token& start = peek();
    // Without a prefix operator ('not', 'await', unary signs) the levels
    // from disjunction down to primary all start with the primary: parse it
    // and climb back up instead of descending a call per level. The error
    // pass keeps the full descent for its invalid_* rules.
    if (!error_pass_ && start.kind != TokenKind::PLUS && start.kind != TokenKind::MINUS &&
        start.kind != TokenKind::TILDE &&
        !(start.kind == TokenKind::NAME && (start.keyword == Keyword::not_ || start.keyword == Keyword::await))) {
        Node* a = primary();
        if (!a) return nullptr;
        a = power_rest(a, start);
        a = binary_rest(a, start);
        a = comparison_rest(a, start);
        a = bool_op_rest(a, start, Keyword::and_, &Parser::inversion, Op::And);
        a = bool_op_rest(a, start, Keyword::or_, &Parser::conjunction, Op::Or);
        return conditional_rest(a, start);
    }
    if (error_pass_) {
        invalid_string_juxtaposition();
        // invalid_expression also reads `pass`/`break`/`continue` 'if' ...:
        // it looks one token past the keyword, which decides how far the
        // parser has read.
        if (at_kw(Keyword::pass) || at_kw(Keyword::break_) || at_kw(Keyword::continue_)) {
            const Token& kw = peek();
            if (peek_at(1).kind == TokenKind::NAME && peek_at(1).keyword == Keyword::if_) {
                std::size_t m = mark();
                next();
                invalid_statement_before_if(kw);
                reset(m);
            }
        }
    }
    Node* a = disjunction();
    if (!a) return nullptr;
    if (error_pass_) {
        invalid_expression_after(a, start_index);
        invalid_legacy_expression(start_index);
    }
    return conditional_rest(a, start);
}

// disjunction ['if' disjunction 'else' expression], after the first disjunction.
Node* Parser::conditional_rest(Node* a, const Token& start) {
    if (at_kw(Keyword::if_)) {
        std::size_t m = mark();
        next();
        Node* b = disjunction();
        if (b && accept_kw(Keyword::else_)) {
            Node* c = expression();
            if (c) {
                auto* n = make<IfExp>(span_from(start));
                n->test = b;
                n->body = a;
                n->orelse = c;
                return &n->base;
            }
        }
        reset(m);
    }
    return a;
}

Node* Parser::yield_expr() {
    const Token& start = peek();
    if (!accept_kw(Keyword::yield)) return nullptr;
    if (accept_kw(Keyword::from)) {
        Node* a = expression();
        if (!a) return nullptr;
        auto* n = make<YieldFrom>(span_from(start));
        n->value = a;
        return &n->base;
    }
    std::size_t m = mark();
    Node* a = star_expressions();
    if (!a) reset(m);
    auto* n = make<Yield>(span_from(start));
    n->value = a;
    return &n->base;
}

// item (',' item)* [','] : the item alone, or a Tuple of the items.
Node* Parser::comma_tuple(Node* (Parser::*item)(), ExprContext ctx) {
    const Token& start = peek();
    Node* a = (this->*item)();
    if (!a) return nullptr;
    if (!at(TokenKind::COMMA)) return a;
    Scratch elts_scratch(*this);
    std::vector<Node*>& elts = elts_scratch.v;
    elts.push_back(a);
    while (accept(TokenKind::COMMA)) {
        std::size_t m = mark();
        Node* e = (this->*item)();
        if (!e) {
            reset(m);
            break;
        }
        elts.push_back(e);
    }
    auto* t = make<Tuple>(span_from(start));
    t->elts = list(elts);
    t->ctx = ctx;
    return &t->base;
}

Node* Parser::star_expressions() { return comma_tuple(&Parser::star_expression, ExprContext::Load); }

Node* Parser::star_expression() {
    const Token& start = peek();
    if (accept(TokenKind::STAR)) {
        Node* a = bitwise_or();
        if (!a) return nullptr;
        auto* s = make<Starred>(span_from(start));
        s->value = a;
        s->ctx = ExprContext::Load;
        return &s->base;
    }
    return expression();
}

// star_named_expressions up to (not including) `closer`, trailing comma allowed.
bool Parser::star_named_expressions(std::vector<Node*>& out, TokenKind closer) {
    for (;;) {
        if (at(closer)) return true;
        Node* e = star_named_expression();
        if (!e) return false;
        out.push_back(e);
        if (!accept(TokenKind::COMMA)) return true;
    }
}

Node* Parser::star_named_expression() {
    const Token& start = peek();
    if (accept(TokenKind::STAR)) {
        Node* a = bitwise_or();
        if (!a) return nullptr;
        auto* s = make<Starred>(span_from(start));
        s->value = a;
        s->ctx = ExprContext::Load;
        return &s->base;
    }
    return named_expression();
}

Node* Parser::named_expression(bool argument) {
    const Token& start = peek();
    if (at_name() && peek_at(1).kind == TokenKind::COLONEQUAL) {
        std::size_t m = mark();
        Node* target = name_node(next(), ExprContext::Store);
        next();
        Node* value = expression();
        if (value) {
            auto* n = make<NamedExpr>(span_from(start));
            n->target = target;
            n->value = value;
            return &n->base;
        }
        reset(m);
        return nullptr;
    }
    Node* e = expression();
    if (!e) return nullptr;
    if (at(TokenKind::COLONEQUAL)) {
        if (error_pass_ && !argument) {
            std::size_t m = mark();
            next();
            bool value = without_invalid([&] { return expression(); }) != nullptr;
            reset(m);
            if (value) check_target(e, ExprContext::Store, false);
        }
        return nullptr;
    }
    if (error_pass_ && at(TokenKind::EQUAL)) invalid_named_assignment(e);
    return e;
}

// operand (keyword operand)* : the operand alone, or a BoolOp of them.
Node* Parser::bool_op(Keyword keyword, Node* (Parser::*operand)(), Op op) {
    const Token& start = peek();
    Node* a = (this->*operand)();
    if (!a) return nullptr;
    return bool_op_rest(a, start, keyword, operand, op);
}

Node* Parser::bool_op_rest(Node* a, const Token& start, Keyword keyword, Node* (Parser::*operand)(), Op op) {
    if (!at_kw(keyword)) return a;
    Scratch values_scratch(*this);
    std::vector<Node*>& values = values_scratch.v;
    values.push_back(a);
    while (at_kw(keyword)) {
        std::size_t m = mark();
        next();
        Node* b = (this->*operand)();
        if (!b) {
            reset(m);
            break;
        }
        values.push_back(b);
    }
    if (values.size() == 1) return a;
    auto* n = make<BoolOp>(span_from(start));
    n->op = op;
    n->values = list(values);
    return &n->base;
}

Node* Parser::disjunction() { return bool_op(Keyword::or_, &Parser::conjunction, Op::Or); }

Node* Parser::conjunction() { return bool_op(Keyword::and_, &Parser::inversion, Op::And); }

// 'not' chains are built without recursion so long chains cannot exhaust the stack.
Node* Parser::inversion() {
    std::vector<const Token*> nots;
    while (at_kw(Keyword::not_)) nots.push_back(&next());
    DepthGuard guard(*this, static_cast<int>(nots.size()) / 2);
    Node* a = comparison();
    if (!a) return nullptr;
    for (auto it = nots.rbegin(); it != nots.rend(); ++it) {
        auto* n = make<UnaryOp>(span_from(**it));
        n->op = Op::Not;
        n->operand = a;
        a = &n->base;
    }
    return a;
}

// "<>" is the inequality only under barry_as_FLUFL, which in turn refuses "!=".
bool Parser::not_equal_allowed(const Token& t) {
    const bool diamond = source_[t.start] == '<';
    if (!barry_) return !diamond;
    if (!diamond) raise_at_last_token("with Barry as BDFL, use '<>' instead of '!='");
    return true;
}

Node* Parser::comparison() {
    const Token& start = peek();
    Node* a = bitwise_or();
    if (!a) return nullptr;
    return comparison_rest(a, start);
}

Node* Parser::comparison_rest(Node* a, const Token& start) {
    switch (peek().kind) {
        case TokenKind::EQEQUAL:
        case TokenKind::NOTEQUAL:
        case TokenKind::LESSEQUAL:
        case TokenKind::LESS:
        case TokenKind::GREATEREQUAL:
        case TokenKind::GREATER:
        case TokenKind::NAME: break;
        default: return a;  // the common case: no comparison
    }
    // The operators go on a stack shared by nested comparisons, each taking
    // back what it pushed: no list of its own to allocate.
    const std::size_t ops_base = ops_stack_.size();
    Scratch comparators_scratch(*this);
    std::vector<Node*>& comparators = comparators_scratch.v;
    for (;;) {
        std::size_t m = mark();
        const Token& t = peek();
        Op op;
        switch (t.kind) {
            case TokenKind::EQEQUAL: op = Op::Eq; break;
            case TokenKind::NOTEQUAL:
                if (!not_equal_allowed(t)) goto done;
                op = Op::NotEq;
                break;
            case TokenKind::LESSEQUAL: op = Op::LtE; break;
            case TokenKind::LESS: op = Op::Lt; break;
            case TokenKind::GREATEREQUAL: op = Op::GtE; break;
            case TokenKind::GREATER: op = Op::Gt; break;
            case TokenKind::NAME:
                if (t.keyword == Keyword::in) {
                    op = Op::In;
                } else if (t.keyword == Keyword::not_ && peek_at(1).keyword == Keyword::in &&
                           peek_at(1).kind == TokenKind::NAME) {
                    op = Op::NotIn;
                    next();
                } else if (t.keyword == Keyword::is) {
                    if (peek_at(1).keyword == Keyword::not_ && peek_at(1).kind == TokenKind::NAME) {
                        op = Op::IsNot;
                        next();
                    } else {
                        op = Op::Is;
                    }
                } else {
                    goto done;
                }
                break;
            default: goto done;
        }
        next();
        {
            Node* b = bitwise_or();
            if (!b) {
                reset(m);
                goto done;
            }
            ops_stack_.push_back(op);
            comparators.push_back(b);
        }
    }
done:
    if (ops_stack_.size() == ops_base) return a;
    auto* n = make<Compare>(span_from(start));
    n->left = a;
    n->ops = arena_.ops(ops_stack_.data() + ops_base, ops_stack_.size() - ops_base);
    ops_stack_.resize(ops_base);
    n->comparators = list(comparators);
    return &n->base;
}

namespace {
bool arithmetic(Op op) {
    return op == Op::Add || op == Op::Sub || op == Op::Mult || op == Op::Div || op == Op::Mod || op == Op::FloorDiv ||
           op == Op::MatMult;
}

struct BinRule {
    TokenKind tok;
    Op op;
};
}  // namespace

// Each binary level is its first operand then (operator operand)*; the
// `_rest` half continues from a first operand already parsed.
#define NORVEX_BINARY_RULE(NAME, NEXT, ...)                                \
    Node* Parser::NAME##_rest(Node* a, const Token& start) {               \
        static constexpr BinRule rules[] = {__VA_ARGS__};                  \
        for (;;) {                                                         \
            TokenKind k = peek().kind;                                     \
            const BinRule* r = nullptr;                                    \
            for (const BinRule& cand : rules)                              \
                if (cand.tok == k) r = &cand;                              \
            if (!r) return a;                                              \
            std::size_t m = mark();                                        \
            next();                                                        \
            if (error_pass_ && at_kw(Keyword::not_) && arithmetic(r->op)) invalid_not_operand(); \
            Node* b = NEXT();                                              \
            if (!b) {                                                      \
                reset(m);                                                  \
                return a;                                                  \
            }                                                              \
            auto* n = make<BinOp>(span_from(start));                       \
            n->left = a;                                                   \
            n->op = r->op;                                                 \
            n->right = b;                                                  \
            a = &n->base;                                                  \
        }                                                                  \
    }                                                                      \
    Node* Parser::NAME() {                                                 \
        const Token& start = peek();                                       \
        Node* a = NEXT();                                                  \
        if (!a) return nullptr;                                            \
        return NAME##_rest(a, start);                                      \
    }

NORVEX_BINARY_RULE(bitwise_xor, bitwise_and, {TokenKind::CIRCUMFLEX, Op::BitXor})
NORVEX_BINARY_RULE(bitwise_and, shift_expr, {TokenKind::AMPER, Op::BitAnd})
NORVEX_BINARY_RULE(shift_expr, sum, {TokenKind::LEFTSHIFT, Op::LShift}, {TokenKind::RIGHTSHIFT, Op::RShift})
NORVEX_BINARY_RULE(sum, term, {TokenKind::PLUS, Op::Add}, {TokenKind::MINUS, Op::Sub})
NORVEX_BINARY_RULE(term, factor, {TokenKind::STAR, Op::Mult}, {TokenKind::SLASH, Op::Div},
                   {TokenKind::DOUBLESLASH, Op::FloorDiv}, {TokenKind::PERCENT, Op::Mod}, {TokenKind::AT, Op::MatMult})

Node* Parser::bitwise_or_rest(Node* a, const Token& start) {
    for (;;) {
        if (!at(TokenKind::VBAR)) return a;
        std::size_t m = mark();
        next();
        Node* b = bitwise_xor();
        if (!b) {
            reset(m);
            return a;
        }
        auto* n = make<BinOp>(span_from(start));
        n->left = a;
        n->op = Op::BitOr;
        n->right = b;
        a = &n->base;
    }
}

// The levels from bitwise_or down to factor, climbed back from the factor
// without a call per level: most operands are a lone factor.
Node* Parser::bitwise_or() {
    const Token& start = peek();
    Node* a = factor();
    if (!a) return nullptr;
    return binary_rest(a, start);
}

Node* Parser::binary_rest(Node* a, const Token& start) {
    switch (peek().kind) {
        case TokenKind::STAR:
        case TokenKind::SLASH:
        case TokenKind::DOUBLESLASH:
        case TokenKind::PERCENT:
        case TokenKind::AT: a = term_rest(a, start); [[fallthrough]];
        case TokenKind::PLUS:
        case TokenKind::MINUS: a = sum_rest(a, start); [[fallthrough]];
        case TokenKind::LEFTSHIFT:
        case TokenKind::RIGHTSHIFT: a = shift_expr_rest(a, start); [[fallthrough]];
        case TokenKind::AMPER: a = bitwise_and_rest(a, start); [[fallthrough]];
        case TokenKind::CIRCUMFLEX: a = bitwise_xor_rest(a, start); [[fallthrough]];
        case TokenKind::VBAR: return bitwise_or_rest(a, start);
        default: return a;
    }
}
#undef NORVEX_BINARY_RULE

// Unary chains are collected in a loop; each operator costs one level, as in CPython.
Node* Parser::factor() {
    std::vector<const Token*> ops;
    for (;;) {
        TokenKind k = peek().kind;
        if (k != TokenKind::PLUS && k != TokenKind::MINUS && k != TokenKind::TILDE) break;
        ops.push_back(&next());
    }
    DepthGuard guard(*this, static_cast<int>(ops.size()) / 2);
    if (error_pass_ && !ops.empty() && at_kw(Keyword::not_)) invalid_not_operand();
    Node* a = power();
    if (!a) return nullptr;
    for (auto it = ops.rbegin(); it != ops.rend(); ++it) {
        auto* n = make<UnaryOp>(span_from(**it));
        n->op = (*it)->kind == TokenKind::PLUS ? Op::UAdd : (*it)->kind == TokenKind::MINUS ? Op::USub : Op::Invert;
        n->operand = a;
        a = &n->base;
    }
    return a;
}

Node* Parser::power() {
    const Token& start = peek();
    Node* a = await_primary();
    if (!a) return nullptr;
    return power_rest(a, start);
}

Node* Parser::power_rest(Node* a, const Token& start) {
    if (!at(TokenKind::DOUBLESTAR)) return a;
    std::size_t m = mark();
    next();
    DepthGuard guard(*this);
    Node* b = factor();
    if (!b) {
        reset(m);
        return a;
    }
    auto* n = make<BinOp>(span_from(start));
    n->left = a;
    n->op = Op::Pow;
    n->right = b;
    return &n->base;
}

Node* Parser::await_primary() {
    const Token& start = peek();
    if (accept_kw(Keyword::await)) {
        Node* a = primary();
        if (!a) return nullptr;
        auto* n = make<Await>(span_from(start));
        n->value = a;
        return &n->base;
    }
    return primary();
}

Node* Parser::primary() {
    const Token& start = peek();
    Node* a = atom();
    if (!a) return nullptr;
    return primary_trailers(a, start);
}

// Applies '.' NAME, '(' arguments ')' and '[' slices ']' trailers.
Node* Parser::primary_trailers(Node* a, const Token& start) {
    for (;;) {
        TokenKind k = peek().kind;
        if (k == TokenKind::DOT) {
            if (peek_at(1).kind != TokenKind::NAME || peek_at(1).keyword != Keyword::None_) return a;
            next();
            const Token& name = next();
            auto* n = make<Attribute>(span_from(start));
            n->value = a;
            n->attr = ident(name);
            n->ctx = ExprContext::Load;
            a = &n->base;
        } else if (k == TokenKind::LPAR) {
            std::size_t m = mark();
            Node* c = call(a, start);
            if (!c) {
                reset(m);
                return a;
            }
            a = c;
        } else if (k == TokenKind::LSQB) {
            std::size_t m = mark();
            next();
            Node* s = slices();
            if (!s || !accept(TokenKind::RSQB)) {
                reset(m);
                return a;
            }
            auto* n = make<Subscript>(span_from(start));
            n->value = a;
            n->slice = s;
            n->ctx = ExprContext::Load;
            a = &n->base;
        } else {
            return a;
        }
    }
}

Node* Parser::slices() {
    const Token& start = peek();
    Node* a = slice();
    if (!a) return nullptr;
    if (!at(TokenKind::COMMA) && !is<Starred>(a)) return a;
    Scratch elts_scratch(*this);
    std::vector<Node*>& elts = elts_scratch.v;
    elts.push_back(a);
    while (accept(TokenKind::COMMA)) {
        if (at(TokenKind::RSQB)) break;
        Node* e = slice();
        if (!e) return nullptr;
        elts.push_back(e);
    }
    auto* t = make<Tuple>(span_from(start));
    t->elts = list(elts);
    t->ctx = ExprContext::Load;
    return &t->base;
}

Node* Parser::slice() {
    const Token& start = peek();
    if (at(TokenKind::STAR)) {
        next();
        Node* v = expression();
        if (!v) return nullptr;
        auto* s = make<Starred>(span_from(start));
        s->value = v;
        s->ctx = ExprContext::Load;
        return &s->base;
    }
    Node* lower = nullptr;
    if (!at(TokenKind::COLON)) {
        lower = named_expression();
        if (!lower) return nullptr;
        if (!at(TokenKind::COLON)) return lower;
        // A slice bound is an expression: a bare walrus is not one, a parenthesised one is.
        if (is<NamedExpr>(lower) && start.kind != TokenKind::LPAR) return nullptr;
    }
    next();  // ':'
    Node* upper = nullptr;
    Node* step = nullptr;
    TokenKind k = peek().kind;
    if (k != TokenKind::COLON && k != TokenKind::COMMA && k != TokenKind::RSQB) {
        upper = expression();
        if (!upper) return nullptr;
    }
    if (accept(TokenKind::COLON)) {
        k = peek().kind;
        if (k != TokenKind::COMMA && k != TokenKind::RSQB) {
            step = expression();
            if (!step) return nullptr;
        }
    }
    auto* s = make<Slice>(span_from(start));
    s->lower = lower;
    s->upper = upper;
    s->step = step;
    return &s->base;
}

Node* Parser::atom() {
    const Token& t = peek();
    Position p{t.lineno, t.col_offset, t.end_lineno, t.end_col_offset};
    switch (t.kind) {
        case TokenKind::NAME: {
            auto make_const = [&](ConstantValue::Kind kind) {
                next();
                auto* c = make<Constant>(p);
                c->value.kind = kind;
                return &c->base;
            };
            switch (t.keyword) {
                case Keyword::None_: next(); return name_node(t, ExprContext::Load);
                case Keyword::True_: return make_const(ConstantValue::Kind::True);
                case Keyword::False_: return make_const(ConstantValue::Kind::False);
                case Keyword::None: return make_const(ConstantValue::Kind::None);
                default: return nullptr;
            }
        }
        case TokenKind::NUMBER: {
            ConstantValue v;
            if (!number(t, v)) return nullptr;
            next();
            auto* c = make<Constant>(p);
            c->value = v;
            return &c->base;
        }
        case TokenKind::STRING:
        case TokenKind::FSTRING_START:
        case TokenKind::TSTRING_START: return strings();
        case TokenKind::LPAR: return paren_atom();
        case TokenKind::LSQB: return list_atom();
        case TokenKind::LBRACE: return brace_atom();
        case TokenKind::ELLIPSIS: {
            next();
            auto* c = make<Constant>(p);
            c->value.kind = ConstantValue::Kind::Ellipsis;
            return &c->base;
        }
        default: return nullptr;
    }
}

// '(' ... ')': tuple, group or generator expression.
Node* Parser::paren_atom() {
    DepthGuard guard(*this, 8);
    const Token& start = next();
    if (accept(TokenKind::RPAR)) {
        auto* t = make<Tuple>(span_from(start));
        t->ctx = ExprContext::Load;
        return &t->base;
    }
    if (at_kw(Keyword::yield)) {
        Node* y = yield_expr();
        if (!y || !accept(TokenKind::RPAR)) return nullptr;
        return y;
    }
    if (error_pass_ && at(TokenKind::DOUBLESTAR)) {
        const Token& stars = next();
        if (without_invalid([&] { return expression(); }) && at(TokenKind::RPAR))
            raise("cannot use double starred expression here", stars, stars);
        return nullptr;
    }
    Node* e = star_named_expression();
    if (!e) return nullptr;
    if (at_kw(Keyword::for_) || (at_kw(Keyword::async) && peek_at(1).keyword == Keyword::for_)) {
        if (is<Starred>(e)) {
            if (error_pass_) raise_node("iterable unpacking cannot be used in comprehension", e);
            return nullptr;
        }
        Scratch gens_scratch(*this);
        std::vector<Node*>& gens = gens_scratch.v;
        if (!for_if_clauses(gens) || !accept(TokenKind::RPAR)) return nullptr;
        auto* g = make<GeneratorExp>(span_from(start));
        g->elt = e;
        g->generators = list(gens);
        return &g->base;
    }
    if (accept(TokenKind::COMMA)) {
        Scratch elts_scratch(*this);
        std::vector<Node*>& elts = elts_scratch.v;
        elts.push_back(e);
        if (!star_named_expressions(elts, TokenKind::RPAR) || !accept(TokenKind::RPAR)) return nullptr;
        auto* t = make<Tuple>(span_from(start));
        t->elts = list(elts);
        t->ctx = ExprContext::Load;
        return &t->base;
    }
    if (!at(TokenKind::RPAR)) return nullptr;
    if (is<Starred>(e)) {
        if (error_pass_) raise_node("cannot use starred expression here", e);
        return nullptr;
    }
    next();
    return e;
}

Node* Parser::list_atom() {
    DepthGuard guard(*this, 8);
    const Token& start = next();
    Scratch elts_scratch(*this);
    std::vector<Node*>& elts = elts_scratch.v;
    if (!at(TokenKind::RSQB)) {
        Node* e = star_named_expression();
        if (!e) return nullptr;
        if (at_kw(Keyword::for_) || (at_kw(Keyword::async) && peek_at(1).keyword == Keyword::for_)) {
            if (is<Starred>(e)) {
                if (error_pass_) raise_node("iterable unpacking cannot be used in comprehension", e);
                return nullptr;
            }
            Scratch gens_scratch(*this);
            std::vector<Node*>& gens = gens_scratch.v;
            if (!for_if_clauses(gens) || !accept(TokenKind::RSQB)) return nullptr;
            auto* g = make<ListComp>(span_from(start));
            g->elt = e;
            g->generators = list(gens);
            return &g->base;
        }
        elts.push_back(e);
        if (accept(TokenKind::COMMA)) {
            if (error_pass_) invalid_comprehension(start, elts);
            if (!star_named_expressions(elts, TokenKind::RSQB)) return nullptr;
        }
    }
    if (!accept(TokenKind::RSQB)) {
        if (error_pass_) {
            invalid_comprehension(start, elts);
            invalid_starred_display(start);
        }
        return nullptr;
    }
    auto* l = make<List>(span_from(start));
    l->elts = list(elts);
    l->ctx = ExprContext::Load;
    return &l->base;
}

// '{' ... '}': dict, set and their comprehensions. The dict's own error rule
// (invalid_double_starred_kvpairs) sits in an alternative with the braces
// around it, which CPython's parser runs in every pass, invalid rules on or
// off: its three errors are raised wherever a dict is read.
Node* Parser::brace_atom() {
    DepthGuard guard(*this, 8);
    // CPython's answers show the elements of a set and the keys of a dict
    // read with the invalid rules on even inside a plain read (its dict rule
    // runs its error rule in every pass); the values are not.
    auto with_invalid_in_plain_read = [&](auto f) {
        const bool saved = error_pass_;
        if (memo_ && plain_depth_ > 0) error_pass_ = true;
        struct Restore {
            bool& flag;
            bool value;
            ~Restore() { flag = value; }
        } restore{error_pass_, saved};
        return f();
    };
    const Token& start = next();
    if (accept(TokenKind::RBRACE)) return &make<Dict>(span_from(start))->base;
    bool comp_next = false;
    auto at_for = [&] {
        comp_next = at_kw(Keyword::for_) || (at_kw(Keyword::async) && peek_at(1).keyword == Keyword::for_);
        return comp_next;
    };
    Scratch keys_scratch(*this);
    std::vector<Node*>& keys = keys_scratch.v;
    Scratch values_scratch(*this);
    std::vector<Node*>& values = values_scratch.v;
    auto dict_items = [&]() -> bool {
        // After the first pair: (',' (kvpair | '**' bitwise_or))* [',']
        while (accept(TokenKind::COMMA)) {
            if (at(TokenKind::RBRACE)) break;
            if (accept(TokenKind::DOUBLESTAR)) {
                Node* v = bitwise_or();
                if (!v) return false;
                keys.push_back(nullptr);
                values.push_back(v);
                continue;
            }
            // After a complete pair, a key without ':' is reported as such
            // before the expression rules get to look at what follows it.
            if (error_pass_) {
                std::size_t m = mark();
                Node* key = without_invalid([&] { return expression(); });
                if (key && !at(TokenKind::COLON)) {
                    try {
                        raise_at("':' expected after dictionary key", key->pos.lineno, key->pos.end_col_offset - 1,
                                 key->pos.end_lineno, key->pos.end_col_offset);
                    } catch (ParseFailure& f) {
                        f.error.end_offset = 0;
                        throw;
                    }
                }
                reset(m);
            }
            Node* k = with_invalid_in_plain_read([&] { return expression(); });
            if (!k) return false;
            if (!accept(TokenKind::COLON)) {
                {
                    // CPython points at the key's last character and leaves the end at 0.
                    try {
                        raise_at("':' expected after dictionary key", k->pos.lineno, k->pos.end_col_offset - 1,
                                 k->pos.end_lineno, k->pos.end_col_offset);
                    } catch (ParseFailure& f) {
                        f.error.end_offset = 0;
                        throw;
                    }
                }
                return false;
            }
            if (at(TokenKind::RBRACE) || at(TokenKind::COMMA))
                raise("expression expected after dictionary key and ':'", prev(), prev());
            if (at(TokenKind::STAR)) {
                Node* s = without_invalid([&] { return star_named_expression(); });
                if (s) raise_node("cannot use a starred expression in a dictionary value", s);
            }
            Node* v = expression();
            if (!v) return false;
            keys.push_back(k);
            values.push_back(v);
        }
        return accept(TokenKind::RBRACE) != nullptr;
    };
    auto make_dict = [&]() {
        auto* d = make<Dict>(span_from(start));
        d->keys = list(keys);
        d->values = list(values);
        return &d->base;
    };
    if (at(TokenKind::DOUBLESTAR)) {
        const Token& stars = next();
        Node* v = bitwise_or();
        if (!v) return nullptr;
        if (error_pass_ && at_kw(Keyword::for_)) raise("dict unpacking cannot be used in dict comprehension", stars, stars);
        keys.push_back(nullptr);
        values.push_back(v);
        if (!dict_items()) return nullptr;
        return make_dict();
    }
    const Token& first = peek();
    Node* e = with_invalid_in_plain_read([&] { return star_named_expression(); });
    if (!e) return nullptr;
    // A dict key is an expression: a bare walrus or star is not one, a parenthesised walrus is.
    if (at(TokenKind::COLON) && !is<Starred>(e) && (!is<NamedExpr>(e) || first.kind == TokenKind::LPAR)) {
        next();
        if (at(TokenKind::RBRACE) || at(TokenKind::COMMA))
            raise("expression expected after dictionary key and ':'", prev(), prev());
        if (at(TokenKind::STAR)) {
            Node* s = without_invalid([&] { return star_named_expression(); });
            if (s) raise_node("cannot use a starred expression in a dictionary value", s);
        }
        Node* v = expression();
        if (!v) return nullptr;
        if (at_for()) {
            Scratch gens_scratch(*this);
            std::vector<Node*>& gens = gens_scratch.v;
            if (!for_if_clauses(gens) || !accept(TokenKind::RBRACE)) return nullptr;
            auto* g = make<DictComp>(span_from(start));
            g->key = e;
            g->value = v;
            g->generators = list(gens);
            return &g->base;
        }
        keys.push_back(e);
        values.push_back(v);
        if (!dict_items()) return nullptr;
        return make_dict();
    }
    if (at_for()) {
        if (is<Starred>(e)) {
            if (error_pass_) raise_node("iterable unpacking cannot be used in comprehension", e);
            return nullptr;
        }
        Scratch gens_scratch(*this);
        std::vector<Node*>& gens = gens_scratch.v;
        if (!for_if_clauses(gens) || !accept(TokenKind::RBRACE)) return nullptr;
        auto* g = make<SetComp>(span_from(start));
        g->elt = e;
        g->generators = list(gens);
        return &g->base;
    }
    Scratch elts_scratch(*this);
    std::vector<Node*>& elts = elts_scratch.v;
    elts.push_back(e);
    if (accept(TokenKind::COMMA)) {
        if (error_pass_) invalid_comprehension(start, elts);
        if (!with_invalid_in_plain_read([&] { return star_named_expressions(elts, TokenKind::RBRACE); })) return nullptr;
    }
    if (!accept(TokenKind::RBRACE)) {
        if (error_pass_) invalid_comprehension(start, elts);
        return nullptr;
    }
    auto* s = make<Set>(span_from(start));
    s->elts = list(elts);
    return &s->base;
}

bool Parser::for_if_clauses(std::vector<Node*>& out) {
    for (;;) {
        int is_async = 0;
        if (at_kw(Keyword::async) && peek_at(1).keyword == Keyword::for_) {
            next();
            is_async = 1;
        } else if (!at_kw(Keyword::for_)) {
            return !out.empty();
        }
        next();
        if (error_pass_) invalid_for_if_clause();
        std::size_t target_at = mark();
        Node* target = star_targets();
        if (!target || !accept_kw(Keyword::in)) {
            if (error_pass_) invalid_targets(target_at, ExprContext::Store);
            return false;
        }
        Node* iter = disjunction();
        if (!iter) return false;
        Scratch ifs_scratch(*this);
        std::vector<Node*>& ifs = ifs_scratch.v;
        while (accept_kw(Keyword::if_)) {
            Node* c = disjunction();
            if (!c) return false;
            ifs.push_back(c);
        }
        auto* comp = make<comprehension>({});
        comp->target = target;
        comp->iter = iter;
        comp->ifs = list(ifs);
        comp->is_async = is_async;
        out.push_back(&comp->base);
    }
}

Node* Parser::annotated_rhs() { return at_kw(Keyword::yield) ? yield_expr() : star_expressions(); }

Node* Parser::lambdef() {
    const Token& start = next();  // 'lambda'
    Node* args = nullptr;
    if (!at(TokenKind::COLON)) {
        args = params(true);
        if (!args) return nullptr;
    } else {
        args = empty_arguments();
    }
    if (!accept(TokenKind::COLON)) return nullptr;
    if (error_pass_ && (at(TokenKind::FSTRING_MIDDLE) || at(TokenKind::TSTRING_MIDDLE)))
        raise(std::string(at(TokenKind::TSTRING_MIDDLE) ? "t-string" : "f-string") +
                  ": lambda expressions are not allowed without parentheses",
              start, prev());
    Node* body = expression();
    if (!body) return nullptr;
    auto* l = make<Lambda>(span_from(start));
    l->args = args;
    l->body = body;
    return &l->base;
}

// --- targets -------------------------------------------------------------------

Node* Parser::star_targets() { return comma_tuple(&Parser::star_target, ExprContext::Store); }

Node* Parser::star_target() {
    const Token& start = peek();
    if (accept(TokenKind::STAR)) {
        if (at(TokenKind::STAR)) return nullptr;
        DepthGuard guard(*this);
        Node* a = star_target();
        if (!a) return nullptr;
        auto* s = make<Starred>(span_from(start));
        s->value = a;
        s->ctx = ExprContext::Store;
        return &s->base;
    }
    return target_atom(ExprContext::Store);
}

// A primary that the statement uses as a target: a name, attribute,
// subscript, or a parenthesised/bracketed sequence of targets.
Node* Parser::target_atom(ExprContext ctx) {
    std::size_t m = mark();
    Node* e = primary();
    if (!e) return nullptr;
    if (!set_context(e, ctx)) {
        reset(m);
        return nullptr;
    }
    return e;
}

bool Parser::set_context(Node* e, ExprContext ctx) {
    switch (e->kind) {
        case NodeKind::Name: as<Name>(e)->ctx = ctx; return true;
        case NodeKind::Attribute: as<Attribute>(e)->ctx = ctx; return true;
        case NodeKind::Subscript: as<Subscript>(e)->ctx = ctx; return true;
        case NodeKind::Starred:
            if (ctx == ExprContext::Del) return false;
            as<Starred>(e)->ctx = ctx;
            return set_context(as<Starred>(e)->value, ctx);
        case NodeKind::Tuple:
            for (Node* x : as<Tuple>(e)->elts)
                if (!set_context(x, ctx)) return false;
            as<Tuple>(e)->ctx = ctx;
            return true;
        case NodeKind::List:
            for (Node* x : as<List>(e)->elts)
                if (!set_context(x, ctx)) return false;
            as<List>(e)->ctx = ctx;
            return true;
        default: return false;
    }
}

}  // namespace norvex::pyast
