// Dictionary forms of blueprints and log entries, and reading them back with type checks.
#include "norvex/skills/creator/records.hpp"

#include "norvex/common/pyjson.hpp"
#include "norvex/skills/creator/py_str.hpp"

#include <array>
#include <cmath>
#include <stdexcept>

namespace norvex::skills::creator {

namespace {

namespace json = boost::json;

json::array text_list(const std::vector<std::string>& items) {
    json::array out;
    out.reserve(items.size());
    for (const std::string& item : items) out.emplace_back(item);
    return out;
}

std::invalid_argument wrong_kind(std::string_view key, std::string_view wanted, const json::value& got) {
    return std::invalid_argument("'" + std::string(key) + "' must be " + std::string(wanted) + ", not " +
                                 std::string(pyjson::type_name(got)));
}

std::vector<std::string> text_list_at(const json::object& data, std::string_view key) {
    const json::value* found = data.if_contains(key);
    if (!found || found->is_null()) return {};
    const json::array* items = found->if_array();
    if (!items) throw wrong_kind(key, "a list of text", *found);
    std::vector<std::string> out;
    out.reserve(items->size());
    for (const json::value& item : *items) {
        const json::string* text = item.if_string();
        if (!text) {
            throw std::invalid_argument("'" + std::string(key) + "' must hold only text, found " +
                                        std::string(pyjson::type_name(item)) + " " + py_repr(item));
        }
        out.emplace_back(*text);
    }
    return out;
}

std::int64_t version_at(const json::object& data) {
    const json::value* found = data.if_contains("version");
    if (!found) return 1;
    if (const auto* i = found->if_int64()) return *i;
    if (const auto* d = found->if_double(); d && std::isfinite(*d) && std::trunc(*d) == *d &&
                                            std::fabs(*d) < 9.0e18) {
        return static_cast<std::int64_t>(*d);
    }
    throw wrong_kind("version", "an integer", *found);
}

}  // namespace

std::string text_at(const json::object& data, std::string_view key, std::string_view fallback) {
    const json::value* found = data.if_contains(key);
    if (!found) return std::string(fallback);
    if (found->is_null()) return {};
    if (const json::string* text = found->if_string()) return std::string(*text);
    throw wrong_kind(key, "text", *found);
}

json::object SkillBlueprint::to_dict() const {
    json::object out;
    out.reserve(10);
    out["name"] = name;
    out["description"] = description;
    out["app"] = app;
    out["category"] = category;
    out["triggers"] = text_list(triggers);
    out["required_params"] = text_list(required_params);
    out["optional_params"] = text_list(optional_params);
    out["steps"] = steps;
    out["reason"] = reason;
    out["version"] = version;
    return out;
}

SkillBlueprint blueprint_from_dict(const json::object& data, const BlueprintDefaults& defaults) {
    SkillBlueprint blueprint;
    blueprint.name = text_at(data, "name", defaults.name);
    blueprint.description = text_at(data, "description");
    blueprint.app = text_at(data, "app");
    blueprint.category = text_at(data, "category", "custom");
    blueprint.triggers = text_list_at(data, "triggers");
    blueprint.required_params = text_list_at(data, "required_params");
    blueprint.optional_params = text_list_at(data, "optional_params");
    if (const json::value* steps = data.if_contains("steps"); steps && !steps->is_null()) {
        if (!steps->is_array()) throw wrong_kind("steps", "a list of step dictionaries", *steps);
        blueprint.steps = steps->get_array();
    }
    blueprint.reason = text_at(data, "reason");
    if (defaults.read_version) blueprint.version = version_at(data);
    return blueprint;
}

json::object ImprovementEntry::to_dict() const {
    json::object out;
    out.reserve(6);
    out["timestamp"] = timestamp;
    out["action"] = action;
    out["skill_name"] = skill_name;
    out["reason"] = reason;
    out["details"] = details;
    out["success"] = success;
    for (const auto& member : as_stored) {
        if (json::value* field = out.if_contains(member.key())) *field = member.value();
    }
    return out;
}

ImprovementEntry ImprovementEntry::from_dict(const json::value& value) {
    static constexpr std::string_view prefix = "ImprovementEntry.__init__() ";
    const json::object* data = value.if_object();
    if (!data) {
        throw std::invalid_argument("ImprovementEntry() argument after ** must be a mapping, not " +
                                    std::string(pyjson::type_name(value)));
    }
    static constexpr std::array<std::string_view, 6> fields{"timestamp", "action",  "skill_name",
                                                            "reason",    "details", "success"};
    for (const auto& member : *data) {
        bool known = false;
        for (const std::string_view field : fields) known = known || member.key() == field;
        if (!known) {
            throw std::invalid_argument(std::string(prefix) + "got an unexpected keyword argument '" +
                                        std::string(member.key()) + "'");
        }
    }
    std::vector<std::string_view> missing;
    for (std::size_t i = 0; i < 4; ++i) {
        if (!data->contains(fields[i])) missing.push_back(fields[i]);
    }
    if (!missing.empty()) {
        // Python's wording: 'a'; 'a' and 'b'; 'a', 'b', and 'c'.
        std::string names;
        for (std::size_t i = 0; i < missing.size(); ++i) {
            if (i > 0) names += missing.size() == 2 ? " and " : (i + 1 == missing.size() ? ", and " : ", ");
            names += "'" + std::string(missing[i]) + "'";
        }
        throw std::invalid_argument(std::string(prefix) + "missing " + std::to_string(missing.size()) +
                                    " required positional argument" + (missing.size() == 1 ? "" : "s") +
                                    ": " + names);
    }
    // The rules that load a log name its keys, not its value types: an
    // entry another writer stored with a null or a number where text is
    // usual is still that writer's record, and is kept as it is.
    ImprovementEntry entry;
    auto text = [&](std::string_view key, std::string& field) {
        const json::value& v = data->at(key);
        if (const json::string* s = v.if_string()) field = std::string(*s);
        else entry.as_stored[key] = v;
    };
    text("timestamp", entry.timestamp);
    text("action", entry.action);
    text("skill_name", entry.skill_name);
    text("reason", entry.reason);
    if (const json::value* details = data->if_contains("details")) {
        if (const json::object* object = details->if_object()) entry.details = *object;
        else entry.as_stored["details"] = *details;
    }
    if (const json::value* success = data->if_contains("success")) {
        if (const bool* flag = success->if_bool()) entry.success = *flag;
        else entry.as_stored["success"] = *success;
    }
    return entry;
}

}  // namespace norvex::skills::creator
