// The subcommands of the norvex program: each adds itself to the command line and runs when chosen.
#pragma once

#include "verbosity.hpp"

#include <CLI/App.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace norvex::cli {

// Exit statuses of the program.
inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_FAILED = 1;  // the command ran and reports a failure
inline constexpr int EXIT_USAGE = 2;   // the command line was wrong
// A command stopped by a signal exits with 128 + its number, as shells report it.
inline constexpr int EXIT_SIGNAL_BASE = 128;

// `norvex analyze PATH|- [--op OPERATION] [--json]`: the code-analysis tool, end to end.
struct AnalyzeCommand {
    CLI::App* app = nullptr;
    std::string path;
    std::string operation = "analyze";
    bool json = false;  // the tool's own JSON text instead of the readable view
};
void add_analyze(CLI::App& parent, AnalyzeCommand& command);
int run_analyze(const AnalyzeCommand& command);

// `norvex ast PATH|- [--positions]`: the whole syntax-tree dump, in process.
struct AstCommand {
    CLI::App* app = nullptr;
    std::string path;
    bool positions = false;
};
void add_ast(CLI::App& parent, AstCommand& command);
int run_ast(const AstCommand& command);

// `norvex mcp [--data-dir DIR] [--max-workers N]`: an MCP server on stdin and stdout.
struct McpCommand {
    CLI::App* app = nullptr;
    std::string log_level;  // the older way to pick the level (-q/-v now); empty when not given
    std::string data_dir;   // empty: ~/.norvex
    int max_workers = 5;
};
void add_mcp(CLI::App& parent, McpCommand& command);
int run_mcp(const McpCommand& command, const Verbosity& verbosity);

// `norvex scan DIR [--jobs N] [--top K] [--json]`: every Python file of a folder, a pool at a time.
struct ScanCommand {
    CLI::App* app = nullptr;
    std::string dir;
    int jobs = 0;  // 0: the number of cores
    int top = 10;
    bool json = false;
};
void add_scan(CLI::App& parent, ScanCommand& command);
int run_scan(const ScanCommand& command, const Verbosity& verbosity);

// `norvex skills list | show NAME | create FILE.json|- | delete NAME | log [--limit N] | stats`
// [--json] [--data-dir DIR]: the skill creator over a data folder.
struct SkillsCommand {
    CLI::App* app = nullptr;
    CLI::App* list = nullptr;
    CLI::App* show = nullptr;
    CLI::App* create = nullptr;
    CLI::App* remove = nullptr;
    CLI::App* log = nullptr;
    CLI::App* stats = nullptr;
    std::string data_dir;  // ~/.norvex unless given
    bool json = false;
    bool table = false;  // the default now; still accepted
    std::string name;
    std::string file;
    std::int64_t limit = 50;
};
void add_skills(CLI::App& parent, SkillsCommand& command);
int run_skills(SkillsCommand& command);

// `norvex computer info | tool-definition | ACTION [--params JSON] [--out FILE] [--json]`:
// the computer-use executor on the desktop of $DISPLAY.
struct ComputerCommand {
    CLI::App* app = nullptr;
    std::string action;
    std::string params;    // the action's parameters as a JSON object
    std::string out;       // screenshot: write the PNG here
    std::string data_dir;  // ~/.norvex unless given
    bool json = false;     // the result map as JSON instead of a line for people
};
void add_computer(CLI::App& parent, ComputerCommand& command);
int run_computer(const ComputerCommand& command);

// `norvex help [COMMAND...]`: the help of the program or of a command.
struct HelpCommand {
    CLI::App* app = nullptr;
    std::vector<std::string> words;
};
void add_help(CLI::App& parent, HelpCommand& command);
int run_help(const HelpCommand& command, const CLI::App& root);

// `norvex completion bash`: a completion script made from the command tree.
struct CompletionCommand {
    CLI::App* app = nullptr;
    std::string shell;
};
void add_completion(CLI::App& parent, CompletionCommand& command);
int run_completion(const CompletionCommand& command, const CLI::App& root);

}  // namespace norvex::cli
