// Shared helpers of the tool tests: scratch folders, astprobe's own answers, running the norvex program.
#pragma once

#include "../support/scratch_dir.hpp"

#include "norvex/common/ids.hpp"
#include "norvex/common/pyjson.hpp"
#include "norvex/workers/astprobe/commands.hpp"

#include <boost/json/object.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <cerrno>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace norvex::testing {

inline const std::string SCRIPTED_WORKERS_DIR = NORVEX_TEST_WORKERS_DIR;
inline const std::string NORVEX_PROGRAM_PATH = NORVEX_PROGRAM;
inline const std::string EXAMPLES_DIR = NORVEX_EXAMPLES_DIR;


inline std::string read_file(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What the tool should say for a command the real worker answers with success:
// astprobe's own result, computed in this process, in the tool's layout.
inline std::string expected_text(std::string_view action, std::string_view path) {
    boost::json::object command;
    command["action"] = action;
    command["path"] = path;
    const boost::json::object answer = astprobe::handle_command(command);
    if (!answer.at("success").as_bool()) throw std::runtime_error("astprobe refused the command");
    return pyjson::dumps(answer.at("result"), pyjson::Layout::indent2);
}

struct ProgramOutput {
    int exit_status = -1;  // -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs the norvex program with `args`, in `cwd` when given, and collects what it wrote.
inline ProgramOutput run_norvex(const std::vector<std::string>& args, const ScratchDir& scratch,
                                const std::optional<std::filesystem::path>& cwd = std::nullopt) {
    const std::string out_file = (scratch.path() / ("out_" + new_task_id())).string();
    const std::string err_file = (scratch.path() / ("err_" + new_task_id())).string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (cwd) posix_spawn_file_actions_addchdir_np(&actions, cwd->c_str());

    std::vector<char*> argv{const_cast<char*>(NORVEX_PROGRAM_PATH.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, NORVEX_PROGRAM_PATH.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + NORVEX_PROGRAM_PATH);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    }
    ProgramOutput result;
    if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
    result.out = read_file(out_file);
    result.err = read_file(err_file);
    return result;
}

}  // namespace norvex::testing
