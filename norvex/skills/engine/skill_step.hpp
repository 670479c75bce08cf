// One executable step of a skill, as the host's skill engine runs it.
#pragma once

#include <boost/json/object.hpp>

#include <cstdint>
#include <string>

namespace norvex::skills::engine {

struct SkillStep {
    std::string description{};    // human-readable text, placeholders already filled in
    std::string operation{};      // one of the operations the engine's pc tool knows
    boost::json::object params{}; // the operation's arguments
    double wait_after = 1.0;      // seconds to pause after the step
    bool retry_on_fail = false;
    std::int64_t max_retries = 2;
    bool optional = false;        // a failure of this step does not fail the skill

    bool operator==(const SkillStep&) const = default;
};

}  // namespace norvex::skills::engine
