// handle_command, the line step and the command loop of the worker.
#include "norvex/workers/astprobe/commands.hpp"

#include "norvex/common/line_framer.hpp"
#include "norvex/common/pyjson.hpp"
#include "norvex/common/pystr.hpp"
#include "norvex/pyast/dump.hpp"
#include "norvex/pyast/tree_services.hpp"
#include "norvex/workers/astprobe/metrics.hpp"
#include "norvex/workers/astprobe/parse_file.hpp"
#include "norvex/workers/astprobe/structure.hpp"
#include "norvex/workers/astprobe/summary.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <exception>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

namespace norvex::astprobe {

namespace json = boost::json;

namespace {

constexpr std::size_t DUMP_LIMIT = 5000;

json::object success(json::value result) {
    json::object answer;
    answer["success"] = true;
    answer["result"] = std::move(result);
    return answer;
}

json::object failure(std::string_view error) {
    json::object answer;
    answer["success"] = false;
    answer["error"] = error;
    return answer;
}

const char* json_type_name(const json::value& v) {
    switch (v.kind()) {
        case json::kind::object: return "an object";
        case json::kind::array: return "an array";
        case json::kind::string: return "a string";
        case json::kind::bool_: return "a boolean";
        case json::kind::null: return "null";
        default: return "a number";
    }
}

// The text under `key`, "" when absent, or none (with `error` set) for any other value.
const json::string* text_field(const json::object& command, std::string_view key, std::string& error) {
    static const json::string empty;
    const json::value* v = command.if_contains(key);
    if (v == nullptr) return &empty;
    if (const json::string* s = v->if_string()) return s;
    error = "Invalid command: \"" + std::string(key) + "\" must be a string, not " + json_type_name(*v);
    return nullptr;
}

using Entry = json::value (*)(const ParsedFile&, std::string_view path);

// Nodes this deep cannot reach the part of the dump that is kept: each level
// of nesting puts its node on a new line indented by 2 more spaces, so the
// text before a node at depth d is longer than d * (d - 1) >= 5000.
constexpr std::size_t DUMP_DEPTH = 128;

// Replaces everything below DUMP_DEPTH by one field-less node, so that a
// degenerate tree (a chain of 100000 "+") dumps in little time and memory
// while the first DUMP_LIMIT code points stay what the full dump would give.
void prune_below_dump_limit(pyast::Tree& tree) {
    pyast::Node* stub = nullptr;
    std::vector<std::pair<pyast::Node*, std::size_t>> stack{{tree.root, 0}};
    while (!stack.empty()) {
        auto [node, depth] = stack.back();
        stack.pop_back();
        auto* base = reinterpret_cast<unsigned char*>(node);
        for (const pyast::FieldInfo* field = pyast::fields_of(node->kind); field->type != pyast::FieldType::End; ++field) {
            unsigned char* at = base + field->offset;
            if (field->type == pyast::FieldType::Node || field->type == pyast::FieldType::OptNode) {
                auto& child = *reinterpret_cast<pyast::Node**>(at);
                if (child == nullptr) continue;
                if (depth + 1 < DUMP_DEPTH) {
                    stack.emplace_back(child, depth + 1);
                } else {
                    if (stub == nullptr) stub = &tree.arena.make<pyast::Pass>()->base;
                    child = stub;
                }
            } else if (field->type == pyast::FieldType::Nodes || field->type == pyast::FieldType::OptNodes) {
                auto& list = *reinterpret_cast<pyast::NodeList*>(at);
                if (depth + 1 >= DUMP_DEPTH) {
                    list.count = 0;
                    continue;
                }
                for (pyast::Node* child : list) {
                    if (child != nullptr) stack.emplace_back(child, depth + 1);
                }
            }
        }
    }
}

std::size_t tree_depth(const pyast::Node& root) {
    std::size_t deepest = 0;
    std::vector<std::pair<const pyast::Node*, std::size_t>> stack{{&root, 0}};
    while (!stack.empty()) {
        const pyast::Node* node = stack.back().first;
        const std::size_t depth = stack.back().second;
        stack.pop_back();
        deepest = std::max(deepest, depth);
        pyast::detail::for_each_child(node, [&](const pyast::Node* child) { stack.emplace_back(child, depth + 1); });
    }
    return deepest;
}

json::value run_parse_ast(const ParsedFile& f, std::string_view) {
    if (tree_depth(f.module()) >= DUMP_DEPTH) prune_below_dump_limit(*f.tree);
    const std::string dumped = pyast::dump(&f.module());
    return json::object{{"ast", pystr::cut(dumped, DUMP_LIMIT)}};
}

// The dispatch table, each entry bound to the parsed file and the path.
constexpr std::array<std::pair<std::string_view, Entry>, 9> ENTRIES{{
    {"parse_ast", run_parse_ast},
    {"find_functions", [](const ParsedFile& f, std::string_view) -> json::value { return find_functions(f.module(), f.source); }},
    {"find_classes", [](const ParsedFile& f, std::string_view) -> json::value { return find_classes(f.module(), f.source); }},
    {"find_imports", [](const ParsedFile& f, std::string_view) -> json::value { return find_imports(f.module()); }},
    {"find_todos", [](const ParsedFile& f, std::string_view) -> json::value { return find_todos(f.source); }},
    {"complexity", [](const ParsedFile& f, std::string_view) -> json::value { return calculate_complexity(f.module()); }},
    {"symbols", [](const ParsedFile& f, std::string_view) -> json::value { return extract_symbols(f.module()); }},
    {"call_graph", [](const ParsedFile& f, std::string_view) -> json::value { return build_call_graph(f.module()); }},
    {"summarize", [](const ParsedFile& f, std::string_view path) -> json::value { return summarize_file(path, f.module(), f.source); }},
}};

std::string error_text(std::exception_ptr e) {
    try {
        std::rethrow_exception(std::move(e));
    } catch (const std::exception& ex) {
        return ex.what();
    } catch (...) {
        return "unknown error";
    }
}

}  // namespace

json::object handle_command(const json::object& command) {
    try {
        std::string error;
        const json::string* action = text_field(command, "action", error);
        if (action == nullptr) return failure(error);
        if (*action == "quit") return success("goodbye");
        const json::string* path = text_field(command, "path", error);
        if (path == nullptr) return failure(error);

        if (*action == "analyze") return full_analysis(*path);

        // The file comes first: an unknown action on a missing file reports the file.
        const ParsedFile parsed = parse_file(*path);
        if (!parsed.ok()) return failure(*parsed.error);
        for (const auto& [name, entry] : ENTRIES) {
            if (name == *action) return success(entry(parsed, *path));
        }
        return failure("Unknown action: " + std::string(*action));
    } catch (...) {
        return failure(error_text(std::current_exception()));
    }
}

LineOutcome respond_to_line(std::string_view line) {
    LineOutcome out;
    try {
        const std::string_view text = pystr::strip(line);
        if (text.empty()) return out;
        json::object answer;
        try {
            json::value command = pyjson::parse(text);
            if (json::object* object = command.if_object()) {
                answer = handle_command(*object);
                const json::value* action = object->if_contains("action");
                out.quit = action != nullptr && action->is_string() && action->get_string() == "quit";
            } else {
                answer = failure(std::string("Invalid command: expected a JSON object, not ") + json_type_name(command));
            }
        } catch (const pyjson::DecodeError& e) {
            answer = failure(std::string("Invalid JSON: ") + e.what());
        }
        std::string written = pyjson::dumps(answer);
        written.push_back('\n');
        out.answer = std::move(written);
    } catch (...) {
        // Even serialising can run out of memory; the loop still owes an answer.
        std::string written = "{\"success\": false, \"error\": ";
        pyjson::dump_to(written, json::string(error_text(std::current_exception())));
        written += "}\n";
        out.answer = std::move(written);
    }
    return out;
}

namespace {

// False when the reader has gone away (or writing failed otherwise).
bool write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n >= 0) {
            data.remove_prefix(static_cast<std::size_t>(n));
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

}  // namespace

int run_command_loop(int in, int out) {
    // No bound on a line and "\r" left in it: respond_to_line strips it as
    // Python's str.strip() would, and one command is as long as it needs.
    LineFramer lines;
    // One answer per line, written as soon as it is known (write() is the
    // flush); a reader that went away ends the loop as end of input would.
    auto serve = [&](const std::string& line) -> bool {
        LineOutcome outcome = respond_to_line(line);
        if (outcome.answer && !write_all(out, *outcome.answer)) return false;
        return !outcome.quit;
    };
    // Left uninitialised: zeroing it would touch 16 pages of stack, a page
    // fault each, before the first command is read.
    std::array<char, 65536> chunk;
    while (true) {
        const ssize_t n = ::read(in, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        lines.feed(std::string_view(chunk.data(), static_cast<std::size_t>(n)));
        while (auto line = lines.next()) {
            if (!serve(line->text)) return 0;
        }
    }
    lines.finish();
    if (auto rest = lines.next()) serve(rest->text);
    return 0;
}

}  // namespace norvex::astprobe
