// Kills a host program with SIGKILL mid-task and watches what becomes of its workers.
#pragma once

#include <cerrno>
#include <csignal>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace norvex::testing {

// What became of one worker after its host was killed.
struct OrphanFate {
    pid_t pid = -1;
    bool ended_in_time = false;  // false: it outlived the bound and the test killed it
    int status = 0;              // its wait status, as this process reaped it
};

namespace detail {

inline bool wait_readable(int fd, int timeout_ms) {
    pollfd p{fd, POLLIN, 0};
    int rc;
    do {
        rc = ::poll(&p, 1, timeout_ms);
    } while (rc < 0 && errno == EINTR);
    return rc > 0;
}

inline void reap(pid_t pid, int* status = nullptr) {
    int ignored = 0;
    while (::waitpid(pid, status ? status : &ignored, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace detail

// Runs `argv` (a host that writes its workers' process ids on one stdout line
// once they run), kills it with SIGKILL as soon as that line has come, and
// waits up to `bound_seconds` for each worker to end. For that while this
// process is the subreaper of its descendants: the orphaned workers become
// its children, so each is reaped here and its wait status tells how it
// ended. Workers still there after the bound are killed, so none is left
// behind whatever the outcome. Throws when the host fails before telling.
inline std::vector<OrphanFate> kill_host_and_watch_workers(const std::vector<std::string>& argv,
                                                           double bound_seconds) {
    struct Subreaper {
        Subreaper() {
            if (::prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) throw std::runtime_error("PR_SET_CHILD_SUBREAPER failed");
        }
        ~Subreaper() { ::prctl(PR_SET_CHILD_SUBREAPER, 0); }
    } subreaper;

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t host = -1;
    const int rc = ::posix_spawn(&host, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        throw std::runtime_error("cannot start " + argv[0]);
    }

    // The host's one line; a generous bound only guards against a host that hangs.
    std::string line;
    char c = 0;
    while (line.find('\n') == std::string::npos && detail::wait_readable(out[0], 60'000) && ::read(out[0], &c, 1) == 1)
        line.push_back(c);
    ::close(out[0]);

    std::vector<OrphanFate> fates;
    std::vector<int> pidfds;
    std::istringstream pids(line);
    for (pid_t pid; pids >> pid;) {
        fates.push_back(OrphanFate{pid});
        // Taken while the host still lives, so it can only be this worker.
        pidfds.push_back(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    }
    ::kill(host, SIGKILL);
    detail::reap(host);  // once it is reaped, its orphans are this process's children
    if (line.rfind("failed", 0) == 0 || fates.empty()) {
        for (int fd : pidfds) if (fd >= 0) ::close(fd);
        throw std::runtime_error("the host did not get its workers running: " + line);
    }

    for (std::size_t i = 0; i < fates.size(); ++i) {
        OrphanFate& fate = fates[i];
        if (pidfds[i] < 0) {  // gone between the host's line and pidfd_open
            fate.ended_in_time = true;
            continue;
        }
        fate.ended_in_time = detail::wait_readable(pidfds[i], static_cast<int>(bound_seconds * 1000));
        if (!fate.ended_in_time) ::syscall(SYS_pidfd_send_signal, pidfds[i], SIGKILL, nullptr, 0);
        ::close(pidfds[i]);
        detail::reap(fate.pid, &fate.status);
    }
    return fates;
}

}  // namespace norvex::testing
