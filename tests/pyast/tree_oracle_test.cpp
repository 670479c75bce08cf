// The tree services against CPython 3.14: trees the oracle parsed, rebuilt here, must dump, walk, and cut the same.
//
// The oracle (tests/pyast/oracle) parses each sample file and sends the tree
// as JSON together with its ast.dump texts, walk order, docstrings and source
// segments. Rebuilding that tree in an arena tests every service on real
// code without depending on norvex's own parser; a last case parses the
// same files with norvex's parser and compares the dumps. Set
// NORVEX_PYAST_ORACLE_EXTRA to a folder to add its .py files (for example a
// Python standard library) to the run.
#include "oracle_files.hpp"
#include "norvex/pyast/dump.hpp"
#include "norvex/pyast/parse.hpp"
#include "norvex/pyast/tree_services.hpp"

#include <boost/json.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <unistd.h>

namespace norvex::pyast {
namespace {

namespace fs = std::filesystem;
namespace json = boost::json;

const fs::path kData = NORVEX_PYAST_TEST_DATA;
const fs::path kOracle = kData / ".." / ".." / "pyast" / "oracle";

std::string unhex(std::string_view hex) {
    std::string out;
    out.reserve(hex.size() / 2);
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return out;
}

// Rebuilds an oracle tree in an arena, generically over the field tables.
class Builder {
public:
    explicit Builder(Arena& arena) : arena_(arena) {
        for (int i = 0; i <= static_cast<int>(NodeKind::TypeVarTuple); ++i) {
            kinds_.emplace(std::string(name_of(static_cast<NodeKind>(i))), static_cast<NodeKind>(i));
        }
        for (int i = 0; i <= static_cast<int>(Op::NotIn); ++i) ops_.emplace(std::string(name_of(static_cast<Op>(i))), static_cast<Op>(i));
        for (int i = 0; i <= static_cast<int>(ExprContext::Del); ++i) {
            ctxs_.emplace(std::string(name_of(static_cast<ExprContext>(i))), static_cast<ExprContext>(i));
        }
    }

    Node* node(const json::value& v) {
        if (v.is_null()) return nullptr;
        const json::object& o = v.as_object();
        const NodeKind kind = kinds_.at(std::string(o.at("_type").as_string()));
        Node* n = make(kind);
        if (const auto* pos = o.if_contains("_pos")) {
            const json::array& p = pos->as_array();
            n->pos = {static_cast<std::int32_t>(p[0].as_int64()), static_cast<std::int32_t>(p[1].as_int64()),
                      static_cast<std::int32_t>(p[2].as_int64()), static_cast<std::int32_t>(p[3].as_int64())};
        }
        auto* base = reinterpret_cast<unsigned char*>(n);
        for (const FieldInfo* f = fields_of(kind); f->type != FieldType::End; ++f) {
            set(base + f->offset, f->type, o.at(f->name));
        }
        return n;
    }

private:
    Node* make(NodeKind kind) {
        switch (kind) {
#define PYAST_NODE(Kind, Category) \
    case NodeKind::Kind: return &arena_.make<Kind>()->base;
#define PYAST_FIELD(Kind, Type, name)
#define PYAST_END(Kind)
#include "norvex/pyast/node_kinds.def"
#undef PYAST_NODE
#undef PYAST_FIELD
#undef PYAST_END
        }
        return nullptr;
    }

    Identifier ident(const json::value& v) {
        return v.is_null() ? Identifier{} : arena_.intern(unhex(v.as_string()));
    }

    ConstantValue constant(const json::value& v) {
        const json::object& o = v.as_object();
        const std::string_view t = o.at("t").as_string();
        ConstantValue c;
        using K = ConstantValue::Kind;
        if (t == "None") c.kind = K::None;
        else if (t == "True") c.kind = K::True;
        else if (t == "False") c.kind = K::False;
        else if (t == "Ellipsis") c.kind = K::Ellipsis;
        else if (t == "int") {
            const std::string digits(o.at("v").as_string());
            errno = 0;
            const long long value = std::strtoll(digits.c_str(), nullptr, 10);
            if (errno == ERANGE) {
                c.kind = K::BigInt;
                c.text = arena_.store(digits);
            } else {
                c.kind = K::Int;
                c.int_value = value;
            }
        } else if (t == "float" || t == "complex") {
            c.kind = t == "float" ? K::Float : K::Complex;
            c.float_value = std::strtod(std::string(o.at("v").as_string()).c_str(), nullptr);
        } else {
            c.kind = t == "str" ? K::Str : K::Bytes;
            c.text = arena_.store(unhex(o.at("v").as_string()));
        }
        return c;
    }

