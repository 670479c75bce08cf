// One child process on three pipes, launched with posix_spawn and watched through a pidfd.
//
// posix_spawn (vfork-style in glibc) keeps a launch cheap even from a large
// host, and a pidfd lets the event loop wait for the exit without a SIGCHLD
// handler, so the host's signal dispositions stay untouched. The child gets
// the default signal mask and default SIGPIPE/SIGXFSZ actions, whatever the
// host set for itself, and inherits no descriptor but its three pipes.
#pragma once

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/types.h>

namespace norvex::forkyard {

// The child could not be started. what() reads as Python's OSError does,
// for example "[Errno 2] No such file or directory: '/missing'".
class LaunchError : public std::runtime_error {
public:
    LaunchError(int err, const std::string& path);
    int code() const noexcept { return code_; }

private:
    int code_;
};

struct LaunchSpec {
    std::vector<std::string> argv;            // argv[0] is the program path (no search)
    std::optional<std::string> working_dir;   // inherited when unset
    std::vector<std::string> environment;     // "NAME=value" entries, the whole environment
};

class ChildProcess {
public:
    // Starts the child; throws LaunchError.
    ChildProcess(boost::asio::any_io_executor executor, const LaunchSpec& spec);
    // Kills and reaps a child that is still there, so none is left a zombie.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const noexcept { return pid_; }

    // Our ends of the child's standard streams (non-blocking).
    boost::asio::posix::stream_descriptor& stdin_pipe() noexcept { return stdin_; }
    boost::asio::posix::stream_descriptor& stdout_pipe() noexcept { return stdout_; }
    // Handed over once, to whoever drains it.
    boost::asio::posix::stream_descriptor take_stderr_pipe() { return std::move(stderr_); }

    // The exit code once the child has exited (reaping it), else nothing.
    // As Python reports it: the exit status, or minus the signal number.
    std::optional<int> exit_code();

    // Waits until the child has exited and gives its exit code.
    boost::asio::awaitable<int> wait_exit();

    // Forced termination (SIGKILL). A child already gone is no error.
    void kill();

    // Release the descriptors once the child is reaped (a pending wait on
    // them ends with operation_aborted).
    void close_stdin_and_pidfd();
    void close_stdout();

private:
    void reap(int status);

    pid_t pid_ = -1;
    boost::asio::posix::stream_descriptor stdin_;
    boost::asio::posix::stream_descriptor stdout_;
    boost::asio::posix::stream_descriptor stderr_;
    boost::asio::posix::stream_descriptor pidfd_;
    std::optional<int> exit_code_;
};

}  // namespace norvex::forkyard
