// home_of_user and home_of_uid: one "getent passwd KEY" run each, its entry read back.
#include "norvex/workers/astprobe/user_home.hpp"

#include "norvex/common/run_program.hpp"

#include <exception>
#include <string>
#include <vector>

namespace norvex::astprobe {
namespace {

// A user database on the network may be slow to answer, but not this slow.
constexpr double GETENT_TIME_LIMIT = 10.0;

// The standard output of "getent passwd -- key", or none when getent could
// not be run. Its errors are kept by the runner, never written to our own
// standard streams: in the worker they are the command channel.
std::optional<std::string> getent_passwd(const std::string& key) {
    // A worker started with an empty PATH still finds it where glibc installs it.
    const std::string program = find_program("getent").value_or("/usr/bin/getent");
    try {
        return run_program({program, "passwd", "--", key}, GETENT_TIME_LIMIT, {.keep_output = true}).out;
    } catch (const std::exception&) {
        return std::nullopt;
    }
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