    void set(unsigned char* at, FieldType type, const json::value& v) {
        switch (type) {
            case FieldType::Node:
            case FieldType::OptNode: *reinterpret_cast<Node**>(at) = node(v); break;
            case FieldType::Nodes:
            case FieldType::OptNodes: {
                std::vector<Node*> items;
                for (const auto& item : v.as_array()) items.push_back(node(item));
                *reinterpret_cast<NodeList*>(at) = arena_.list(items);
                break;
            }
            case FieldType::Ident:
            case FieldType::OptIdent: *reinterpret_cast<Identifier*>(at) = ident(v); break;
            case FieldType::OptStr:
                *reinterpret_cast<OptString*>(at) = v.is_null() ? OptString{} : arena_.store(unhex(v.as_string()));
                break;
            case FieldType::Idents: {
                std::vector<Identifier> items;
                for (const auto& item : v.as_array()) items.push_back(ident(item));
                *reinterpret_cast<IdentifierList*>(at) = arena_.identifiers(items);
                break;
            }
            case FieldType::Int: *reinterpret_cast<std::int32_t*>(at) = static_cast<std::int32_t>(v.as_int64()); break;
            case FieldType::OptInt:
                *reinterpret_cast<std::int32_t*>(at) = v.is_null() ? NO_INT : static_cast<std::int32_t>(v.as_int64());
                break;
            case FieldType::Const: *reinterpret_cast<ConstantValue*>(at) = constant(v); break;
            case FieldType::Op: *reinterpret_cast<Op*>(at) = ops_.at(std::string(v.as_string())); break;
            case FieldType::Ops: {
                std::vector<Op> items;
                for (const auto& item : v.as_array()) items.push_back(ops_.at(std::string(item.as_string())));
                *reinterpret_cast<OpList*>(at) = arena_.ops(items);
                break;
            }
            case FieldType::Ctx: *reinterpret_cast<ExprContext*>(at) = ctxs_.at(std::string(v.as_string())); break;
            case FieldType::End: break;
        }
    }

