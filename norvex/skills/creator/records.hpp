// The skill creator's records: a skill's blueprint and an entry of the self-improvement log.
#pragma once

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/json/value.hpp>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace norvex::skills::creator {

// A blueprint for a new skill before it's created.
struct SkillBlueprint {
    std::string name{};          // the key the skill is registered and saved under
    std::string description{};
    std::string app{};           // the application the skill works with
    std::string category{};      // one of SkillCreator::VALID_CATEGORIES
    std::vector<std::string> triggers{};
    std::vector<std::string> required_params{};
    std::vector<std::string> optional_params{};
    // Step dictionaries as the agent wrote them: "description", "operation",
    // "params", "wait_after", "retry_on_fail", "max_retries", "optional";
    // text may hold {{param}} placeholders.
    boost::json::array steps{};
    std::string reason{};        // why the agent created the skill
    std::int64_t version = 1;    // raised by one each time the skill is saved again

    bool operator==(const SkillBlueprint&) const = default;

    // "name", "description", "app", "category", "triggers",
    // "required_params", "optional_params", "steps", "reason", "version".
    boost::json::object to_dict() const;
};

// How a blueprint is read from a dictionary (an agent's proposal or a saved file).
struct BlueprintDefaults {
    std::string name{};          // when "name" is missing
    bool read_version = false;   // take "version" (default 1), or always start from 1
};

// Builds a blueprint from a skill dictionary: a missing key takes its default
// ("custom" for "category", empty text or lists otherwise), a null value the
// empty one; keys the blueprint has no field for are ignored. Steps are taken
// as they are (validation looks at them). Throws std::invalid_argument naming
// the key when a value has the wrong type ("'triggers' must be a list of
// text, not str").
SkillBlueprint blueprint_from_dict(const boost::json::object& data, const BlueprintDefaults& defaults);

// A log entry for a self-improvement action.
struct ImprovementEntry {
    std::string timestamp{};     // local time, "%Y-%m-%d %H:%M:%S"
    std::string action{};        // "created", "updated", "deleted" or "learned"
    std::string skill_name{};
    std::string reason{};
    boost::json::object details{};  // action-specific facts
    bool success = true;
    // Values a stored entry holds in another type than its field's (a null
    // "reason" from an agent, a "success" of "yes" or a numeric "timestamp"
    // from another program), by key. They are the entry's values as far as
    // its dictionary form goes, so a log read and written again keeps them
    // unchanged; the typed field beside such a value keeps its default.
    boost::json::object as_stored{};

    bool operator==(const ImprovementEntry&) const = default;

    // "timestamp", "action", "skill_name", "reason", "details", "success".
    boost::json::object to_dict() const;

    // The entry whose dictionary form `value` is; "details" and "success" may
    // be missing, and a value of an unexpected type is kept in `as_stored`.
    // Throws std::invalid_argument worded as Python's TypeError for a value
    // that is not a dictionary, an unknown key or missing keys
    // ("ImprovementEntry.__init__() got an unexpected keyword argument 'x'").
    static ImprovementEntry from_dict(const boost::json::value& value);
};

// Reads text out of a dictionary: missing → `fallback`, null → "", other
// kinds → std::invalid_argument naming the key.
std::string text_at(const boost::json::object& data, std::string_view key, std::string_view fallback = "");

}  // namespace norvex::skills::creator
