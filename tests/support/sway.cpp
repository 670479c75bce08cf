// Starting a private headless sway and stopping it with all it started.
#include "sway.hpp"

#include "norvex/common/run_program.hpp"

#include <wayland-client.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace norvex::testing {

namespace {

constexpr const char* TEST_USER = "norvex-test";

std::string find_program(const std::string& name) { return norvex::find_program(name).value_or(""); }

// What one client sees of the first output: the current mode and the scale.
struct Seen {
    int width = 0;
    int height = 0;
    int scale = 0;
};

Seen probe_output(const std::string& socket) {
    Seen seen;
    wl_display* display = wl_display_connect(socket.c_str());
    if (display == nullptr) return seen;
    static const wl_output_listener output_listener = {
        [](void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*, int32_t) {},
        [](void* data, wl_output*, uint32_t flags, int32_t w, int32_t h, int32_t) {
            if (flags & WL_OUTPUT_MODE_CURRENT) {
                static_cast<Seen*>(data)->width = w;
                static_cast<Seen*>(data)->height = h;
            }
        },
        [](void*, wl_output*) {},
        [](void* data, wl_output*, int32_t factor) { static_cast<Seen*>(data)->scale = factor; },
        [](void*, wl_output*, const char*) {},
        [](void*, wl_output*, const char*) {},
    };
    struct State {
        Seen* seen;
        wl_output* output = nullptr;
    } state{&seen};
    static const wl_registry_listener registry_listener = {
        [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
            auto* s = static_cast<State*>(data);
            if (s->output != nullptr || std::strcmp(interface, wl_output_interface.name) != 0) return;
            s->output = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, std::min(version, 2u)));
            wl_output_add_listener(s->output, &output_listener, s->seen);
        },
        [](void*, wl_registry*, uint32_t) {},
    };
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registry_listener, &state);
    wl_display_roundtrip(display);
    wl_display_roundtrip(display);
    if (state.output != nullptr) wl_output_destroy(state.output);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return seen;
}

}  // namespace

std::string Sway::unavailable() {
    if (find_program("sway").empty()) return "sway is not installed (scripts/install-deps.sh test installs it)";
    if (::geteuid() == 0 && ::getpwnam(TEST_USER) == nullptr)
        return std::string("sway refuses to run as root and there is no user ") + TEST_USER +
               " to run it as (scripts/install-deps.sh test creates it)";
    return "";
}

Sway::Sway(int width, int height, int scale) {
    if (const std::string why = unavailable(); !why.empty()) throw std::runtime_error(why);
    const passwd* user = ::geteuid() == 0 ? ::getpwnam(TEST_USER) : nullptr;
    const uid_t uid = user != nullptr ? user->pw_uid : ::geteuid();
    const gid_t gid = user != nullptr ? user->pw_gid : ::getegid();

    std::string folder = (std::filesystem::temp_directory_path() / "norvex-sway-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) throw std::runtime_error("cannot make sway's runtime folder");
    runtime_dir_ = folder;
    if (::chown(folder.c_str(), uid, gid) != 0 || ::chmod(folder.c_str(), 0700) != 0)
        throw std::runtime_error("cannot give sway's runtime folder to its user");
    start(width, height, scale);
}

void Sway::start_again(int width, int height, int scale) {
    kill();
    start(width, height, scale);
}

void Sway::start(int width, int height, int scale) {
    const passwd* user = ::geteuid() == 0 ? ::getpwnam(TEST_USER) : nullptr;
    const uid_t uid = user != nullptr ? user->pw_uid : ::geteuid();
    const gid_t gid = user != nullptr ? user->pw_gid : ::getegid();
    width_ = width;
    height_ = height;
    const std::string& folder = runtime_dir_;
    const std::string config = folder + "/config";
    {
        std::ofstream out(config);
        out << "output HEADLESS-1 mode " << width << "x" << height << " position 0 0 scale " << scale << "\n"
            << "swaybg_command -\n"
            << "swaynag_command -\n"
            << "xwayland disable\n"
            << "default_border none\n"
            << "focus_follows_mouse no\n";
    }

    const std::string program = find_program("sway");
    std::vector<std::string> words = {program, "--config", config};
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_words = {
        "XDG_RUNTIME_DIR=" + folder, "HOME=" + folder, "PATH=/usr/bin:/bin",
        "WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_HEADLESS_OUTPUTS=1"};
    std::vector<char*> envp;
    for (auto& w : env_words) envp.push_back(w.data());
    envp.push_back(nullptr);
    const std::string log = folder + "/sway.log";

    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("cannot fork to start sway");
    if (pid == 0) {
        // Only async-signal-safe calls from here to exec.
        ::setsid();
        const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::dup2(fd, STDOUT_FILENO);
            ::dup2(fd, STDERR_FILENO);
            ::fchown(fd, uid, gid);
        }
        if (null >= 0) ::dup2(null, STDIN_FILENO);
        if (user != nullptr) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(126);
        }
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    pid_ = pid;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("sway exited while starting; its log ends:\n" + log_tail());
        }
        if (socket_.empty()) {
            std::error_code ec;
            for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
                const std::string name = entry.path().filename().string();
                if (name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos) socket_ = entry.path().string();
            }
        }
        // Started again, sway takes the first free name, which is the one the
        // dead one held (its lock went with it); the probe below then meets
        // the new compositor, never the dead socket, which refuses.
        if (!socket_.empty()) {
            const Seen seen = probe_output(socket_);
            if (seen.width == width && seen.height == height && seen.scale == scale) return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::string tail = log_tail();
    kill();
    throw std::runtime_error("sway did not show a " + std::to_string(width) + "x" + std::to_string(height) +
                             " output within 30 s; its log ends:\n" + tail);
}

std::string Sway::log_tail() const {
    std::ifstream in(runtime_dir_ + "/sway.log");
    std::stringstream all;
    all << in.rdbuf();
    const std::string text = all.str();
    return text.size() > 2000 ? text.substr(text.size() - 2000) : text;
}

void Sway::kill() {
    if (pid_ <= 0) return;
    // sway leads its own process group: this reaches what it started too.
    ::kill(-pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

Sway::~Sway() {
    kill();
    std::error_code ec;
    if (!runtime_dir_.empty()) std::filesystem::remove_all(runtime_dir_, ec);
}

}  // namespace norvex::testing
