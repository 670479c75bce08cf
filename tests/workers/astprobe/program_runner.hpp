// Runs the real astprobe program on pipes: write its input, read its output and error, reap it.
#pragma once

#include <cerrno>
#include <csignal>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace norvex::testing {

class ProgramRun {
public:
    explicit ProgramRun(const std::string& program) {
        // A program that stops reading must show as a failed write here, not end the test.
        std::signal(SIGPIPE, SIG_IGN);
        int in[2], out[2], err[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<char*> argv{const_cast<char*>(program.c_str()), nullptr};
        const int rc = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        stdin_ = in[1];
        stdout_ = out[0];
        stderr_ = err[0];
        if (rc != 0) throw std::runtime_error("posix_spawn failed");
    }
    ~ProgramRun() {
        close_stdin();
        close_stdout();
        if (stderr_ >= 0) ::close(stderr_);
        if (pid_ > 0 && status_ < 0) {
            ::kill(pid_, SIGKILL);
            wait();
        }
    }
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    pid_t pid() const noexcept { return pid_; }

    // False once the program no longer reads (EPIPE).
    bool write(std::string_view data) {
        while (!data.empty()) {
            const ssize_t n = ::write(stdin_, data.data(), data.size());
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return false;
            data.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }
    void close_stdin() {
        if (stdin_ >= 0) ::close(stdin_);
        stdin_ = -1;
    }
    void close_stdout() {
        if (stdout_ >= 0) ::close(stdout_);
        stdout_ = -1;
    }

    // The next output line without its "\n", or none at end of output.
    std::optional<std::string> read_line() {
        while (true) {
            if (const auto nl = pending_.find('\n'); nl != std::string::npos) {
                std::string line = pending_.substr(0, nl);
                pending_.erase(0, nl + 1);
                return line;
            }
            char buf[65536];
            const ssize_t n = ::read(stdout_, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (pending_.empty()) return std::nullopt;
                std::string rest = std::move(pending_);
                pending_.clear();
                return rest;
            }
            pending_.append(buf, static_cast<std::size_t>(n));
        }
    }
    std::string read_all_stdout() {
        std::string all = std::move(pending_);
        pending_.clear();
        drain(stdout_, all);
        return all;
    }
    std::string read_all_stderr() {
        std::string all;
        drain(stderr_, all);
        return all;
    }

    // The exit status, or 128 + the signal number when a signal ended it.
    int wait() {
        if (status_ >= 0) return status_;
        int raw = 0;
        while (::waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
        }
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        return status_;
    }

private:
    static void drain(int fd, std::string& into) {
        char buf[65536];
        while (true) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            into.append(buf, static_cast<std::size_t>(n));
        }
    }

    pid_t pid_ = -1;
    int stdin_ = -1, stdout_ = -1, stderr_ = -1;
    int status_ = -1;
    std::string pending_;
};

struct Transcript {
    std::string out;
    std::string err;
    int status = -1;
};

// Feeds `input` from a second thread (so a full pipe cannot stall either
// side), closes the input and collects everything until the program exits.
inline Transcript run_program(const std::string& program, std::string input) {
    ProgramRun run(program);
    std::thread writer([&] {
        run.write(input);
        run.close_stdin();
    });
    Transcript t;
    t.out = run.read_all_stdout();
    writer.join();
    t.err = run.read_all_stderr();
    t.status = run.wait();
    return t;
}

}  // namespace norvex::testing
