// Catching a real process in the middle of a save: inotify on the folder, SIGSTOP, and a check that the save is still under way.
#pragma once

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

namespace norvex::testing {

// Kills and reaps a child when the test ends, however it ends.
struct ChildGuard {
    pid_t pid = -1;
    ~ChildGuard() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            reap();
        }
    }
    int reap() {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        pid = -1;
        return status;
    }
};

// Stops `pid` (a child of this process) while it is writing a file whose
// name starts with `prefix` in `folder`, and gives that file's path. The
// file still exists once the process has stopped, so the save it belongs to
// has begun writing and has not been renamed into place yet. A save that
// ended before the stop is let go, and the next one is caught.
inline std::filesystem::path stop_mid_save(pid_t pid, const std::filesystem::path& folder, std::string_view prefix) {
    const int watch = ::inotify_init1(IN_CLOEXEC);
    if (watch < 0 || ::inotify_add_watch(watch, folder.c_str(), IN_MODIFY) < 0) {
        throw std::runtime_error("cannot watch " + folder.string());
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{watch};
    alignas(inotify_event) char buffer[4096];
    for (int attempt = 0; attempt < 100; ++attempt) {
        pollfd ready{watch, POLLIN, 0};
        // A safety net only: the writer modifies its file within milliseconds.
        if (::poll(&ready, 1, 120000) <= 0) throw std::runtime_error("no write seen in " + folder.string());
        const ssize_t n = ::read(watch, buffer, sizeof buffer);
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            const std::string name = event->len > 0 ? std::string(event->name) : std::string();
            if (!name.starts_with(prefix)) continue;
            ::kill(pid, SIGSTOP);
            int status = 0;
            while (::waitpid(pid, &status, WUNTRACED) < 0 && errno == EINTR) {
            }
            if (std::filesystem::exists(folder / name)) return folder / name;
            ::kill(pid, SIGCONT);
            break;
        }
    }
    throw std::runtime_error("never caught a save in the middle in " + folder.string());
}

}  // namespace norvex::testing
