// `norvex skills`: the saved skills and the improvement log of a data folder, as tables or JSON.
#include "commands.hpp"

#include "skills_help.hpp"
#include "stdin_file.hpp"
#include "text_render.hpp"
#include "usage.hpp"

#include "norvex/common/atomic_file.hpp"
#include "norvex/common/pyjson.hpp"
#include "norvex/common/pystr.hpp"
#include "norvex/skills/creator/py_str.hpp"
#include "norvex/skills/creator/skill_creator.hpp"

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include <algorithm>
#include <iostream>
#include <optional>

namespace norvex::cli {

namespace {

namespace json = boost::json;
using skills::creator::SkillCreator;

// No log is read in longer slices; the bound only keeps the number sane.
constexpr std::int64_t MAX_LIMIT = 1000000;

void print_json(const json::value& value) { std::cout << pyjson::dumps(value, pyjson::Layout::indent2) << '\n'; }

// A cell: text as it is, anything else as compact JSON.
std::string cell(const json::value& value) {
    if (const auto* text = value.if_string()) return std::string(*text);
    return pyjson::dumps(value);
}

// A table with upper-case headers, left-aligned.
void print_table(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows) {
    std::vector<Column> columns;
    for (const std::string& h : header) columns.push_back({h});
    std::cout << format_table(columns, rows);
}

int run_list(const SkillsCommand& command, const SkillCreator& creator) {
    const auto listing = creator.list_saved_skills();
    if (command.json) {
        print_json(json::array(listing.begin(), listing.end()));
        return EXIT_OK;
    }
    if (listing.empty()) {
        std::cout << "No saved skills in " << creator.skills_dir().string()
                  << " (norvex skills create FILE.json adds one)\n";
        return EXIT_OK;
    }
    std::vector<std::vector<std::string>> rows;
    for (const auto& skill : listing) {
        std::string triggers;
        if (const auto* list = skill.at("triggers").if_array()) {
            for (const auto& trigger : *list) triggers += (triggers.empty() ? "" : ", ") + cell(trigger);
        }
        rows.push_back({cell(skill.at("name")), cell(skill.at("version")), cell(skill.at("category")),
                        cell(skill.at("steps_count")), cell(skill.at("app")), triggers,
                        cell(skill.at("description"))});
    }
    print_table({"NAME", "VERSION", "CATEGORY", "STEPS", "APP", "TRIGGERS", "DESCRIPTION"}, rows);
    return EXIT_OK;
}

int run_show(const SkillsCommand& command, const SkillCreator& creator) {
    if (!skills::creator::is_plain_skill_name(command.name)) {
        std::cerr << "norvex skills show: " << skills::creator::py_repr(command.name)
                  << " is not a skill name; skill names have only letters, digits and underscores"
                     " (norvex skills list shows them)\n";
        return EXIT_FAILED;
    }
    const auto source = creator.get_skill_source(command.name);
    if (!source) {
        std::cerr << "norvex skills show: no readable skill '" << command.name << "' in "
                  << creator.skills_dir().string() << " (norvex skills list shows the saved ones)\n";
        return EXIT_FAILED;
    }
    if (command.json) {
        print_json(*source);
        return EXIT_OK;
    }
    std::vector<std::vector<std::string>> rows;
    for (const auto& member : *source) {
        if (member.key() == "steps") continue;
        rows.push_back({std::string(member.key()), cell(member.value())});
    }
    print_table({"KEY", "VALUE"}, rows);
    if (const auto* steps = source->if_contains("steps"); steps && steps->is_array()) {
        std::cout << '\n';
        std::vector<std::vector<std::string>> step_rows;
        std::size_t n = 0;
        for (const auto& step : steps->get_array()) {
            const auto* object = step.if_object();
            auto field = [&](std::string_view key) {
                const json::value* v = object ? object->if_contains(key) : nullptr;
                return v ? cell(*v) : std::string();
            };
            step_rows.push_back({std::to_string(++n), field("operation"), field("description"), field("params")});
        }
        print_table({"STEP", "OPERATION", "DESCRIPTION", "PARAMS"}, step_rows);
    }
    return EXIT_OK;
}

// (success, message) as JSON, or the message alone: on stdout for a success,
// as the command's error on stderr for a failure.
int report(const SkillsCommand& command, std::string_view subcommand, bool success, const std::string& message,
           json::object extra = {}) {
    if (!command.json) {
        if (success) {
            std::cout << message << '\n';
        } else {
            std::cerr << "norvex skills " << subcommand << ": " << message << '\n';
        }
    } else {
        json::object out{{"success", success}, {"message", message}};
        for (auto& member : extra) out[member.key()] = std::move(member.value());
        print_json(out);
    }
    return success ? EXIT_OK : EXIT_FAILED;
}

int run_create(const SkillsCommand& command, SkillCreator& creator) {
    const bool from_stdin = command.file == "-";
    const std::string source = from_stdin ? std::string(STDIN_NAME) : command.file;
    std::string text;
    if (from_stdin) {
        try {
            text = read_stdin();
        } catch (const std::runtime_error& e) {
            std::cerr << "norvex skills create: " << e.what() << '\n';
            return EXIT_FAILED;
        }
    }
    json::value data;
    try {
        data = pyjson::parse(from_stdin ? text : read_whole_file(command.file));
    } catch (const OsError& e) {
        std::cerr << "norvex skills create: cannot read the skill file: " << e.what()
                  << " (give the path of a JSON file holding the skill's dictionary)\n";
        return EXIT_FAILED;
    } catch (const FileRefused& e) {
        // A pipe or a device could hold the command for ever or fill memory; standard input has its own name.
        std::cerr << "norvex skills create: cannot read the skill file: " << e.what()
                  << " (give the path of a JSON file holding the skill's dictionary,"
                     " or - to read it from standard input)\n";
        return EXIT_FAILED;
    } catch (const pyjson::DecodeError& e) {
        std::cerr << "norvex skills create: " << source << " is not valid JSON: " << e.what()
                  << " (fix the file and run the command again)\n";
        return EXIT_FAILED;
    }
    if (!data.is_object()) {
        std::cerr << "norvex skills create: " << source << " holds a "
                  << pyjson::type_name(data)
                  << "; a skill file holds one JSON object with \"name\", \"description\", \"steps\" and the rest\n";
        return EXIT_FAILED;
    }
    const auto [ok, message, skill] = creator.create_from_dict(data.get_object());
    return report(command, "create", ok, message, {{"skill", skill ? json::value(skill->to_dict()) : json::value(nullptr)}});
}

int run_log(const SkillsCommand& command, const SkillCreator& creator) {
    const auto entries = creator.get_improvement_log(command.limit);
    if (command.json) {
        print_json(json::array(entries.begin(), entries.end()));
        return EXIT_OK;
    }
    if (entries.empty()) {
        std::cout << "The improvement log is empty\n";
        return EXIT_OK;
    }
    // Entries other programs wrote may hold a null or a number where text is
    // usual: a null shows as an empty cell, any other value as its JSON.
    auto log_cell = [](const json::value& value) { return value.is_null() ? std::string() : cell(value); };
    auto outcome = [&](const json::value& success) -> std::string {
        if (const bool* flag = success.if_bool()) return *flag ? "yes" : "no";
        return log_cell(success);
    };
    std::vector<std::vector<std::string>> rows;
    for (const auto& entry : entries) {
        rows.push_back({log_cell(entry.at("timestamp")), log_cell(entry.at("action")),
                        log_cell(entry.at("skill_name")), outcome(entry.at("success")), log_cell(entry.at("reason"))});
    }
    print_table({"TIME", "ACTION", "SKILL", "OK", "REASON"}, rows);
    return EXIT_OK;
}

int run_stats(const SkillsCommand& command, const SkillCreator& creator) {
    const json::object stats = creator.get_improvement_stats();
    if (command.json) {
        print_json(stats);
        return EXIT_OK;
    }
    std::vector<std::vector<std::string>> rows;
    for (const auto& member : stats) {
        std::string value;
        if (const auto* list = member.value().if_array()) {
            for (const auto& item : *list) value += (value.empty() ? "" : ", ") + cell(item);
        } else {
            value = cell(member.value());
        }
        rows.push_back({std::string(member.key()), value});
    }
    print_table({"STATISTIC", "VALUE"}, rows);
    return EXIT_OK;
}

}  // namespace

void add_skills(CLI::App& parent, SkillsCommand& command) {
    command.app = parent.add_subcommand("skills", "The agent's saved skills and its improvement log");
    command.app->require_subcommand(1);
    command.app->fallthrough();
    command.data_dir = skills::creator::default_data_dir().string();
    command.app->add_option("--data-dir", command.data_dir, "The data folder holding skills/ and improvement_log.json")
        ->type_name("DIR")
        ->capture_default_str();
    command.app->add_flag("--json", command.json, "Print JSON (indent 2) instead of tables and messages");
    // The old way to ask for tables, which are the default now.
    command.app->add_flag("--table", command.table, "Print readable tables (the default)")->group("");

    command.list = command.app->add_subcommand("list", "List the saved skills");
    command.show = command.app->add_subcommand("show", "Print a saved skill's stored dictionary");
    command.show->add_option("name", command.name, "The skill's name")->type_name("NAME")->required();
    command.create = command.app->add_subcommand("create", "Create or update a skill from a JSON file");
    command.create->add_option("file", command.file, "A JSON file holding the skill's dictionary; - reads standard input")
        ->type_name("FILE")
        ->required();
    command.remove = command.app->add_subcommand("delete", "Delete a saved skill");
    command.remove->add_option("name", command.name, "The skill's name")->type_name("NAME")->required();
    command.log = command.app->add_subcommand("log", "Print the latest entries of the improvement log");
    command.log
        ->add_option("--limit", command.limit,
                     fmt::format("How many entries, the latest last, 0 to {}; 0 for all", MAX_LIMIT))
        ->type_name("N")
        ->check(integer_range("--limit", 0, MAX_LIMIT))
        ->capture_default_str();
    command.stats = command.app->add_subcommand("stats", "Count the improvements and the saved skills");
    for (CLI::App* sub : {command.list, command.show, command.create, command.remove, command.log, command.stats}) {
        sub->footer("Output: tables and messages for people; --json prints JSON (indent 2) for programs.");
    }
    // Shown before the line above.
    command.create->footer([] { return skill_file_footer() + "\n"; });
}

int run_skills(SkillsCommand& command) {
    if (command.json && command.table) {
        throw UsageError("--json and --table ask for different outputs; give one (tables are the default)");
    }
    std::optional<SkillCreator> creator;
    try {
        creator.emplace(skills::creator::SkillCreatorOptions{.data_dir = command.data_dir});
    } catch (const std::exception& e) {
        std::cerr << "norvex skills: cannot use the data folder " << command.data_dir << ": " << e.what()
                  << " (pass --data-dir with a folder you can write)\n";
        return EXIT_FAILED;
    }
    if (*command.list) return run_list(command, *creator);
    if (*command.show) return run_show(command, *creator);
    if (*command.create) return run_create(command, *creator);
    if (*command.remove) {
        const auto [ok, message] = creator->delete_skill(command.name);
        return report(command, "delete", ok, message);
    }
    if (*command.log) return run_log(command, *creator);
    if (*command.stats) return run_stats(command, *creator);
    return EXIT_USAGE;
}

}  // namespace norvex::cli
