// Engine steps from stored step dictionaries, with placeholders filled in per run.
#include "norvex/skills/creator/dynamic_skill.hpp"

#include "norvex/common/pyjson.hpp"
#include "norvex/skills/creator/py_str.hpp"

#include <cmath>
#include <stdexcept>
#include <utility>

namespace norvex::skills::creator {

namespace {

namespace json = boost::json;

// The run's arguments as (placeholder, replacement) pairs, in their order.
using Replacements = std::vector<std::pair<std::string, std::string>>;

// str.replace for every pair in turn: non-overlapping, left to right, and
// never rescanning replaced text within one pair.
std::string fill(std::string text, const Replacements& replacements) {
    for (const auto& [placeholder, value] : replacements) {
        std::size_t at = text.find(placeholder);
        if (at == std::string::npos) continue;
        std::string out;
        std::size_t from = 0;
        for (; at != std::string::npos; at = text.find(placeholder, from)) {
            out.append(text, from, at - from);
            out += value;
            from = at + placeholder.size();
        }
        out.append(text, from);
        text = std::move(out);
    }
    return text;
}

std::invalid_argument bad_value(std::size_t n, std::string_view key, std::string_view wanted, const json::value& v) {
    return std::invalid_argument("Step " + std::to_string(n) + ": '" + std::string(key) + "' must be " +
                                 std::string(wanted) + ", not " + std::string(pyjson::type_name(v)));
}

std::string step_text(const json::object& step, std::size_t n, std::string_view key) {
    const json::value* v = step.if_contains(key);
    if (!v) return {};
    if (const json::string* s = v->if_string()) return std::string(*s);
    throw bad_value(n, key, "text", *v);
}

double step_number(const json::object& step, std::size_t n, std::string_view key, double fallback) {
    const json::value* v = step.if_contains(key);
    if (!v) return fallback;
    if (v->is_int64()) return static_cast<double>(v->get_int64());
    if (v->is_uint64()) return static_cast<double>(v->get_uint64());
    if (v->is_double()) return v->get_double();
    throw bad_value(n, key, "a number", *v);
}

std::int64_t step_integer(const json::object& step, std::size_t n, std::string_view key, std::int64_t fallback) {
    const json::value* v = step.if_contains(key);
    if (!v) return fallback;
    if (v->is_int64()) return v->get_int64();
    if (const double* d = v->if_double(); d && std::isfinite(*d) && std::trunc(*d) == *d && std::fabs(*d) < 9.0e18) {
        return static_cast<std::int64_t>(*d);
    }
    throw bad_value(n, key, "an integer", *v);
}

bool step_flag(const json::object& step, std::size_t n, std::string_view key) {
    const json::value* v = step.if_contains(key);
    if (!v) return false;
    if (v->is_bool()) return v->get_bool();
    throw bad_value(n, key, "true or false", *v);
}

}  // namespace

DynamicSkill::DynamicSkill(SkillBlueprint blueprint) : _blueprint(std::move(blueprint)) {
    name = _blueprint.name;
    description = _blueprint.description;
    app = _blueprint.app;
    category = _blueprint.category;
    triggers = _blueprint.triggers;
    required_params = _blueprint.required_params;
    optional_params = _blueprint.optional_params;
}

std::vector<engine::SkillStep> DynamicSkill::build_steps(const json::object& params) const {
    Replacements replacements;
    replacements.reserve(params.size());
    for (const auto& member : params) {
        replacements.emplace_back("{{" + std::string(member.key()) + "}}", py_str(member.value()));
    }

    std::vector<engine::SkillStep> steps;
    steps.reserve(_blueprint.steps.size());
    std::size_t n = 0;
    for (const json::value& raw : _blueprint.steps) {
        ++n;
        const json::object* step = raw.if_object();
        if (!step) {
            throw std::invalid_argument("Step " + std::to_string(n) + " must be a dictionary, not " +
                                        std::string(pyjson::type_name(raw)));
        }
        engine::SkillStep built;
        if (const json::value* stored = step->if_contains("params")) {
            const json::object* stored_params = stored->if_object();
            if (!stored_params) throw bad_value(n, "params", "a dictionary", *stored);
            built.params.reserve(stored_params->size());
            for (const auto& member : *stored_params) {
                if (const json::string* text = member.value().if_string()) {
                    built.params[member.key()] = fill(std::string(*text), replacements);
                } else {
                    built.params[member.key()] = member.value();
                }
            }
        }
        built.description = fill(step_text(*step, n, "description"), replacements);
        built.operation = step_text(*step, n, "operation");
        built.wait_after = step_number(*step, n, "wait_after", 1.0);
        built.retry_on_fail = step_flag(*step, n, "retry_on_fail");
        built.max_retries = step_integer(*step, n, "max_retries", 2);
        built.optional = step_flag(*step, n, "optional");
        steps.push_back(std::move(built));
    }
    return steps;
}

json::object DynamicSkill::to_dict() const {
    json::object out = SkillDefinition::to_dict();
    out["dynamic"] = true;
    out["version"] = _blueprint.version;
    out["reason"] = _blueprint.reason;
    out["steps"] = _blueprint.steps;
    return out;
}

}  // namespace norvex::skills::creator
