// Running and reading the Wayland test clients.
#include "wayland_clients.hpp"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace norvex::testing {

namespace {

// Our children now, read from /proc: the processes a program leaves behind
// are told apart from the test's own (sway) by not being in this set.
std::set<pid_t> children() {
    std::set<pid_t> out;
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec)) {
        std::ifstream in(task.path() / "children");
        pid_t pid;
        while (in >> pid) out.insert(pid);
    }
    return out;
}

}  // namespace

ClientProgram::ClientProgram(const std::vector<std::string>& argv, const Sway& sway) {
    // A terminal starts its shell in a session of its own; were the terminal
    // to die first, the shell's processes would go to init and outlive the
    // test. As a subreaper this process gets them instead, and reaps them.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    before_ = children();
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, "WAYLAND_DISPLAY=", 16) == 0 || std::strncmp(*e, "XDG_RUNTIME_DIR=", 16) == 0 ||
            std::strncmp(*e, "DISPLAY=", 8) == 0)
            continue;
        env.emplace_back(*e);
    }
    env.push_back("WAYLAND_DISPLAY=" + sway.socket());
    env.push_back("XDG_RUNTIME_DIR=" + sway.runtime_dir());
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> words = argv;
    std::vector<char*> args;
    for (auto& w : words) args.push_back(w.data());
    args.push_back(nullptr);

    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    const int rc = ::posix_spawnp(&pid_, args[0], &actions, &attr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(pipe_fds[1]);
    if (rc != 0) {
        ::close(pipe_fds[0]);
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
    }
    out_ = pipe_fds[0];
    reader_ = std::thread([this] {
        std::string pending;
        char buf[4096];
        while (true) {
            const ssize_t n = ::read(out_, buf, sizeof buf);
            if (n <= 0) break;
            pending.append(buf, static_cast<std::size_t>(n));
            std::size_t nl;
            while ((nl = pending.find('\n')) != std::string::npos) {
                {
                    std::lock_guard lock(mutex_);
                    lines_.push_back(pending.substr(0, nl));
                }
                pending.erase(0, nl + 1);
                changed_.notify_all();
            }
        }
    });
}

ClientProgram::~ClientProgram() {
    if (pid_ > 0) {
        // A polite end first, so a terminal hangs up the shell it started in a session of its own.
        ::kill(-pid_, SIGTERM);
        int status = 0;
        bool reaped = false;
        for (int i = 0; i < 200 && !reaped; ++i) {
            reaped = ::waitpid(pid_, &status, WNOHANG) == pid_;
            if (!reaped) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!reaped) {
            ::kill(-pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        }
        ::kill(-pid_, SIGKILL);  // anything left in its group
        // Its orphans, which came to us: ended and reaped.
        for (int round = 0; round < 100; ++round) {
            bool any = false;
            for (pid_t child : children()) {
                if (before_.count(child) != 0) continue;
                any = true;
                ::kill(child, SIGKILL);
                ::waitpid(child, &status, 0);
            }
            if (!any) break;
        }
    }
    if (reader_.joinable()) reader_.join();
    if (out_ >= 0) ::close(out_);
}

std::vector<std::string> ClientProgram::wait_until(const std::function<bool(const std::vector<std::string>&)>& done,
                                                   std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return done(lines_); });
    return lines_;
}

std::vector<std::string> ClientProgram::lines() {
    std::lock_guard lock(mutex_);
    return lines_;
}

void ClientProgram::clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

std::size_t count_starting(const std::vector<std::string>& lines, const std::string& prefix) {
    std::size_t n = 0;
    for (const auto& l : lines) n += l.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
}

Probe::Probe(const Sway& sway, int scale) : ClientProgram({WAYLAND_PROBE, std::to_string(scale)}, sway) {
    // Shown, with the keyboard focus: input sent from now on reaches it.
    // (The seat has a keyboard only while a virtual one exists: open the
    // desktop before the probe.)
    const std::string full = "shown " + std::to_string(sway.width()) + " " + std::to_string(sway.height());
    auto ready = [&](const std::vector<std::string>& l) {
        return std::find(l.begin(), l.end(), full) != l.end() && count_starting(l, "focus") > 0;
    };
    const auto seen = wait_until(ready);
    if (!ready(seen)) {
        std::string said;
        for (const auto& l : seen) said += "\n  " + l;
        throw std::runtime_error("the probe window did not show up over the whole " + full.substr(6) + " output with the keyboard focus within 10 s; it said:" + said);
    }
}

std::vector<std::string> Probe::starting(const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& l : lines())
        if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
}

std::vector<std::string> Probe::wait_for(const std::string& prefix, std::size_t n) {
    wait_until([&](const auto& l) { return count_starting(l, prefix) >= n; });
    return starting(prefix);
}

namespace {

// The text of every key press among `lines`, decoded from the probe's hex.
std::string text_of(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) {
        // key CODE pressed NAME HEX
        if (l.rfind("key ", 0) != 0 || l.find(" pressed ") == std::string::npos) continue;
        const std::string hex = l.substr(l.rfind(' ') + 1);
        if (hex == "-") continue;
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
            text += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return text;
}

}  // namespace

std::string Probe::typed_text() { return text_of(lines()); }

std::string Probe::wait_for_text(std::size_t bytes) {
    return text_of(wait_until([&](const auto& l) { return text_of(l).size() >= bytes; }));
}

}  // namespace norvex::testing
