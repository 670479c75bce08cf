// end_with_parent: PR_SET_PDEATHSIG, then a check that the starting parent is still there.
#include "norvex/common/worker_parent.hpp"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace norvex {
namespace {

// The process id the variable gives, or 0 when it is missing or not a process id.
pid_t announced_parent() {
    const char* text = std::getenv(WORKER_PARENT_VARIABLE);
    if (text == nullptr || *text == '\0') return 0;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value <= 0 || value > INT_MAX) return 0;
    return static_cast<pid_t>(value);
}

// True while `pid` runs. A parent that has just died stays a zombie until
// its own parent reaps it, and kill(pid, 0) still finds a zombie, so its
// state is read where /proc is there.
bool process_alive(pid_t pid) {
    char path[32];
    std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? false : ::kill(pid, 0) == 0 || errno == EPERM;
    char stat[512];
    const ssize_t n = ::read(fd, stat, sizeof stat - 1);
    ::close(fd);
    if (n <= 0) return false;
    stat[n] = '\0';
    // "pid (name) S ...": the name may hold anything, so the state follows the last ')'.
    const char* close = std::strrchr(stat, ')');
    if (close == nullptr || close[1] != ' ') return true;
    return close[2] != 'Z' && close[2] != 'X';
}

}  // namespace

void end_with_parent() noexcept {
    const pid_t parent_before = ::getppid();
    pid_t starter = announced_parent();
    ::unsetenv(WORKER_PARENT_VARIABLE);
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) return;
    // From here on the parent's end sends the signal; one that ended before
    // shows as a parent other than the one that started this process.
    const pid_t parent_now = ::getppid();
    if (starter != 0 && parent_now != starter && process_alive(starter)) starter = 0;  // handed down, not ours
    if (starter == 0) starter = parent_before;
    if (parent_now != starter) ::kill(::getpid(), SIGKILL);
}

}  // namespace norvex
