// The template parts of walking a tree: the child visitor and for_each_in_walk.
#pragma once

#include "norvex/pyast/ast.hpp"

#include <cstddef>
#include <vector>

namespace norvex::pyast {
namespace detail {

// Calls f(child) for each direct child node, in field order. Reads the
// fields through the kind's table so a new kind in node_kinds.def needs no
// change here.
template <typename F>
void for_each_child(const Node* node, F&& f) {
    const auto* base = reinterpret_cast<const unsigned char*>(node);
    for (const FieldInfo* field = fields_of(node->kind); field->type != FieldType::End; ++field) {
        const unsigned char* at = base + field->offset;
        switch (field->type) {
            case FieldType::Node:
            case FieldType::OptNode: {
                const Node* child = *reinterpret_cast<Node* const*>(at);
                if (child != nullptr) f(child);
                break;
            }
            case FieldType::Nodes:
            case FieldType::OptNodes: {
                const NodeList& list = *reinterpret_cast<const NodeList*>(at);
                for (const Node* child : list) {
                    if (child != nullptr) f(child);
                }
                break;
            }
            default: break;
        }
    }
}

}  // namespace detail

template <typename F>
void for_each_in_walk(const Node* node, F&& f) {
    if (node == nullptr) return;
    // A vector read from a moving head is the FIFO queue: it grows to the
    // tree's size once instead of allocating per node as a deque's blocks do.
    std::vector<const Node*> queue;
    queue.reserve(64);
    queue.push_back(node);
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const Node* current = queue[head];
        detail::for_each_child(current, [&queue](const Node* child) { queue.push_back(child); });
        f(current);
    }
}

}  // namespace norvex::pyast
