// The recursive-descent parser over a token store (internal to pyast).
//
// Rules follow Grammar/python.gram but are written to decide early from the
// next token or two; mark()/reset() backtrack only where the grammar is
// really ambiguous (match/type soft keywords, parenthesised with items,
// assignment targets). A rule that does not match returns null; an error
// that must stop the parse (the error pass's specific messages, bad
// literals, nesting too deep) is thrown as ParseFailure and turned into a
// SyntaxError by parse().
#pragma once

#include "norvex/pyast/ast.hpp"
#include "norvex/pyast/parse.hpp"
#include "norvex/pyast/token.hpp"

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace norvex::pyast {

struct ParseFailure {
    SyntaxError error;
    // The furthest token the parser had looked at (an unclosed bracket's error may win by it).
    std::size_t furthest = 0;
};

// Decoding literal tokens into constants (literal_strings.cpp, literal_numbers.cpp).
namespace literal {
// The value of a NUMBER token's text; false (never a throw) for text that is
// not a number the grammar accepts.
bool decode_number(std::string_view text, Arena& arena, ConstantValue& out);

struct StringPrefix {
    bool raw = false;
    bool bytes = false;
    bool unicode = false;  // u"" (Constant.kind == "u")
    bool fstring = false;
    bool tstring = false;
};
StringPrefix prefix_of(std::string_view token_text, std::size_t& prefix_len);

// Outcome of decoding the body of a string literal.
struct DecodeError {
    std::string msg;           // empty when the text decoded
    std::size_t offset = 0;    // byte offset of the bad escape within the body
};

// Appends the decoded body of a string literal or f-string middle to `out`:
// escapes decoded unless raw, newlines universal; bytes literals must be ASCII.
DecodeError decode_body(std::string_view body, bool raw, bool bytes, std::string& out);
// Encodes a code point as (generalised) UTF-8, surrogates included.
void append_utf8(std::string& out, std::uint32_t cp);
}  // namespace literal

class Parser {
public:
    Parser(const TokenStore& tokens, std::string_view source, Arena& arena, bool error_pass);

    // file: [statements] ENDMARKER. Null when the tokens are not a module.
    Node* parse_file();

    // The furthest token index any rule looked at (places "invalid syntax").
    std::size_t furthest() const noexcept { return furthest_; }
    // "from __future__ import barry_as_FLUFL" was parsed (the error pass starts with the plain pass's state).
    bool barry() const noexcept { return barry_; }
    void set_barry(bool on) noexcept { barry_ = on; }
    // The plain pass's furthest token, which the error pass's messages without a location use.
    void set_prior_furthest(std::size_t i) noexcept { prior_furthest_ = i; }
    // Where CPython reports an error at the DEDENT token i (message left empty).
    SyntaxError error_at_dedent(std::size_t i) const;

    // Positions and tokens, for the error reporting in parse.cpp.
    const Token& token_at(std::size_t i) const { return tokens_[i < tokens_.size() ? i : tokens_.size() - 1]; }

    [[noreturn]] void raise(std::string msg, const Token& from, const Token& to) const;
    [[noreturn]] void raise_at(std::string msg, int lineno, int col, int end_lineno, int end_col) const;
    [[noreturn]] void raise_node(std::string msg, const Node* node) const;
    [[noreturn]] void raise_range(std::string msg, const Node* from, const Node* to) const;

private:
    friend struct DepthGuard;

    // A list under construction, in a vector borrowed from the parser's pool:
    // building a list allocates only when it outgrows what earlier lists of
    // the same nesting left. Borrowed and returned in stack order.
    struct Scratch {
        explicit Scratch(Parser& p) : parser(p), v(p.take_scratch()) {}
        ~Scratch() { --parser.scratch_depth_; }
        Scratch(const Scratch&) = delete;
        Scratch& operator=(const Scratch&) = delete;
        Parser& parser;
        std::vector<Node*>& v;
    };
    std::vector<Node*>& take_scratch() {
        if (scratch_depth_ == scratch_pool_.size()) scratch_pool_.emplace_back();
        std::vector<Node*>& v = scratch_pool_[scratch_depth_++];
        v.clear();
        return v;
    }

    // --- tokens -------------------------------------------------------------
    const Token& peek() {
        if (pos_ > furthest_) furthest_ = pos_;
        return *cur_;
    }
    const Token& peek_at(std::size_t ahead) {
        std::size_t i = pos_ + ahead;
        if (i >= tokens_.size()) i = tokens_.size() - 1;
        if (i > furthest_) furthest_ = i;
        return tokens_[i];
    }
    bool at(TokenKind k) { return peek().kind == k; }
    bool at_kw(Keyword k) { return peek().keyword == k && peek().kind == TokenKind::NAME; }
    bool at_soft(SoftKeyword k) { return peek().kind == TokenKind::NAME && peek().soft == k; }
    // A NAME that is not a hard keyword.
    bool at_name() { return peek().kind == TokenKind::NAME && peek().keyword == Keyword::None_; }
    const Token* accept(TokenKind k) { return at(k) ? step() : nullptr; }
    const Token* accept_kw(Keyword k) { return at_kw(k) ? step() : nullptr; }
    const Token& next() { return pos_ < last_ ? *step() : *cur_; }
    std::size_t mark() const noexcept { return pos_; }
    void reset(std::size_t m) noexcept {
        pos_ = m;
        cur_ = &tokens_[m < last_ ? m : last_];
    }
    // Moves past the current token and returns it. (Past the last one, the
    // current token stays the last.)
    const Token* step() noexcept {
        const Token* t = cur_;
        reset(pos_ + 1);
        return t;
    }
    const Token& prev() const { return tokens_[pos_ - 1]; }

    // Position from token `start` to the last non-whitespace token consumed.
    Position span_from(const Token& start) const;
    Position span_from(const Node* start) const;

    template <typename T>
    T* make(Position p) { return arena_.make<T>(p); }
    NodeList list(const std::vector<Node*>& v) { return arena_.list(v); }
    std::string_view text(const Token& t) const noexcept { return tokens_.text(t); }
    Identifier ident(const Token& t) { return arena_.intern(text(t)); }
    Node* name_node(const Token& t, ExprContext ctx);
    // A NUMBER token's value; false when it is no number the grammar takes.
    bool number(const Token& t, ConstantValue& out);
    // Whether the NOTEQUAL token `t` ("!=" or "<>") is the inequality here.
    bool not_equal_allowed(const Token& t);

    // --- statements (parse_stmt.cpp) ------------------------------------------
    bool statements(std::vector<Node*>& out);
    bool statement(std::vector<Node*>& out);
    bool simple_stmts(std::vector<Node*>& out);
    Node* simple_stmt();
    Node* compound_stmt();
    Node* assignment_or_expr();
    Node* assignment_or_expr_rule();
    Node* import_stmt();
    Node* import_from();
    bool dotted_name_text(std::string& out);
    bool block(std::vector<Node*>& out);
    Node* function_def(std::vector<Node*> decorators, const Token& start);
    Node* class_def(std::vector<Node*> decorators, const Token& start);
    Node* if_stmt(bool elif);
    bool else_block(std::vector<Node*>& out);
    Node* while_stmt();
    Node* for_stmt(const Token* async_tok);
    Node* with_stmt(const Token* async_tok);
    Node* with_item();
    Node* try_stmt();
    Node* except_block(bool& star, int want_star);
    Node* match_stmt();
    Node* type_alias();
    bool type_params(std::vector<Node*>& out);
    Node* type_param();

    // --- expressions (parse_expr.cpp) -----------------------------------------
    Node* expression();
    Node* expression_rule();
    // The grammar's expression_without_invalid. CPython memoises `expression`
    // by position alone, so an expression this reads with the invalid rules
    // off is not read again with them on; plain_read_ keeps those positions
    // (bit 1) for the error pass to honour.
    Node* expression_without_invalid();
    bool read_plain(std::size_t i, std::uint8_t bit) const {
        return i < plain_read_.size() && (plain_read_[i] & bit) != 0;
    }
    void mark_plain(std::size_t i, std::uint8_t bit) {
        if (plain_read_.size() <= i) plain_read_.resize(tokens_.size() + 1, 0);
        plain_read_[i] |= bit;
    }
    Node* yield_expr();
    Node* comma_tuple(Node* (Parser::*item)(), ExprContext ctx);
    Node* star_expressions();
    Node* star_expression();
    bool star_named_expressions(std::vector<Node*>& out, TokenKind closer);
    Node* star_named_expression();
    // In call arguments the grammar reads `assignment_expression | expression !':='`,
    // so a ':=' after another expression is left to the generic error (`argument`).
    Node* named_expression(bool argument = false);
    Node* bool_op(Keyword keyword, Node* (Parser::*operand)(), Op op);
    Node* disjunction();
    Node* conjunction();
    Node* inversion();
    Node* comparison();
    Node* bitwise_or();
    Node* bitwise_xor();
    Node* bitwise_and();
    Node* shift_expr();
    Node* sum();
    Node* term();
    // The rest of a level after its first operand (parse_expr.cpp).
    Node* conditional_rest(Node* a, const Token& start);
    Node* bool_op_rest(Node* a, const Token& start, Keyword keyword, Node* (Parser::*operand)(), Op op);
    Node* comparison_rest(Node* a, const Token& start);
    Node* binary_rest(Node* a, const Token& start);
    Node* power_rest(Node* a, const Token& start);
    Node* bitwise_or_rest(Node* a, const Token& start);
    Node* bitwise_xor_rest(Node* a, const Token& start);
    Node* bitwise_and_rest(Node* a, const Token& start);
    Node* shift_expr_rest(Node* a, const Token& start);
    Node* sum_rest(Node* a, const Token& start);
    Node* term_rest(Node* a, const Token& start);
    Node* factor();
    Node* power();
    Node* await_primary();
    Node* primary();
    Node* primary_trailers(Node* atom, const Token& start);
    Node* slices();
    Node* slice();
    Node* atom();
    Node* paren_atom();
    Node* list_atom();
    Node* brace_atom();
    bool for_if_clauses(std::vector<Node*>& out);
    Node* annotated_rhs();
    Node* lambdef();

    // Targets: star_targets, del_targets, and turning a parsed expression
    // into a target (ctx Store/Del) when the statement shows it is one.
    Node* star_targets();
    Node* star_target();
    Node* target_atom(ExprContext ctx);
    bool set_context(Node* target, ExprContext ctx);
    // The node whose kind names what cannot be assigned to ("cannot assign to ...").
    const Node* invalid_target(Node* e, ExprContext ctx) const;
    std::string target_kind_name(const Node* e) const;

    // --- arguments and parameters (parse_args.cpp) ----------------------------
    Node* call(Node* func, const Token& start);
    // `first`: the first positional argument when the caller already parsed it.
    bool call_arguments(std::vector<Node*>& args, std::vector<Node*>& keywords, TokenKind closer,
                        Node* first = nullptr);
    Node* params(bool lambda);
    Node* param(bool lambda, bool star_annotation);
    Node* empty_arguments();

    // --- strings (parse_fstring.cpp) ------------------------------------------
    Node* strings();
    // strings() for a lone STRING token whose value is its source text; null otherwise.
    Node* lone_plain_string(const Token& t);
    // Fields nested in a t-string's format specifier are FormattedValues, not Interpolations.
    Node* replacement_field(bool template_str, bool interpolation);
    Node* format_specifier(bool template_str, const Token& colon);

    // --- patterns (parse_pattern.cpp) -----------------------------------------
    Node* patterns();
    Node* pattern();
    Node* or_pattern();
    Node* closed_pattern();
    Node* maybe_star_pattern();
    Node* star_pattern();
    Node* literal_or_value_pattern();
    Node* signed_number(bool& ok);
    Node* complex_number();
    Node* mapping_pattern();
    Node* sequence_pattern(TokenKind open);
    Node* class_pattern(Node* cls, const Token& start);
    Node* name_or_attr();
    bool capture_target(Identifier& name);

    // --- error pass (parse_errors.cpp) -----------------------------------------
    // Called where the first pass would fail; raise a specific error when the
    // invalid_* rule of that place matches, else return.
    void invalid_block_after(const Token& kw, std::string_view what);
    void check_target(Node* e, ExprContext ctx, bool augmented);
    // invalid_expression / invalid_legacy_expression around a parsed disjunction.
    void invalid_expression_after(Node* a, std::size_t start_index);
    // Tried after invalid_expression, as the grammar orders them; leaves the parser where it was.
    void invalid_legacy_expression(std::size_t start_index);
    // invalid_named_expression: `e` followed by '=' where a value was expected.
    void invalid_named_assignment(Node* e);
    // "expected ':'" where a block header lacks its colon (only before NEWLINE unless `forced`).
    void expect_colon(bool forced);
    void invalid_kwarg();
    // invalid_for_target / invalid_del_stmt: the targets at token `at`, read
    // as star_expressions, name what cannot be assigned or deleted.
    void invalid_targets(std::size_t at, ExprContext ctx);
    void invalid_type_param_bound(const char* kind);
    void invalid_statement_before_if(const Token& stmt);
    void invalid_comprehension(const Token& open, const std::vector<Node*>& elts);
    void invalid_not_operand();
    void invalid_parenthesised_params(bool lambda);
    void invalid_string_juxtaposition();
    void invalid_import_target();
    void invalid_for_if_clause();
    void invalid_starred_display(const Token& open);
    [[noreturn]] void expected_names();
    [[noreturn]] void raise_starting_from(std::string msg, const Token& from);
    // Where CPython's RAISE_SYNTAX_ERROR points: the last token either pass read.
    [[noreturn]] void raise_at_last_token(std::string msg);
    // Bracket nesting of token i (the tokenizer's level for it).
    int level_of(std::size_t i);
    // Runs `f` with the invalid_* rules off (the grammar's *_without_invalid rules).
    template <typename F>
    auto without_invalid(F f) {
        bool saved = error_pass_;
        error_pass_ = false;
        struct Restore {
            Parser& p;
            bool v;
            ~Restore() { p.error_pass_ = v; }
        } restore{*this, saved};
        return f();
    }

    const TokenStore& tokens_;
    std::string_view source_;
    Arena& arena_;
    bool error_pass_;
    bool memo_;
    int plain_depth_ = 0;  // inside expression_without_invalid
    std::vector<std::uint8_t> plain_read_;
    std::unordered_map<std::size_t, std::pair<Node*, std::size_t>> expr_memo_;
    std::size_t pos_ = 0;
    // The token at pos_, kept as pos_ moves: the rules look at it far more often than they move.
    const Token* cur_;
    std::size_t last_;  // index of the last token (ENDMARKER or ERRORTOKEN)
    std::size_t furthest_ = 0;
    bool barry_ = false;
    std::size_t prior_furthest_ = 0;  // the plain pass's, for the error pass
    int depth_ = 0;
    std::vector<int> levels_;
    std::string scratch_;
    // A deque: its vectors stay in place as it grows, side by side in memory.
    std::deque<std::vector<Node*>> scratch_pool_;
    std::size_t scratch_depth_ = 0;
    std::vector<Op> ops_stack_;  // comparison operators being collected (comparison_rest)
    // The '=' text of the replacement field just parsed.
    bool debug_pending_ = false;
    std::string debug_text_;
    Position debug_pos_;
};

// Counts recursion so deep input fails with CPython's error instead of the stack.
struct DepthGuard {
    Parser& p;
    static constexpr int limit = 3000;
    explicit DepthGuard(Parser& parser, int cost = 1) : p(parser), cost_(cost) {
        p.depth_ += cost_;
        if (p.depth_ > limit) overflow();
    }
    ~DepthGuard() { p.depth_ -= cost_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
    [[noreturn]] void overflow();

private:
    int cost_;
};

}  // namespace norvex::pyast
