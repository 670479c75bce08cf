// The bash completion script: a case per command and option, walked from the CLI11 tree.
#include "completion.hpp"

#include "command_tree.hpp"

#include <fmt/format.h>

#include <vector>

namespace norvex::cli {

namespace {

// "FILE", "DIR", or the choices of "TEXT:{a,b,c}"; empty when nothing is known to offer.
std::string value_completion(const CLI::Option& option) {
    const std::string type = option.get_type_name();
    const std::string kind = type.substr(0, type.find(':'));
    if (kind == "FILE") return "_norvex_files";
    if (kind == "DIR") return "_norvex_dirs";
    const std::size_t open = type.find('{');
    const std::size_t close = type.find('}', open);
    if (open == std::string::npos || close == std::string::npos) return {};
    std::string words = type.substr(open + 1, close - open - 1);
    for (char& c : words) {
        if (c == ',') c = ' ';
    }
    return "_norvex_words \"" + words + "\"";
}

std::vector<std::string> option_names(const CLI::Option& option) {
    std::vector<std::string> names;
    for (const std::string& s : option.get_snames()) names.push_back("-" + s);
    for (const std::string& l : option.get_lnames()) names.push_back("--" + l);
    return names;
}

// Every option in reach of `app`, the hidden ones too: their values must be skipped all the same.
std::vector<const CLI::Option*> all_options_in_reach(const CLI::App& app) {
    std::vector<const CLI::Option*> options;
    for (const CLI::App* level = &app; level != nullptr; level = level->get_parent()) {
        for (const CLI::Option* option : level->get_options()) {
            if (option->nonpositional()) options.push_back(option);
        }
        if (!level->get_fallthrough()) break;
    }
    return options;
}

struct Script {
    std::string walk;        // case arms: entering a command, or an option whose value follows
    std::string values;      // case arms: completing an option's value
    std::string options;     // case arms: the options of a command
    std::string arguments;   // case arms: the commands or arguments after a command
};

std::string pattern(const std::string& path, const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words) out += (out.empty() ? "" : "|") + fmt::format("\"{}|{}\"", path, w);
    return out;
}

void describe(const CLI::App& app, Script& script) {
    const std::string path = command_path(app);
    std::vector<std::string> subcommands;
    for (const CLI::App* sub : subcommands_of(app)) {
        subcommands.push_back(sub->get_name());
        script.walk += fmt::format("            \"{}|{}\") path=\"{}\" ;;\n", path, sub->get_name(), command_path(*sub));
    }
    for (const CLI::Option* option : all_options_in_reach(app)) {
        if (option->get_items_expected_min() == 0) continue;  // a flag
        script.walk += fmt::format("            {}) skip=1 ;;\n", pattern(path, option_names(*option)));
        if (const std::string complete = value_completion(*option); !complete.empty()) {
            script.values += fmt::format("            {}) {} ;;\n", pattern(path, option_names(*option)), complete);
        }
    }
    std::string visible;
    for (const CLI::Option* option : options_in_reach(app)) {
        for (const std::string& name : option_names(*option)) visible += (visible.empty() ? "" : " ") + name;
    }
    script.options += fmt::format("            \"{}\") _norvex_words \"{}\" ;;\n", path, visible);

    std::string after;
    if (!subcommands.empty()) {
        after = "_norvex_words \"" + fmt::format("{}", fmt::join(subcommands, " ")) + "\"";
    } else {
        for (const CLI::Option* option : app.get_options([](const CLI::Option* o) { return o->get_positional(); })) {
            after = value_completion(*option);
            break;  // the first argument says what the arguments are
        }
    }
    if (!after.empty()) script.arguments += fmt::format("        \"{}\") {} ;;\n", path, after);
    for (const CLI::App* sub : subcommands_of(app)) describe(*sub, script);
}

}  // namespace

std::string bash_completion(const CLI::App& root) {
    Script script;
    describe(root, script);
    return fmt::format(R"(# bash completion for norvex, made by `norvex completion bash` from its command tree.

_norvex_words() {{ COMPREPLY=($(compgen -W "$1" -- "$cur")); }}
_norvex_files() {{ compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -f -- "$cur")); }}
_norvex_dirs() {{ compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -d -- "$cur")); }}

_norvex() {{
    local cur=${{COMP_WORDS[COMP_CWORD]}} path=norvex word skip= i
    COMPREPLY=()
    # Which command the words so far lead to, and whether an option waits for its value.
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${{COMP_WORDS[i]}}
        if [[ -n $skip ]]; then skip=; continue; fi
        case "$path|$word" in
{}        esac
    done
    if [[ -n $skip ]]; then
        case "$path|${{COMP_WORDS[COMP_CWORD-1]}}" in
{}        esac
        return 0
    fi
    if [[ $cur == -* ]]; then
        case "$path" in
{}        esac
        return 0
    fi
    case "$path" in
{}    esac
    return 0
}}

complete -F _norvex norvex
)",
                       script.walk, script.values, script.options, script.arguments);
}

}  // namespace norvex::cli
