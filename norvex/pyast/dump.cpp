// The textual dump of a syntax tree in the layout of CPython 3.14's ast.dump.
//
// The layout, found by comparing with CPython over its whole standard
// library: a field whose value is None or an empty list is left out (except
// the value of Constant and MatchSingleton, which is the constant itself);
// every field is written as name=value. With an indent, a node goes on one
// line when it shows at most three fields and every one of them is
// "simple" (a string, number, None, or a node that itself shows no field,
// such as Load() or Dict()); otherwise each field starts its own line one
// level deeper. A non-empty list is never simple and always puts each item
// on its own line one level deeper than the field. Without an indent all
// separators are ", ". With attributes, a positioned node's four positions
// follow its fields and count as fields too, so it never fits on one line.
#include "norvex/pyast/dump.hpp"

#include "norvex/pyast/constant_repr.hpp"

#include <charconv>
#include <vector>

namespace norvex::pyast {
namespace {

constexpr const char* kAttributeNames[] = {"lineno", "col_offset", "end_lineno", "end_col_offset"};

template <typename T>
const T& field_at(const Node* node, const FieldInfo* field) {
    return *reinterpret_cast<const T*>(reinterpret_cast<const unsigned char*>(node) + field->offset);
}

// Writes the dump with an explicit stack instead of recursion: the parser
// accepts chains like 1+1+...+1 whose trees are deeper than a thread's stack.
class Dumper {
public:
    Dumper(std::string& out, const DumpOptions& options)
        : out_(out), attributes_(options.include_attributes), multiline_(options.indent.has_value()) {
        if (multiline_ && *options.indent > 0) unit_.assign(static_cast<std::size_t>(*options.indent), ' ');
    }

    void run(const Node* root) {
        open_node(root, 0);
        while (!stack_.empty()) {
            if (stack_.back().list) {
                step_list();
            } else {
                step_node();
            }
        }
    }

private:
    // A node whose fields are being written, or a list field of `node`
    // whose items are. `level` is the depth of the lines inside it.
    struct Frame {
        const Node* node;
        const FieldInfo* field;  // node: the next field to look at; list: the list's field
        std::uint32_t next_item;
        int level;
        bool list;
        bool one_line;
        bool first;
    };

    void open_node(const Node* n, int parent_level) {
        out_ += name_of(n->kind);
        out_.push_back('(');
        stack_.push_back({n, fields_of(n->kind), 0, parent_level + 1, false, !multiline_ || fits_on_one_line(n), true});
    }

    void open_list(const Node* owner, const FieldInfo* field, int parent_level) {
        out_.push_back('[');
        stack_.push_back({owner, field, 0, parent_level + 1, true, false, true});
    }

    void begin_field(Frame& f, const char* name) {
        if (!f.first) {
            out_.push_back(',');
            if (f.one_line) out_.push_back(' ');
        }
        if (!f.one_line) newline(f.level);
        f.first = false;
        out_ += name;
        out_.push_back('=');
    }

    // Writes fields up to the next one holding nodes, which goes on the stack;
    // closes the node when none is left.
    void step_node() {
        Frame& f = stack_.back();
        while (f.field->type != FieldType::End) {
            const FieldInfo* field = f.field++;
            if (!shown(f.node, field)) continue;
            begin_field(f, field->name);
            switch (field->type) {
                case FieldType::Node:
                case FieldType::OptNode: open_node(field_at<Node*>(f.node, field), f.level); return;
                case FieldType::Nodes:
                case FieldType::OptNodes: open_list(f.node, field, f.level); return;
                default: scalar(f.node, field, f.level);
            }
        }
        if (attributes_ && has_position(f.node->kind)) {
            const Position& pos = f.node->pos;
            const std::int32_t values[] = {pos.lineno, pos.col_offset, pos.end_lineno, pos.end_col_offset};
            for (int i = 0; i < 4; ++i) {
                begin_field(f, kAttributeNames[i]);
                integer(values[i]);
            }
        }
        out_.push_back(')');
        stack_.pop_back();
    }

    void step_list() {
        Frame& f = stack_.back();
        const NodeList& items = field_at<NodeList>(f.node, f.field);
        if (f.next_item == items.count) {
            out_.push_back(']');
            stack_.pop_back();
            return;
        }
        const std::uint32_t i = f.next_item++;
        if (i != 0) out_ += multiline_ ? "," : ", ";
        if (multiline_) newline(f.level);
        if (items[i] == nullptr) {
            out_ += "None";
        } else {
            open_node(items[i], f.level);
        }
    }

