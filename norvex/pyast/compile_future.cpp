// The future-import check that runs before any scope work: the features the leading imports name.
#include "norvex/pyast/compile_check_impl.hpp"

#include <array>

namespace norvex::pyast::compile_detail {

namespace {

constexpr std::array<std::string_view, 9> kKnownFeatures = {
    "nested_scopes", "generators", "division", "absolute_import", "with_statement",
    "print_function", "unicode_literals", "barry_as_FLUFL", "generator_stop",
};

}  // namespace

bool is_docstring(const Node* stmt) noexcept {
    const auto* expr = as<Expr>(stmt);
    const auto* constant = expr != nullptr ? as<Constant>(expr->value) : nullptr;
    return constant != nullptr && constant->value.kind == ConstantValue::Kind::Str;
}

FutureFeatures check_future(const Node* module) {
    FutureFeatures features;
    const auto* mod = as<Module>(module);
    if (mod == nullptr || mod->body.empty()) return features;
    std::size_t i = is_docstring(mod->body[0]) ? 1 : 0;
    // Only the run of future imports at the top counts; a later one is the
    // symbol table's "must occur at the beginning" error, not this one's.
    for (; i < mod->body.size(); ++i) {
        const auto* import = as<ImportFrom>(mod->body[i]);
        if (import == nullptr || import->level != 0 || import->module.data() == nullptr ||
            import->module != "__future__") {
            break;
        }
        for (const Node* node : import->names) {
            const std::string_view feature = as<alias>(node)->name;
            if (feature == "annotations") {
                features.annotations = true;
            } else if (feature == "braces") {
                fail("not a chance", location_of(node));
            } else {
                bool known = false;
                for (std::string_view name : kKnownFeatures) known = known || name == feature;
                if (!known) fail("future feature " + std::string(feature) + " is not defined", location_of(node));
            }
        }
        features.last_import = location_of(mod->body[i]);
    }
    return features;
}

}  // namespace norvex::pyast::compile_detail
