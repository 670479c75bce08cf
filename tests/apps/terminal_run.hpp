// The norvex program with a pseudo-terminal as its stderr, as in an interactive shell, read as it writes.
#pragma once

#include "cli_process.hpp"

#include <cerrno>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace norvex::testing {

class TerminalRun {
public:
    // Starts norvex (or `program`, a copy of it) with `args`; stdin is
    // /dev/null, stdout goes to `out_file`.
    TerminalRun(const std::vector<std::string>& args, const std::string& out_file,
                const std::map<std::string, std::optional<std::string>>& env,
                const std::string& program = NORVEX_PROGRAM_PATH) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        const std::string terminal = ::ptsname(master_);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, terminal.c_str(), O_RDWR | O_NOCTTY, 0);
        posix_spawn_file_actions_addclose(&actions, master_);
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> envp = changed_environment(env);
        const int rc = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, pointers(argv).data(),
                                     pointers(envp).data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) throw std::runtime_error("cannot start norvex");
    }
    ~TerminalRun() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(master_);
    }
    TerminalRun(const TerminalRun&) = delete;
    TerminalRun& operator=(const TerminalRun&) = delete;

    pid_t pid() const noexcept { return pid_; }

    // Reads what the program writes to the terminal until `enough` holds for
    // all of it, or until every writer has closed the terminal (EIO). Gives
    // everything read so far.
    const std::string& read_until(const std::function<bool(const std::string&)>& enough) {
        char buffer[4096];
        while (!enough(written_)) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) {
                written_.append(buffer, static_cast<std::size_t>(n));
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                break;
            }
        }
        return written_;
    }
    const std::string& read_to_end() {
        return read_until([](const std::string&) { return false; });
    }

    // The wait status of the program, once it has ended.
    int wait() {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0) {
            if (errno != EINTR) throw std::runtime_error("waitpid failed");
        }
        pid_ = -1;
        return status;
    }

private:
    int master_ = -1;
    pid_t pid_ = -1;
    std::string written_;
};

}  // namespace norvex::testing
