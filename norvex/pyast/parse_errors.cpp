// The error pass's specific messages (the grammar's invalid_* rules).
#include "norvex/pyast/parser.hpp"

namespace norvex::pyast {

// invalid_block-style rules: a block header followed by a line that is not indented.
void Parser::invalid_block_after(const Token& kw, std::string_view what) {
    if (!at(TokenKind::NEWLINE) || peek_at(1).kind == TokenKind::INDENT) return;
    const Token& newline = peek();
    const Token& t = peek_at(1);
    // At the end of the input CPython points after the header's line and leaves the end unknown.
    bool at_end = t.kind == TokenKind::ENDMARKER;
    if (t.kind == TokenKind::DEDENT) {
        // DEDENTs before the end of the input have no column; those at the end stand where it is.
        at_end = true;
        for (std::size_t i = pos_ + 1; i < tokens_.size() && at_end; ++i)
            at_end = tokens_[i].kind == TokenKind::DEDENT || tokens_[i].kind == TokenKind::ENDMARKER;
        if (!at_end) {
            SyntaxError e;
            e.type = SyntaxError::Type::IndentationError;
            e.msg = "expected an indented block after " + std::string(what) + " on line " + std::to_string(kw.lineno);
            e.lineno = e.end_lineno = t.lineno;
            // CPython's tokenizer stands after the line's indentation (ASCII,
            // so its bytes are characters), before the first token.
            std::size_t j = pos_ + 1;
            while (j < tokens_.size() && tokens_[j].kind == TokenKind::DEDENT) ++j;
            e.offset = j < tokens_.size() && tokens_[j].lineno == t.lineno ? tokens_[j].col_offset : 0;
            e.end_offset = -1;
            throw ParseFailure{std::move(e), furthest_};
        }
    }
    const Token& where = at_end ? newline : t;
    std::string msg = "expected an indented block after ";
    msg += what;
    msg += " on line " + std::to_string(kw.lineno);
    try {
        raise(std::move(msg), where, where);
    } catch (ParseFailure& f) {
        f.error.type = SyntaxError::Type::IndentationError;
        if (at_end) {
            // Where CPython's tokenizer stands at the end: the end of the last line.
            std::string_view text = source_;
            if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
            if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
            std::size_t line_start = text.rfind('\n');
            line_start = line_start == std::string_view::npos ? 0 : line_start + 1;
            int line = 1;
            for (char c : text)
                if (c == '\n') ++line;
            int col = 1;
            for (std::size_t i = line_start; i < text.size(); ++i)
                if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++col;
            f.error.lineno = f.error.end_lineno = line;
            f.error.offset = col;
            f.error.end_offset = -1;
        }
        throw;
    }
}

std::string Parser::target_kind_name(const Node* e) const {
    switch (e->kind) {
        case NodeKind::Attribute: return "attribute";
        case NodeKind::Subscript: return "subscript";
        case NodeKind::Starred: return "starred";
        case NodeKind::Name: return "name";
        case NodeKind::List: return "list";
        case NodeKind::Tuple: return "tuple";
        case NodeKind::Lambda: return "lambda";
        case NodeKind::Call: return "function call";
        case NodeKind::BoolOp:
        case NodeKind::BinOp:
        case NodeKind::UnaryOp: return "expression";
        case NodeKind::GeneratorExp: return "generator expression";
        case NodeKind::Yield:
        case NodeKind::YieldFrom: return "yield expression";
        case NodeKind::Await: return "await expression";
        case NodeKind::ListComp: return "list comprehension";
        case NodeKind::SetComp: return "set comprehension";
        case NodeKind::DictComp: return "dict comprehension";
        case NodeKind::Dict: return "dict literal";
        case NodeKind::Set: return "set display";
        case NodeKind::JoinedStr:
        case NodeKind::FormattedValue: return "f-string expression";
        case NodeKind::TemplateStr:
        case NodeKind::Interpolation: return "t-string expression";
        case NodeKind::Constant: {
            auto k = as<Constant>(e)->value.kind;
            if (k == ConstantValue::Kind::None) return "None";
            if (k == ConstantValue::Kind::True) return "True";
            if (k == ConstantValue::Kind::False) return "False";
            if (k == ConstantValue::Kind::Ellipsis) return "ellipsis";
            return "literal";
        }
        case NodeKind::Compare: return "comparison";
        case NodeKind::IfExp: return "conditional expression";
        case NodeKind::NamedExpr: return "named expression";
        default: return "expression";
    }
}

// The innermost part of `e` that cannot be a target, or null when `e` can be one.
const Node* Parser::invalid_target(Node* e, ExprContext ctx) const {
    switch (e->kind) {
        case NodeKind::Name:
        case NodeKind::Attribute:
        case NodeKind::Subscript: return nullptr;
        case NodeKind::Starred:
            if (ctx == ExprContext::Del) return e;
            return invalid_target(as<Starred>(e)->value, ctx);
        case NodeKind::Tuple:
            for (Node* x : as<Tuple>(e)->elts)
                if (const Node* bad = invalid_target(x, ctx)) return bad;
            return nullptr;
        case NodeKind::List:
            for (Node* x : as<List>(e)->elts)
                if (const Node* bad = invalid_target(x, ctx)) return bad;
            return nullptr;
        case NodeKind::Compare:
            // "for x in y" parsed as an expression ends up as a comparison: its left side is the target.
            if (ctx == ExprContext::Store && as<Compare>(e)->ops[0] == Op::In)
                return invalid_target(as<Compare>(e)->left, ctx);
            return e;
        default: return e;
    }
}

void Parser::check_target(Node* e, ExprContext ctx, bool augmented) {
    if (augmented) {
        raise_node("'" + target_kind_name(e) + "' is an illegal expression for augmented assignment", e);
    }
    if (at(TokenKind::COLONEQUAL)) {
        raise_node("cannot use assignment expressions with " + target_kind_name(e), e);
    }
    if (is<Yield>(e) || is<YieldFrom>(e)) raise_node("assignment to yield expression not possible", e);
    const Node* bad = invalid_target(e, ctx);
    if (!bad) return;
    if (ctx == ExprContext::Del) raise_node("cannot delete " + target_kind_name(bad), bad);
    raise_node("cannot assign to " + target_kind_name(bad), bad);
}

int Parser::level_of(std::size_t i) {
    if (levels_.empty()) {
        levels_.reserve(tokens_.size());
        int level = 0;
        for (const Token& t : tokens_) {
            switch (t.kind) {
                case TokenKind::RPAR:
                case TokenKind::RSQB:
                case TokenKind::RBRACE:
                    if (level > 0) --level;
                    levels_.push_back(level);
                    break;
                case TokenKind::LPAR:
                case TokenKind::LSQB:
                case TokenKind::LBRACE:
                    levels_.push_back(level);
                    ++level;
                    break;
                default: levels_.push_back(level);
            }
        }
    }
    return levels_[i < levels_.size() ? i : levels_.size() - 1];
}

namespace {
bool is_legacy_name(const Node* e) {
    const Name* n = as<Name>(e);
    return n && (n->id == "print" || n->id == "exec");
}
}  // namespace

// invalid_legacy_expression: NAME !'(' star_expressions, an error for print
// and exec only. The grammar reads the star_expressions after any name, with
// the invalid_* rules on, before it looks at the name: an error inside them
// (`a {b c}`) is raised from here.
void Parser::invalid_legacy_expression(std::size_t start_index) {
    const Token& t = token_at(start_index);
    if (t.kind != TokenKind::NAME || t.keyword != Keyword::None_) return;
    if (token_at(start_index + 1).kind == TokenKind::LPAR) return;
    std::size_t m = mark();
    reset(start_index + 1);
    Node* b = star_expressions();
    if (b && (text(t) == "print" || text(t) == "exec")) {
        std::string name(text(t));
        raise_at("Missing parentheses in call to '" + name + "'. Did you mean " + name + "(...)?", t.lineno,
                 t.col_offset, b->pos.end_lineno, b->pos.end_col_offset);
    }
    reset(m);
}

// invalid_expression: a disjunction directly followed by another expression
// inside brackets ("Perhaps you forgot a comma?"), or an 'if' without 'else'.
void Parser::invalid_expression_after(Node* a, std::size_t start_index) {
    // Tokens live in chunks: the one after `start` is found by index, never by address.
    const Token& start = token_at(start_index);
    std::size_t m = mark();
    if (at_kw(Keyword::if_)) {
        next();
        // The condition is read with the invalid rules on, as the grammar's
        // `a=disjunction 'if' b=disjunction` does: an error inside it wins.
        Node* b = disjunction();
        if (b && !at_kw(Keyword::else_) && !at(TokenKind::COLON))
            raise_range("expected 'else' after 'if' expression", a, b);
        if (b && accept_kw(Keyword::else_)) {
            std::size_t after = mark();
            // The grammar's `!expression` reads with the invalid rules on.
            Node* c = expression();
            reset(after);
            if (!c) {
                const Token& t = peek();
                raise("expected expression after 'else', but statement is given", t, t);
            }
        }
        reset(m);
        return;
    }
    // A hard keyword is its own token kind in CPython's grammar, not NAME:
    // `True 'a'` still earns the hint.
    bool name_then_string = start.kind == TokenKind::NAME && start.keyword == Keyword::None_ &&
                            token_at(start_index + 1).kind == TokenKind::STRING;
    if (name_then_string || (start.kind == TokenKind::NAME && start.soft != SoftKeyword::none)) return;
    const Token& t = peek();
    switch (t.kind) {
        case TokenKind::NAME:
            if (t.keyword != Keyword::None_ && t.keyword != Keyword::None && t.keyword != Keyword::True_ &&
                t.keyword != Keyword::False_ && t.keyword != Keyword::lambda && t.keyword != Keyword::not_ &&
                t.keyword != Keyword::await)
                return;
            break;
        case TokenKind::NUMBER:
        case TokenKind::STRING:
        case TokenKind::FSTRING_START:
        case TokenKind::TSTRING_START:
        case TokenKind::LPAR:
        case TokenKind::LSQB:
        case TokenKind::LBRACE:
        case TokenKind::MINUS:
        case TokenKind::PLUS:
        case TokenKind::TILDE:
        case TokenKind::ELLIPSIS: break;
        default: return;
    }
    Node* b = expression_without_invalid();
    if (b && !is_legacy_name(a) && level_of(mark() - 1) > 0)
        raise_range("invalid syntax. Perhaps you forgot a comma?", a, b);
    reset(m);
}

// invalid_named_expression's '=' alternatives; the parser is at the '=' after `e`.
void Parser::invalid_named_assignment(Node* e) {
    std::size_t m = mark();
    const Token& eq = peek();
    if (eq.kind != TokenKind::EQUAL) return;
    // `e` must be one NAME token for the first message, a bitwise_or (not
    // a list, tuple, generator, True, None or False) for the second. The
    // value is only read when one applies: how far the parser looked decides
    // whether an unclosed bracket wins.
    const Token& before = tokens_[m - 1];
    bool is_name = is<Name>(e) && before.kind == TokenKind::NAME && e->pos.col_offset == before.col_offset &&
                   e->pos.lineno == before.lineno;
    // A parenthesised expression is an atom, so any kind qualifies but a tuple or generator.
    bool parenthesised = before.kind == TokenKind::RPAR &&
                         (e->pos.end_lineno != before.end_lineno || e->pos.end_col_offset != before.end_col_offset);
    bool qualifies = true;
    switch (e->kind) {
        case NodeKind::Tuple:
        case NodeKind::GeneratorExp: qualifies = false; break;
        case NodeKind::Compare:
        case NodeKind::BoolOp:
        case NodeKind::IfExp:
        case NodeKind::Lambda:
        case NodeKind::List:
        case NodeKind::NamedExpr:
        case NodeKind::Starred: qualifies = parenthesised; break;
        case NodeKind::UnaryOp:
            if (as<UnaryOp>(e)->op == Op::Not) qualifies = parenthesised;
            break;
        case NodeKind::Constant: {
            auto k = as<Constant>(e)->value.kind;
            if (k == ConstantValue::Kind::True || k == ConstantValue::Kind::False || k == ConstantValue::Kind::None)
                qualifies = parenthesised;
            break;
        }
        default: break;
    }
    if (!is_name && !qualifies) return;
    next();
    Node* b = without_invalid([&] { return bitwise_or(); });
    bool ends = b && !at(TokenKind::EQUAL) && !at(TokenKind::COLONEQUAL);
    reset(m);
    if (!ends) return;
    if (is_name) raise_range("invalid syntax. Maybe you meant '==' or ':=' instead of '='?", e, b);
    raise_node("cannot assign to " + target_kind_name(e) + " here. Maybe you meant '==' instead of '='?", e);
}

void Parser::expected_names() { raise_starting_from("Expected one or more names after 'import'", peek()); }

// From `from` to where the parser had looked (the start of the furthest token).
void Parser::raise_starting_from(std::string msg, const Token& from) {
    peek();
    const Token& last = tokens_[furthest_];
    raise_at(std::move(msg), from.lineno, from.col_offset, last.lineno, last.col_offset < 0 ? 0 : last.col_offset);
}

// invalid_comprehension reaches `'*' expression` after an opening bracket, so
// the expression rules' own messages apply to a starred first element.
void Parser::invalid_starred_display(const Token& open) {
    std::size_t m = mark();
    reset(tokens_.index_of(open) + 1);
    if (accept(TokenKind::STAR)) expression();
    reset(m);
}

// invalid_dotted_as_name / invalid_import_from_as_name, just after 'as'.
void Parser::invalid_import_target() {
    if (at_name()) {
        TokenKind k = peek_at(1).kind;
        if (k == TokenKind::COMMA || k == TokenKind::RPAR || k == TokenKind::NEWLINE) return;
    }
    std::size_t m = mark();
    Node* e = without_invalid([&] { return expression(); });
    if (e) raise_node("cannot use " + target_kind_name(e) + " as import target", e);
    reset(m);
}

// invalid_for_if_clause, just after 'for': targets not followed by 'in'.
void Parser::invalid_for_if_clause() {
    std::size_t m = mark();
    bool any = false;
    for (;;) {
        Node* e = without_invalid([&] { return bitwise_or(); });
        if (!e) break;
        any = true;
        if (!accept(TokenKind::COMMA)) break;
    }
    if (any && !at_kw(Keyword::in)) raise_at_last_token("'in' expected after for-loop variables");
    reset(m);
}

// invalid_parameters / invalid_lambda_parameters: '(' names ','? ')' in a parameter list.
void Parser::invalid_parenthesised_params(bool lambda) {
    std::size_t m = mark();
    const Token& open = next();
    bool any = false;
    for (;;) {
        if (!at_name()) break;
        next();
        if (!lambda && at(TokenKind::COLON)) {
            next();
            if (!without_invalid([&] { return expression(); })) break;
        }
        any = true;
        if (!accept(TokenKind::COMMA)) break;
    }
    if (any && at(TokenKind::RPAR))
        raise(lambda ? "Lambda expression parameters cannot be parenthesized" : "Function parameters cannot be parenthesized",
              open, peek());
    reset(m);
}

// invalid_expression: STRING (!STRING expression)+ STRING, text between two strings.
void Parser::invalid_string_juxtaposition() {
    if (!at(TokenKind::STRING) || peek_at(1).kind == TokenKind::STRING) return;
    std::size_t m = mark();
    next();
    Node* first = nullptr;
    Node* last = nullptr;
    while (!at(TokenKind::STRING)) {
        Node* e = expression_without_invalid();
        if (!e) break;
        if (!first) first = e;
        last = e;
    }
    if (first && at(TokenKind::STRING))
        raise_range("invalid syntax. Is this intended to be part of the string?", first, last);
    reset(m);
}

// invalid_arithmetic / invalid_factor: an operator directly followed by 'not'.
void Parser::invalid_not_operand() {
    std::size_t m = mark();
    const Token& kw = next();
    // The operand is read with the invalid rules on, as the grammar's rule does.
    Node* b = inversion();
    if (b) raise_at("'not' after an operator must be parenthesized", kw.lineno, kw.col_offset, b->pos.end_lineno,
                    b->pos.end_col_offset);
    reset(m);
}

// A forced ':' reports the token in its place; the NEWLINE rules report,
// like every message without a location, the last token read so far.
// invalid_type_param: a bound or constraints on *Ts or **P (at the ':').
void Parser::invalid_type_param_bound(const char* kind) {
    std::size_t m = mark();
    const Token& colon = next();
    Node* e = without_invalid([&] { return expression(); });
    if (e)
        raise_starting_from(std::string(is<Tuple>(e) ? "cannot use constraints with " : "cannot use bound with ") + kind,
                            colon);
    reset(m);
}

// invalid_expression: `pass if x else <statement>` and the like.
void Parser::invalid_statement_before_if(const Token& stmt) {
    std::size_t m = mark();
    next();
    if (without_invalid([&] { return disjunction(); }) && accept_kw(Keyword::else_) &&
        without_invalid([&] { return simple_stmt(); }))
        raise("expected expression before 'if', but statement is given", stmt, stmt);
    reset(m);
}

// invalid_comprehension: the elements `elts` of a '[' or '{' display are
// followed by 'for' (the parser is at it).
void Parser::invalid_comprehension(const Token& open, const std::vector<Node*>& elts) {
    if (elts.empty() || open.kind == TokenKind::LPAR || !at_kw(Keyword::for_)) return;
    const char* msg = "did you forget parentheses around the comprehension target?";
    if (elts.size() >= 2) raise_range(msg, elts[0], elts.back());
    if (prev().kind == TokenKind::COMMA)
        raise_at(msg, elts[0]->pos.lineno, elts[0]->pos.col_offset, prev().end_lineno, prev().end_col_offset);
}

void Parser::invalid_targets(std::size_t at, ExprContext ctx) {
    std::size_t m = mark();
    reset(at);
    Node* e = without_invalid([&] { return star_expressions(); });
    reset(m);
    if (!e) return;
    const Node* bad = invalid_target(e, ctx);
    if (!bad) return;
    raise_node((ctx == ExprContext::Del ? "cannot delete " : "cannot assign to ") + target_kind_name(bad), bad);
}

void Parser::expect_colon(bool forced) {
    if (forced) raise("expected ':'", peek(), peek());
    if (at(TokenKind::NEWLINE)) raise_at_last_token("expected ':'");
}

void Parser::raise_at_last_token(std::string msg) {
    peek();
    std::size_t i = std::max(furthest_, prior_furthest_);
    const Token& last = tokens_[i];
    // The end of input has no column either: CPython counts to where its
    // tokenizer stopped, past the end of the last line it read.
    if (last.kind == TokenKind::DEDENT || last.kind == TokenKind::ENDMARKER) {
        SyntaxError e = error_at_dedent(i);
        e.msg = std::move(msg);
        throw ParseFailure{std::move(e), furthest_};
    }
    if (last.kind == TokenKind::INDENT) {
        // An INDENT has no column either: CPython's tokenizer stands after
        // the indentation it has just read.
        SyntaxError e;
        e.msg = std::move(msg);
        e.lineno = e.end_lineno = last.lineno;
        e.offset = token_at(i + 1).col_offset;  // the indentation is ASCII: bytes are characters
        e.end_offset = -1;
        throw ParseFailure{std::move(e), furthest_};
    }
    raise(std::move(msg), last, last);
}

// A DEDENT has no column; CPython then reports where its tokenizer stands:
// in the dedented line's indentation, or past the end of the line it was
// reading ahead on, and no end.
SyntaxError Parser::error_at_dedent(std::size_t i) const {
    std::size_t j = i;
    while (j < tokens_.size() && tokens_[j].kind == TokenKind::DEDENT) ++j;
    const Token& dedent = tokens_[i];
    const Token& next_tok = tokens_[j < tokens_.size() ? j : tokens_.size() - 1];
    std::size_t start = 0;
    for (int l = 1; l < dedent.lineno && start < source_.size(); ++l) {
        std::size_t nl = source_.find('\n', start);
        start = nl == std::string_view::npos ? source_.size() : nl + 1;
    }
    auto chars = [&](std::size_t from, std::size_t to) {
        int n = 0;
        for (std::size_t q = from; q < to && q < source_.size(); ++q)
            if ((static_cast<unsigned char>(source_[q]) & 0xC0) != 0x80) ++n;
        return n;
    };
    SyntaxError e;
    e.lineno = e.end_lineno = dedent.lineno;
    e.end_offset = -1;
    if (next_tok.lineno == dedent.lineno && next_tok.col_offset >= 0) {
        e.offset = chars(start, next_tok.start);
    } else {
        std::size_t stop = source_.find('\n', start);
        if (stop == std::string_view::npos) stop = source_.size();
        if (stop > start && source_[stop - 1] == '\r') --stop;
        e.offset = chars(start, stop) + 1;
    }
    return e;
}

// invalid_kwarg, at the start of one call argument.
void Parser::invalid_kwarg() {
    // Looking past the first token only after a NAME, as the grammar does:
    // how far the parser looked decides whether an unclosed bracket wins.
    const Token& t = peek();
    if (t.kind != TokenKind::NAME) {
        if (t.kind == TokenKind::STAR) return;
    } else if (t.keyword == Keyword::True_ || t.keyword == Keyword::False_ || t.keyword == Keyword::None) {
        if (peek_at(1).kind == TokenKind::EQUAL) raise("cannot assign to " + std::string(text(t)), t, peek_at(1));
    }
    const Token& n = at_name() ? peek_at(1) : t;
    if (at_name() && n.kind == TokenKind::EQUAL) {
        std::size_t m = mark();
        next();
        next();
        if (at(TokenKind::COMMA) || at(TokenKind::RPAR)) raise("expected argument value expression", t, n);
        Node* v = without_invalid([&] { return expression(); });
        if (v && (at_kw(Keyword::for_) || (at_kw(Keyword::async) && peek_at(1).keyword == Keyword::for_))) {
            Scratch gens_scratch(*this);
            std::vector<Node*>& gens = gens_scratch.v;
            if (without_invalid([&] { return for_if_clauses(gens); }))
                raise("invalid syntax. Maybe you meant '==' or ':=' instead of '='?", t, n);
        }
        reset(m);
        return;
    }
    if (t.kind == TokenKind::DOUBLESTAR) {
        std::size_t m = mark();
        next();
        if (without_invalid([&] { return expression(); }) && accept(TokenKind::EQUAL)) {
            Node* b = without_invalid([&] { return expression(); });
            if (b) raise_at("cannot assign to keyword argument unpacking", t.lineno, t.col_offset, b->pos.end_lineno,
                            b->pos.end_col_offset);
        }
        reset(m);
        return;
    }
    std::size_t m = mark();
    Node* a = without_invalid([&] { return expression(); });
    if (a && at(TokenKind::EQUAL)) {
        const Token& eq = peek();
        raise_at("expression cannot contain assignment, perhaps you meant \"==\"?", a->pos.lineno, a->pos.col_offset,
                 eq.end_lineno, eq.end_col_offset);
    }
    reset(m);
}

}  // namespace norvex::pyast
