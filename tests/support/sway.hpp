// A private headless sway compositor for tests: started as an unprivileged user, killed with everything it ran.
#pragma once

#include <string>

#include <sys/types.h>

namespace norvex::testing {

class Sway {
public:
    // Why sway cannot run here (not installed; run as root without the user
    // norvex-test), or empty when it can.
    static std::string unavailable();

    // Starts sway with the headless backend and the pixman renderer, no
    // input devices, no bar, background or Xwayland, and one output
    // HEADLESS-1 of `width` x `height` pixels at `scale`; waits until a client
    // sees that output. Run as root, sway runs as the user norvex-test (it
    // refuses root) with a fresh 0700 XDG_RUNTIME_DIR of its own. Throws
    // std::runtime_error (with the end of sway's log) when it does not come up.
    explicit Sway(int width = 1920, int height = 1080, int scale = 1);
    ~Sway();
    Sway(const Sway&) = delete;
    Sway& operator=(const Sway&) = delete;

    // Ends sway and every process of its process group with SIGKILL, as a
    // crash would, and reaps it. The socket is left as a dead one would be.
    void kill();

    // Starts sway again after kill() (or kills it first) in the same runtime
    // folder, so on the same socket, with an output of `width` x `height` at
    // `scale`: a user's compositor restarted at another size. Throws as the
    // constructor does.
    void start_again(int width, int height, int scale = 1);

    // The absolute path of sway's socket: a WAYLAND_DISPLAY for clients.
    const std::string& socket() const noexcept { return socket_; }
    // Its XDG_RUNTIME_DIR, for clients that want one.
    const std::string& runtime_dir() const noexcept { return runtime_dir_; }
    pid_t pid() const noexcept { return pid_; }
    // The output's size in pixels, as last started.
    int width() const noexcept { return width_; }
    int height() const noexcept { return height_; }
    // The end of sway's own log, for failure messages.
    std::string log_tail() const;

private:
    void start(int width, int height, int scale);

    std::string runtime_dir_;
    std::string socket_;
    pid_t pid_ = -1;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace norvex::testing
