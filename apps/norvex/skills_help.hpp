// What a skill file may hold, for the help of `norvex skills create`.
#pragma once

#include <string>

namespace norvex::cli {

// The keys of a skill file and of its steps, the operations and categories
// the creator accepts, the placeholder rules and the Python skill; the lists
// come from the creator's own tables.
std::string skill_file_footer();

}  // namespace norvex::cli
