// The folder walk of `norvex scan`: sorted, without hidden folders and virtual environments.
#include "scan_walk.hpp"

#include <algorithm>
#include <system_error>

namespace norvex::cli {

namespace fs = std::filesystem;

namespace {

bool exists_quietly(const fs::path& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

void walk(const fs::path& folder, PythonFiles& found) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) {
        found.unreadable.push_back({folder, ec.message()});
        return;
    }
    std::vector<fs::directory_entry> entries;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        entries.push_back(*it);
    }
    if (ec) found.unreadable.push_back({folder, ec.message()});
    // Byte order of the names, so the order does not depend on the locale.
    std::sort(entries.begin(), entries.end(), [](const fs::directory_entry& a, const fs::directory_entry& b) {
        return a.path().filename().native() < b.path().filename().native();
    });

    for (const auto& entry : entries) {
        const fs::path& path = entry.path();
        std::error_code kind_ec;
        if (entry.is_symlink(kind_ec)) {
            // A link counts for what it points at, but only files are followed.
            if (path.extension() == ".py" && entry.is_regular_file(kind_ec)) found.files.push_back(path);
            continue;
        }
        if (entry.is_directory(kind_ec)) {
            if (path.filename() == "__pycache__") continue;
            if (is_skipped_folder(path)) {
                found.skipped.push_back(path);
                continue;
            }
            walk(path, found);
        } else if (path.extension() == ".py" && entry.is_regular_file(kind_ec)) {
            found.files.push_back(path);
        }
    }
}

}  // namespace

bool is_skipped_folder(const fs::path& folder) {
    const std::string name = folder.filename().string();
    if (name.starts_with('.')) return true;
    return exists_quietly(folder / "pyvenv.cfg") || exists_quietly(folder / "conda-meta");
}

PythonFiles find_python_files(const fs::path& root) {
    PythonFiles found;
    walk(root, found);
    return found;
}

}  // namespace norvex::cli
