// A private Xvfb server for tests: started on a free display, stopped with the object.
#pragma once

#include <string>

#include <sys/types.h>

namespace norvex::testing {

class Xvfb {
public:
    // True when the Xvfb program is on PATH.
    static bool installed();

    // Starts `Xvfb :N -screen 0 WxHxD -nolisten tcp -noreset` on a display number that
    // no other server uses and waits until it accepts connections; throws
    // std::runtime_error when no server comes up.
    explicit Xvfb(int width = 1920, int height = 1080, int depth = 24);
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    // Ends the server with SIGKILL, as a crash would, and reaps it. The lock
    // file and socket a killed server leaves behind are removed, so later
    // runs can use its display number again.
    void kill();

    // Starts a new server on the same display after kill(), at another size
    // if asked, as a user restarting their session would; throws
    // std::runtime_error when it does not come up.
    void start_again(int width, int height);

    // ":N"
    const std::string& display() const noexcept { return display_; }
    // The server's process id, -1 once it has been stopped.
    pid_t pid() const noexcept { return pid_; }
    int width() const noexcept { return width_; }
    int height() const noexcept { return height_; }

private:
    bool try_start(int number);

    std::string display_;
    int width_;
    int height_;
    int depth_;
    pid_t pid_ = -1;
};

}  // namespace norvex::testing
