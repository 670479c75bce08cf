// The Python syntax tree: node kinds, their fields, constants, and the tree that owns them.
//
// Every node kind is a plain standard-layout struct whose first member is the
// common Node header; a Node* converts to the kind's struct with as<T>().
// node_kinds.def lists the kinds and fields once; the structs, the kind
// names and the field tables that walk, child nodes and dump use are all
// expanded from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace norvex::pyast {

enum class NodeKind : std::uint8_t {
#define PYAST_NODE(Kind, Category) Kind,
#define PYAST_FIELD(Kind, Type, name)
#define PYAST_END(Kind)
#include "norvex/pyast/node_kinds.def"
#undef PYAST_NODE
#undef PYAST_FIELD
#undef PYAST_END
};

enum class Category : std::uint8_t {
    mod, stmt, expr, comprehension, excepthandler, arguments, arg, keyword, alias, withitem, match_case, pattern,
    type_param,
};

// The operators of BoolOp, BinOp, AugAssign, UnaryOp and Compare.
enum class Op : std::uint8_t {
    And, Or,                                                                   // boolop
    Add, Sub, Mult, MatMult, Div, Mod, Pow, LShift, RShift, BitOr, BitXor, BitAnd, FloorDiv,  // operator
    Invert, Not, UAdd, USub,                                                   // unaryop
    Eq, NotEq, Lt, LtE, Gt, GtE, Is, IsNot, In, NotIn,                         // cmpop
};

enum class ExprContext : std::uint8_t { Load, Store, Del };

std::string_view name_of(NodeKind kind) noexcept;
std::string_view name_of(Op op) noexcept;
std::string_view name_of(ExprContext ctx) noexcept;
Category category_of(NodeKind kind) noexcept;
// True for the kinds that carry lineno, col_offset, end_lineno, end_col_offset.
bool has_position(NodeKind kind) noexcept;

// Lines count from 1; columns are UTF-8 byte offsets within the line.
struct Position {
    std::int32_t lineno = 0;
    std::int32_t col_offset = 0;
    std::int32_t end_lineno = 0;
    std::int32_t end_col_offset = 0;
};

struct Node {
    NodeKind kind;
    Position pos;
};

// A sequence of nodes in the tree's arena (entries may be null only in
// OptNodes fields: Dict.keys for ** entries, arguments.kw_defaults).
struct NodeList {
    Node** items = nullptr;
    std::uint32_t count = 0;

    Node** begin() const noexcept { return items; }
    Node** end() const noexcept { return items + count; }
    std::size_t size() const noexcept { return count; }
    bool empty() const noexcept { return count == 0; }
    Node* operator[](std::size_t i) const noexcept { return items[i]; }
};

// An identifier, NFKC-normalised, interned in the arena. An empty view with
// a null data pointer is "none" for optional identifiers.
using Identifier = std::string_view;

struct IdentifierList {
    Identifier* items = nullptr;
    std::uint32_t count = 0;

    Identifier* begin() const noexcept { return items; }
    Identifier* end() const noexcept { return items + count; }
    std::size_t size() const noexcept { return count; }
    bool empty() const noexcept { return count == 0; }
    Identifier operator[](std::size_t i) const noexcept { return items[i]; }
};

struct OpList {
    Op* items = nullptr;
    std::uint32_t count = 0;

    Op* begin() const noexcept { return items; }
    Op* end() const noexcept { return items + count; }
    std::size_t size() const noexcept { return count; }
    Op operator[](std::size_t i) const noexcept { return items[i]; }
};

// An optional string field (type_comment, Constant.kind): none when data() is null.
using OptString = std::string_view;

// "none" of an optional integer field (ImportFrom.level).
inline constexpr std::int32_t NO_INT = std::numeric_limits<std::int32_t>::min();

// A literal value: what Python's Constant.value holds.
struct ConstantValue {
    enum class Kind : std::uint8_t { None, True, False, Ellipsis, Int, BigInt, Float, Complex, Str, Bytes };
    Kind kind = Kind::None;
    std::int64_t int_value = 0;  // Int
    double float_value = 0.0;    // Float; the imaginary part of a Complex (whose real part is 0)
    // BigInt: the decimal digits (an integer that does not fit 64 bits);
    // Str: UTF-8, lone surrogates in generalised UTF-8; Bytes: the raw bytes.
    std::string_view text;
};

// How each field is stored.
enum class FieldType : std::uint8_t {
    Node,      // Node*, never null
    OptNode,   // Node*, null for none
    Nodes,     // NodeList
    OptNodes,  // NodeList with null entries
    Ident,     // Identifier
    OptIdent,  // Identifier, null data for none
    Idents,    // IdentifierList
    OptStr,    // OptString
    Int,       // std::int32_t
    OptInt,    // std::int32_t, NO_INT for none
    Const,     // ConstantValue
    Op,        // Op
    Ops,       // OpList
    Ctx,       // ExprContext
    End,       // closes a field table
};

struct FieldInfo {
    const char* name;
    FieldType type;
    std::size_t offset;
};

