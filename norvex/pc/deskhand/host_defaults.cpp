// The real services behind an executor: uname, the home folder, the clock, X11 or Wayland, hostkit.
#include "norvex/pc/deskhand/host_defaults.hpp"

#include "norvex/pc/desktop/wayland_desktop.hpp"
#include "norvex/pc/desktop/x11_desktop.hpp"
#include "norvex/pc/hostkit/hostkit.hpp"

#include <pwd.h>
#include <sys/utsname.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace norvex::pc::deskhand {

std::string this_system_name() {
#if defined(_WIN32)
    return "Windows";
#else
    struct utsname u {};
    if (uname(&u) != 0) return "";
    return u.sysname;
#endif
}

std::filesystem::path default_data_dir() {
    std::filesystem::path home;
    if (const char* env = std::getenv("HOME"); env && *env) {
        home = env;
    } else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) {
        home = pw->pw_dir;
    } else {
        throw std::runtime_error("Cannot find the home folder: HOME is not set and the user has no password entry; "
                                 "set HOME or give the executor a data_dir");
    }
    return home / ".norvex";
}

void real_sleep(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

std::unique_ptr<Desktop> open_x11_desktop() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        throw DesktopError("No X display to drive: DISPLAY is not set; start the executor inside an X session "
                           "or set DISPLAY (for example DISPLAY=:0)");
    // A busy X server now and then refuses a new connection outright (seen
    // under Xvfb on a loaded machine, about one in ten); a second try a
    // moment later gets through. The last failure names the display and
    // what to do.
    for (int attempt = 1;; ++attempt) {
        try {
            return std::make_unique<X11Desktop>(std::string(display));
        } catch (const DesktopError&) {
            if (attempt == 3) throw;
            real_sleep(0.05);
        }
    }
}

std::unique_ptr<Desktop> open_wayland_desktop() {
    return std::make_unique<WaylandDesktop>();  // $WAYLAND_DISPLAY; says so when it is not set
}

namespace {

// Whether a compositor's socket stands where WAYLAND_DISPLAY points: an
// absolute path, or a name in $XDG_RUNTIME_DIR.
bool wayland_socket_exists(const std::string& name) {
    std::string path = name;
    if (name.front() != '/') {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime == nullptr || *runtime == '\0') return false;
        path = std::string(runtime) + "/" + name;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

}  // namespace

bool session_uses_wayland() {
    const char* choice = std::getenv("NORVEX_DESKTOP");
    const std::string chosen = choice != nullptr ? choice : "";
    if (chosen == "x11") return false;
    if (chosen == "wayland") return true;
    if (!chosen.empty())
        throw DesktopError("NORVEX_DESKTOP is '" + chosen +
                           "', which names no desktop backend; set it to x11 or wayland, or unset it to choose by the session");
    const char* socket = std::getenv("WAYLAND_DISPLAY");
    const char* session = std::getenv("XDG_SESSION_TYPE");
    if (socket == nullptr || *socket == '\0') return false;
    if (session != nullptr && *session != '\0' && std::string(session) != "wayland") return false;
    // A WAYLAND_DISPLAY that leads to no socket, beside a DISPLAY, is an X11
    // session whose environment was copied from elsewhere (an MCP client's
    // config written once for every machine): the X display is the desktop.
    // Without a DISPLAY the Wayland error says what is wrong with the socket.
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') return true;
    return wayland_socket_exists(socket);
}

std::unique_ptr<Desktop> open_session_desktop() {
    return session_uses_wayland() ? open_wayland_desktop() : open_x11_desktop();
}

void fill_defaults(DeskhandOptions& o) {
    if (o.system_name.empty()) o.system_name = this_system_name();
    if (!o.open_desktop) o.open_desktop = open_session_desktop;
    if (!o.screen_size)
        o.screen_size = []() -> std::optional<std::pair<std::int64_t, std::int64_t>> {
            // The screen of the backend the actions will drive: in a Wayland
            // session an X display, if any, is XWayland's, whose size is in
            // layout units rather than the screenshot's pixels.
            if (session_uses_wayland()) {
                const char* socket = std::getenv("WAYLAND_DISPLAY");
                if (socket == nullptr || *socket == '\0') return std::nullopt;
                const auto [width, height] = wayland_screen_size(socket);
                return std::pair<std::int64_t, std::int64_t>{width, height};
            }
            auto size = hostkit::get_screen_size_linux();
            if (!size) return std::nullopt;
            return std::pair<std::int64_t, std::int64_t>{size->first, size->second};
        };
    if (!o.screenshot_command) o.screenshot_command = [] { return hostkit::get_screenshot_command(); };
    if (!o.sleep) o.sleep = real_sleep;
    if (!o.run)
        o.run = [](const std::vector<std::string>& argv, double limit) {
            return run_program(argv, limit, {.keep_output = true});
        };
}

}  // namespace norvex::pc::deskhand
