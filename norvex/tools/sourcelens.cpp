// SourcelensTool: the schema it offers and the one task each call becomes.
#include "norvex/tools/sourcelens.hpp"

#include "norvex/common/pyjson.hpp"
#include "norvex/common/pystr.hpp"
#include "norvex/common/truthy.hpp"

#include <boost/json/array.hpp>
#include <boost/json/value.hpp>

#include <utility>

namespace norvex::sourcelens {

namespace asio = boost::asio;
namespace json = boost::json;

namespace {

constexpr std::string_view OPERATION_HELP =
    "The analysis operation:\n"
    "- analyze: Full analysis (functions, classes, imports, complexity, etc.)\n"
    "- find_functions: List all function/method definitions\n"
    "- find_classes: List all class definitions\n"
    "- find_imports: Extract all import statements\n"
    "- find_todos: Find TODO/FIXME/HACK comments\n"
    "- complexity: Calculate cyclomatic complexity per function\n"
    "- symbols: Extract all top-level symbols\n"
    "- call_graph: Build function call graph\n"
    "- summarize: Generate human-readable summary";

}  // namespace

SourcelensTool::SourcelensTool(asio::any_io_executor executor, forkyard::Forkyard* forkyard)
    : owned_(forkyard ? nullptr : std::make_unique<forkyard::Forkyard>(std::move(executor))),
      _manager(forkyard ? forkyard : owned_.get()) {}

SourcelensTool::SourcelensTool(forkyard::Forkyard& forkyard) : _manager(&forkyard) {}

std::string SourcelensTool::name() const { return "sourcelens"; }

std::string SourcelensTool::description() const {
    return "Analyze Python code files \u2014 extract functions, classes, imports, calculate complexity, "
           "build call graphs, find TODOs, and generate summaries. All analysis is AST-based for accuracy.";
}

json::object SourcelensTool::parameters() const {
    json::object operation;
    operation["type"] = "string";
    operation["enum"] = json::array(OPERATIONS.begin(), OPERATIONS.end());
    operation["description"] = OPERATION_HELP;

    json::object path;
    path["type"] = "string";
    path["description"] = "Path to the Python file to analyze.";

    json::object properties;
    properties["operation"] = std::move(operation);
    properties["path"] = std::move(path);

    json::object schema;
    schema["type"] = "object";
    schema["properties"] = std::move(properties);
    schema["required"] = json::array{"operation", "path"};
    return schema;
}

asio::awaitable<std::string> SourcelensTool::execute(json::object kwargs) {
    // The worker judges the operation; the tool passes on whatever value the model gave.
    json::value operation = "analyze";
    if (const json::value* given = kwargs.if_contains("operation")) operation = *given;
    json::value path = "";
    if (const json::value* given = kwargs.if_contains("path")) path = *given;
    if (!truthy(path)) co_return "[ERROR] No file path provided.";
    // The worker's command is JSON text, where bytes that are not UTF-8
    // would turn into U+FFFD and name another file. A host that passed a
    // file name's bytes where text was due gets them escaped as Python's
    // os.fsdecode does, which the worker turns back into the same bytes.
    if (json::string* text = path.if_string(); text != nullptr && !pystr::is_valid_utf8(*text)) {
        *text = pystr::fsdecode_text(*text);
    }

    forkyard::SubprocessTask task;
    task.worker_type = "sourcelens";
    task.command["action"] = std::move(operation);
    task.command["path"] = std::move(path);
    task.timeout = ANALYSIS_TIMEOUT;

    const forkyard::SubprocessResult result = co_await _manager->spawn(std::move(task));
    // An answer may carry an error text even with "success" true; the text wins.
    if (result.error && !result.error->empty()) co_return "[ERROR] " + *result.error;
    co_return pyjson::dumps(result.output, pyjson::Layout::indent2);
}

}  // namespace norvex::sourcelens
