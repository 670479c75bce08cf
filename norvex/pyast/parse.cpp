// parse(): tokenize, the plain pass, the error pass, and which error wins.
#include "norvex/pyast/parse.hpp"

#include "norvex/pyast/lexer.hpp"
#include "norvex/pyast/parser.hpp"

#include <algorithm>
#include <iterator>

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

// Tokenizer errors CPython raises only when the parser asks for the token
// that has them; the others it finds by tokenizing the rest of the file
// after any syntax error, and they replace it.
bool raised_on_demand(const SyntaxError& e) {
    return never_closed(e) || e.msg == "unindent does not match any outer indentation level" ||
           e.msg == "inconsistent use of tabs and spaces in indentation" || e.msg == "too many levels of indentation" ||
           e.msg == "unexpected character after line continuation character" ||
           e.msg == "unexpected EOF while parsing";
}

// The future statements at the top of a module name known features only
// (CPython checks this while building the tree, so ast.parse reports it).
std::optional<SyntaxError> check_future_imports(const Node* root, std::string_view src) {
    static constexpr std::string_view known[] = {"nested_scopes",  "generators",      "division",
                                                 "absolute_import", "with_statement", "print_function",
                                                 "unicode_literals", "barry_as_FLUFL", "generator_stop",
                                                 "annotations"};
    const NodeList& body = as<Module>(root)->body;
    std::size_t i = 0;
    if (i < body.size()) {
        const Expr* doc = as<Expr>(body[i]);
        const Constant* c = doc ? as<Constant>(doc->value) : nullptr;
        if (c && c->value.kind == ConstantValue::Kind::Str) ++i;
    }
    for (; i < body.size(); ++i) {
        const ImportFrom* f = as<ImportFrom>(body[i]);
        if (!f || f->module != "__future__" || f->level != 0) break;
        for (const Node* n : f->names) {
            const alias* a = as<alias>(n);
            bool ok = std::find(std::begin(known), std::end(known), a->name) != std::end(known);
            if (ok) continue;
            SyntaxError e;
            e.msg = a->name == "braces" ? "not a chance" : "future feature " + std::string(a->name) + " is not defined";
            // alias columns are byte columns of their lines; offsets count characters.
            std::size_t line_start = 0;
            for (int l = 1; l < a->base.pos.lineno; ++l) line_start = src.find('\n', line_start) + 1;
            std::size_t end_start = 0;
            for (int l = 1; l < a->base.pos.end_lineno; ++l) end_start = src.find('\n', end_start) + 1;
            e.lineno = a->base.pos.lineno;
            e.offset = char_column(src, line_start + static_cast<std::size_t>(a->base.pos.col_offset));
            e.end_lineno = a->base.pos.end_lineno;
            e.end_offset = char_column(src, end_start + static_cast<std::size_t>(a->base.pos.end_col_offset));
            return e;
        }
    }
    return std::nullopt;
}

}  // namespace

// CPython turns an end column into characters with the text of the error's
// first line, so an end on a later line is cut to that line's length.
static int end_column(std::string_view src, std::size_t start, bool same_line, std::size_t end) {
    if (same_line) return char_column(src, end);
    std::size_t line_start = start;
    while (line_start > 0 && src[line_start - 1] != '\n') --line_start;
    std::size_t line_end = src.find('\n', line_start);
    if (line_end == std::string_view::npos) line_end = src.size();
    std::size_t end_line_start = end;
    while (end_line_start > 0 && src[end_line_start - 1] != '\n') --end_line_start;
    std::size_t n = std::min(end - end_line_start, line_end - line_start);
    return char_column(src, line_start + n);
}

static std::size_t byte_of(std::string_view src, int line, int col) {
    std::size_t p = 0;
    for (int l = 1; l < line && p < src.size(); ++l) {
        std::size_t nl = src.find('\n', p);
        if (nl == std::string_view::npos) return src.size();
        p = nl + 1;
    }
    return std::min(src.size(), p + static_cast<std::size_t>(col < 0 ? 0 : col));
}

[[noreturn]] void Parser::raise(std::string msg, const Token& from, const Token& to) const {
    SyntaxError e;
    e.msg = std::move(msg);
    e.lineno = from.lineno;
    e.offset = char_column(source_, from.start);
    e.end_lineno = to.end_lineno;
    e.end_offset = end_column(source_, from.start, to.end_lineno == from.lineno, to.end);
    // CPython's NEWLINE token covers the newline character (after any comment).
    if (to.kind == TokenKind::NEWLINE || to.end == to.start) e.end_offset += 1;
    throw ParseFailure{std::move(e), furthest_};
}

