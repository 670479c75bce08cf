// One worker subprocess and the manager's side of the line protocol.
#include "norvex/core/forkyard/worker_process.hpp"

#include "norvex/common/async_timeout.hpp"
#include "norvex/common/clock.hpp"
#include "norvex/common/error_text.hpp"
#include "norvex/common/errors.hpp"
#include "norvex/common/logging.hpp"
#include "norvex/common/pyjson.hpp"
#include "norvex/common/pystr.hpp"
#include "norvex/common/worker_parent.hpp"
#include "norvex/core/forkyard/child_process.hpp"
#include "norvex/core/forkyard/pipe_writer.hpp"
#include "norvex/core/forkyard/stderr_drain.hpp"
#include "norvex/core/forkyard/worker_scripts.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/system/system_error.hpp>

#include <fmt/format.h>

#include <cstring>
#include <unordered_map>

#include <unistd.h>

extern char** environ;

namespace asio = boost::asio;

namespace norvex::forkyard {
namespace {

constexpr double STOP_GRACE_SECONDS = 5.0;
constexpr double DIAGNOSTICS_WAIT_SECONDS = 2.0;

std::shared_ptr<spdlog::logger> log() {
    static auto logger = logging::get("norvex.subprocess");
    return logger;
}

// The parent's environment with `overlay` written over it, and this
// process's id in WORKER_PARENT_VARIABLE last of all (a value inherited from
// further up names some other process); the parent's order is kept and new
// names follow in the overlay's order.
std::vector<std::string> child_environment(const EnvVars& overlay) {
    std::vector<std::string> entries;
    std::unordered_map<std::string, std::size_t> index;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        std::string_view entry(*e);
        auto eq = entry.find('=');
        std::string name(entry.substr(0, eq));
        if (index.emplace(name, entries.size()).second) entries.emplace_back(entry);
    }
    auto set = [&](const std::string& name, const std::string& value) {
        std::string entry = name + "=" + value;
        auto [it, inserted] = index.emplace(name, entries.size());
        if (inserted) entries.push_back(std::move(entry));
        else entries[it->second] = std::move(entry);
    };
    for (const auto& [name, value] : overlay) set(name, value);
    set(WORKER_PARENT_VARIABLE, std::to_string(::getpid()));
    return entries;
}

// "67108864 bytes (64 MiB)", or "4096 bytes" when not whole mebibytes.
std::string byte_limit_text(std::size_t bytes) {
    constexpr std::size_t MiB = 1024 * 1024;
    if (bytes >= MiB && bytes % MiB == 0) return fmt::format("{} bytes ({} MiB)", bytes, bytes / MiB);
    return fmt::format("{} bytes", bytes);
}

}  // namespace

WorkerProcess::WorkerProcess(asio::any_io_executor executor, std::string worker_id_, std::string script_path_,
                             WorkerProcessOptions options)
    : worker_id(std::move(worker_id_)),
      script_path(std::move(script_path_)),
      working_dir(std::move(options.working_dir)),
      env(std::move(options.env)),
      timeout(options.timeout),
      max_answer_bytes(options.max_answer_bytes),
      executor_(std::move(executor)) {}

WorkerProcess::~WorkerProcess() {
    if (stderr_) stderr_->close();
}

double WorkerProcess::elapsed() const { return start_time == 0.0 ? 0.0 : wall_seconds() - start_time; }

std::optional<int> WorkerProcess::exit_code() {
    if (!process_) return std::nullopt;
    return process_->exit_code();
}

asio::awaitable<void> WorkerProcess::start() {
    // Launching yields to the loop first, as any asynchronous launch may, so
    // a burst of launches leaves room for the loop's other work; whoever
    // limits the children counts a launch from before it starts.
    co_await asio::post(executor_, asio::use_awaitable);
    LaunchSpec spec{worker_command_line(script_path), working_dir, child_environment(env)};
    auto child = std::make_unique<ChildProcess>(executor_, spec);
    stderr_ = StderrDrain::start(child->take_stderr_pipe());
    pid_ = child->pid();
    process_ = std::move(child);
    status = WorkerStatus::RUNNING;
    start_time = wall_seconds();
    log()->debug("Worker {} started (PID: {})", worker_id, *pid_);
    co_return;
}

