// posix_spawn with pipes, pidfd exit watching, kill and reaping.
#include "norvex/core/forkyard/child_process.hpp"

#include "norvex/common/error_text.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <fmt/format.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace asio = boost::asio;

namespace norvex::forkyard {

LaunchError::LaunchError(int err, const std::string& path)
    : std::runtime_error(fmt::format("[Errno {}] {}: '{}'", err, std::strerror(err), path)), code_(err) {}

namespace {

// An fd closed on scope exit unless released.
struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { if (fd >= 0) ::close(fd); }
    int release() { int f = fd; fd = -1; return f; }
};

// Moves an fd above the standard three, so dup2 onto 0-2 in the child always
// clears close-on-exec (dup2 of an fd onto itself would keep it).
void lift_above_stdio(Fd& f) {
    if (f.fd > 2) return;
    int moved = ::fcntl(f.fd, F_DUPFD_CLOEXEC, 3);
    if (moved < 0) throw std::system_error(errno, std::generic_category(), "fcntl(F_DUPFD_CLOEXEC)");
    ::close(f.fd);
    f.fd = moved;
}

void make_pipe(Fd& read_end, Fd& write_end) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe2");
    read_end.fd = fds[0];
    write_end.fd = fds[1];
    lift_above_stdio(read_end);
    lift_above_stdio(write_end);
}

struct SpawnActions {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    SpawnActions() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attr);
    }
    ~SpawnActions() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
};

}  // namespace

ChildProcess::ChildProcess(asio::any_io_executor executor, const LaunchSpec& spec)
    : stdin_(executor), stdout_(executor), stderr_(executor), pidfd_(executor) {
    if (spec.argv.empty()) throw std::invalid_argument("no program to launch");
    if (spec.working_dir) {
        // posix_spawn reports a bad working folder and a bad program with the
        // same errno; look first so the message names the right path.
        struct stat st;
        if (::stat(spec.working_dir->c_str(), &st) != 0) throw LaunchError(errno, *spec.working_dir);
        if (!S_ISDIR(st.st_mode)) throw LaunchError(ENOTDIR, *spec.working_dir);
    }

    Fd in_r, in_w, out_r, out_w, err_r, err_w;
    make_pipe(in_r, in_w);
    make_pipe(out_r, out_w);
    make_pipe(err_r, err_w);

    SpawnActions sa;
    posix_spawn_file_actions_adddup2(&sa.actions, in_r.fd, 0);
    posix_spawn_file_actions_adddup2(&sa.actions, out_w.fd, 1);
    posix_spawn_file_actions_adddup2(&sa.actions, err_w.fd, 2);
    if (spec.working_dir) posix_spawn_file_actions_addchdir_np(&sa.actions, spec.working_dir->c_str());
    posix_spawn_file_actions_addclosefrom_np(&sa.actions, 3);

    sigset_t empty, defaults;
    sigemptyset(&empty);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGXFSZ);
    posix_spawnattr_setsigmask(&sa.attr, &empty);
    posix_spawnattr_setsigdefault(&sa.attr, &defaults);
    posix_spawnattr_setflags(&sa.attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    for (const auto& a : spec.argv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : spec.environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, argv[0], &sa.actions, &sa.attr, argv.data(), envp.data());
    if (rc != 0) throw LaunchError(rc, spec.argv[0]);
    pid_ = pid;

    int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0) {
        int err = errno;
        ::kill(pid, SIGKILL);
        int status;
        ::waitpid(pid, &status, 0);
        pid_ = -1;
        throw std::system_error(err, std::generic_category(), "pidfd_open");
    }
    pidfd_.assign(pidfd);
    stdin_.assign(in_w.release());
    stdout_.assign(out_r.release());
    stderr_.assign(err_r.release());
    stdin_.non_blocking(true);
    stdout_.non_blocking(true);
    stderr_.non_blocking(true);
    // The child's ends (in_r, out_w, err_w) close here, so EOF arrives when the child exits.
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !exit_code_) {
        if (!exit_code()) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }
}

void ChildProcess::reap(int status) {
    if (WIFEXITED(status)) exit_code_ = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) exit_code_ = -WTERMSIG(status);
    else exit_code_ = -1;
}

std::optional<int> ChildProcess::exit_code() {
    if (exit_code_ || pid_ <= 0) return exit_code_;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == pid_) reap(status);
    else if (r < 0 && errno == ECHILD) exit_code_ = -1;  // reaped behind our back (SIGCHLD ignored by the host)
    return exit_code_;
}

asio::awaitable<int> ChildProcess::wait_exit() {
    while (!exit_code()) {
        // The pidfd turns readable when the child exits.
        auto [ec] = co_await pidfd_.async_wait(asio::posix::stream_descriptor::wait_read,
                                               asio::as_tuple(asio::use_awaitable));
        if (ec) throw SystemError(ec, fmt::format("waiting for process {} to exit", pid_));
    }
    co_return *exit_code_;
}

void ChildProcess::kill() {
    if (pid_ <= 0 || exit_code()) return;  // never signal a pid that may be reused
    if (::kill(pid_, SIGKILL) != 0 && errno != ESRCH)
        throw std::system_error(errno, std::generic_category(), fmt::format("kill({})", pid_));
}

void ChildProcess::close_stdin_and_pidfd() {
    boost::system::error_code ignored;
    stdin_.close(ignored);
    pidfd_.close(ignored);
}

void ChildProcess::close_stdout() {
    boost::system::error_code ignored;
    stdout_.close(ignored);
}

}  // namespace norvex::forkyard
