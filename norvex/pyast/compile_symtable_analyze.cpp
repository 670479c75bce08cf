// The symbol table's scope analysis: where each global and nonlocal name is bound.
#include "norvex/pyast/compile_check_impl.hpp"

#include <unordered_set>

namespace norvex::pyast::compile_detail {

namespace {

using NameSet = std::unordered_set<std::string_view>;

[[noreturn]] void fail_at_directive(const Block& block, std::string_view name, std::string message) {
    for (const auto& [directive, where] : block.directives) {
        if (directive == name) fail(std::move(message), where);
    }
    fail(std::move(message), Location{});
}

// `bound` is null at module level (nothing encloses it); the sets are this
// block's own copies, as the children see them after its names are settled.
void analyze_block(const Block& block, const NameSet* bound_in, NameSet type_params) {
    std::optional<NameSet> bound;
    if (bound_in != nullptr) bound = *bound_in;
    NameSet local;
    for (const auto& [name, flags] : block.symbols) {
        if (flags & DEF_GLOBAL) {
            if (flags & DEF_NONLOCAL) {
                fail_at_directive(block, name, "name '" + std::string(name) + "' is nonlocal and global");
            }
            if (bound) bound->erase(name);
            continue;
        }
        if (flags & DEF_NONLOCAL) {
            if (!bound) fail_at_directive(block, name, "nonlocal declaration not allowed at module level");
            if (bound->count(name) == 0) {
                fail_at_directive(block, name, "no binding for nonlocal '" + std::string(name) + "' found");
            }
            if (type_params.count(name) != 0) {
                fail_at_directive(block, name,
                                  "nonlocal binding not allowed for type parameter '" + std::string(name) + "'");
            }
            continue;
        }
        if (flags & DEF_BOUND) {
            local.insert(name);
            if (flags & DEF_TYPE_PARAM) {
                type_params.insert(name);
            } else {
                type_params.erase(name);
            }
        }
    }
    // A class's names are invisible to the functions inside it.
    NameSet child_bound;
    if (block.type != BlockType::Class && block.function_like()) child_bound = local;
    if (bound) child_bound.insert(bound->begin(), bound->end());
    // A class gives the functions inside it its implicit cells.
    if (block.type == BlockType::Class) {
        child_bound.insert({"__class__", "__classdict__", "__conditional_annotations__"});
    }
    for (const Block* child : block.children) analyze_block(*child, &child_bound, type_params);
}

}  // namespace

void analyze_symtable(const SymbolTable& table) { analyze_block(*table.top, nullptr, {}); }

}  // namespace norvex::pyast::compile_detail
