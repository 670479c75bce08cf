// What the worker's quick start rests on: home folders without NSS, a static program, a huge-page heap.
#include "probe_test_util.hpp"
#include "program_runner.hpp"

#include "norvex/common/worker_parent.hpp"
#include "norvex/workers/astprobe/user_home.hpp"

#include <gmock/gmock.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <elf.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace norvex::astprobe;
using namespace norvex::testing;

namespace {

// Sets (or, for none, removes) an environment variable until the end of the scope.
class EnvOverride {
public:
    EnvOverride(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~EnvOverride() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    EnvOverride(const EnvOverride&) = delete;
    EnvOverride& operator=(const EnvOverride&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

struct Mapping {
    std::uintptr_t from = 0;
    std::uintptr_t to = 0;
    std::string name;
    std::string flags;  // the VmFlags line's two-letter flags
};

// The mappings of a process, from /proc/PID/smaps.
[[maybe_unused]] std::vector<Mapping> mappings_of(pid_t pid) {
    std::ifstream smaps("/proc/" + std::to_string(pid) + "/smaps");
    std::vector<Mapping> out;
    std::string line;
    while (std::getline(smaps, line)) {
        if (line.rfind("VmFlags:", 0) == 0) {
            if (!out.empty()) out.back().flags = line.substr(8);
            continue;
        }
        std::istringstream head(line);
        Mapping m;
        char dash = 0;
        std::string perms, offset, device, inode;
        if ((head >> std::hex >> m.from >> dash >> m.to) && dash == '-' && (head >> perms >> offset >> device >> inode)) {
            std::getline(head >> std::ws, m.name);
            out.push_back(std::move(m));
        }
    }
    return out;
}

}  // namespace

TEST(UserHome, AgreesWithTheCLibrarysUserDatabase) {
    const passwd* me = ::getpwuid(::getuid());
    ASSERT_NE(me, nullptr);
    const std::string my_name = me->pw_name;
    const std::string my_home = me->pw_dir;
    EXPECT_EQ(home_of_uid(::getuid()), my_home);
    EXPECT_EQ(home_of_user(my_name), my_home);

    const passwd* root = ::getpwnam("root");
    ASSERT_NE(root, nullptr);
    const std::string root_home = root->pw_dir;
    EXPECT_EQ(home_of_user("root"), root_home);
    EXPECT_EQ(home_of_uid(0), root_home);
}

TEST(UserHome, UnknownAndImpossibleNamesHaveNone) {
    EXPECT_EQ(home_of_user("astprobe-no-such-user"), std::nullopt);
    // getent reads a name of digits as a uid; a name is never taken for one.
    ASSERT_EQ(::getpwnam("0"), nullptr);
    EXPECT_EQ(home_of_user("0"), std::nullopt);
    // Nor is a name taken for an option of getent's.
    EXPECT_EQ(home_of_user("-s"), std::nullopt);
    EXPECT_EQ(home_of_user(""), std::nullopt);
    EXPECT_EQ(home_of_user("root:x"), std::nullopt);
    EXPECT_EQ(home_of_user("root\n"), std::nullopt);
    EXPECT_EQ(home_of_user(std::string_view("root\0x", 6)), std::nullopt);
}

TEST(AstprobeProgram, TildeWithoutHomeOrSearchPathIsTheUsersHome) {
    ScratchDir dir;
    const std::string file = dir.write("t.py", "x = 1\n");
    const passwd* me = ::getpwuid(::getuid());
    ASSERT_NE(me, nullptr);
    // From the home folder up to the root, then down to the file: only a
    // tilde that was expanded leads anywhere.
    std::string via_home = "~";
    for (const char c : std::string(me->pw_dir)) {
        if (c == '/') via_home += "/..";
    }
    via_home += file;
    Transcript t;
    {
        EnvOverride no_home("HOME", nullptr);
        EnvOverride no_path("PATH", "");
        t = run_program(ASTPROBE_PROGRAM, "{\"action\": \"symbols\", \"path\": \"" + via_home + "\"}\n");
    }
    EXPECT_EQ(t.out,
              "{\"success\": true, \"result\": {\"functions\": [], \"classes\": [], \"variables\": "
              "[{\"name\": \"x\", \"line\": 1}], \"constants\": []}}\n");
}

TEST(AstprobeProgram, EndsAtOnceWhenTheParentItWasToldOfHasGone) {
    ScratchDir dir;
    const std::string request = "{\"action\": \"symbols\", \"path\": \"" + dir.write("t.py", "x = 1\n") + "\"}\n";
    auto run_told = [&](const std::string& parent) {
        EnvOverride told(norvex::WORKER_PARENT_VARIABLE, parent.c_str());
        // A program that is gone before its request is written is an EPIPE here, not the end of the test.
        struct sigaction ignore{}, before{};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGPIPE, &ignore, &before);
        Transcript t = run_program(ASTPROBE_PROGRAM, request);
        ::sigaction(SIGPIPE, &before, nullptr);
        return t;
    };
    pid_t ended = -1;
    char* argv[] = {const_cast<char*>("/bin/true"), nullptr};
    ASSERT_EQ(::posix_spawn(&ended, argv[0], nullptr, nullptr, argv, environ), 0);
    ::waitpid(ended, nullptr, 0);

    // Its parent ended before it could ask the kernel to follow it: nothing to serve.
    const Transcript orphan = run_told(std::to_string(ended));
    EXPECT_EQ(orphan.status, 128 + SIGKILL);
    EXPECT_EQ(orphan.out, "");
    // Its parent, or a live process that is not (a value handed down from further up): it serves.
    for (const std::string& parent : {std::to_string(::getpid()), std::string("1")}) {
        const Transcript served = run_told(parent);
        EXPECT_EQ(served.status, 0) << "told " << parent;
        EXPECT_THAT(served.out, ::testing::StartsWith("{\"success\": true")) << "told " << parent;
    }
}

#if NORVEX_ASTPROBE_STATIC_PROGRAM
TEST(AstprobeProgram, IsAStaticExecutableWithoutTheDynamicLoader) {
    std::ifstream program(ASTPROBE_PROGRAM, std::ios::binary);
    Elf64_Ehdr header{};
    ASSERT_TRUE(program.read(reinterpret_cast<char*>(&header), sizeof header));
    // Not position independent: nothing of its own to relocate at start.
    EXPECT_EQ(header.e_type, ET_EXEC);
    for (int i = 0; i < header.e_phnum; ++i) {
        Elf64_Phdr segment{};
        program.seekg(static_cast<std::streamoff>(header.e_phoff + static_cast<std::uint64_t>(i) * header.e_phentsize));
        ASSERT_TRUE(program.read(reinterpret_cast<char*>(&segment), sizeof segment));
        EXPECT_NE(segment.p_type, static_cast<Elf64_Word>(PT_INTERP)) << "the program asks for a dynamic loader";
        EXPECT_NE(segment.p_type, static_cast<Elf64_Word>(PT_DYNAMIC)) << "the program has dynamic sections";
    }
}
#endif

#if !NORVEX_SANITIZED_BUILD
TEST(AstprobeProgram, ServesFromAHeapAdvisedForHugePages) {
    if (!std::filesystem::exists("/sys/kernel/mm/transparent_hugepage/enabled")) {
        GTEST_SKIP() << "this kernel has no transparent huge pages";
    }
    ScratchDir dir;
    std::string source;
    for (int i = 0; i < 300; ++i) source += "def f" + std::to_string(i) + "(a, b):\n    return a + b  # TODO: more\n";
    const std::string file = dir.write("m.py", source);
    ProgramRun run(ASTPROBE_PROGRAM);
    ASSERT_TRUE(run.write("{\"action\": \"analyze\", \"path\": \"" + file + "\"}\n"));
    ASSERT_TRUE(run.read_line().has_value());
    // The program is still waiting for its next command: one part of its
    // heap, on a 2 MiB boundary and at least that long, is advised huge.
    constexpr std::uintptr_t HUGE_PAGE = std::uintptr_t{2} << 20;
    std::string heap;
    bool advised = false;
    for (const Mapping& m : mappings_of(run.pid())) {
        if (m.name != "[heap]") continue;
        heap += m.flags + "\n";
        advised = advised || (m.flags.find(" hg") != std::string::npos && m.from % HUGE_PAGE == 0 &&
                              m.to - m.from >= HUGE_PAGE);
    }
    EXPECT_TRUE(advised) << "VmFlags of the heap's parts:\n" << heap;
    run.close_stdin();
    EXPECT_EQ(run.wait(), 0);
}
#endif
