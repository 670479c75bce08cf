// Running the norvex program as people do: input on stdin, a changed environment, stdout or stderr anywhere.
#pragma once

#include "../tools/tool_test_util.hpp"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace norvex::testing {

struct Invocation {
    std::vector<std::string> args{};
    std::optional<std::string> input{};  // standard input's bytes; /dev/null when none
    std::string stdout_path{};           // empty: a file of the scratch folder, read back
    // Variables set (a value) or removed (none) for this run only.
    std::map<std::string, std::optional<std::string>> env{};
    std::optional<std::filesystem::path> cwd{};
};

// This process's environment with `changes` applied, as "NAME=value" strings.
inline std::vector<std::string> changed_environment(const std::map<std::string, std::optional<std::string>>& changes) {
    std::vector<std::string> out;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (!changes.contains(text.substr(0, text.find('=')))) out.push_back(text);
    }
    for (const auto& [name, value] : changes) {
        if (value) out.push_back(name + "=" + *value);
    }
    return out;
}

inline std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (std::string& t : texts) out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

inline ProgramOutput run_invocation(const Invocation& how, const ScratchDir& scratch) {
    const std::string tag = new_task_id();
    const std::string out_file = how.stdout_path.empty() ? (scratch.path() / ("out_" + tag)).string() : how.stdout_path;
    const std::string err_file = (scratch.path() / ("err_" + tag)).string();
    std::string in_file = "/dev/null";
    if (how.input) in_file = scratch.write("in_" + tag, *how.input);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in_file.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (how.cwd) posix_spawn_file_actions_addchdir_np(&actions, how.cwd->c_str());
    std::vector<std::string> args{NORVEX_PROGRAM_PATH};
    args.insert(args.end(), how.args.begin(), how.args.end());
    std::vector<std::string> env = changed_environment(how.env);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, NORVEX_PROGRAM_PATH.c_str(), &actions, nullptr, pointers(args).data(),
                                 pointers(env).data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + NORVEX_PROGRAM_PATH + ": " + std::strerror(rc));

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    }
    ProgramOutput result;
    if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
    if (how.stdout_path.empty()) result.out = read_file(out_file);
    result.err = read_file(err_file);
    return result;
}

}  // namespace norvex::testing
