// The scan's folder walk on real folders: order, what is left out, links.
#include "scan_walk.hpp"

#include "../support/scratch_dir.hpp"

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>

using namespace norvex::cli;
namespace fs = std::filesystem;

namespace {

void touch(const fs::path& file) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "x = 1\n";
}

std::vector<std::string> relative(const std::vector<fs::path>& paths, const fs::path& root) {
    std::vector<std::string> out;
    for (const auto& p : paths) out.push_back(p.lexically_relative(root).string());
    return out;
}

}  // namespace

TEST(ScanWalk, DepthFirstInByteOrderOfNames) {
    norvex::testing::ScratchDir scratch;
    const fs::path& root = scratch.path();
    for (const char* name : {"b.py", "a/z.py", "a/b/c.py", "a.py", "B.py", "a_b/x.py", "notes.pyc", "x.pyi", "py"})
        touch(root / name);
    const PythonFiles found = find_python_files(root);
    EXPECT_THAT(relative(found.files, root),
                ::testing::ElementsAre("B.py", "a/b/c.py", "a/z.py", "a.py", "a_b/x.py", "b.py"));
    EXPECT_TRUE(found.skipped.empty());
    EXPECT_TRUE(found.unreadable.empty());
}

TEST(ScanWalk, LeavesOutHiddenFoldersAndEnvironmentsByTheirMarkers) {
    norvex::testing::ScratchDir scratch;
    const fs::path& root = scratch.path();
    touch(root / ".git/hooks/h.py");
    touch(root / "venv/pyvenv.cfg");
    touch(root / "venv/lib/m.py");
    touch(root / "tools/conda/conda-meta/history");
    touch(root / "tools/conda/lib/m.py");
    touch(root / "tools/run.py");
    touch(root / "env/settings.py");   // a package that happens to be called env
    touch(root / "pkg/__pycache__/m.py");
    touch(root / "pkg/.hidden.py");   // hidden files are still Python files

    const PythonFiles found = find_python_files(root);
    EXPECT_THAT(relative(found.files, root), ::testing::ElementsAre("env/settings.py", "pkg/.hidden.py", "tools/run.py"));
    EXPECT_THAT(relative(found.skipped, root), ::testing::ElementsAre(".git", "tools/conda", "venv"));

    // The folder asked for is scanned whatever it looks like.
    const PythonFiles inside = find_python_files(root / "venv");
    EXPECT_THAT(relative(inside.files, root), ::testing::ElementsAre("venv/lib/m.py"));
}

TEST(ScanWalk, FollowsLinkedFilesButNotLinkedFolders) {
    norvex::testing::ScratchDir scratch;
    const fs::path& root = scratch.path();
    touch(root / "real/m.py");
    fs::create_directory_symlink(root, root / "real/loop");
    fs::create_directory_symlink(root / "real", root / "alias");
    fs::create_symlink(root / "real/m.py", root / "linked.py");
    fs::create_symlink(root / "nowhere.py", root / "dangling.py");

    const PythonFiles found = find_python_files(root);
    EXPECT_THAT(relative(found.files, root), ::testing::ElementsAre("linked.py", "real/m.py"));
}
