// Finding the worker processes a program under test started, also once the program has gone and left them behind.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace norvex::testing {

inline std::string proc_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// "/proc/PID/stat": the command name and the state letter, or nothing once the process is gone.
inline std::optional<std::pair<std::string, char>> process_state(pid_t pid) {
    const std::string stat = proc_text("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t open = stat.find('(');
    const std::size_t close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close + 2 >= stat.size()) return std::nullopt;
    return std::make_pair(stat.substr(open + 1, close - open - 1), stat[close + 2]);
}

// Whether `pid` is a process named `name` that has not exited (a zombie has).
inline bool is_running(pid_t pid, std::string_view name = "astprobe") {
    const auto state = process_state(pid);
    return state && state->first == name && state->second != 'Z';
}

// The kernel's wait channel of a process: "wait_for_partner" while it is blocked opening a FIFO nobody writes.
inline std::string wait_channel(pid_t pid) { return proc_text("/proc/" + std::to_string(pid) + "/wchan"); }

// Every child of `parent`, zombies included, whichever of its threads started it.
inline std::set<pid_t> all_children(pid_t parent) {
    std::set<pid_t> out;
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(parent) + "/task", ec)) {
        std::ifstream in(task.path() / "children");
        pid_t pid = 0;
        while (in >> pid) out.insert(pid);
    }
    return out;
}

// The running processes named `name` whose parent is `parent`.
inline std::vector<pid_t> children_named(pid_t parent, std::string_view name = "astprobe") {
    std::vector<pid_t> found;
    for (const pid_t pid : all_children(parent)) {
        if (is_running(pid, name)) found.push_back(pid);
    }
    return found;
}

// Makes this test process the subreaper of everything it starts while the
// catcher lives: a worker whose program has died becomes a child of this
// process, where orphans() finds it. On the way out the catcher kills and
// reaps what it finds, so that a failing test leaves no worker behind.
class OrphanCatcher {
public:
    explicit OrphanCatcher(std::string name = "astprobe") : name_(std::move(name)) {
        ok_ = ::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
    }
    ~OrphanCatcher() {
        for (const pid_t pid : children_named(::getpid(), name_)) ::kill(pid, SIGKILL);
        // Only workers: the test's own children are reaped by whoever started them.
        for (const pid_t pid : all_children(::getpid())) {
            const auto state = process_state(pid);
            if (state && state->first == name_) ::waitpid(pid, nullptr, 0);
        }
        ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    }
    OrphanCatcher(const OrphanCatcher&) = delete;
    OrphanCatcher& operator=(const OrphanCatcher&) = delete;

    bool active() const noexcept { return ok_; }
    // The running workers that are now this process's children: left behind by a program that ended.
    std::vector<pid_t> orphans() const { return children_named(::getpid(), name_); }

private:
    std::string name_;
    bool ok_ = false;
};

}  // namespace norvex::testing
