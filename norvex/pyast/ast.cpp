// Kind names, field tables and the arena.
#include "norvex/pyast/ast.hpp"

#include <cstring>

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

NodeList Arena::list(const std::vector<Node*>& nodes) {
    NodeList out;
    out.count = static_cast<std::uint32_t>(nodes.size());
    if (out.count == 0) return out;
    out.items = static_cast<Node**>(allocate(sizeof(Node*) * nodes.size(), alignof(Node*)));
    std::memcpy(out.items, nodes.data(), sizeof(Node*) * nodes.size());
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

OpList Arena::ops(const std::vector<Op>& list) {
    OpList out;
    out.count = static_cast<std::uint32_t>(list.size());
    if (out.count == 0) return out;
    out.items = static_cast<Op*>(allocate(sizeof(Op) * list.size(), alignof(Op)));
    std::memcpy(out.items, list.data(), sizeof(Op) * list.size());
    return out;
}

std::string_view Arena::store(std::string_view text) {
    if (text.empty()) return std::string_view("", 0);
    char* copy = static_cast<char*>(allocate(text.size(), 1));
    std::memcpy(copy, text.data(), text.size());
    return {copy, text.size()};
}

Identifier Arena::intern(std::string_view name) {
    auto it = interned_.find(name);
    if (it != interned_.end()) return *it;
    std::string_view stored = store(name);
    interned_.insert(stored);
    return stored;
}

}  // namespace norvex::pyast
