// The engine's base dictionary form of a skill.
#include "norvex/skills/engine/skill_definition.hpp"

#include <boost/json/array.hpp>

namespace norvex::skills::engine {

namespace {

boost::json::array text_list(const std::vector<std::string>& items) {
    boost::json::array out;
    out.reserve(items.size());
    for (const std::string& item : items) out.emplace_back(item);
    return out;
}

}  // namespace

boost::json::object SkillDefinition::to_dict() const {
    boost::json::object out;
    out["name"] = name;
    out["description"] = description;
    out["app"] = app;
    out["category"] = category;
    out["triggers"] = text_list(triggers);
    out["required_params"] = text_list(required_params);
    out["optional_params"] = text_list(optional_params);
    return out;
}

}  // namespace norvex::skills::engine
