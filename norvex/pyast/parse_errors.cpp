// The error pass's specific messages (the grammar's invalid_* rules).
#include "norvex/pyast/parser.hpp"

namespace norvex::pyast {

// invalid_block-style rules: a block header followed by a line that is not indented.
void Parser::invalid_block_after(const Token& kw, std::string_view what) {
    if (!at(TokenKind::NEWLINE) || peek_at(1).kind == TokenKind::INDENT) return;
    const Token& t = peek_at(1);
    SyntaxError e;
    std::string msg = "expected an indented block after ";
    msg += what;
    msg += " on line " + std::to_string(kw.lineno);
    try {
        raise(std::move(msg), t, t);
    } catch (ParseFailure& f) {
        f.error.type = SyntaxError::Type::IndentationError;
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

void Parser::invalid_expression_at() {}

}  // namespace norvex::pyast
