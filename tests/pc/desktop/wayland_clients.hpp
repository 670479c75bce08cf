// Programs run as clients of a test compositor: the recording probe, foot; each killed with the object.
#pragma once

#include "../../support/sway.hpp"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace norvex::testing {

// One program with WAYLAND_DISPLAY and XDG_RUNTIME_DIR of `sway`, in a
// process group of its own; its stdout is read line by line.
class ClientProgram {
public:
    ClientProgram(const std::vector<std::string>& argv, const Sway& sway);
    ~ClientProgram();
    ClientProgram(const ClientProgram&) = delete;
    ClientProgram& operator=(const ClientProgram&) = delete;

    // Waits (up to `timeout`) until `done(lines)` holds; gives the lines seen by then.
    std::vector<std::string> wait_until(const std::function<bool(const std::vector<std::string>&)>& done,
                                        std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
    std::vector<std::string> lines();
    void clear();
    pid_t pid() const noexcept { return pid_; }

private:
    pid_t pid_ = -1;
    std::set<pid_t> before_;  // our children before this program started
    int out_ = -1;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
    std::thread reader_;
};

// The probe (wayland_probe) at `scale`, waited for until its first frame is on screen.
class Probe : public ClientProgram {
public:
    Probe(const Sway& sway, int scale = 1);
    // Lines starting with `prefix` (of those seen now).
    std::vector<std::string> starting(const std::string& prefix);
    // Waits until `n` lines start with `prefix`; gives those lines.
    std::vector<std::string> wait_for(const std::string& prefix, std::size_t n);
    // The text of every key press so far, decoded from the probe's hex.
    std::string typed_text();
    std::string wait_for_text(std::size_t bytes);
};

std::size_t count_starting(const std::vector<std::string>& lines, const std::string& prefix);

}  // namespace norvex::testing
