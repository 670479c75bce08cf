// Ctrl-C and SIGTERM for the commands that run workers: the work stops, the workers go, the status tells why.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>

#include <functional>

namespace norvex::cli {

// Watches SIGINT and SIGTERM on a command's loop. The first one runs the
// command's stop action on the loop's thread, which cancels the work and
// kills its workers; the command then returns exit_status() once the loop
// has run dry, so its destructors still remove what it made. Only the
// first signal is caught: a second one gets the default action and ends
// the program at once, as users expect when a stop hangs.
//
// Dispositions are the program's to choose; the libraries never install a
// handler, which is why each command that starts workers has one of these.
class StopSignals {
public:
    // Signals are caught from here on; one that comes before the loop runs
    // is handled once it runs.
    explicit StopSignals(boost::asio::io_context& io, std::function<void(int signal_number)> stop = {});

    // The stop action, for a command that builds what it stops after it starts watching.
    void on_stop(std::function<void(int signal_number)> stop) { stop_ = std::move(stop); }

    // The work ended by itself: stop watching, so that the loop can end.
    void disarm();

    // The signal that stopped the work, or 0.
    int stopped_by() const noexcept { return stopped_by_; }
    // 128 + the signal's number, as shells report a command the signal ended.
    int exit_status() const noexcept;

private:
    boost::asio::signal_set signals_;
    std::function<void(int)> stop_;
    int stopped_by_ = 0;
};

}  // namespace norvex::cli
