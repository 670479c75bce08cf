// astprobe as forkyard runs it: a "sourcelens" task with default options finds the program in the workers folder.
#include "probe_test_util.hpp"

#include "../../support/killed_host.hpp"
#include "../../support/run_async.hpp"
#include "norvex/core/forkyard/forkyard.hpp"

#include <boost/asio/io_context.hpp>

#include <filesystem>

using namespace norvex::forkyard;
using namespace norvex::testing;
namespace json = boost::json;

TEST(AstprobeUnderForkyard, SourcelensTasksRunTheBuiltProgram) {
    EXPECT_TRUE(std::filesystem::equivalent(Forkyard::WORKER_SCRIPTS_DIR / "astprobe", ASTPROBE_PROGRAM));
    ScratchDir dir;
    const std::string file = dir.write("m.py", "class A:\n    def a(self):\n        if x and y: pass\n");
    boost::asio::io_context io;
    Forkyard yard(io.get_executor(), ForkyardOptions{});

    json::object command{{"action", "complexity"}, {"path", file}};
    SubprocessTask ok_task{.worker_type = "sourcelens", .command = command, .timeout = 30.0};
    const SubprocessResult ok = run_async(io, yard.spawn(ok_task));
    EXPECT_EQ(ok.status, WorkerStatus::COMPLETED) << ok.error.value_or("");
    EXPECT_EQ(text_of(ok.output), R"([{"name": "a", "line": 2, "complexity": 3, "rating": "A"}])");
    EXPECT_FALSE(ok.error);
    EXPECT_TRUE(ok.pid);

    json::object missing_command{{"action", "analyze"}, {"path", "/no/such/file.py"}};
    SubprocessTask missing_task{.worker_type = "sourcelens", .command = missing_command, .timeout = 30.0};
    const SubprocessResult missing = run_async(io, yard.spawn(missing_task));
    EXPECT_EQ(missing.status, WorkerStatus::FAILED);
    EXPECT_EQ(missing.error, "File not found: /no/such/file.py");
    EXPECT_TRUE(missing.output.is_null());
    EXPECT_TRUE(yard.list_active().empty());
}

TEST(AstprobeUnderForkyard, WorkerEndsWithItsHostKilledMidAnalysis) {
    ScratchDir dir;
    std::string source;  // seconds of analysis: far longer than the host lives once its worker runs
    for (int i = 0; i < 60000; ++i) {
        const std::string n = std::to_string(i);
        source += "def f" + n + "(a, b):\n    if a and b or a > " + n + ":\n"
                  "        return [x for x in range(a) if x % 3]\n    return b\n\n";
    }
    const std::string file = dir.write("large.py", source);
    const std::string task = text_of(json::object{{"worker_type", "sourcelens"},
                                                  {"command", {{"action", "analyze"}, {"path", file}}}});
    const auto fates =
        kill_host_and_watch_workers({FORKYARD_TEST_HOST, Forkyard::WORKER_SCRIPTS_DIR.string(), task}, 20.0);
    ASSERT_EQ(fates.size(), 1u);
    EXPECT_TRUE(fates[0].ended_in_time) << "astprobe outlived its host";
    // Killed, not finished: it was still analysing when the host died.
    EXPECT_TRUE(WIFSIGNALED(fates[0].status) && WTERMSIG(fates[0].status) == SIGKILL)
        << "wait status " << fates[0].status;
}
