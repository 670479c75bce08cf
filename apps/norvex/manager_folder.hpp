// The private folder each forkyard manager makes under $TMPDIR, removed by the program that made it.
#pragma once

#include "norvex/core/forkyard/forkyard.hpp"

#include <filesystem>
#include <system_error>

namespace norvex::cli {

// Removes the manager's folder when it is empty, as it is after a run; a
// command line tool must not leave one behind per call.
inline void remove_manager_folder(const forkyard::Forkyard& yard) {
    std::error_code ignored;
    std::filesystem::remove(yard.temp_dir, ignored);
}

}  // namespace norvex::cli
