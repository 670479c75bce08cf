// find_program and run_program: posix_spawn, input through a socket, output taken while the program runs, a kill when time runs out.
#include "norvex/common/run_program.hpp"

#include "norvex/common/errors.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace norvex {

namespace {

constexpr std::size_t ERR_KEEP = 64 * 1024;

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const noexcept { return fd_; }
    void reset(int fd = -1) noexcept {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

std::string cannot_run(const std::string& name, int error) {
    return "cannot run " + name + ": " + std::strerror(error) + (error == ENOENT ? " (is it installed and on PATH?)" : "");
}

std::vector<std::string> merged_environment(const std::vector<std::string>& overrides) {
    std::vector<std::string> env;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        const std::string_view entry(*e);
        const auto name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const std::string& o : overrides) replaced = replaced || o.substr(0, o.find('=')) == name;
        if (!replaced) env.emplace_back(entry);
    }
    env.insert(env.end(), overrides.begin(), overrides.end());
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& words) {
    std::vector<char*> out;
    for (std::string& w : words) out.push_back(w.data());
    out.push_back(nullptr);
    return out;
}

void make_pipe(Fd& ours, Fd& theirs, const std::string& name) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) throw ProgramError("cannot create a pipe for " + name + ": " + std::strerror(errno));
    ours.reset(ends[0]);
    theirs.reset(ends[1]);
    ::fcntl(ours.get(), F_SETFL, O_NONBLOCK);
}

// Reads what `fd` holds now into `dest`; closes it at its end. `keep_last`
// bounds `dest` to its last bytes (0: unbounded).
void take(Fd& fd, std::string& dest, std::size_t keep_last) {
    char buffer[65536];
    while (fd.get() >= 0) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n > 0) {
            dest.append(buffer, static_cast<std::size_t>(n));
            if (keep_last && dest.size() > keep_last) dest.erase(0, dest.size() - keep_last);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        fd.reset();  // end of output (or a broken pipe: nothing more will come)
    }
}

// Sends what of `input` the program takes now; closes our end once all is
// sent or the program stopped reading (its exit status tells the rest).
// A socket rather than a pipe: MSG_NOSIGNAL keeps a program that quits
// early from raising SIGPIPE in the host.
void give(Fd& fd, const std::string& input, std::size_t& sent) {
    while (fd.get() >= 0 && sent < input.size()) {
        const ssize_t n = ::send(fd.get(), input.data() + sent, input.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) {
            sent += static_cast<std::size_t>(n);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return;
        } else if (errno != EINTR) {
            fd.reset();
        }
    }
    fd.reset();
}

// 5 as "5", 0.3 as "0.3": the fewest digits that read back as the same number.
std::string shortest(double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

int exit_status_of(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

std::optional<std::string> find_program(const std::string& name) {
    if (name.empty()) return std::nullopt;
    if (name.find('/') != std::string::npos) {
        if (::access(name.c_str(), X_OK) == 0) return name;
        return std::nullopt;
    }
    const char* path = std::getenv("PATH");
    const std::string_view dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        std::string candidate(dirs.substr(start, end - start));
        if (candidate.empty()) candidate.push_back('.');  // an empty entry is the current folder
        candidate.push_back('/');
        candidate += name;
        struct stat st{};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

ProgramRun run_program(const std::vector<std::string>& argv, double time_limit_seconds, const ProgramOptions& options) {
    if (argv.empty()) throw std::invalid_argument("no program to run: the command is empty");
    const std::string& name = argv[0];
    const auto program = find_program(name);
    if (!program) throw ProgramError(cannot_run(name, ENOENT));

    Fd input_ours, input_theirs, out_ours, out_theirs, err_ours, err_theirs;
    if (options.input) {
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
            throw ProgramError("cannot create a socket for " + name + ": " + std::strerror(errno));
        input_ours.reset(pair[0]);
        input_theirs.reset(pair[1]);
    }
    if (options.keep_output) make_pipe(out_ours, out_theirs, name);
    make_pipe(err_ours, err_theirs, name);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (options.input)
        posix_spawn_file_actions_adddup2(&actions, input_theirs.get(), STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (options.keep_output)
        posix_spawn_file_actions_adddup2(&actions, out_theirs.get(), STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, err_theirs.get(), STDERR_FILENO);
    // Whatever the host left inheritable stays with the host: the program may
    // leave a server running for a long time.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    // Default signal handling and an empty mask in the child, whatever the host set.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<std::string> words = argv;
    auto word_pointers = pointers(words);
    std::vector<std::string> env;
    std::vector<char*> env_pointers;
    if (!options.env_overrides.empty()) {
        env = merged_environment(options.env_overrides);
        env_pointers = pointers(env);
    }
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, program->c_str(), &actions, &attributes, word_pointers.data(),
                                      env_pointers.empty() ? environ : env_pointers.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) throw ProgramError(cannot_run(name, spawned));
    input_theirs.reset();
    out_theirs.reset();
    err_theirs.reset();

    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::duration_cast<clock::duration>(
                                             std::chrono::duration<double>(std::max(0.0, time_limit_seconds)));
    ProgramRun run;
    const std::string no_input;
    const std::string& input = options.input ? *options.input : no_input;
    std::size_t sent = 0;
    give(input_ours, input, sent);
    // The program's exit ends the wait; poll wakes for its output and input,
    // and in between at growing intervals to look for the exit.
    int status = 0;
    auto pause = std::chrono::microseconds(200);
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) break;
        if (r < 0 && errno != EINTR) throw ProgramError("lost track of " + name + ": " + std::strerror(errno));
        const auto now = clock::now();
        if (now >= deadline) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            throw TimeoutError(name + " did not finish within " + shortest(time_limit_seconds) + " seconds and was stopped");
        }
        pollfd fds[3] = {{input_ours.get(), POLLOUT, 0}, {out_ours.get(), POLLIN, 0}, {err_ours.get(), POLLIN, 0}};
        const auto wait = std::min<clock::duration>(pause, deadline - now);
        ::poll(fds, 3, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
        if (fds[0].revents) give(input_ours, input, sent);
        if (fds[1].revents) take(out_ours, run.out, 0);
        if (fds[2].revents) take(err_ours, run.err, ERR_KEEP);
        if (pause < std::chrono::milliseconds(10)) pause *= 2;
    }
    // What it wrote before exiting is in the pipes; a server it left behind
    // may hold them open, so take what is there without waiting for the end.
    take(out_ours, run.out, 0);
    take(err_ours, run.err, ERR_KEEP);
    run.exit_status = exit_status_of(status);
    return run;
}

}  // namespace norvex
