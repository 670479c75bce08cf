// Python skills: the script checked by the compiler, saved beside its metadata, and logged.
#include "norvex/skills/creator/skill_creator.hpp"

#include "norvex/common/atomic_file.hpp"
#include "norvex/common/pystr.hpp"
#include "norvex/pyast/compile_check.hpp"
#include "norvex/skills/creator/creator_internal.hpp"
#include "norvex/skills/creator/py_str.hpp"
#include "norvex/skills/creator/skill_files.hpp"

#include <cerrno>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace norvex::skills::creator {

namespace json = boost::json;

namespace detail {

std::vector<std::string> python_skill_problems(std::string_view name, std::string_view code,
                                               std::string_view description) {
    std::vector<std::string> problems;
    if (name.empty()) {
        problems.emplace_back("Skill name is required");
    } else if (!is_plain_skill_name(name)) {
        problems.emplace_back("Skill name must be alphanumeric with underscores");
    }
    if (code.empty()) problems.emplace_back("Python code is required");
    if (description.empty()) problems.emplace_back("Description is required");
    if (code.find("async def run") == std::string_view::npos) {
        problems.emplace_back("Code must define 'async def run(ctx, params)'");
    }
    if (code.find("def run(") == std::string_view::npos) problems.emplace_back("Code must define a run() function");
    if (!code.empty()) {
        const std::string file_name = std::string(name) + ".py";
        if (const auto error = pyast::compile_check(code, file_name)) {
            // A lone surrogate (a JSON "\ud800" escape) is no syntax error:
            // Python refuses the text before it parses it.
            if (error->type == "UnicodeEncodeError") {
                problems.push_back("Code cannot be compiled: " + error->text() +
                                   "; remove the lone surrogate or write it as an escape inside a string literal");
            } else {
                problems.push_back("Syntax error in code: " + error->text());
            }
        }
    }
    return problems;
}

std::size_t code_line_count(std::string_view code) { return pystr::splitlines(code).size(); }

}  // namespace detail

namespace {

// The input's value under `key`, or `fallback` when the key is missing; taken
// as it is, since the metadata file stores whatever the agent gave.
json::value value_or(const json::object& data, std::string_view key, json::value fallback) {
    const json::value* found = data.if_contains(key);
    return found ? *found : fallback;
}

// The error of a failed save, with what to do when the skill's name is too
// long for its files: the metadata file's name (the name and ".json") is
// the longest, and the folder's limit bounds it.
std::string save_error(const std::exception& error, const std::filesystem::path& folder) {
    std::string text = error.what();
    const auto* os = dynamic_cast<const OsError*>(&error);
    if (os && os->error_number() == ENAMETOOLONG) {
        const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
        text += " (a Python skill is saved as its name plus \".json\" and \".py\", and file names here have at most " +
                std::to_string(limit > 0 ? limit : 255) + " bytes: choose a name of at most " +
                std::to_string((limit > 0 ? limit : 255) - 5) + " bytes)";
    }
    return text;
}

// The script file as it stood before a save, to put back when the metadata
// cannot follow it: a skill's two files change together or not at all.
struct ScriptBefore {
    bool existed = false;
    std::optional<std::string> bytes{};  // none when it existed but could not be read
};

ScriptBefore script_before(const std::filesystem::path& script) {
    ScriptBefore before;
    struct stat st {};
    if (::lstat(script.c_str(), &st) != 0) return before;
    before.existed = true;
    try {
        before.bytes = read_whole_file(script);
    } catch (const std::exception&) {
        // Not a readable file: it cannot be put back, and is left to the save.
    }
    return before;
}

void put_back(const std::filesystem::path& script, const ScriptBefore& before) {
    try {
        if (!before.existed) {
            if (::unlink(script.c_str()) != 0 && errno != ENOENT) throw OsError(errno, script);
        } else if (before.bytes) {
            write_file_atomically(script, *before.bytes);
        } else {
            throw std::runtime_error("its earlier content could not be read");
        }
    } catch (const std::exception& e) {
        detail::log()->warn("Could not put back {} after its metadata failed to save: {} (delete the skill and "
                            "create it again)",
                            script.string(), e.what());
    }
}

}  // namespace

CreateResult SkillCreator::_create_python_skill(const json::object& data, engine::SkillRegistry* /*registry*/) {
    // Python skills run through the engine's run_skill facility, never the
    // live registry; the registry is accepted only so both kinds take the same arguments.
    const std::string name = text_at(data, "name");
    const std::string code = text_at(data, "code");
    const std::string description = text_at(data, "description");
    if (const auto problems = detail::python_skill_problems(name, code, description); !problems.empty()) {
        return {false, detail::validation_failed(problems), nullptr};
    }

    const std::filesystem::path script = skill_file(name, ".py");
    const std::filesystem::path metadata_path = skill_file(name, ".json");
    const std::int64_t version = detail::stored_version(metadata_path).value_or(0) + 1;

    try {
        keep_unloadable(metadata_path);
    } catch (const std::exception& e) {
        return {false, std::string("Failed to save metadata: ") + e.what(), nullptr};
    }
    const ScriptBefore before = script_before(script);
    try {
        make_dirs(skills_dir_);
        detail::write_store_file(script, code, detail::is_skill_file_name);
    } catch (const std::exception& e) {
        return {false, "Failed to save script: " + save_error(e, skills_dir_), nullptr};
    }
    detail::log()->info("Saved Python skill script: {}", script.string());

    const json::value category = value_or(data, "category", "custom");
    const json::value triggers = value_or(data, "triggers", json::array{});
    json::object metadata;
    metadata["name"] = name;
    metadata["type"] = "python";
    metadata["description"] = description;
    metadata["app"] = value_or(data, "app", "python");
    metadata["category"] = category;
    metadata["triggers"] = triggers;
    metadata["required_params"] = value_or(data, "required_params", json::array{});
    metadata["optional_params"] = value_or(data, "optional_params", json::array{});
    metadata["script"] = script.filename().string();
    metadata["version"] = version;
    metadata["reason"] = value_or(data, "reason", "Agent created this Python skill");
    try {
        detail::write_json_file(metadata_path, metadata);
    } catch (const std::exception& e) {
        put_back(script, before);
        return {false, "Failed to save metadata: " + save_error(e, skills_dir_), nullptr};
    }
    detail::log()->info("Saved Python skill metadata: {}", metadata_path.string());

    const auto lines = static_cast<std::int64_t>(detail::code_line_count(code));
    ImprovementEntry entry{
        .timestamp = now_text(),
        .action = version > 1 ? "updated" : "created",
        .skill_name = name,
        .details = {{"type", "python"},
                    {"version", version},
                    {"category", category},
                    {"code_lines", lines},
                    {"triggers", triggers}},
    };
    // The agent's reason as it gave it, as the metadata file has it: a null
    // stays null rather than becoming the text "None".
    const json::value& reason = metadata.at("reason");
    if (const json::string* text = reason.if_string()) entry.reason = std::string(*text);
    else entry.as_stored["reason"] = reason;
    _log_improvement(std::move(entry));

    const char* label = version > 1 ? "Updated" : "Created";
    return {true,
            std::string(label) + " Python skill '" + name + "' v" + std::to_string(version) + " (" +
                std::to_string(lines) + " lines, category: " + py_str(category) +
                "). It's now available for use with run_skill.",
            nullptr};
}

}  // namespace norvex::skills::creator
