// calculate_complexity: decision points per function and the letter rating.
#include "norvex/workers/astprobe/metrics.hpp"

#include "norvex/pyast/tree_services.hpp"
#include "norvex/workers/astprobe/records.hpp"

namespace norvex::astprobe {

namespace json = boost::json;
using pyast::NodeKind;

namespace {

std::int64_t decision_points(const pyast::Node& node) {
    switch (node.kind) {
        case NodeKind::If:
        case NodeKind::While:
        case NodeKind::For:
        case NodeKind::AsyncFor:
        case NodeKind::ExceptHandler:
        case NodeKind::Assert:
        case NodeKind::ListComp:
        case NodeKind::SetComp:
        case NodeKind::DictComp:
        case NodeKind::GeneratorExp:
            return 1;
        case NodeKind::BoolOp:
            return static_cast<std::int64_t>(pyast::as<pyast::BoolOp>(&node)->values.size()) - 1;
        default:
            return 0;
    }
}

}  // namespace

std::string_view complexity_rating(std::int64_t complexity) noexcept {
    if (complexity <= 5) return "A";
    if (complexity <= 10) return "B";
    if (complexity <= 20) return "C";
    return "F";
}

json::array calculate_complexity(const pyast::Node& tree) {
    json::array out;
    pyast::for_each_in_walk(&tree, [&](const pyast::Node* node) {
        if (!detail::is_function(node)) return;
        std::int64_t complexity = 1;
        pyast::for_each_in_walk(node, [&](const pyast::Node* inner) { complexity += decision_points(*inner); });
        json::object record;
        record["name"] = json::string(detail::function_name(*node));
        record["line"] = node->pos.lineno;
        record["complexity"] = complexity;
        record["rating"] = complexity_rating(complexity);
        out.push_back(std::move(record));
    });
    return out;
}

}  // namespace norvex::astprobe
