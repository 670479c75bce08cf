// The subcommands of the norvex program: each adds itself to the command line and runs when chosen.
#pragma once

#include <CLI/App.hpp>

#include <cstdint>
#include <string>

namespace norvex::cli {

// Exit statuses of the program.
inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_FAILED = 1;  // the command ran and reports a failure
inline constexpr int EXIT_USAGE = 2;   // the command line was wrong

// `norvex analyze PATH [--op OPERATION]`: the code-analysis tool, end to end.
struct AnalyzeCommand {
    CLI::App* app = nullptr;
    std::string path;
    std::string operation = "analyze";
};
void add_analyze(CLI::App& parent, AnalyzeCommand& command);
int run_analyze(const AnalyzeCommand& command);

// `norvex ast PATH [--positions]`: the whole syntax-tree dump, in process.
struct AstCommand {
    CLI::App* app = nullptr;
    std::string path;
    bool positions = false;
};
void add_ast(CLI::App& parent, AstCommand& command);
int run_ast(const AstCommand& command);

// `norvex mcp [--log-level LEVEL]`: an MCP server on stdin and stdout.
struct McpCommand {
    CLI::App* app = nullptr;
    std::string log_level = "info";
    std::string data_dir;  // empty: ~/.norvex
    int max_workers = 5;
};
void add_mcp(CLI::App& parent, McpCommand& command);
int run_mcp(const McpCommand& command);

// `norvex scan DIR [--jobs N] [--top K] [--json]`: every Python file of a folder, a pool at a time.
struct ScanCommand {
    CLI::App* app = nullptr;
    std::string dir;
    int jobs = 0;  // 0: the number of cores
    int top = 10;
    bool json = false;
};
void add_scan(CLI::App& parent, ScanCommand& command);
int run_scan(const ScanCommand& command);

// `norvex skills list | show NAME | create FILE.json | delete NAME | log [--limit N] | stats`
// [--table] [--data-dir DIR]: the skill creator over a data folder.
struct SkillsCommand {
    CLI::App* app = nullptr;
    CLI::App* list = nullptr;
    CLI::App* show = nullptr;
    CLI::App* create = nullptr;
    CLI::App* remove = nullptr;
    CLI::App* log = nullptr;
    CLI::App* stats = nullptr;
    std::string data_dir;  // ~/.norvex unless given
    bool table = false;
    std::string name;
    std::string file;
    std::int64_t limit = 50;
};
void add_skills(CLI::App& parent, SkillsCommand& command);
int run_skills(SkillsCommand& command);

// `norvex computer info | tool-definition | ACTION [--json PARAMS] [--out FILE]`: the
// computer-use executor on the desktop of $DISPLAY; results as indent-2 JSON.
struct ComputerCommand {
    CLI::App* app = nullptr;
    std::string action;
    std::string json;      // the action's parameters as a JSON object
    std::string out;       // screenshot: write the PNG here instead of printing Base64
    std::string data_dir;  // ~/.norvex unless given
};
void add_computer(CLI::App& parent, ComputerCommand& command);
int run_computer(const ComputerCommand& command);

}  // namespace norvex::cli
