// Pieces the creator's source files share (internal).
#pragma once

#include <spdlog/logger.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace norvex::skills::creator::detail {

// The "norvex.skills.creator" logger.
std::shared_ptr<spdlog::logger> log();

// "Validation failed:" and one "\n  - " line per problem.
std::string validation_failed(const std::vector<std::string>& problems);

// The problems of a Python skill, in the order they are reported: name,
// code, description, the run function, then the compiler's syntax check.
std::vector<std::string> python_skill_problems(std::string_view name, std::string_view code,
                                               std::string_view description);

// Lines of code as str.splitlines() counts them (no line for a final break).
std::size_t code_line_count(std::string_view code);

}  // namespace norvex::skills::creator::detail