asio::awaitable<void> WorkerProcess::exchange(std::string request, AnswerLineReader& reader, std::string& write_error) {
    try {
        co_await write_all(process_->stdin_pipe(), request);
    } catch (const boost::system::system_error& e) {
        if (e.code() == asio::error::operation_aborted) throw;
        write_error = fmt::format("[Errno {}] {}", e.code().value(), e.code().message());
        co_return;
    }
    char chunk[65536];
    auto& out = process_->stdout_pipe();
    while (!reader.done()) {
        auto [ec, n] = co_await out.async_read_some(asio::buffer(chunk), asio::as_tuple(asio::use_awaitable));
        if (n > 0 && reader.feed(std::string_view(chunk, n))) break;
        if (ec == asio::error::eof) {
            reader.finish();
        } else if (ec) {
            throw SystemError(ec, fmt::format("Worker {} stdout", worker_id));
        }
    }
}

asio::awaitable<std::optional<boost::json::object>> WorkerProcess::send_command(boost::json::object command) {
    if (!process_ || !process_->stdin_pipe().is_open() || !process_->stdout_pipe().is_open())
        throw std::runtime_error(fmt::format("Worker {} is not running", worker_id));

    AnswerLineReader reader(max_answer_bytes);
    reading_ = true;
    struct ReadingFlag {
        WorkerProcess* self;
        ~ReadingFlag() {
            self->reading_ = false;
            self->release_pipes_if_exited();
        }
    } flag{this};

    bool in_time;
    std::string write_error;
    try {
        in_time = co_await with_timeout(exchange(encode_request(command), reader, write_error), timeout);
    } catch (const AnswerTooLong&) {
        // Nobody reads the rest: a worker still writing it gets EPIPE now
        // rather than blocking until the stop's grace period ends in a kill.
        process_->close_stdout();
        throw AnswerTooLong(fmt::format(
            "Worker {} answered more than the limit of {} on one line: ask for less in one task (a narrower "
            "operation, or a smaller input), or raise the manager's max_answer_bytes",
            worker_id, byte_limit_text(reader.max_bytes())));
    }
    if (!in_time) {
        status = WorkerStatus::TIMEOUT;
        throw TimeoutError(fmt::format("Worker {} timed out after {}s", worker_id, pyjson::float_repr(timeout)));
    }

    if (write_error.empty() && !reader.line().empty()) co_return decode_answer(reader.line(), worker_id);

    // The worker closed its stdout without answering, or left before
    // reading its command: what it wrote on stderr says why.
    std::string diagnostics;
    if (stderr_ && co_await stderr_->wait_for_end(DIAGNOSTICS_WAIT_SECONDS))
        diagnostics = pystr::decode_utf8_replace(stderr_->text());
    if (!write_error.empty())
        throw std::runtime_error(
            fmt::format("Worker {} did not take the command: {}. stderr: {}", worker_id, write_error, diagnostics));
    throw std::runtime_error(fmt::format("Worker {} closed stdout. stderr: {}", worker_id, diagnostics));
}

asio::awaitable<void> WorkerProcess::quit_and_wait() {
    if (process_->stdin_pipe().is_open()) co_await write_all(process_->stdin_pipe(), quit_request());
    co_await process_->wait_exit();
}

asio::awaitable<void> WorkerProcess::stop() {
    if (!process_ || process_->exit_code()) {
        release_pipes_if_exited();
        co_return;
    }
    // The quit line and the exit share one grace period: a child that does
    // not read its stdin cannot hold stop() up for longer than that.
    bool exited = false;
    try {
        exited = co_await with_timeout(quit_and_wait(), STOP_GRACE_SECONDS);
    } catch (const std::exception&) {
        exited = false;  // a broken pipe or anything else: on to the kill
    }
    if (!exited) {
        process_->kill();
        co_await process_->wait_exit();
    }
    status = WorkerStatus::COMPLETED;
    release_pipes_if_exited();
    log()->debug("Worker {} stopped", worker_id);
}

bool WorkerProcess::kill() {
    if (!process_ || process_->exit_code()) return false;
    process_->kill();
    log()->debug("Worker {} killed", worker_id);
    return true;
}

void WorkerProcess::release_pipes_if_exited() {
    if (!process_ || !process_->exit_code()) return;
    process_->close_stdin_and_pidfd();
    if (reading_) return;
    process_->close_stdout();
    // Only a pending answer's diagnostics read the stderr text, so with the
    // child gone and no answer awaited its buffer (up to 2 MiB) is let go.
    if (stderr_) {
        stderr_->close();
        stderr_.reset();
    }
}

}  // namespace norvex::forkyard
