// The worker-type map, the workers folder, and worker command lines.
#include "norvex/core/forkyard/worker_scripts.hpp"

#include <cstdlib>

#include <dlfcn.h>
#include <unistd.h>

namespace norvex::forkyard {

std::optional<std::string_view> worker_program_name(std::string_view worker_type) {
    // Built afresh on every lookup, as cheap as a switch.
    if (worker_type == "shell") return "cmdmule";
    if (worker_type == "file_edit") return "quillbox";
    if (worker_type == "sourcelens") return "astprobe";
    if (worker_type == "custom") return "freerig";
    return std::nullopt;
}

std::filesystem::path find_worker_scripts_dir() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&find_worker_scripts_dir), &info) == 0 || info.dli_fname == nullptr)
        return std::filesystem::path("workers");
    std::error_code ec;
    std::filesystem::path self = std::filesystem::canonical(info.dli_fname, ec);
    if (ec) self = std::filesystem::absolute(info.dli_fname, ec);
    return self.parent_path().parent_path() / "workers";
}

namespace {

std::optional<std::string> find_on_path(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return std::nullopt;
    std::string_view rest(path);
    while (true) {
        auto colon = rest.find(':');
        std::string_view dir = rest.substr(0, colon);
        std::string candidate = dir.empty() ? name : std::string(dir) + "/" + name;
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    return std::nullopt;
}

}  // namespace

std::string choose_interpreter() {
    for (const char* name : {"python", "python3"}) {
        if (auto found = find_on_path(name)) return *found;
    }
    return "python";
}

std::vector<std::string> worker_command_line(const std::string& script_path) {
    if (std::filesystem::path(script_path).extension() == ".py") return {choose_interpreter(), script_path};
    return {script_path};
}

}  // namespace norvex::forkyard
