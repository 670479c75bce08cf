// Starting and stopping a private Xvfb server.
#include "xvfb.hpp"

#include "norvex/common/run_program.hpp"

#include <X11/Xlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace norvex::testing {

namespace {

bool display_taken(int number) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const std::string n = std::to_string(number);
    return fs::exists("/tmp/.X11-unix/X" + n, ec) || fs::exists("/tmp/.X" + n + "-lock", ec);
}

std::string find_xvfb() { return norvex::find_program("Xvfb").value_or(""); }

// Stops the server and reaps it, killing it when it lingers.
void stop(pid_t pid) {
    ::kill(pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace

bool Xvfb::installed() { return !find_xvfb().empty(); }

Xvfb::Xvfb(int width, int height, int depth) : width_(width), height_(height), depth_(depth) {
    // Start at a number derived from our pid, so test binaries running side
    // by side rarely reach for the same display.
    const int first = 100 + static_cast<int>(::getpid() % 400);
    for (int i = 0; i < 200; ++i) {
        const int number = 100 + (first - 100 + i) % 400;
        if (display_taken(number)) continue;
        if (try_start(number)) return;
    }
    throw std::runtime_error("could not start Xvfb on any free display between :100 and :499");
}

bool Xvfb::try_start(int number) {
    const std::string program = find_xvfb();
    const std::string name = ":" + std::to_string(number);
    const std::string screen = std::to_string(width_) + "x" + std::to_string(height_) + "x" + std::to_string(depth_);
    std::vector<std::string> words = {program, name, "-screen", "0", screen, "-nolisten", "tcp",
                                      // Without it the server resets whenever its last client leaves,
                                      // and refuses connections while it does.
                                      "-noreset"};
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start Xvfb: " + std::to_string(rc));

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        // Exited early: another server took this number first.
        if (::waitpid(pid, &status, WNOHANG) == pid) return false;
        if (Display* d = XOpenDisplay(name.c_str())) {
            XCloseDisplay(d);
            // Someone else's server answered on this number: ours is leaving.
            if (::waitpid(pid, &status, WNOHANG) == pid) return false;
            pid_ = pid;
            display_ = name;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    stop(pid);
    return false;
}

void Xvfb::kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    const std::string number = display_.substr(1);
    std::error_code ec;
    std::filesystem::remove("/tmp/.X" + number + "-lock", ec);
    std::filesystem::remove("/tmp/.X11-unix/X" + number, ec);
}

void Xvfb::start_again(int width, int height) {
    if (pid_ > 0) throw std::logic_error("Xvfb::start_again: the server on " + display_ + " still runs; kill() it first");
    width_ = width;
    height_ = height;
    if (!try_start(std::stoi(display_.substr(1))))
        throw std::runtime_error("could not start Xvfb again on " + display_ + ": another server took the number");
}

Xvfb::~Xvfb() {
    if (pid_ > 0) stop(pid_);
}

}  // namespace norvex::testing
