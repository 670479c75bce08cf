// A Wayland server with only the core globals (wl_shm, wl_seat, one wl_output): a compositor lacking the wlroots protocols, as GNOME and KDE do.
#pragma once

#include <atomic>
#include <string>
#include <thread>

struct wl_display;

namespace norvex::testing {

class BareCompositor {
public:
    // Listens on `socket_path` (an absolute path) and serves on a thread.
    explicit BareCompositor(const std::string& socket_path);
    ~BareCompositor();
    BareCompositor(const BareCompositor&) = delete;
    BareCompositor& operator=(const BareCompositor&) = delete;

    const std::string& socket() const noexcept { return path_; }

private:
    std::string path_;
    wl_display* display_ = nullptr;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace norvex::testing
