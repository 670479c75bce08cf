// One worker subprocess: start it, send one JSON command, read its answer, stop it.
#pragma once

#include "norvex/core/forkyard/line_protocol.hpp"
#include "norvex/core/forkyard/records.hpp"

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/json/object.hpp>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace norvex::forkyard {

class ChildProcess;
class StderrDrain;

struct WorkerProcessOptions {
    std::optional<std::string> working_dir{};  // inherited when unset
    EnvVars env{};                             // laid over the parent's environment
    double timeout = 60.0;                     // seconds send_command waits for the answer
    std::size_t max_answer_bytes = DEFAULT_MAX_ANSWER_BYTES;
};

// Manages a single worker subprocess with JSON stdin/stdout communication.
//
// The child's stderr is drained from the start into a buffer that keeps the
// latest MiB, so a chatty worker never stalls on a full pipe; the buffer is
// what the closed-stdout error reports, and it is freed once the child has
// been reaped and no answer is awaited.
//
// The child's environment carries this process's id in
// WORKER_PARENT_VARIABLE (norvex/common/worker_parent.hpp), for worker
// programs that end with their parent.
//
// Every operation runs on the executor given to the constructor (one thread).
// stop() may run while send_command() is waiting (cancellation). Destroying a
// worker whose child is still there kills and reaps the child.
class WorkerProcess {
public:
    WorkerProcess(boost::asio::any_io_executor executor, std::string worker_id, std::string script_path,
                  WorkerProcessOptions options = {});
    ~WorkerProcess();
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;

    std::string worker_id;
    std::string script_path;
    std::optional<std::string> working_dir;
    EnvVars env;
    double timeout;
    std::size_t max_answer_bytes;
    WorkerStatus status = WorkerStatus::IDLE;
    double start_time = 0.0;  // wall clock, set once the child is launched

    // Launches the child ([path], or [interpreter, path] for a ".py" script)
    // with all three streams on pipes. A launch failure (LaunchError) leaves
    // the worker IDLE without a process.
    boost::asio::awaitable<void> start();

    // Writes the command line and waits up to `timeout` for the answer line.
    // Gives the answer object, or nothing for a JSON null answer. Throws
    // TimeoutError (status becomes TIMEOUT), std::runtime_error for a worker
    // that is not running, closed its stdout, or whose stdin is broken,
    // AnswerTooLong (the rest of the answer is refused: its pipe is closed),
    // or std::invalid_argument for an answer that is not a UTF-8 JSON object.
    boost::asio::awaitable<std::optional<boost::json::object>> send_command(boost::json::object command);

    // Sends the quit request and waits up to 5.0 s for the child to exit,
    // killing it otherwise; then the status is COMPLETED. Returns at once,
    // changing nothing, when there is no child or it has already exited.
    boost::asio::awaitable<void> stop();

    // Kills the child now (SIGKILL) when it is still there, for a host that
    // cannot wait for stop()'s grace; true when it sent the kill. The status
    // is left alone: the answer read or a later stop() finds the child gone.
    bool kill();

    std::optional<int> pid() const noexcept { return pid_; }
    // Seconds since start (0.0 before); keeps growing after stop.
    double elapsed() const;
    bool has_process() const noexcept { return process_ != nullptr; }
    // The child's exit code once it has exited (minus the signal number when
    // killed by one), else nothing.
    std::optional<int> exit_code();

private:
    // Writes the request and reads the answer line; a broken stdin is told
    // through `write_error` rather than thrown, so its diagnostics can follow.
    boost::asio::awaitable<void> exchange(std::string request, AnswerLineReader& reader, std::string& write_error);
    boost::asio::awaitable<void> quit_and_wait();
    void release_pipes_if_exited();

    boost::asio::any_io_executor executor_;
    std::unique_ptr<ChildProcess> process_;
    std::shared_ptr<StderrDrain> stderr_;
    std::optional<int> pid_;
    bool reading_ = false;
};

}  // namespace norvex::forkyard
