// Counts what a test process holds: open descriptors and child processes.
#pragma once

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace norvex::testing {

inline int open_fd_count() {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n - 1;  // the iterator's own descriptor
}

// True when this process has no children at all, zombies included.
inline bool has_no_children() {
    int status = 0;
    return ::waitpid(-1, &status, WNOHANG) < 0 && errno == ECHILD;
}

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
