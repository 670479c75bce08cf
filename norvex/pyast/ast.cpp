// Kind names, field tables and the arena.
#include "norvex/pyast/ast.hpp"

#include "norvex/pyast/block_pool.hpp"

#include <algorithm>
#include <cstring>
#include <new>

namespace norvex::pyast {
namespace {

#define PYAST_NODE(Kind, Cat) inline constexpr FieldInfo Kind##_fields[] = {
#define PYAST_FIELD(Kind, Type, name) {#name, FieldType::Type, offsetof(Kind, name)},
#define PYAST_END(Kind) {nullptr, FieldType::End, 0}};
#include "norvex/pyast/node_kinds.def"
#undef PYAST_NODE
#undef PYAST_FIELD
#undef PYAST_END

struct KindInfo {
    std::string_view name;
    Category category;
    const FieldInfo* fields;
};

constexpr KindInfo kinds[] = {
#define PYAST_NODE(Kind, Cat) {#Kind, Category::Cat, Kind##_fields},
#define PYAST_FIELD(Kind, Type, name)
#define PYAST_END(Kind)
#include "norvex/pyast/node_kinds.def"
#undef PYAST_NODE
#undef PYAST_FIELD
#undef PYAST_END
};

constexpr std::string_view op_names[] = {
    "And", "Or", "Add", "Sub", "Mult", "MatMult", "Div", "Mod", "Pow", "LShift", "RShift", "BitOr", "BitXor",
    "BitAnd", "FloorDiv", "Invert", "Not", "UAdd", "USub", "Eq", "NotEq", "Lt", "LtE", "Gt", "GtE", "Is",
    "IsNot", "In", "NotIn",
};

constexpr std::string_view ctx_names[] = {"Load", "Store", "Del"};

}  // namespace

std::string_view name_of(NodeKind kind) noexcept { return kinds[static_cast<std::size_t>(kind)].name; }
std::string_view name_of(Op op) noexcept { return op_names[static_cast<std::size_t>(op)]; }
std::string_view name_of(ExprContext ctx) noexcept { return ctx_names[static_cast<std::size_t>(ctx)]; }
Category category_of(NodeKind kind) noexcept { return kinds[static_cast<std::size_t>(kind)].category; }
const FieldInfo* fields_of(NodeKind kind) noexcept { return kinds[static_cast<std::size_t>(kind)].fields; }

bool has_position(NodeKind kind) noexcept {
    switch (category_of(kind)) {
        case Category::mod:
        case Category::comprehension:
        case Category::arguments:
        case Category::withitem:
        case Category::match_case: return false;
        default: return true;
    }
}

Arena::~Arena() {
    for (Block* b = blocks_; b != nullptr;) {
        Block* next = b->next;
        block_pool::give(b, b->size);
        b = next;
    }
    ::operator delete(slots_);
}

void* Arena::allocate_slow(std::size_t bytes, std::size_t align) {
    if (blocks_ != nullptr) used_before_ += static_cast<std::size_t>(cur_ - (reinterpret_cast<std::uintptr_t>(blocks_) + sizeof(Block)));
    // Each block holds a sixteenth of what came before: a few dozen blocks
    // for a big tree, and the unused end of the last one stays a small part of it.
    std::size_t size = std::max(next_block_, std::max(bytes + align + sizeof(Block), (reserved_ / 16 + 1023) & ~std::size_t{1023}));
    auto* b = static_cast<Block*>(block_pool::take(size));
    b->next = blocks_;
    b->size = size;
    blocks_ = b;
    reserved_ += size;
    next_block_ = min_block;
    cur_ = reinterpret_cast<std::uintptr_t>(b) + sizeof(Block);
    end_ = reinterpret_cast<std::uintptr_t>(b) + size;
    return allocate(bytes, align);
}

std::size_t Arena::bytes_used() const noexcept {
    if (blocks_ == nullptr) return 0;
    return used_before_ + static_cast<std::size_t>(cur_ - (reinterpret_cast<std::uintptr_t>(blocks_) + sizeof(Block)));
}

NodeList Arena::list(Node* const* nodes, std::size_t count) {
    NodeList out;
    out.count = static_cast<std::uint32_t>(count);
    if (count == 0) return out;
    out.items = static_cast<Node**>(allocate(sizeof(Node*) * count, alignof(Node*)));
    std::memcpy(out.items, nodes, sizeof(Node*) * count);
    return out;
}
IdentifierList Arena::identifiers(const std::vector<Identifier>& names) {
    IdentifierList out;
    out.count = static_cast<std::uint32_t>(names.size());
    if (out.count == 0) return out;
    out.items = static_cast<Identifier*>(allocate(sizeof(Identifier) * names.size(), alignof(Identifier)));
    for (std::size_t i = 0; i < names.size(); ++i) new (&out.items[i]) Identifier(names[i]);
    return out;
}

OpList Arena::ops(const Op* list, std::size_t count) {
    OpList out;
    out.count = static_cast<std::uint32_t>(count);
    if (out.count == 0) return out;
    out.items = static_cast<Op*>(allocate(sizeof(Op) * count, alignof(Op)));
    std::memcpy(out.items, list, sizeof(Op) * count);
    return out;
}

std::string_view Arena::store(std::string_view text) {
    if (text.empty()) return std::string_view("", 0);
    char* copy = static_cast<char*>(allocate(text.size(), 1));
    std::memcpy(copy, text.data(), text.size());
    return {copy, text.size()};
}

namespace {

std::uint64_t load8(const char* p) noexcept {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

std::uint32_t load4(const char* p) noexcept {
    std::uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

// The first and last up-to-eight bytes of a short string as two words (they
// overlap for fewer than sixteen bytes): with the length they tell strings of
// up to sixteen bytes apart, without a copy of variable length.
struct Ends {
    std::uint64_t head;
    std::uint64_t tail;
};

[[gnu::always_inline]] inline Ends ends_of(const char* p, std::size_t n) noexcept {
    if (n >= 8) return {load8(p), load8(p + n - 8)};
    if (n >= 4) return {load4(p), load4(p + n - 4)};
    if (n == 0) return {0, 0};
    // One to three bytes: first, middle, last.
    return {static_cast<unsigned char>(p[0]) | (std::uint64_t{static_cast<unsigned char>(p[n / 2])} << 8),
            static_cast<unsigned char>(p[n - 1])};
}

// Identifiers are short: their ends, multiplied and folded (longer ones
// take eight bytes at a time in between).
std::uint32_t hash_of(std::string_view s, const Ends& e) noexcept {
    std::uint64_t h = (0x9E3779B97F4A7C15ull ^ s.size() ^ e.head) * 0xFF51AFD7ED558CCDull;
    for (std::size_t i = 8; i + 8 < s.size(); i += 8) {
        h ^= h >> 32;
        h = (h ^ load8(s.data() + i)) * 0xFF51AFD7ED558CCDull;
    }
    h ^= h >> 32;
    h = (h ^ e.tail) * 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 29;
    return static_cast<std::uint32_t>(h);
}

}  // namespace

void Arena::grow_interning() {
    std::uint32_t capacity = slots_ == nullptr ? 64 : (slot_mask_ + 1) * 2;
    auto* slots = static_cast<Slot*>(::operator new(capacity * sizeof(Slot)));
    std::memset(static_cast<void*>(slots), 0, capacity * sizeof(Slot));
    for (std::uint32_t i = 0; slots_ != nullptr && i <= slot_mask_; ++i) {
        if (slots_[i].data == nullptr) continue;
        std::uint32_t j = slots_[i].hash & (capacity - 1);
        while (slots[j].data != nullptr) j = (j + 1) & (capacity - 1);
        slots[j] = slots_[i];
    }
    ::operator delete(slots_);
    slots_ = slots;
    slot_mask_ = capacity - 1;
}

Identifier Arena::intern(std::string_view name) {
    // Kept at most three quarters full: the probes stay short and the table small.
    if (slots_ == nullptr || (slot_count_ + 1) * 4 > (slot_mask_ + 1) * 3) grow_interning();
    // The ends of a name of up to sixteen bytes are the whole name: the slot
    // holds them, so a lookup reads no text but the name's own.
    const Ends e = ends_of(name.data(), name.size());
    const std::uint32_t h = hash_of(name, e);
    std::uint32_t i = h & slot_mask_;
    for (;; i = (i + 1) & slot_mask_) {
        const Slot& s = slots_[i];
        if (s.data == nullptr) break;
        if (s.hash == h && s.size == name.size() && s.head == e.head && s.tail == e.tail &&
            (name.size() <= 16 || std::memcmp(s.data, name.data(), name.size()) == 0))
            return {s.data, s.size};
    }
    // The empty name needs a non-null pointer: null data means "none".
    std::string_view stored = name.empty() ? std::string_view("", 0) : store(name);
    slots_[i] = Slot{stored.data(), static_cast<std::uint32_t>(stored.size()), h, e.head, e.tail};
    ++slot_count_;
    return stored;
}

void Arena::release_interning() noexcept {
    ::operator delete(slots_);
    slots_ = nullptr;
    slot_mask_ = 0;
    slot_count_ = 0;
}

}  // namespace norvex::pyast