[[noreturn]] void Parser::raise_at(std::string msg, int lineno, int col, int end_lineno, int end_col) const {
    // Columns here are byte columns within their lines.
    std::size_t start = byte_of(source_, lineno, col);
    SyntaxError e;
    e.msg = std::move(msg);
    e.lineno = lineno;
    e.offset = char_column(source_, start);
    e.end_lineno = end_lineno;
    e.end_offset = end_column(source_, start, end_lineno == lineno, byte_of(source_, end_lineno, end_col));
    throw ParseFailure{std::move(e), furthest_};
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
    // Trees of real code take about four times their source (less for
    // long strings); the arena starts at the source's size and grows in
    // steps a sixteenth of its size.
    tree->arena.reserve(src.size());
    Tokenizer tokenizer(src, tree->arena);
    const TokenStore& tokens = tokenizer.all();
    const std::optional<SyntaxError>& tok_error = tokenizer.error();

    ParseResult result;
    // After a syntax error CPython tokenizes the rest of the input, and a
    // tokenizer error found there replaces the parser's. Errors it raises only
    // on demand (bad indentation, a line continuation, an unclosed bracket at
    // the end) and errors inside an f-string or t-string stand only where the
    // parser reached them; an unclosed bracket also wins when the parser
    // looked past the bracket's line.
    bool in_fstring = false;
    if (tok_error) {
        int open = 0;
        for (const Token& t : tokens) {
            if (t.kind == TokenKind::FSTRING_START || t.kind == TokenKind::TSTRING_START) ++open;
            if (t.kind == TokenKind::FSTRING_END || t.kind == TokenKind::TSTRING_END) --open;
        }
        in_fstring = open > 0;
    }
    auto finish = [&](SyntaxError err, std::size_t furthest) {
        if (tok_error) {
            const Token& last = tokens[std::min(furthest, tokens.size() - 1)];
            bool reached = last.kind == TokenKind::ERRORTOKEN;
            bool on_demand = raised_on_demand(*tok_error) || in_fstring;
            if (!on_demand || reached || (never_closed(*tok_error) && last.lineno > tok_error->lineno)) {
                err = *tok_error;
            } else if (const auto& unclosed = tokenizer.unclosed_at_error();
                       unclosed && !in_fstring && last.lineno > unclosed->lineno) {
                // Tokenizing the rest stopped without an error of its own
                // inside a bracket opened before the error's line.
                err = *unclosed;
            }
        }
        result.error = std::move(err);
        return std::move(result);
    };

    std::size_t furthest = 0;
    bool barry = false;
    try {
        Parser first(tokens, src, tree->arena, false);
        Node* root = first.parse_file();
        if (root) {
            if (auto err = check_future_imports(root, src)) return finish(*err, 0);
            tree->root = root;
            tree->arena.release_interning();
            result.tree = std::move(tree);
            return result;
        }
        furthest = first.furthest();
        barry = first.barry();
    } catch (const ParseFailure& f) {
        return finish(f.error, f.furthest);
    }

    Parser second(tokens, src, tree->arena, true);
    second.set_prior_furthest(furthest);
    second.set_barry(barry);
    try {
        second.parse_file();
    } catch (const ParseFailure& f) {
        return finish(f.error, std::max(f.furthest, furthest));
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
    if (last.kind == TokenKind::NEWLINE || last.end == last.start) err.end_offset += 1;
    if (last.kind == TokenKind::INDENT) {
        // CPython places it after the indentation and leaves the end unknown.
        const Token& stmt = second.token_at(furthest + 1);
        err.type = SyntaxError::Type::IndentationError;
        err.msg = "unexpected indent";
        err.offset = char_column(src, stmt.start) - 1;
        err.end_offset = -1;
    } else if (last.kind == TokenKind::DEDENT) {
        err = second.error_at_dedent(furthest);
        err.type = SyntaxError::Type::IndentationError;
        err.msg = "unexpected unindent";
    } else {
        err.msg = "invalid syntax";
        // The end of input has no column (-1), and CPython adds one to it.
        if (last.kind == TokenKind::ENDMARKER) err.offset = err.end_offset = 0;
    }
    // CPython reports these two without tokenizing the rest of the input.
    if (err.type == SyntaxError::Type::IndentationError) {
        result.error = std::move(err);
        return result;
    }
    return finish(std::move(err), std::max(furthest, second.furthest()));
}

}  // namespace norvex::pyast
