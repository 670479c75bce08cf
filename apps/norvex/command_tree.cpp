// Walks over the CLI11 tree: command paths, the options in reach, and the words that name no command.
#include "command_tree.hpp"

#include "suggest.hpp"
#include "usage.hpp"

namespace norvex::cli {

namespace {

const CLI::App* subcommand_named(const CLI::App& app, const std::string& name) {
    for (const CLI::App* sub : subcommands_of(app)) {
        if (sub->get_name() == name) return sub;
    }
    return nullptr;
}

bool has_positionals(const CLI::App& app) {
    return !app.get_options([](const CLI::Option* o) { return o->get_positional(); }).empty();
}

// The option `token` ("--jobs", "-j") names in reach of `app`, or null.
const CLI::Option* option_named(const CLI::App& app, const std::string& token) {
    for (const CLI::App* level = &app; level != nullptr; level = level->get_parent()) {
        if (const CLI::Option* option = level->get_option_no_throw(token)) return option;
        if (!level->get_fallthrough()) break;
    }
    return nullptr;
}

}  // namespace

std::string command_path(const CLI::App& app) {
    if (app.get_parent() == nullptr) return app.get_name();
    return command_path(*app.get_parent()) + " " + app.get_name();
}

std::vector<const CLI::App*> subcommands_of(const CLI::App& app) {
    return app.get_subcommands([](const CLI::App* sub) { return !sub->get_name().empty(); });
}

std::vector<const CLI::Option*> options_in_reach(const CLI::App& app) {
    std::vector<const CLI::Option*> options;
    auto known = [&](const CLI::Option* option) {
        for (const CLI::Option* seen : options) {
            if (seen->get_name() == option->get_name()) return true;
        }
        return false;
    };
    for (const CLI::App* level = &app; level != nullptr; level = level->get_parent()) {
        for (const CLI::Option* option : level->get_options()) {
            if (option->nonpositional() && !option->get_group().empty() && !known(option)) options.push_back(option);
        }
        if (!level->get_fallthrough()) break;
    }
    return options;
}

std::string unknown_command_message(const UnknownCommand& unknown) {
    std::vector<std::string> names;
    for (const CLI::App* sub : subcommands_of(*unknown.parent)) names.push_back(sub->get_name());
    const std::string path = command_path(*unknown.parent);
    const std::string help = unknown.parent->get_parent() == nullptr
                                 ? "'norvex help' lists the commands"
                                 : "'norvex help " + path.substr(path.find(' ') + 1) + "' lists its commands";
    return path + ": unknown command " + echo(unknown.word) + did_you_mean(unknown.word, names, "; " + help);
}

std::optional<UnknownCommand> find_unknown_command(const CLI::App& root, const std::vector<std::string>& args) {
    const CLI::App* app = &root;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--") break;
        if (word.size() > 1 && word[0] == '-') {
            const bool long_form = word.starts_with("--");
            // "--op=x" and "-j4" carry their value inside the word.
            if (long_form ? word.find('=') != std::string::npos : word.size() > 2) continue;
            const CLI::Option* option = option_named(*app, word);
            if (option == nullptr) return std::nullopt;
            if (option->get_items_expected_min() > 0) ++i;
            continue;
        }
        if (const CLI::App* sub = subcommand_named(*app, word)) {
            app = sub;
            continue;
        }
        if (subcommands_of(*app).empty() || has_positionals(*app)) return std::nullopt;
        return UnknownCommand{app, word};
    }
    return std::nullopt;
}

std::variant<const CLI::App*, UnknownCommand> resolve_command(const CLI::App& root,
                                                              const std::vector<std::string>& words) {
    const CLI::App* app = &root;
    for (const std::string& word : words) {
        const CLI::App* sub = subcommand_named(*app, word);
        if (sub == nullptr) return UnknownCommand{app, word};
        app = sub;
    }
    return app;
}

const CLI::App& deepest_parsed(const CLI::App& root) {
    const CLI::App* app = &root;
    for (;;) {
        const auto parsed = app->get_subcommands();
        if (parsed.empty()) return *app;
        app = parsed.back();
    }
}

}  // namespace norvex::cli
