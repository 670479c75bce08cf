// Child nodes and the breadth-first walk as lists.
#include "norvex/pyast/tree_services.hpp"

namespace norvex::pyast {

std::vector<const Node*> child_nodes(const Node* node) {
    std::vector<const Node*> out;
    if (node == nullptr) return out;
    detail::for_each_child(node, [&out](const Node* child) { out.push_back(child); });
    return out;
}

std::vector<const Node*> walk(const Node* node) {
    // The walk's own queue already holds every node in walk order.
    std::vector<const Node*> out;
    if (node == nullptr) return out;
    out.push_back(node);
    for (std::size_t head = 0; head < out.size(); ++head) {
        detail::for_each_child(out[head], [&out](const Node* child) { out.push_back(child); });
    }
    return out;
}

}  // namespace norvex::pyast
