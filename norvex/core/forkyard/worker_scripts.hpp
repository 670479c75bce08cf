// Where worker programs live and how each is started.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norvex::forkyard {

// The program name of a worker type: "shell" -> "cmdmule", "file_edit" ->
// "quillbox", "sourcelens" -> "astprobe", "custom" -> "freerig"; none for
// any other type.
std::optional<std::string_view> worker_program_name(std::string_view worker_type);

// The `workers` folder beside the folder that holds this library
// (lib/norvex/core/libforkyard.so -> lib/norvex/workers), in the build tree
// and the install tree alike.
std::filesystem::path find_worker_scripts_dir();

// The interpreter for a ".py" worker script: "python", then "python3" found
// on PATH, else the bare name "python".
std::string choose_interpreter();

// The argument vector that starts a worker: [path] for a native program,
// [interpreter, path] for a ".py" script.
std::vector<std::string> worker_command_line(const std::string& script_path);

}  // namespace norvex::forkyard
