// Finding the Python files under a folder for `norvex scan`, in a stable order.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace norvex::cli {

struct UnreadableFolder {
    std::filesystem::path path;
    std::string reason;
};

struct PythonFiles {
    // Every `*.py` file below the root (root / relative path), sorted the way
    // a depth-first walk of name-sorted folders meets them.
    std::vector<std::filesystem::path> files;
    // Folders left out on purpose (hidden ones, virtual environments), in walk order.
    std::vector<std::filesystem::path> skipped;
    // Folders that could not be listed; the walk goes on without them.
    std::vector<UnreadableFolder> unreadable;
};

// True for a folder below the root that holds no code of the project itself:
// a hidden folder (".git", ".venv", ".tox", ...), or a virtual environment
// recognised by its marker (a "pyvenv.cfg" file, or a "conda-meta" folder),
// whatever it is called. A folder is never skipped for its name alone, since
// "env" or "venv" may well be a package of the project.
bool is_skipped_folder(const std::filesystem::path& folder);

// Walks `root` (which the caller has checked is a folder). Symbolic links to
// folders are not followed, so a link loop cannot trap the walk; links to
// files are taken. "__pycache__" folders are passed over silently: they
// never hold sources.
PythonFiles find_python_files(const std::filesystem::path& root);

}  // namespace norvex::cli
