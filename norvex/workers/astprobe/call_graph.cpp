// build_call_graph: the names each function calls, unresolved.
#include "norvex/workers/astprobe/metrics.hpp"

#include "norvex/pyast/tree_services.hpp"
#include "norvex/workers/astprobe/records.hpp"

#include <algorithm>
#include <string_view>
#include <vector>

namespace norvex::astprobe {

namespace json = boost::json;
using namespace pyast;

json::object build_call_graph(const Node& tree) {
    json::object graph;
    std::vector<std::string_view> called;
    for_each_in_walk(&tree, [&](const Node* node) {
        if (!detail::is_function(node)) return;
        called.clear();
        for_each_in_walk(node, [&](const Node* inner) {
            const auto* call = as<Call>(inner);
            if (call == nullptr) return;
            if (const auto* name = as<Name>(call->func)) {
                called.push_back(name->id);
            } else if (const auto* attr = as<Attribute>(call->func)) {
                called.push_back(attr->attr);
            }
        });
        // string_view compares bytes as unsigned, which for UTF-8 is code point order.
        std::sort(called.begin(), called.end());
        called.erase(std::unique(called.begin(), called.end()), called.end());
        json::array names;
        names.reserve(called.size());
        for (std::string_view name : called) names.push_back(json::string(name));
        // operator[] keeps an existing key where it is, as a dict assignment does.
        graph[detail::function_name(*node)] = std::move(names);
    });
    return graph;
}

}  // namespace norvex::astprobe
