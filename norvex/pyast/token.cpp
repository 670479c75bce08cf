// Names of token kinds, as CPython's token module spells them, and the token store.
#include "norvex/pyast/token.hpp"

#include "norvex/pyast/block_pool.hpp"

#include <algorithm>
#include <bit>
#include <iterator>

namespace norvex::pyast {
namespace {

constexpr std::string_view kind_names[] = {
    "ENDMARKER", "NAME", "NUMBER", "STRING", "NEWLINE", "INDENT", "DEDENT",
    "LPAR", "RPAR", "LSQB", "RSQB", "COLON", "COMMA", "SEMI", "PLUS", "MINUS", "STAR", "SLASH", "VBAR", "AMPER",
    "LESS", "GREATER", "EQUAL", "DOT", "PERCENT", "LBRACE", "RBRACE", "EQEQUAL", "NOTEQUAL", "LESSEQUAL",
    "GREATEREQUAL", "TILDE", "CIRCUMFLEX", "LEFTSHIFT", "RIGHTSHIFT", "DOUBLESTAR", "PLUSEQUAL", "MINEQUAL",
    "STAREQUAL", "SLASHEQUAL", "PERCENTEQUAL", "AMPEREQUAL", "VBAREQUAL", "CIRCUMFLEXEQUAL", "LEFTSHIFTEQUAL",
    "RIGHTSHIFTEQUAL", "DOUBLESTAREQUAL", "DOUBLESLASH", "DOUBLESLASHEQUAL", "AT", "ATEQUAL", "RARROW", "ELLIPSIS",
    "COLONEQUAL", "EXCLAMATION",
    "FSTRING_START", "FSTRING_MIDDLE", "FSTRING_END",
    "TSTRING_START", "TSTRING_MIDDLE", "TSTRING_END",
    "OP", "ERRORTOKEN",
};
static_assert(std::size(kind_names) == static_cast<std::size_t>(TokenKind::ERRORTOKEN) + 1);

}  // namespace

std::string_view name_of(TokenKind kind) noexcept {
    auto i = static_cast<std::size_t>(kind);
    return i < std::size(kind_names) ? kind_names[i] : std::string_view{"?"};
}

TokenStore::TokenStore(std::string_view source) : source_(source) {
    // Real code has about one token in eight bytes; a chunk of a sixteenth
    // of that or less keeps the unused tail a small part of the whole.
    std::size_t chunk = std::bit_floor(std::clamp<std::size_t>(source.size() / 128, 64, 16384));
    shift_ = static_cast<std::uint32_t>(std::countr_zero(chunk));
    mask_ = static_cast<std::uint32_t>(chunk - 1);
}

TokenStore::~TokenStore() {
    for (Token* c : chunks_) block_pool::give(c, chunk_bytes());
}

void TokenStore::add_chunk() {
    if (chunks_.empty()) chunks_.reserve(8);
    // A pooled block may be bigger than asked for; a chunk uses only its size.
    std::size_t bytes = chunk_bytes();
    chunks_.push_back(static_cast<Token*>(block_pool::take(bytes)));
    free_ = chunks_.back();
    free_end_ = free_ + mask_ + 1;
}

std::size_t TokenStore::index_of(const Token& t) const noexcept {
    for (std::size_t c = 0; c < chunks_.size(); ++c) {
        if (&t >= chunks_[c] && &t <= chunks_[c] + mask_) return (c << shift_) + static_cast<std::size_t>(&t - chunks_[c]);
    }
    return size_;
}

void TokenStore::set_normalized(Token& t, std::string_view name) {
    t.normalized = true;
    normalized_.emplace_back(t.start, name);
}

std::string_view TokenStore::normalized_text(const Token& t) const noexcept {
    auto it = std::lower_bound(normalized_.begin(), normalized_.end(), t.start,
                               [](const auto& entry, std::uint32_t start) { return entry.first < start; });
    return it != normalized_.end() && it->first == t.start ? it->second : source_.substr(t.start, t.end - t.start);
}

}  // namespace norvex::pyast
