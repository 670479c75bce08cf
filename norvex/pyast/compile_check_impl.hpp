// The compile check's passes and the scope records they share (private to compile_check*.cpp).
#pragma once

#include "norvex/pyast/ast.hpp"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace norvex::pyast::compile_detail {

// Where an error points: a line and a UTF-8 byte column, both as the tree has them.
struct Location {
    int lineno = 0;
    int col_offset = 0;
};

inline Location location_of(const Node* node) noexcept { return {node->pos.lineno, node->pos.col_offset}; }

// The first error of a pass. Thrown inside a pass and caught at its entry,
// because every pass stops at its first error as CPython's do.
struct Failure {
    std::string message;
    Location where;
    bool recursion = false;  // a RecursionError without a place, not a SyntaxError
};

[[noreturn]] inline void fail(std::string message, Location where) { throw Failure{std::move(message), where}; }

// Nesting the parser lets through is bounded (right-nested chains stop near
// 6000 levels, as CPython's do), but a visitor still counts its depth and
// gives up as CPython does when its stack runs low, instead of overflowing.
inline constexpr int kMaxVisitDepth = 12000;

class DepthGuard {
public:
    explicit DepthGuard(int& depth) : depth_(depth) {
        if (++depth_ > kMaxVisitDepth) {
            --depth_;
            throw Failure{"maximum recursion depth exceeded during compilation", {}, true};
        }
    }
    ~DepthGuard() { --depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    int& depth_;
};

// Name flags of a scope, as the symbol table keeps them.
enum SymbolFlag : std::uint32_t {
    DEF_GLOBAL = 1u << 0,
    DEF_LOCAL = 1u << 1,
    DEF_PARAM = 1u << 2,
    DEF_NONLOCAL = 1u << 3,
    USE = 1u << 4,
    DEF_IMPORT = 1u << 6,
    DEF_ANNOT = 1u << 7,
    DEF_COMP_ITER = 1u << 8,
    DEF_TYPE_PARAM = 1u << 9,
    DEF_BOUND = DEF_LOCAL | DEF_PARAM | DEF_IMPORT,
};

enum class BlockType : std::uint8_t { Module, Function, Class, Annotation, TypeAlias, TypeParameters, TypeVariable };
enum class Comprehension : std::uint8_t { None, List, Set, Dict, Generator };

// One scope: its names in the order they were first seen, the global and
// nonlocal statements that named them, and the facts code generation reads.
struct Block {
    BlockType type = BlockType::Module;
    Comprehension comprehension = Comprehension::None;
    // Names are views of the tree's interned identifiers, of string
    // literals, or of the mangled names the symbol table keeps.
    std::vector<std::pair<std::string_view, std::uint32_t>> symbols;
    std::unordered_map<std::string_view, std::size_t> index;
    std::vector<std::pair<std::string_view, Location>> directives;
    std::vector<Block*> children;
    std::string scope_info;  // what a type-variable scope evaluates, e.g. "a TypeVar bound"
    Block* annotation_block = nullptr;
    bool generator = false;
    bool coroutine = false;
    bool comp_iter_target = false;
    int comp_iter_expr = 0;
    bool in_unevaluated_annotation = false;
    bool comp_inlined = false;

    bool function_like() const noexcept {
        return type != BlockType::Module && type != BlockType::Class;
    }
    std::uint32_t lookup(std::string_view name) const {
        auto it = index.find(name);
        return it == index.end() ? 0 : symbols[it->second].second;
    }
    std::uint32_t& entry(std::string_view name) {
        auto [it, added] = index.emplace(name, symbols.size());
        if (added) symbols.emplace_back(name, 0);
        return symbols[it->second].second;
    }
};

// The scopes of a module: the module's block first, and the block of each
// function, lambda and comprehension node.
struct SymbolTable {
    std::vector<std::unique_ptr<Block>> blocks;
    std::deque<std::string> mangled_names;  // stable storage the blocks' views point into
    std::unordered_map<const Node*, Block*> by_node;
    Block* top = nullptr;
};

// What the leading "from __future__ import" statements settle.
struct FutureFeatures {
    bool annotations = false;
    Location last_import{-1, -1};  // the last of the leading future imports
};

// True when the statement is a docstring (a bare string constant).
bool is_docstring(const Node* stmt) noexcept;

// The leading future imports: unknown features fail here, before any scope work.
FutureFeatures check_future(const Node* module);

// The symbol table's walk over the whole module, then its scope analysis.
void build_symtable(const Node* module, const FutureFeatures& future, SymbolTable& table);
void analyze_symtable(const SymbolTable& table);

// The code generator's checks (loops, functions, assignments, calls, patterns).
void check_codegen(const Node* module, const FutureFeatures& future, const SymbolTable& table);

// The code generator's checks of one case pattern of a match statement;
// an irrefutable pattern is allowed only where no later case could be reached.
void check_case_pattern(const Node* pattern, bool allow_irrefutable);

}  // namespace norvex::pyast::compile_detail
