// Edit distance and the nearest name, for the suggestions of mistyped commands and actions.
#include "suggest.hpp"

#include <algorithm>

namespace norvex::cli {

std::size_t edit_distance(std::string_view a, std::string_view b) {
    // Optimal string alignment: Levenshtein plus the swap of two neighbours,
    // the commonest typing slip ("anaylze"). Three rows suffice.
    std::vector<std::size_t> before(b.size() + 1), previous(b.size() + 1), current(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) previous[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                current[j] = std::min(current[j], before[j - 2] + 1);
            }
        }
        std::swap(before, previous);
        std::swap(previous, current);
    }
    return previous[b.size()];
}

std::optional<std::string> nearest(std::string_view typed, const std::vector<std::string>& candidates) {
    std::optional<std::string> best;
    std::size_t best_distance = 0;
    for (const std::string& candidate : candidates) {
        const std::size_t distance = edit_distance(typed, candidate);
        const std::size_t allowed = std::max<std::size_t>(1, std::min(typed.size(), candidate.size()) / 3);
        if (distance > allowed) continue;
        if (!best || distance < best_distance) {
            best = candidate;
            best_distance = distance;
        }
    }
    return best;
}

std::string did_you_mean(std::string_view typed, const std::vector<std::string>& candidates,
                         std::string_view otherwise) {
    if (const auto near = nearest(typed, candidates)) return "; did you mean '" + *near + "'?";
    return std::string(otherwise);
}

}  // namespace norvex::cli
