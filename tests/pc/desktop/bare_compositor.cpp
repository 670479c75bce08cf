// Serving the core Wayland globals and nothing else.
#include "bare_compositor.hpp"

#include <wayland-server.h>

#include <cstring>
#include <stdexcept>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace norvex::testing {

namespace {

void bind_seat(wl_client* client, void*, uint32_t version, uint32_t id) {
    wl_resource* r = wl_resource_create(client, &wl_seat_interface, static_cast<int>(version), id);
    if (r == nullptr) return wl_client_post_no_memory(client);
    wl_seat_send_capabilities(r, 0);
}

// wl_output's one request, release (clients of version 3 send it when done).
const struct wl_output_interface OUTPUT_IMPLEMENTATION = {[](wl_client*, wl_resource* r) { wl_resource_destroy(r); }};

void bind_output(wl_client* client, void*, uint32_t version, uint32_t id) {
    wl_resource* r = wl_resource_create(client, &wl_output_interface, static_cast<int>(version), id);
    if (r == nullptr) return wl_client_post_no_memory(client);
    wl_resource_set_implementation(r, &OUTPUT_IMPLEMENTATION, nullptr, nullptr);
    wl_output_send_geometry(r, 0, 0, 0, 0, WL_OUTPUT_SUBPIXEL_UNKNOWN, "bare", "bare", WL_OUTPUT_TRANSFORM_NORMAL);
    wl_output_send_mode(r, WL_OUTPUT_MODE_CURRENT, 800, 600, 60000);
    if (version >= 2) {
        wl_output_send_scale(r, 1);
        wl_output_send_done(r);
    }
}

}  // namespace

BareCompositor::BareCompositor(const std::string& socket_path) : path_(socket_path) {
    display_ = wl_display_create();
    if (display_ == nullptr) throw std::runtime_error("wl_display_create failed");
    wl_display_init_shm(display_);
    wl_global_create(display_, &wl_seat_interface, 1, nullptr, bind_seat);
    wl_global_create(display_, &wl_output_interface, 3, nullptr, bind_output);

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path_.c_str(), sizeof addr.sun_path - 1);
    ::unlink(path_.c_str());
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 8) != 0 ||
        wl_display_add_socket_fd(display_, fd) != 0) {
        if (fd >= 0) ::close(fd);
        wl_display_destroy(display_);
        throw std::runtime_error("cannot listen on " + path_);
    }
    thread_ = std::thread([this] {
        wl_event_loop* loop = wl_display_get_event_loop(display_);
        while (!stop_) {
            wl_display_flush_clients(display_);
            wl_event_loop_dispatch(loop, 20);
        }
    });
}

BareCompositor::~BareCompositor() {
    stop_ = true;
    thread_.join();
    wl_display_destroy_clients(display_);
    wl_display_destroy(display_);
    ::unlink(path_.c_str());
}

}  // namespace norvex::testing