    static bool shown(const Node* n, const FieldInfo* field) {
        switch (field->type) {
            case FieldType::Node:
            case FieldType::OptNode: return field_at<Node*>(n, field) != nullptr;
            case FieldType::Nodes:
            case FieldType::OptNodes: return !field_at<NodeList>(n, field).empty();
            case FieldType::OptIdent:
            case FieldType::OptStr: return field_at<std::string_view>(n, field).data() != nullptr;
            case FieldType::Idents: return !field_at<IdentifierList>(n, field).empty();
            case FieldType::Ops: return field_at<OpList>(n, field).size() != 0;
            case FieldType::OptInt: return field_at<std::int32_t>(n, field) != NO_INT;
            default: return true;
        }
    }

    // The number of fields the node shows, stopping once past `limit`.
    int shown_count(const Node* n, int limit) const {
        int count = attributes_ && has_position(n->kind) ? 4 : 0;
        for (const FieldInfo* field = fields_of(n->kind); field->type != FieldType::End && count <= limit; ++field) {
            if (shown(n, field)) ++count;
        }
        return count;
    }

    bool fits_on_one_line(const Node* n) const {
        if (shown_count(n, 3) > 3) return false;
        for (const FieldInfo* field = fields_of(n->kind); field->type != FieldType::End; ++field) {
            if (!shown(n, field)) continue;
            switch (field->type) {
                case FieldType::Node:
                case FieldType::OptNode:
                    if (shown_count(field_at<Node*>(n, field), 0) != 0) return false;
                    break;
                case FieldType::Nodes:
                case FieldType::OptNodes:
                case FieldType::Idents:
                case FieldType::Ops: return false;
                default: break;
            }
        }
        return true;
    }

    // A field that holds no nodes: text, numbers, constants, operators,
    // contexts, and lists of identifiers or operators.
    void scalar(const Node* n, const FieldInfo* field, int level) {
        switch (field->type) {
            case FieldType::Ident:
            case FieldType::OptIdent:
            case FieldType::OptStr: append_str_repr(out_, field_at<std::string_view>(n, field)); break;
            case FieldType::Idents: {
                const IdentifierList& list = field_at<IdentifierList>(n, field);
                list_of(list.size(), level, [&](std::size_t i) { append_str_repr(out_, list[i]); });
                break;
            }
            case FieldType::Int:
            case FieldType::OptInt: integer(field_at<std::int32_t>(n, field)); break;
            case FieldType::Const: append_constant_repr(out_, field_at<ConstantValue>(n, field)); break;
            case FieldType::Op: operator_or_context(name_of(field_at<Op>(n, field))); break;
            case FieldType::Ops: {
                const OpList& list = field_at<OpList>(n, field);
                list_of(list.size(), level, [&](std::size_t i) { operator_or_context(name_of(list[i])); });
                break;
            }
            case FieldType::Ctx: operator_or_context(name_of(field_at<ExprContext>(n, field))); break;
            default: break;
        }
    }

    template <typename ItemFn>
    void list_of(std::size_t count, int level, ItemFn&& item) {
        ++level;
        out_.push_back('[');
        for (std::size_t i = 0; i < count; ++i) {
            if (i != 0) out_ += multiline_ ? "," : ", ";
            if (multiline_) newline(level);
            item(i);
        }
        out_.push_back(']');
    }

    void operator_or_context(std::string_view name) {
        out_ += name;
        out_ += "()";
    }

    void integer(std::int32_t v) {
        char buf[16];
        const auto result = std::to_chars(buf, buf + sizeof buf, v);
        out_.append(buf, result.ptr);
    }

    void newline(int level) {
        out_.push_back('\n');
        for (int i = 0; i < level; ++i) out_ += unit_;
    }

    std::string& out_;
    std::vector<Frame> stack_;
    std::string unit_;
    bool attributes_;
    bool multiline_;
};

}  // namespace

std::string dump(const Node* node, const DumpOptions& options) {
    if (node == nullptr) return "None";
    std::string out;
    Dumper dumper(out, options);
    dumper.run(node);
    return out;
}

}  // namespace norvex::pyast
