// Outside programs with a time limit: posix_spawn, both output pipes drained, a kill when time runs out.
#include "norvex/pc/deskhand/run_command.hpp"

#include "norvex/common/errors.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fmt/format.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace norvex::pc::deskhand {

namespace {

constexpr std::size_t ERR_KEEP = 64 * 1024;

struct Fd {
    int fd = -1;
    ~Fd() { reset(); }
    void reset() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

int exit_status_of(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

CommandOutput run_command(const std::vector<std::string>& argv, double time_limit_seconds) {
    if (argv.empty()) throw std::invalid_argument("no program to run: the command is empty");
    int out_pipe[2], err_pipe[2];
    if (::pipe2(out_pipe, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    Fd out_r{out_pipe[0]}, out_w{out_pipe[1]};
    if (::pipe2(err_pipe, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    Fd err_r{err_pipe[0]}, err_w{err_pipe[1]};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out_w.fd, 1);
    posix_spawn_file_actions_adddup2(&actions, err_w.fd, 2);
    // The child starts with the default signal mask and dispositions,
    // whatever the host has blocked or ignored.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, argv[0].c_str(), &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0)
        throw std::runtime_error(fmt::format("cannot run {}: {}{}", argv[0], std::strerror(rc),
                                             rc == ENOENT ? " (is it installed and on PATH?)" : ""));
    out_w.reset();
    err_w.reset();

    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::duration_cast<clock::duration>(
                                             std::chrono::duration<double>(std::max(0.0, time_limit_seconds)));
    CommandOutput result;
    auto kill_and_throw = [&]() {
        ::kill(pid, SIGKILL);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        throw TimeoutError(fmt::format("{} did not finish within {} seconds and was stopped", argv[0],
                                       time_limit_seconds));
    };
    char buf[65536];
    while (out_r.fd >= 0 || err_r.fd >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
        if (left <= 0) kill_and_throw();
        pollfd fds[2] = {{out_r.fd, POLLIN, 0}, {err_r.fd, POLLIN, 0}};
        const int n = ::poll(fds, 2, static_cast<int>(std::min<long long>(left, 1000)));
        if (n < 0 && errno != EINTR) throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        for (int i = 0; i < 2 && n > 0; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t got = ::read(fds[i].fd, buf, sizeof buf);
            if (got > 0) {
                std::string& dest = i == 0 ? result.out : result.err;
                dest.append(buf, static_cast<std::size_t>(got));
                if (i == 1 && dest.size() > ERR_KEEP) dest.erase(0, dest.size() - ERR_KEEP);
            } else if (got == 0 || errno != EINTR) {
                (i == 0 ? out_r : err_r).reset();
            }
        }
    }
    // Both pipes closed: the program has ended or is about to.
    int status = 0;
    while (true) {
        const pid_t w = ::waitpid(pid, &status, WNOHANG);
        if (w == pid) break;
        if (w < 0 && errno != EINTR) throw std::runtime_error(std::string("waitpid: ") + std::strerror(errno));
        if (clock::now() >= deadline) kill_and_throw();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    result.exit_status = exit_status_of(status);
    return result;
}

}  // namespace norvex::pc::deskhand
