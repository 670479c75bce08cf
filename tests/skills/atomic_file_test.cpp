// Atomic whole-file writes and whole-file reads: replacement, errors in Python's words, two writing
// processes, files that are not regular, links out of a folder, and the sweep of a killed writer's temporary.
#include "../support/scratch_dir.hpp"
#include "mid_save.hpp"

#include "norvex/common/atomic_file.hpp"

#include <gmock/gmock.h>

#include <atomic>
#include <thread>
#include <vector>

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

TEST(AtomicFile, FoldersMadeAtTheSameMomentByManyAreNoError) {
    // Processes sharing a data folder make it on first use, all at once.
    ScratchDir scratch;
    for (int round = 0; round < 50; ++round) {
        const auto folder = scratch.path() / std::to_string(round) / "data" / "skills";
        std::vector<std::thread> makers;
        std::atomic<int> failures{0};
        for (int i = 0; i < 8; ++i) {
            makers.emplace_back([&] {
                try {
                    norvex::make_dirs(folder);
                } catch (const OsError&) {
                    ++failures;
                }
            });
        }
        for (auto& t : makers) t.join();
        ASSERT_EQ(failures.load(), 0) << "round " << round;
        ASSERT_TRUE(std::filesystem::is_directory(folder));
    }
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

TEST(AtomicFile, ReadsOnlyRegularFilesAndNeverWaitsOnAFifo) {
    ScratchDir scratch;
    const auto fifo = scratch.path() / "pipe.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // No writer ever comes: opening this FIFO for reading would wait for ever.
    for (const std::filesystem::path& odd : {fifo, std::filesystem::path("/dev/zero")}) {
        try {
            read_whole_file(odd);
            ADD_FAILURE() << "read " << odd;
        } catch (const norvex::FileRefused& e) {
            EXPECT_EQ(e.reason(), norvex::FileRefused::Reason::not_regular);
            EXPECT_THAT(e.what(), ::testing::StartsWith("Not a regular file: '" + odd.string() + "' is a "));
        }
    }
    try {
        read_whole_file(fifo);
    } catch (const norvex::FileRefused& e) {
        EXPECT_STREQ(e.what(), ("Not a regular file: '" + fifo.string() +
                                "' is a named pipe (FIFO), and only regular files are read").c_str());
    }
    // A folder keeps Python's wording.
    try {
        read_whole_file(scratch.path());
        ADD_FAILURE() << "read a folder";
    } catch (const OsError& e) {
        EXPECT_EQ(e.error_number(), EISDIR);
    }
}

TEST(AtomicFile, AFolderKeptToRefusesLinksLeadingOutOfIt) {
    ScratchDir scratch;
    const auto folder = scratch.path() / "skills";
    std::filesystem::create_directories(folder / "sub");
    write_file_atomically(folder / "a.json", "inside");
    write_file_atomically(folder / "sub" / "b.json", "below");
    write_file_atomically(scratch.path() / "secret.json", "outside");
    std::filesystem::create_symlink("a.json", folder / "same.json");
    std::filesystem::create_symlink(folder / "sub" / "b.json", folder / "deeper.json");
    std::filesystem::create_symlink("../secret.json", folder / "up.json");
    std::filesystem::create_symlink("/etc/passwd", folder / "passwd.json");
    std::filesystem::create_symlink("sub/../../secret.json", folder / "around.json");

    EXPECT_EQ(read_whole_file(folder / "same.json", &folder), "inside");
    EXPECT_EQ(read_whole_file(folder / "deeper.json", &folder), "below");
    for (const char* name : {"up.json", "passwd.json", "around.json"}) {
        try {
            read_whole_file(folder / name, &folder);
            ADD_FAILURE() << "read through " << name;
        } catch (const norvex::FileRefused& e) {
            EXPECT_EQ(e.reason(), norvex::FileRefused::Reason::outside);
            EXPECT_EQ(std::string(e.what()), "Not read: '" + (folder / name).string() +
                                                 "' is a link to a file outside '" + folder.string() +
                                                 "', and only files inside it are read");
        }
    }
    // Without a folder to keep to, links go anywhere.
    EXPECT_EQ(read_whole_file(folder / "up.json"), "outside");
}

TEST(AtomicFile, TheSweepRemovesOnlyTemporariesWhoseWriterDied) {
    ScratchDir scratch;
    const auto file = scratch.path() / "big.json";
    const std::string unrelated = scratch.write(".notes.tmp", "mine");
    write_file_atomically(file, "old");
    norvex::testing::ChildGuard writer{::fork()};
    ASSERT_GE(writer.pid, 0);
    if (writer.pid == 0) {
        // Large enough that a save takes a while; saved again and again until killed.
        const std::string content(32 << 20, 'x');
        for (;;) write_file_atomically(file, content, norvex::Durability::replaced_only);
    }
    const auto temporary = norvex::testing::stop_mid_save(writer.pid, scratch.path(), ".big.json.");
    const auto everything = [](std::string_view) { return true; };

    // Stopped, but alive: its save may go on at any moment.
    EXPECT_THAT(norvex::sweep_stale_temporaries(scratch.path(), everything), ::testing::IsEmpty());
    EXPECT_TRUE(std::filesystem::exists(temporary));

    ::kill(writer.pid, SIGKILL);
    writer.reap();
    EXPECT_THAT(norvex::sweep_stale_temporaries(scratch.path(), [](std::string_view t) { return t == "other.json"; }),
                ::testing::IsEmpty());
    EXPECT_TRUE(std::filesystem::exists(temporary));
    EXPECT_THAT(norvex::sweep_stale_temporaries(scratch.path(), [](std::string_view t) { return t == "big.json"; }),
                ::testing::ElementsAre(temporary));
    EXPECT_FALSE(std::filesystem::exists(temporary));
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(read_whole_file(unrelated), "mine");
}

TEST(AtomicFile, LongTargetNamesGetTemporariesWithinTheLimitThatTheSweepStillKnows) {
    ScratchDir scratch;
    const std::size_t limit = static_cast<std::size_t>(::pathconf(scratch.path().c_str(), _PC_NAME_MAX));
    for (const std::size_t length : {limit - 29, limit - 28, limit}) {
        const auto file = scratch.path() / (std::string(length - 5, 'l') + ".json");
        write_file_atomically(file, "once");
        write_file_atomically(file, std::to_string(length));
        EXPECT_EQ(read_whole_file(file), std::to_string(length));
        std::filesystem::remove(file);
        EXPECT_TRUE(std::filesystem::is_empty(scratch.path())) << length;
    }
    const auto too_long = scratch.path() / (std::string(limit - 4, 'l') + ".json");
    try {
        write_file_atomically(too_long, "x");
        ADD_FAILURE() << "wrote a name past the limit";
    } catch (const OsError& e) {
        EXPECT_EQ(e.error_number(), ENAMETOOLONG);
        EXPECT_EQ(std::string(e.what()), "[Errno 36] File name too long: '" + too_long.string() + "'");
    }
    EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));

    // A writer of the longest name killed mid-save: its temporary carries the target's start and extension.
    const std::string name = std::string(limit - 5, 'w') + ".json";
    const auto file = scratch.path() / name;
    norvex::testing::ChildGuard writer{::fork()};
    ASSERT_GE(writer.pid, 0);
    if (writer.pid == 0) {
        const std::string content(32 << 20, 'x');
        for (;;) write_file_atomically(file, content, norvex::Durability::replaced_only);
    }
    const auto temporary = norvex::testing::stop_mid_save(writer.pid, scratch.path(), "." + name.substr(0, 20));
    ::kill(writer.pid, SIGKILL);
    writer.reap();
    EXPECT_LE(temporary.filename().string().size(), limit);
    std::vector<std::string> seen;
    EXPECT_THAT(norvex::sweep_stale_temporaries(scratch.path(),
                                                [&](std::string_view t) {
                                                    seen.emplace_back(t);
                                                    return t.ends_with(".py");
                                                }),
                ::testing::IsEmpty());
    ASSERT_THAT(seen, ::testing::SizeIs(1));
    EXPECT_TRUE(name.starts_with(seen[0].substr(0, seen[0].find('~')))) << seen[0];
    EXPECT_THAT(norvex::sweep_stale_temporaries(scratch.path(), [](std::string_view t) { return t.ends_with(".json"); }),
                ::testing::ElementsAre(temporary));
    EXPECT_FALSE(std::filesystem::exists(temporary));
}
