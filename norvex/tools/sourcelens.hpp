// The code-analysis tool: each call of the model becomes one astprobe task on a forkyard manager.
#pragma once

#include "norvex/core/forkyard/forkyard.hpp"
#include "norvex/tools/base.hpp"

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/json/object.hpp>

#include <array>
#include <memory>
#include <string>
#include <string_view>

namespace norvex::sourcelens {

// The worker actions the model is offered, in the schema's order.
inline constexpr std::array<std::string_view, 9> OPERATIONS{
    "analyze", "find_functions", "find_classes", "find_imports", "find_todos",
    "complexity", "symbols", "call_graph", "summarize",
};

// Seconds an analysis may take before its worker is stopped.
inline constexpr double ANALYSIS_TIMEOUT = 30.0;

// Analyses a Python file in a separate astprobe process, never in the host's
// own, and hands back the answer as text for the model:
//
//     boost::asio::io_context io;
//     norvex::sourcelens::SourcelensTool tool{io.get_executor()};
//     std::string text = co_await tool.execute({{"operation", "complexity"}, {"path", "x.py"}});
//
// Calls may overlap; each runs its own worker through the one manager, whose
// worker limit covers them together. Failures come back as text starting
// "[ERROR] "; only the caller's own cancellation propagates.
class SourcelensTool : public tools::Tool {
public:
    // Runs its tasks on `forkyard` when one is given (the caller keeps it
    // alive for as long as the tool), otherwise on a new manager with all
    // defaults, built on `executor` and owned by the tool.
    explicit SourcelensTool(boost::asio::any_io_executor executor, forkyard::Forkyard* forkyard = nullptr);
    // Runs its tasks on the caller's manager.
    explicit SourcelensTool(forkyard::Forkyard& forkyard);

    std::string name() const override;         // "sourcelens"
    std::string description() const override;
    // {"type": "object", "properties": {"operation": ..., "path": ...}, "required": [...]},
    // a new object on every call, so a caller may change its copy.
    boost::json::object parameters() const override;

    // "operation" (default "analyze", passed on unchecked) and "path" (a
    // false-like or missing one is refused before anything starts); other
    // arguments are ignored. The path is text as Python holds it: a file name
    // that is not UTF-8 comes in its surrogate escapes, as JSON's "\udcXX"
    // or pystr::fsdecode give them (raw bytes are escaped here), and it is
    // shown that way in the answer. Gives the worker's output as indent-2 JSON
    // ("null" when it sent none), or "[ERROR] " and the task's error text.
    boost::asio::awaitable<std::string> execute(boost::json::object kwargs) override;

    // The manager every call of this tool goes through.
    forkyard::Forkyard& manager() const noexcept { return *_manager; }

private:
    std::unique_ptr<forkyard::Forkyard> owned_;  // set when the tool built its own manager
    forkyard::Forkyard* _manager;
};

}  // namespace norvex::sourcelens
