// A private copy of the norvex program whose analysis worker is a stand-in: analyses that never end, on demand.
#pragma once

#include <filesystem>
#include <string>

namespace norvex::testing {

// Builds under `folder` the program's tree (bin/norvex, lib/norvex/core/) with
// `worker` as lib/norvex/workers/astprobe, and gives the copy's program. Its
// libraries come by its $ORIGIN-relative RPATH and its manager finds the
// workers beside them, so the copy runs the stand-in. The real astprobe
// answers every path at once (a FIFO or a device included), so a call that
// must still be running when a test acts on it needs the stand-in's "hang".
// Files are hard links where the file system allows, copies elsewhere.
inline std::filesystem::path standin_program(const std::filesystem::path& folder, const std::filesystem::path& program,
                                             const std::filesystem::path& worker) {
    namespace fs = std::filesystem;
    const fs::path core = program.parent_path().parent_path() / "lib" / "norvex" / "core";
    fs::create_directories(folder / "bin");
    fs::create_directories(folder / "lib" / "norvex" / "core");
    fs::create_directories(folder / "lib" / "norvex" / "workers");
    const auto place = [](const fs::path& from, const fs::path& to) {
        std::error_code ec;
        fs::create_hard_link(from, to, ec);
        if (ec) fs::copy_file(from, to);
    };
    place(program, folder / "bin" / "norvex");
    for (const auto& library : fs::directory_iterator(core)) {
        place(library.path(), folder / "lib" / "norvex" / "core" / library.path().filename());
    }
    place(worker, folder / "lib" / "norvex" / "workers" / "astprobe");
    return folder / "bin" / "norvex";
}

}  // namespace norvex::testing
