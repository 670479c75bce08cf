// `norvex mcp` as a child process on pipes: write lines to it, read its messages with a deadline.
#pragma once

#include <boost/json/object.hpp>
#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>

#include <algorithm>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace norvex::testing {

class McpProcess {
public:
    // `env` changes the child's environment: "NAME=value" sets, "NAME" alone removes.
    McpProcess(const std::string& program, const std::vector<std::string>& args, const std::string& stderr_file,
               const std::vector<std::string>& env = {}) {
        int in[2];
        int out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, stderr_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<std::string> vars;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string var(*e);
            const bool changed = std::any_of(env.begin(), env.end(), [&](const std::string& change) {
                return var.substr(0, var.find('=')) == change.substr(0, change.find('='));
            });
            if (!changed) vars.push_back(var);
        }
        for (const auto& change : env) {
            if (change.find('=') != std::string::npos) vars.push_back(change);
        }
        std::vector<char*> envp;
        for (auto& v : vars) envp.push_back(v.data());
        envp.push_back(nullptr);
        const int rc = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
        if (rc != 0) throw std::runtime_error("cannot start " + program);
        // A test that fails midway must not die of SIGPIPE on a vanished server.
        std::signal(SIGPIPE, SIG_IGN);
    }

    ~McpProcess() {
        if (pid_ > 0 && !exit_status_) {
            // SIGTERM while its stdin is open, so the server is still serving
            // and handles it: it ends its calls and removes its manager's
            // temporary folder, which SIGKILL would leave. (Once its input
            // ends it is on its way out, and a signal then would cut it short.)
            if (stdin_ >= 0) ::kill(pid_, SIGTERM);
            wait_exit(std::chrono::seconds(10));
        }
        close_stdin();
        if (pid_ > 0 && !exit_status_) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
        if (stdout_ >= 0) ::close(stdout_);
    }
    McpProcess(const McpProcess&) = delete;
    McpProcess& operator=(const McpProcess&) = delete;

    void send_raw(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(stdin_, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw std::runtime_error("cannot write to the server");
            done += static_cast<std::size_t>(n);
        }
    }
    void send(const boost::json::object& message) { send_raw(boost::json::serialize(message) + "\n"); }
    void send(const std::string& json_text) { send(boost::json::parse(json_text).as_object()); }

    // The next line of stdout, or nothing when none comes before the deadline or stdout ends.
    std::optional<std::string> read_line(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (const auto nl = buffer_.find('\n'); nl != std::string::npos) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return std::nullopt;
            pollfd p{stdout_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            char chunk[65536];
            const ssize_t n = ::read(stdout_, chunk, sizeof chunk);
            if (n == 0) return std::nullopt;
            if (n > 0) buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // The next message; fails the test's expectations by throwing when none comes.
    boost::json::object read_message(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        const auto line = read_line(timeout);
        if (!line) throw std::runtime_error("the server sent no message in time");
        return boost::json::parse(*line).as_object();
    }

    // Sends a request and gives its answer, checking that nothing else came first.
    boost::json::object request(const std::string& json_text) {
        send(json_text);
        return read_message();
    }

    void close_stdin() {
        if (stdin_ >= 0) ::close(stdin_);
        stdin_ = -1;
    }

    // Closes the test's end of the server's stdout, as a client that goes away does.
    void close_stdout() {
        if (stdout_ >= 0) ::close(stdout_);
        stdout_ = -1;
    }

    pid_t pid() const noexcept { return pid_; }

    // Waits for the server to exit; its exit status, or -1 after a signal or the timeout.
    int wait_exit(std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!exit_status_) {
            int status = 0;
            const pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                break;
            }
            if (std::chrono::steady_clock::now() > deadline) return -1;
            ::usleep(10000);
        }
        return *exit_status_;
    }

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    std::string buffer_;
    std::optional<int> exit_status_;
};

}  // namespace norvex::testing
