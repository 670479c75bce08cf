// The .py files the oracle comparisons run over: the test data, plus a
// folder named by NORVEX_PYAST_ORACLE_EXTRA when set.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace norvex::pyast::testing {

inline std::vector<std::filesystem::path> oracle_sample_files() {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    auto add_folder = [&files](const fs::path& folder) {
        if (!fs::is_directory(folder)) return;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            if (entry.is_regular_file() && entry.path().extension() == ".py") files.push_back(entry.path());
        }
    };
    add_folder(NORVEX_PYAST_TEST_DATA);
    if (const char* extra = std::getenv("NORVEX_PYAST_ORACLE_EXTRA")) add_folder(extra);
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace norvex::pyast::testing