    Arena& arena_;
    std::map<std::string, NodeKind> kinds_;
    std::map<std::string, Op> ops_;
    std::map<std::string, ExprContext> ctxs_;
};

struct OracleRun {
    std::vector<json::object> records;
    std::string skip_reason;
};

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ctest runs each case in its own process, and the oracle takes seconds to
// start, so its output is kept in the temporary folder under a hash of
// everything it depends on: the oracle's code and each file's path and bytes.
fs::path cache_path(const std::vector<fs::path>& files) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    auto mix = [&hash](std::string_view bytes) {
        for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
        hash = (hash ^ 0xff) * 0x100000001b3ULL;
    };
    mix(read_file(kOracle / "oracle.mjs"));
    mix(read_file(kOracle / "oracle.py"));
    for (const auto& f : files) {
        mix(f.string());
        mix(read_file(f));
    }
    char name[64];
    std::snprintf(name, sizeof name, "norvex_pyast_oracle_%016llx.jsonl", static_cast<unsigned long long>(hash));
    return fs::temp_directory_path() / name;
}

std::string oracle_output(const std::vector<fs::path>& files) {
    // A run over an extra folder is by hand and its output large: no cache.
    const bool cached = std::getenv("NORVEX_PYAST_ORACLE_EXTRA") == nullptr;
    const fs::path cache = cached ? cache_path(files) : fs::path();
    if (cached && fs::exists(cache)) return read_file(cache);
    const fs::path list = fs::temp_directory_path() / ("pyast_tree_oracle_" + std::to_string(::getpid()) + ".txt");
    {
        std::ofstream out(list);
        for (const auto& f : files) out << f.string() << '\n';
    }
    const std::string command = "node '" + (kOracle / "oracle.mjs").string() + "' --mode services < '" + list.string() + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string text;
    char buf[1 << 16];
    for (std::size_t n; pipe != nullptr && (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) text.append(buf, n);
    const int status = pipe != nullptr ? ::pclose(pipe) : -1;
    fs::remove(list);
    EXPECT_EQ(status, 0) << command;
    if (cached && status == 0) {
        // Written whole and renamed, so a parallel run never reads half a cache.
        const fs::path partial = cache.string() + "." + std::to_string(::getpid());
        std::ofstream(partial, std::ios::binary) << text;
        fs::rename(partial, cache);
    }
    return text;
}

OracleRun run_oracle(const std::vector<fs::path>& files) {
    OracleRun run;
    if (std::system("command -v node >/dev/null 2>&1") != 0) {
        run.skip_reason = "node is not installed";
        return run;
    }
    if (!fs::exists(kOracle / "node_modules" / "pyodide")) {
        run.skip_reason = "pyodide is not installed (scripts/install-deps.sh)";
        return run;
    }
    json::parse_options options;
    options.max_depth = 1 << 20;  // deeply nested expressions nest the tree's JSON as deep
    std::istringstream lines(oracle_output(files));
    for (std::string line; std::getline(lines, line);) run.records.push_back(json::parse(line, {}, options).as_object());
    return run;
}

std::vector<fs::path> sample_files() { return testing::oracle_sample_files(); }

class OracleTrees : public ::testing::Test {
protected:
    static void SetUpTestSuite() { run_ = new OracleRun(run_oracle(sample_files())); }
    static void TearDownTestSuite() {
        delete run_;
        run_ = nullptr;
    }

    void SetUp() override {
        if (!run_->skip_reason.empty()) GTEST_SKIP() << run_->skip_reason;
    }

    // Calls check(record, root, source) for every file that parsed.
    template <typename Check>
    void for_each_tree(Check&& check) {
        int trees = 0;
        for (const auto& record : run_->records) {
            if (record.contains("error")) continue;
            Arena arena;
            Builder builder(arena);
            const Node* root = builder.node(record.at("tree"));
            const std::string path(record.at("path").as_string());
            SCOPED_TRACE(path);
            const auto* decoded = record.if_contains("source");
            check(record, root, decoded != nullptr ? unhex(decoded->as_string()) : read_file(path));
            ++trees;
        }
        EXPECT_GE(trees, 5);
    }

    static OracleRun* run_;
};

OracleRun* OracleTrees::run_ = nullptr;

TEST_F(OracleTrees, dump_matches_in_every_layout) {
    for_each_tree([](const json::object& record, const Node* root, const std::string&) {
        EXPECT_EQ(dump(root, {.indent = 2, .include_attributes = true}), record.at("dump").as_string());
        EXPECT_EQ(dump(root, {.indent = 2, .include_attributes = false}), record.at("dump_plain").as_string());
        EXPECT_EQ(dump(root, {.indent = std::nullopt, .include_attributes = true}), record.at("dump_flat").as_string());
    });
}

TEST_F(OracleTrees, walk_visits_nodes_in_the_same_order) {
    for_each_tree([](const json::object& record, const Node* root, const std::string&) {
        std::vector<std::string> expected;
        for (const auto& name : record.at("walk").as_array()) expected.emplace_back(name.as_string());
        std::vector<std::string> listed, visited;
        for (const Node* n : walk(root)) listed.emplace_back(name_of(n->kind));
        for_each_in_walk(root, [&visited](const Node* n) { visited.emplace_back(name_of(n->kind)); });
        EXPECT_EQ(listed, expected);
        EXPECT_EQ(visited, expected);
    });
}

TEST_F(OracleTrees, docstrings_are_cleaned_the_same) {
    for_each_tree([](const json::object& record, const Node* root, const std::string&) {
        std::vector<std::optional<std::string>> expected, actual;
        for (const auto& d : record.at("docstrings").as_array()) {
            expected.push_back(d.is_null() ? std::nullopt : std::optional(unhex(d.as_string())));
        }
        for (const Node* n : walk(root)) {
            if (is<Module>(n) || is<ClassDef>(n) || is<FunctionDef>(n) || is<AsyncFunctionDef>(n)) {
                actual.push_back(docstring(n));
            }
        }
        EXPECT_EQ(actual, expected);
    });
}

TEST_F(OracleTrees, source_segments_are_the_same_slices) {
    for_each_tree([](const json::object& record, const Node* root, const std::string& source) {
        const std::vector<const Node*> nodes = walk(root);
        for (const auto& pair : record.at("segments").as_array()) {
            const auto index = static_cast<std::size_t>(pair.as_array()[0].as_int64());
            const json::value& text = pair.as_array()[1];
            ASSERT_LT(index, nodes.size());
            const auto segment = source_segment(source, nodes[index]);
            if (text.is_null()) {
                EXPECT_FALSE(segment.has_value()) << name_of(nodes[index]->kind) << " #" << index;
            } else {
                ASSERT_TRUE(segment.has_value()) << name_of(nodes[index]->kind) << " #" << index;
                EXPECT_EQ(*segment, unhex(text.as_string())) << name_of(nodes[index]->kind) << " #" << index;
            }
        }
    });
}

TEST_F(OracleTrees, the_parser_builds_the_same_trees) {
    int compared = 0;
    for (const auto& record : run_->records) {
        const std::string path(record.at("path").as_string());
        SCOPED_TRACE(path);
        // parse() takes UTF-8 text, so a file in another coding goes in decoded.
        const auto* decoded = record.if_contains("source");
        const ParseResult result = parse(decoded != nullptr ? unhex(decoded->as_string()) : read_file(path));
        if (const auto* error = record.if_contains("error")) {
            // Other errors (a file the oracle could not read) say nothing about the parser.
            const std::string_view type = error->at("type").as_string();
            if (type == "SyntaxError" || type == "IndentationError" || type == "TabError") {
                EXPECT_FALSE(result.tree) << "CPython rejects it: " << error->at("msg").as_string();
            }
            continue;
        }
        ASSERT_TRUE(result.tree) << result.error->msg << " at " << result.error->lineno << ":" << result.error->offset;
        EXPECT_EQ(dump(result.tree->root, {.indent = 2, .include_attributes = true}), record.at("dump").as_string());
        ++compared;
    }
    EXPECT_GE(compared, 5);
}

}  // namespace
}  // namespace norvex::pyast
