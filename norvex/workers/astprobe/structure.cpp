// find_functions, find_classes, find_imports and extract_symbols over a parsed module.
#include "norvex/workers/astprobe/structure.hpp"

#include "norvex/common/pystr.hpp"
#include "norvex/pyast/tree_services.hpp"
#include "norvex/workers/astprobe/records.hpp"

#include <type_traits>
#include <unordered_set>

namespace norvex::astprobe {

namespace json = boost::json;
using namespace pyast;

namespace detail {

json::string segment_or_empty(const LineTable& lines, const Node* node) {
    if (node == nullptr) return {};
    const auto segment = source_segment(lines, node);
    return segment ? json::string(*segment) : json::string();
}

json::string docstring_or_empty(const Node& node, std::size_t limit) {
    const auto doc = docstring(&node);
    return doc ? json::string(pystr::cut(*doc, limit)) : json::string();
}

json::value identifier_or_null(Identifier name) {
    if (name.data() == nullptr) return nullptr;
    return json::string(name);
}

}  // namespace detail

namespace {

constexpr std::size_t DOCSTRING_LIMIT = 200;

template <typename Def>
json::object function_record(const Def& def, const LineTable& lines, bool is_method) {
    json::array args;
    if (const auto* params = as<arguments>(def.args)) {
        for (const Node* p : params->args) {
            const auto* a = as<arg>(p);
            args.push_back(json::object{{"name", json::string(a->arg)},
                                        {"annotation", detail::segment_or_empty(lines, a->annotation)}});
        }
    }
    json::array decorators;
    for (const Node* d : def.decorator_list) decorators.push_back(detail::segment_or_empty(lines, d));

    json::object record;
    record["name"] = json::string(def.name);
    record["type"] = std::is_same_v<Def, AsyncFunctionDef> ? "async_function" : "function";
    record["line"] = def.base.pos.lineno;
    record["end_line"] = def.base.pos.end_lineno;
    record["args"] = std::move(args);
    record["return_type"] = detail::segment_or_empty(lines, def.returns);
    record["decorators"] = std::move(decorators);
    record["docstring"] = detail::docstring_or_empty(def.base, DOCSTRING_LIMIT);
    record["is_method"] = is_method;
    return record;
}

json::object name_and_line(Identifier name, std::int32_t line) {
    return json::object{{"name", json::string(name)}, {"line", line}};
}

}  // namespace

json::array find_functions(const Node& tree, std::string_view source) {
    json::array out;
    const LineTable lines(source);
    // Walk order yields every class before the statements of its body, so
    // the methods are known by the time their definitions come up.
    std::unordered_set<const Node*> methods;
    for_each_in_walk(&tree, [&](const Node* node) {
        if (const auto* cls = as<ClassDef>(node)) {
            for (const Node* stmt : cls->body) {
                if (detail::is_function(stmt)) methods.insert(stmt);
            }
            return;
        }
        if (!detail::is_function(node)) return;
        const bool is_method = methods.count(node) != 0;
        if (const auto* f = as<FunctionDef>(node)) {
            out.push_back(function_record(*f, lines, is_method));
        } else {
            out.push_back(function_record(*as<AsyncFunctionDef>(node), lines, is_method));
        }
    });
    return out;
}

json::array find_classes(const Node& tree, std::string_view source) {
    json::array out;
    const LineTable lines(source);
    for_each_in_walk(&tree, [&](const Node* node) {
        const auto* cls = as<ClassDef>(node);
        if (cls == nullptr) return;
        json::array bases;
        for (const Node* b : cls->bases) bases.push_back(detail::segment_or_empty(lines, b));
        json::array methods;
        json::array attributes;
        for (const Node* stmt : cls->body) {
            if (detail::is_function(stmt)) {
                methods.push_back(json::string(detail::function_name(*stmt)));
            } else if (const auto* assign = as<Assign>(stmt)) {
                for (const Node* target : assign->targets) {
                    if (const auto* name = as<Name>(target)) attributes.push_back(json::string(name->id));
                }
            }
        }
        const auto method_count = static_cast<std::int64_t>(methods.size());
        json::object record;
        record["name"] = json::string(cls->name);
        record["line"] = cls->base.pos.lineno;
        record["end_line"] = cls->base.pos.end_lineno;
        record["bases"] = std::move(bases);
        record["methods"] = std::move(methods);
        record["attributes"] = std::move(attributes);
        record["docstring"] = detail::docstring_or_empty(cls->base, DOCSTRING_LIMIT);
        record["method_count"] = method_count;
        out.push_back(std::move(record));
    });
    return out;
}

json::array find_imports(const Node& tree) {
    json::array out;
    for_each_in_walk(&tree, [&](const Node* node) {
        if (const auto* imp = as<Import>(node)) {
            for (const Node* n : imp->names) {
                const auto* a = as<alias>(n);
                json::object record;
                record["module"] = json::string(a->name);
                record["alias"] = detail::identifier_or_null(a->asname);
                record["line"] = imp->base.pos.lineno;
                record["type"] = "import";
                out.push_back(std::move(record));
            }
        } else if (const auto* from = as<ImportFrom>(node)) {
            for (const Node* n : from->names) {
                const auto* a = as<alias>(n);
                json::object record;
                // A purely relative import has no module: "".
                record["module"] = from->module.data() != nullptr ? json::string(from->module) : json::string();
                record["name"] = json::string(a->name);
                record["alias"] = detail::identifier_or_null(a->asname);
                record["line"] = from->base.pos.lineno;
                record["type"] = "from_import";
                out.push_back(std::move(record));
            }
        }
    });
    return out;
}

json::object extract_symbols(const Node& tree) {
    json::array functions, classes, variables, constants;
    for (const Node* stmt : child_nodes(&tree)) {
        if (detail::is_function(stmt)) {
            functions.push_back(name_and_line(detail::function_name(*stmt), stmt->pos.lineno));
        } else if (const auto* cls = as<ClassDef>(stmt)) {
            classes.push_back(name_and_line(cls->name, stmt->pos.lineno));
        } else if (const auto* assign = as<Assign>(stmt)) {
            for (const Node* target : assign->targets) {
                const auto* name = as<Name>(target);
                if (name == nullptr) continue;
                auto& list = pystr::isupper(name->id) ? constants : variables;
                list.push_back(name_and_line(name->id, stmt->pos.lineno));
            }
        }
    }
    json::object out;
    out["functions"] = std::move(functions);
    out["classes"] = std::move(classes);
    out["variables"] = std::move(variables);
    out["constants"] = std::move(constants);
    return out;
}

}  // namespace norvex::astprobe
