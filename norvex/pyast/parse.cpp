// parse(): tokenize, the plain pass, the error pass, and which error wins.
#include "norvex/pyast/parse.hpp"

#include "norvex/pyast/lexer.hpp"
#include "norvex/pyast/parser.hpp"

namespace norvex::pyast {

namespace {

// Column from 1 in code points of the byte at `pos`, as SyntaxError.offset counts.
int char_column(std::string_view src, std::size_t pos) {
    if (pos > src.size()) pos = src.size();
    std::size_t line_start = src.rfind('\n', pos == 0 ? 0 : pos - 1);
    line_start = (line_start == std::string_view::npos || pos == 0) ? 0 : line_start + 1;
    if (pos > 0 && src[pos - 1] == '\n') line_start = pos;
    int col = 1;
    for (std::size_t i = line_start; i < pos; ++i)
        if ((static_cast<unsigned char>(src[i]) & 0xC0) != 0x80) ++col;
    return col;
}

bool never_closed(const SyntaxError& e) {
    const std::string_view suffix = "was never closed";
    return e.msg.size() >= suffix.size() && e.msg.compare(e.msg.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

[[noreturn]] void Parser::raise(std::string msg, const Token& from, const Token& to) const {
    SyntaxError e;
    e.msg = std::move(msg);
    e.lineno = from.lineno;
    e.offset = char_column(source_, from.start);
    e.end_lineno = to.end_lineno;
    e.end_offset = char_column(source_, to.end);
    // CPython's NEWLINE token covers the newline character.
    if (to.end == to.start) e.end_offset += 1;
    throw ParseFailure{std::move(e)};
}

[[noreturn]] void Parser::raise_at(std::string msg, int lineno, int col, int end_lineno, int end_col) const {
    // Columns here are byte columns within their lines; convert through the source.
    auto byte_of = [&](int line, int c) -> std::size_t {
        std::size_t p = 0;
        for (int l = 1; l < line && p < source_.size(); ++l) {
            std::size_t nl = source_.find('\n', p);
            if (nl == std::string_view::npos) return source_.size();
            p = nl + 1;
        }
        return p + static_cast<std::size_t>(c < 0 ? 0 : c);
    };
    SyntaxError e;
    e.msg = std::move(msg);
    e.lineno = lineno;
    e.offset = char_column(source_, byte_of(lineno, col));
    e.end_lineno = end_lineno;
    e.end_offset = char_column(source_, byte_of(end_lineno, end_col));
    throw ParseFailure{std::move(e)};
}

[[noreturn]] void Parser::raise_node(std::string msg, const Node* node) const {
    raise_at(std::move(msg), node->pos.lineno, node->pos.col_offset, node->pos.end_lineno, node->pos.end_col_offset);
}

[[noreturn]] void Parser::raise_range(std::string msg, const Node* from, const Node* to) const {
    raise_at(std::move(msg), from->pos.lineno, from->pos.col_offset, to->pos.end_lineno, to->pos.end_col_offset);
}

ParseResult parse(std::string source) {
    auto tree = std::make_unique<Tree>();
    tree->source = std::move(source);
    std::string_view src = tree->source;
    Tokenizer tokenizer(src, tree->arena);
    const std::vector<Token>& tokens = tokenizer.all();
    const std::optional<SyntaxError>& tok_error = tokenizer.error();

    ParseResult result;
    // A tokenizer error stands unless it is an unclosed bracket the parser never reached.
    auto finish = [&](SyntaxError err) {
        if (tok_error && !never_closed(*tok_error)) err = *tok_error;
        result.error = std::move(err);
        return std::move(result);
    };

    std::size_t furthest = 0;
    try {
        Parser first(tokens, src, tree->arena, false);
        Node* root = first.parse_file();
        if (root) {
            tree->root = root;
            result.tree = std::move(tree);
            return result;
        }
        furthest = first.furthest();
    } catch (const ParseFailure& f) {
        return finish(f.error);
    }

    Parser second(tokens, src, tree->arena, true);
    try {
        second.parse_file();
    } catch (const ParseFailure& f) {
        return finish(f.error);
    }

    const Token& last = second.token_at(furthest);
    if (last.kind == TokenKind::ERRORTOKEN && tok_error) {
        result.error = *tok_error;
        return result;
    }
    SyntaxError err;
    err.lineno = last.lineno;
    err.end_lineno = last.end_lineno;
    err.offset = char_column(src, last.start);
    err.end_offset = char_column(src, last.end);
    if (last.end == last.start) err.end_offset += 1;
    if (last.kind == TokenKind::INDENT) {
        // CPython places it after the indentation and leaves the end unknown.
        const Token& stmt = second.token_at(furthest + 1);
        err.type = SyntaxError::Type::IndentationError;
        err.msg = "unexpected indent";
        err.offset = char_column(src, stmt.start) - 1;
        err.end_offset = -1;
    } else if (last.kind == TokenKind::DEDENT) {
        err.type = SyntaxError::Type::IndentationError;
        err.msg = "unexpected unindent";
    } else {
        err.msg = "invalid syntax";
    }
    return finish(std::move(err));
}

}  // namespace norvex::pyast
