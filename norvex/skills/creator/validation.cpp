// Blueprint validation: names, categories, operations and placeholders, every problem collected.
#include "norvex/skills/creator/skill_creator.hpp"

#include "norvex/common/pyjson.hpp"
#include "norvex/common/pystr.hpp"
#include "norvex/common/truthy.hpp"
#include "norvex/skills/creator/py_str.hpp"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <stdexcept>

namespace norvex::skills::creator {

namespace json = boost::json;

const std::set<std::string, std::less<>> SkillCreator::VALID_OPERATIONS{
    // applications and system
    "open_app", "close_app", "open_url", "open_file", "open_folder", "run_command", "list_processes",
    "kill_process", "get_clipboard", "set_clipboard", "send_notification", "list_apps", "system_info",
    "active_window",
    // browser
    "navigate", "browser_click", "browser_type", "browser_press", "fill_form", "select_option", "browser_hover",
    "browser_scroll", "get_page", "get_elements", "browser_screenshot", "new_tab", "close_tab", "switch_tab",
    "list_tabs", "evaluate_js", "wait_for_text",
    // mouse and keyboard
    "mouse_click", "mouse_move", "mouse_scroll", "keyboard_type", "keyboard_press", "keyboard_hotkey",
    "keyboard_shortcut",
    // screen
    "screenshot", "read_screen", "find_text_on_screen"};

const std::set<std::string, std::less<>> SkillCreator::VALID_CATEGORIES{
    "messaging",    "calendar",    "email",  "music",  "files",     "browser", "productivity",
    "social",       "shopping",    "finance", "development", "system", "media", "education",
    "health",       "travel",      "food",   "gaming", "communication", "utility", "custom"};

bool is_plain_skill_name(std::string_view name) {
    std::string without_underscores;
    without_underscores.reserve(name.size());
    for (const char c : name) {
        if (c != '_') without_underscores += c;
    }
    return pystr::isalnum(without_underscores);
}

namespace {

// {{name}}, the name made of word characters of any script; compiled once.
class PlaceholderPattern {
public:
    PlaceholderPattern() {
        int error = 0;
        PCRE2_SIZE offset = 0;
        static constexpr char pattern[] = R"(\{\{(\w+)\}\})";
        // Stored text may hold lone surrogates; match around them rather than fail.
        code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED,
                              PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF, &error, &offset, nullptr);
        if (!code_) throw std::logic_error("the placeholder pattern does not compile");
        pcre2_jit_compile(code_, PCRE2_JIT_COMPLETE);
    }
    ~PlaceholderPattern() { pcre2_code_free(code_); }
    PlaceholderPattern(const PlaceholderPattern&) = delete;
    PlaceholderPattern& operator=(const PlaceholderPattern&) = delete;

    // Calls `found` with each placeholder's name, left to right.
    template <class F>
    void for_each_name(std::string_view text, F&& found) const {
        pcre2_match_data* match = pcre2_match_data_create_from_pattern(code_, nullptr);
        if (!match) throw std::bad_alloc();
        PCRE2_SIZE start = 0;
        while (start <= text.size()) {
            const int rc = pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), start, 0,
                                       match, nullptr);
            if (rc < 0) break;
            const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(match);
            found(text.substr(ovector[2], ovector[3] - ovector[2]));
            start = ovector[1];  // a match is never empty
        }
        pcre2_match_data_free(match);
    }

private:
    pcre2_code* code_ = nullptr;
};

const PlaceholderPattern& placeholder_pattern() {
    static const PlaceholderPattern pattern;
    return pattern;
}

std::string step_label(std::size_t n) { return "Step " + std::to_string(n); }

}  // namespace

ValidationResult SkillCreator::validate_blueprint(const SkillBlueprint& blueprint) const {
    std::vector<std::string> errors;

    if (blueprint.name.empty()) {
        errors.emplace_back("Skill name is required");
    } else if (!is_plain_skill_name(blueprint.name)) {
        errors.emplace_back("Skill name must be alphanumeric with underscores only");
    } else if (pystr::length(blueprint.name) > 64) {
        errors.emplace_back("Skill name must be 64 characters or less");
    }
    if (blueprint.description.empty()) errors.emplace_back("Description is required");
    if (blueprint.app.empty()) errors.emplace_back("App name is required");
    if (!blueprint.category.empty() && !VALID_CATEGORIES.contains(blueprint.category)) {
        std::string valid;
        for (const std::string& category : VALID_CATEGORIES) {  // the set is sorted
            if (!valid.empty()) valid += ", ";
            valid += category;
        }
        errors.push_back("Invalid category: " + blueprint.category + ". Valid: " + valid);
    }
    if (blueprint.triggers.empty()) errors.emplace_back("At least one trigger keyword is required");

    // A step that is not a dictionary cannot be checked at all; that is the
    // caller's error, not a message (create_from_dict reports it as bad data).
    auto step_object = [](const json::value& step, std::size_t n) -> const json::object& {
        if (const json::object* object = step.if_object()) return *object;
        throw std::invalid_argument(step_label(n) + " must be a dictionary, not " + std::string(pyjson::type_name(step)));
    };

    if (blueprint.steps.empty()) {
        errors.emplace_back("At least one step is required");
    } else {
        std::size_t n = 0;
        for (const json::value& raw : blueprint.steps) {
            const json::object& step = step_object(raw, ++n);
            const json::value* operation = step.if_contains("operation");
            if (!operation || !truthy(*operation)) {
                errors.push_back(step_label(n) + ": operation is required");
            } else {
                const json::string* name = operation->if_string();
                if (operation->is_array() || operation->is_object()) {
                    // Python's set membership test refuses these outright.
                    throw std::invalid_argument("unhashable type: '" + std::string(pyjson::type_name(*operation)) + "'");
                }
                if (!name || !VALID_OPERATIONS.contains(std::string_view(*name))) {
                    errors.push_back(step_label(n) + ": unknown operation '" + py_str(*operation) +
                                     "'. See pc tool for valid operations.");
                }
            }
            const json::value* description = step.if_contains("description");
            if (!description || !truthy(*description)) errors.push_back(step_label(n) + ": description is required");
        }
    }

    std::size_t n = 0;
    for (const json::value& raw : blueprint.steps) {
        const json::object& step = step_object(raw, ++n);
        const json::value* params = step.if_contains("params");
        if (!params) continue;
        const json::object* values = params->if_object();
        if (!values) {
            throw std::invalid_argument(step_label(n) + ": 'params' must be a dictionary, not " +
                                        std::string(pyjson::type_name(*params)));
        }
        for (const auto& member : *values) {
            const json::string* text = member.value().if_string();
            if (!text || text->find("{{") == json::string::npos) continue;
            placeholder_pattern().for_each_name(*text, [&](std::string_view name) {
                const auto declared = [&](const std::vector<std::string>& names) {
                    return std::find(names.begin(), names.end(), name) != names.end();
                };
                if (!declared(blueprint.required_params) && !declared(blueprint.optional_params)) {
                    errors.push_back(step_label(n) + ": placeholder '{{" + std::string(name) +
                                     "}}' not in required_params or optional_params");
                }
            });
        }
    }

    return {errors.empty(), std::move(errors)};
}

}  // namespace norvex::skills::creator