namespace detail {
template <FieldType T> struct FieldStorage;
template <> struct FieldStorage<FieldType::Node> { using type = Node*; };
template <> struct FieldStorage<FieldType::OptNode> { using type = Node*; };
template <> struct FieldStorage<FieldType::Nodes> { using type = NodeList; };
template <> struct FieldStorage<FieldType::OptNodes> { using type = NodeList; };
template <> struct FieldStorage<FieldType::Ident> { using type = Identifier; };
template <> struct FieldStorage<FieldType::OptIdent> { using type = Identifier; };
template <> struct FieldStorage<FieldType::Idents> { using type = IdentifierList; };
template <> struct FieldStorage<FieldType::OptStr> { using type = OptString; };
template <> struct FieldStorage<FieldType::Int> { using type = std::int32_t; };
template <> struct FieldStorage<FieldType::OptInt> { using type = std::int32_t; };
template <> struct FieldStorage<FieldType::Const> { using type = ConstantValue; };
template <> struct FieldStorage<FieldType::Op> { using type = Op; };
template <> struct FieldStorage<FieldType::Ops> { using type = OpList; };
template <> struct FieldStorage<FieldType::Ctx> { using type = ExprContext; };
}  // namespace detail

// One struct per kind, e.g.
//   struct FunctionDef { Node base; Identifier name; Node* args; NodeList body; ... };
#define PYAST_NODE(Kind, Category)                      \
    struct Kind {                                       \
        static constexpr NodeKind node_kind = NodeKind::Kind; \
        Node base;
#define PYAST_FIELD(Kind, Type, name) detail::FieldStorage<FieldType::Type>::type name{};
#define PYAST_END(Kind) \
    }                   \
    ;
#include "norvex/pyast/node_kinds.def"
#undef PYAST_NODE
#undef PYAST_FIELD
#undef PYAST_END

// The fields of a kind in grammar order, closed by a FieldType::End entry.
const FieldInfo* fields_of(NodeKind kind) noexcept;

// The kind's struct when `node` is of that kind, else null.
template <typename T>
T* as(Node* node) noexcept {
    static_assert(std::is_standard_layout_v<T>);
    return node != nullptr && node->kind == T::node_kind ? reinterpret_cast<T*>(node) : nullptr;
}
template <typename T>
const T* as(const Node* node) noexcept {
    static_assert(std::is_standard_layout_v<T>);
    return node != nullptr && node->kind == T::node_kind ? reinterpret_cast<const T*>(node) : nullptr;
}
template <typename T>
bool is(const Node* node) noexcept {
    return node != nullptr && node->kind == T::node_kind;
}

// Owns the nodes, lists and strings of one tree.
//
// A bump allocator over blocks from the heap. The blocks grow with what the
// tree has used so far, so a tree wastes at most about a sixteenth of its
// size (a fixed first block would dwarf small files); parse() sizes the
// first block from the source. Identifiers are interned in an open-addressing table
// of views into the arena.
class Arena {
public:
    Arena() = default;
    ~Arena();
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;

    // A new node of kind T with every field at its default.
    template <typename T>
    T* make(Position pos = {}) {
        T* node = new (allocate(sizeof(T), alignof(T))) T{};
        node->base.kind = T::node_kind;
        node->base.pos = pos;
        return node;
    }

    NodeList list(const std::vector<Node*>& nodes) { return list(nodes.data(), nodes.size()); }
    NodeList list(Node* const* nodes, std::size_t count);
    IdentifierList identifiers(const std::vector<Identifier>& names);
    OpList ops(const std::vector<Op>& ops) { return this->ops(ops.data(), ops.size()); }
    OpList ops(const Op* ops, std::size_t count);
    // A copy of `text` that lives as long as the arena.
    std::string_view store(std::string_view text);
    // The same view for equal identifiers (so they compare by pointer too).
    Identifier intern(std::string_view name);

    void* allocate(std::size_t bytes, std::size_t align) {
        std::uintptr_t p = (cur_ + (align - 1)) & ~static_cast<std::uintptr_t>(align - 1);
        if (p + bytes <= end_) {
            cur_ = p + bytes;
            return reinterpret_cast<void*>(p);
        }
        return allocate_slow(bytes, align);
    }

    // The size of the next block to take from the heap (the first one, when
    // called before any allocation).
    void reserve(std::size_t bytes) noexcept { next_block_ = bytes < min_block ? min_block : bytes; }
    // Drops the interning table (the tree stays valid; later intern() calls
    // start a new table, so they no longer share views with earlier ones).
    void release_interning() noexcept;
    // Bytes handed out, and bytes taken from the heap for blocks.
    std::size_t bytes_used() const noexcept;
    std::size_t bytes_reserved() const noexcept { return reserved_; }

private:
    static constexpr std::size_t min_block = 1024;
    struct Block {
        Block* next;
        std::size_t size;
    };
    struct Slot {
        const char* data;
        std::uint32_t size;
        std::uint32_t hash;
        // The first and last eight bytes (overlapping or padded for shorter names).
        std::uint64_t head;
        std::uint64_t tail;
    };
    void* allocate_slow(std::size_t bytes, std::size_t align);
    void grow_interning();

    Block* blocks_ = nullptr;
    std::uintptr_t cur_ = 0;
    std::uintptr_t end_ = 0;
    std::size_t next_block_ = 4096;
    std::size_t reserved_ = 0;
    std::size_t used_before_ = 0;  // bytes used in blocks before the current one
    Slot* slots_ = nullptr;
    std::uint32_t slot_mask_ = 0;
    std::uint32_t slot_count_ = 0;
};

// A parsed module: its root node, the arena that holds it, and the source it came from.
struct Tree {
    // String constants spelled without escapes view this text rather than a
    // copy in the arena: it must stay as parse() left it while the tree is used.
    std::string source;
    Arena arena;
    Node* root = nullptr;
};

}  // namespace norvex::pyast
