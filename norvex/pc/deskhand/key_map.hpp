// The key names the model uses, mapped to the desktop layer's key names.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace norvex::pc::deskhand {

// The 27 names the model sends ("Return", "Page_Up", "Super_L", ...) and the
// desktop's name for each; lookup is exact, case included.
const std::map<std::string, std::string, std::less<>>& key_map();

// The desktop's name for `key` when the map has it.
std::optional<std::string> mapped_key(std::string_view key);

}  // namespace norvex::pc::deskhand
