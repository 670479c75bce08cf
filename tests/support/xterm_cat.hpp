// A real terminal for typing tests: xterm on an X display whose shell runs cat into a file.
#pragma once

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace norvex::testing {

// xterm over the top left of the screen (80x24 from 0,0), its terminal in
// character mode without echo, its shell running `cat` into `out`: the file
// holds exactly the bytes the terminal sent for the keys it received, as
// UTF-8. Ended and reaped by the destructor; xterm hangs up its shell's
// terminal as it ends, which ends cat.
class XtermCat {
public:
    XtermCat(const std::string& display, std::filesystem::path out) : out_(std::move(out)) {
        const std::string script = "stty -icanon -echo; exec cat > '" + out_.string() + "'";
        std::vector<std::string> words = {"xterm", "-u8", "-geometry", "80x24+0+0", "-e", "sh", "-c", script};
        std::vector<std::string> env = {"DISPLAY=" + display, "LC_ALL=C.UTF-8"};
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string_view entry(*e);
            if (!entry.starts_with("DISPLAY=") && !entry.starts_with("LC_ALL=")) env.emplace_back(entry);
        }
        std::vector<char*> argv;
        for (auto& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& w : env) envp.push_back(w.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        // Its complaints about missing fonts are not ours to show.
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const int rc = ::posix_spawnp(&pid_, "xterm", &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) throw std::runtime_error("cannot start xterm: " + std::string(std::strerror(rc)));
    }
    ~XtermCat() {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    XtermCat(const XtermCat&) = delete;
    XtermCat& operator=(const XtermCat&) = delete;

    // What cat has written so far.
    std::string received() const {
        std::ifstream in(out_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::uintmax_t size() const {
        std::error_code ec;
        const auto n = std::filesystem::file_size(out_, ec);
        return ec ? 0 : n;
    }
    // Waits until cat has written at least `bytes` bytes; false when `limit` passed first.
    bool wait_for_size(std::uintmax_t bytes, std::chrono::seconds limit = std::chrono::seconds(20)) const {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (size() < bytes) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return true;
    }

private:
    std::filesystem::path out_;
    pid_t pid_ = -1;
};

}  // namespace norvex::testing
