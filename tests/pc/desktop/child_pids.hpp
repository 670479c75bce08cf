// The children of the test process, to check that a run left none behind.
#pragma once

#include <filesystem>
#include <fstream>
#include <set>

namespace norvex::testing {

// The process ids of this process's children, zombies included.
inline std::set<int> child_pids() {
    std::set<int> out;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream in(task.path() / "children");
        int pid = 0;
        while (in >> pid) out.insert(pid);
    }
    return out;
}

}  // namespace norvex::testing
