// The stop on SIGINT and SIGTERM shared by analyze, scan and mcp.
#include "stop_signals.hpp"

#include "commands.hpp"

#include <csignal>

namespace norvex::cli {

StopSignals::StopSignals(boost::asio::io_context& io, std::function<void(int)> stop)
    : signals_(io, SIGINT, SIGTERM), stop_(std::move(stop)) {
    signals_.async_wait([this](const boost::system::error_code& ec, int signal_number) {
        if (ec) return;  // disarmed: the work ended first
        stopped_by_ = signal_number;
        // Back to the default action, so that a second signal is not lost on a stop that hangs.
        boost::system::error_code ignored;
        signals_.clear(ignored);
        if (stop_) stop_(signal_number);
    });
}

void StopSignals::disarm() {
    boost::system::error_code ignored;
    signals_.cancel(ignored);
    signals_.clear(ignored);
}

int StopSignals::exit_status() const noexcept { return EXIT_SIGNAL_BASE + stopped_by_; }

}  // namespace norvex::cli
