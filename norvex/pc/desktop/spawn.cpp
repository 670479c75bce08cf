// find_program and run_with_input: posix_spawn with a socket on standard input.
#include "norvex/pc/desktop/spawn.hpp"

#include "norvex/pc/desktop/desktop.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace norvex::pc {

namespace {

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const noexcept { return fd_; }
    void reset() noexcept {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

std::string errno_text(int error) { return std::strerror(error); }

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

// Writes `input` into the program's standard input; false when the
// deadline passed first (the program neither read nor exited).
bool write_all(int fd, const std::string& input, std::chrono::steady_clock::time_point deadline) {
    std::size_t done = 0;
    while (done < input.size()) {
        // A socket rather than a pipe: MSG_NOSIGNAL keeps a program that quits
        // early from raising SIGPIPE in the host.
        const ssize_t n = ::send(fd, input.data() + done, input.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return true;  // it stopped reading; its exit status tells the rest
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, static_cast<int>(left.count()) + 1);
    }
    return true;
}

std::string drain(int fd) {
    std::string out;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
        if (out.size() > 64 * 1024) break;
    }
    return out;
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
        std::string dir(dirs.substr(start, end - start));
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/" + name;
        struct stat st{};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

ProgramRun run_with_input(const std::vector<std::string>& argv, const std::string& input,
                          const std::vector<std::string>& env_overrides, double timeout_seconds) {
    if (argv.empty()) throw DesktopError("no program given to run");
    const auto program = find_program(argv[0]);
    if (!program) throw DesktopError("cannot start " + argv[0] + ": not found on PATH; check that it is installed");
    int input_pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input_pair) != 0)
        throw DesktopError("cannot create a socket for " + argv[0] + ": " + errno_text(errno));
    Fd input_ours(input_pair[0]);
    Fd input_theirs(input_pair[1]);
    int error_pipe[2];
    if (::pipe2(error_pipe, O_CLOEXEC) != 0) throw DesktopError("cannot create a pipe for " + argv[0] + ": " + errno_text(errno));
    Fd error_ours(error_pipe[0]);
    Fd error_theirs(error_pipe[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input_theirs.get(), STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, error_theirs.get(), STDERR_FILENO);
    // Whatever the host left inheritable stays with the host: the program may
    // leave a server running for a long time.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Default signal handling and an empty mask in the child, whatever the host set.
    sigset_t all;
    sigfillset(&all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<std::string> words = argv;
    std::vector<std::string> env = merged_environment(env_overrides);
    auto word_pointers = pointers(words);
    auto env_pointers = pointers(env);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, program->c_str(), &actions, &attributes, word_pointers.data(), env_pointers.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) throw DesktopError("cannot start " + argv[0] + ": " + errno_text(spawned) + "; check that it is installed");
    input_theirs.reset();
    error_theirs.reset();

    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(timeout_seconds));
    const bool written = write_all(input_ours.get(), input, deadline);
    input_ours.reset();

    // The program may fork a server that keeps its standard error open, so
    // the exit of the program itself is what we wait for, not end of file.
    int status = 0;
    auto pause = std::chrono::microseconds(200);
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) break;
        if (r < 0 && errno != EINTR) throw DesktopError("lost track of " + argv[0] + ": " + errno_text(errno));
        if (!written || clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            throw DesktopError(argv[0] + " did not finish within " + std::to_string(timeout_seconds) +
                               " s and was stopped; check that the display it talks to is responsive");
        }
        std::this_thread::sleep_for(pause);
        if (pause < std::chrono::milliseconds(10)) pause *= 2;
    }

    ProgramRun run;
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ::fcntl(error_ours.get(), F_SETFL, O_NONBLOCK);
    run.error_text = drain(error_ours.get());
    return run;
}

}  // namespace norvex::pc
