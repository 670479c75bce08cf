// Non-blocking pipe writes with SIGPIPE held back and consumed.
#include "norvex/core/forkyard/pipe_writer.hpp"

#include "norvex/common/error_text.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <cerrno>
#include <csignal>
#include <ctime>

#include <pthread.h>
#include <unistd.h>

namespace asio = boost::asio;

namespace norvex::forkyard {
namespace {

// One write(2) that reports EPIPE instead of raising SIGPIPE.
ssize_t write_without_sigpipe(int fd, const char* data, std::size_t size, int& err) {
    sigset_t pipe_only, old_mask;
    sigemptyset(&pipe_only);
    sigaddset(&pipe_only, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_only, &old_mask);

    sigset_t pending;
    sigpending(&pending);
    bool was_pending = sigismember(&pending, SIGPIPE) == 1;

    ssize_t n;
    do {
        n = ::write(fd, data, size);
    } while (n < 0 && errno == EINTR);
    err = n < 0 ? errno : 0;

    if (n < 0 && err == EPIPE && !was_pending) {
        // The write raised SIGPIPE at this thread; take it before unblocking.
        timespec no_wait{0, 0};
        while (sigtimedwait(&pipe_only, nullptr, &no_wait) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
    return n;
}

}  // namespace

asio::awaitable<void> write_all(asio::posix::stream_descriptor& pipe, std::string_view data) {
    while (!data.empty()) {
        if (!pipe.is_open()) throw SystemError(asio::error::broken_pipe, "write to worker stdin");
        int err = 0;
        ssize_t n = write_without_sigpipe(pipe.native_handle(), data.data(), data.size(), err);
        if (n > 0) {
            data.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && (err == EAGAIN || err == EWOULDBLOCK)) {
            auto [ec] = co_await pipe.async_wait(asio::posix::stream_descriptor::wait_write,
                                                 asio::as_tuple(asio::use_awaitable));
            if (ec) throw SystemError(ec, "write to worker stdin");
        } else if (n < 0) {
            throw SystemError(boost::system::error_code(err, boost::system::system_category()), "write to worker stdin");
        }
    }
}

}  // namespace norvex::forkyard
