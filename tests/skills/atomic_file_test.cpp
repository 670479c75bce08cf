// Atomic whole-file writes: replacement, errors in Python's words, and two writing processes.
#include "../support/scratch_dir.hpp"

#include "norvex/common/atomic_file.hpp"

#include <gmock/gmock.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using norvex::OsError;
using norvex::read_whole_file;
using norvex::write_file_atomically;
using norvex::testing::ScratchDir;

TEST(AtomicFile, ReplacesWholeKeepsPermissionsAndLeavesNoTemporaryFile) {
    ScratchDir scratch;
    const auto file = scratch.path() / "a.json";
    write_file_atomically(file, "first, and longer than the second");
    ::chmod(file.c_str(), 0640);
    write_file_atomically(file, "second");
    EXPECT_EQ(read_whole_file(file), "second");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch.path()), {}), 1);
}

TEST(AtomicFile, FailuresNameTheTargetAsPythonDoes) {
    ScratchDir scratch;
    const auto missing = scratch.path() / "no" / "a.json";
    try {
        write_file_atomically(missing, "x");
        ADD_FAILURE() << "wrote into a missing folder";
    } catch (const OsError& e) {
        EXPECT_EQ(e.error_number(), ENOENT);
        EXPECT_EQ(std::string(e.what()), "[Errno 2] No such file or directory: '" + missing.string() + "'");
    }
    EXPECT_THROW(read_whole_file(scratch.path()), OsError);
    const std::string file = scratch.write("plain", "x");
    try {
        norvex::make_dirs(file);
        ADD_FAILURE() << "made a folder over a file";
    } catch (const OsError& e) {
        EXPECT_EQ(std::string(e.what()), "[Errno 17] File exists: '" + file + "'");
    }
    EXPECT_THROW(norvex::make_dirs(std::filesystem::path(file) / "below"), OsError);
    norvex::make_dirs(scratch.path() / "x" / "y");
    norvex::make_dirs(scratch.path() / "x" / "y");  // existing folders are fine
    EXPECT_TRUE(std::filesystem::is_directory(scratch.path() / "x" / "y"));
}

TEST(AtomicFile, TwoWritingProcessesNeverLeaveAMixedFile) {
    ScratchDir scratch;
    const auto file = scratch.path() / "shared.json";
    // Large enough that a plain write would be seen half done.
    const std::string a(256 * 1024, 'a');
    const std::string b(200 * 1024, 'b');
    write_file_atomically(file, a);

    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = ::fork();
        ASSERT_GE(writers[w], 0);
        if (writers[w] == 0) {
            int status = 0;
            try {
                for (int i = 0; i < 150; ++i) write_file_atomically(file, w == 0 ? a : b);
            } catch (...) {
                status = 1;
            }
            ::_exit(status);
        }
    }
    int reads = 0;
    int running = 2;
    while (running > 0) {
        const std::string seen = read_whole_file(file);
        ASSERT_TRUE(seen == a || seen == b) << "read " << seen.size() << " bytes of mixed content";
        ++reads;
        int status = 0;
        for (pid_t& pid : writers) {
            if (pid > 0 && ::waitpid(pid, &status, WNOHANG) == pid) {
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
                pid = 0;
                --running;
            }
        }
    }
    EXPECT_GT(reads, 1);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch.path()), {}), 1);
}
