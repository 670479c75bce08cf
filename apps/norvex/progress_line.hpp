// The count of files done on one redrawn line of a terminal's stderr, and when to show it at all.
#pragma once

#include <chrono>
#include <cstddef>

namespace norvex::cli {

// Whether a progress line belongs on stderr: it is a terminal that
// understands the redraw (TERM set and not "dumb") and the user did not ask
// for quiet.
bool progress_wanted(bool quiet);

// "scanning: 3/10 files, 1 failed", redrawn in place; inert when disabled.
class ProgressLine {
public:
    ProgressLine(bool enabled, std::size_t total);

    // One more file ended, well or not.
    void finished(bool ok);
    // Erases the line for good: later counts draw nothing.
    void clear();

private:
    void draw();

    bool enabled_;
    std::size_t total_;
    std::size_t done_ = 0;
    std::size_t failed_ = 0;
    std::chrono::steady_clock::time_point last_{};
};

}  // namespace norvex::cli
