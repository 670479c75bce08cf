// home_of_user and home_of_uid: one "getent passwd KEY" run each, its entry read back.
#include "norvex/workers/astprobe/user_home.hpp"

#include <array>
#include <cerrno>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace norvex::astprobe {
namespace {

// The standard output of "getent passwd -- key", or none when getent could not
// be started. Its input is /dev/null and its errors are dropped: in the worker
// our own standard streams are the command channel.
std::optional<std::string> getent_passwd(const std::string& key) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return std::nullopt;
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        ::close(ends[0]);
        ::close(ends[1]);
        return std::nullopt;
    }
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    std::string program = "getent";
    std::string database = "passwd";
    std::string end_of_options = "--";
    std::string key_arg = key;
    std::array<char*, 5> argv{program.data(), database.data(), end_of_options.data(), key_arg.data(), nullptr};
    pid_t pid = 0;
    int rc = ::posix_spawnp(&pid, "getent", &actions, nullptr, argv.data(), environ);
    // A worker started with an empty PATH still finds it where glibc installs it.
    if (rc == ENOENT) rc = ::posix_spawn(&pid, "/usr/bin/getent", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (rc != 0) {
        ::close(ends[0]);
        return std::nullopt;
    }

    std::string out;
    char chunk[1024];
    while (true) {
        const ssize_t n = ::read(ends[0], chunk, sizeof chunk);
        if (n > 0) {
            out.append(chunk, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    ::close(ends[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return out;
}

// The fields of the first line of a passwd entry: name, password, uid, gid, gecos, home, shell.
std::vector<std::string> entry_fields(const std::string& text) {
    std::vector<std::string> fields(1);
    for (const char c : text) {
        if (c == '\n') break;
        if (c == ':') {
            fields.emplace_back();
        } else {
            fields.back().push_back(c);
        }
    }
    return fields;
}

constexpr std::size_t NAME = 0;
constexpr std::size_t UID = 2;
constexpr std::size_t HOME = 5;

// The home field of the entry getent gives for `key`, when the entry's field
// `field` is `key` itself (getent takes a name made of digits for a uid).
std::optional<std::string> home_where(const std::string& key, std::size_t field) {
    const std::optional<std::string> entry = getent_passwd(key);
    if (!entry) return std::nullopt;
    const std::vector<std::string> fields = entry_fields(*entry);
    if (fields.size() < 7 || fields[field] != key) return std::nullopt;
    return fields[HOME];
}

}  // namespace

std::optional<std::string> home_of_user(std::string_view name) {
    // No database holds such a name, and a NUL would cut the argument short.
    if (name.empty() || name.find_first_of(std::string_view(":\n\0", 3)) != std::string_view::npos) return std::nullopt;
    return home_where(std::string(name), NAME);
}

std::optional<std::string> home_of_uid(uid_t uid) { return home_where(std::to_string(uid), UID); }

}  // namespace norvex::astprobe
