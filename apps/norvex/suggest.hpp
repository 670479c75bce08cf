// "Did you mean ...?": the nearest of a list of names to a mistyped one.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norvex::cli {

// Edits (insert, delete, replace, swap two neighbours) turning `a` into `b`.
std::size_t edit_distance(std::string_view a, std::string_view b);

// The candidate nearest to `typed`, when it is close enough to be what was
// meant: at most one edit per three characters of the shorter name (at least
// one). Ties go to the earlier candidate.
std::optional<std::string> nearest(std::string_view typed, const std::vector<std::string>& candidates);

// "; did you mean 'x'?" when a candidate is near, else `otherwise` (which
// says what to do instead, starting with "; ").
std::string did_you_mean(std::string_view typed, const std::vector<std::string>& candidates,
                         std::string_view otherwise);

}  // namespace norvex::cli
