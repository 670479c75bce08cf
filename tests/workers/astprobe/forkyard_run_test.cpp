// astprobe as forkyard runs it: a "sourcelens" task with default options finds the program in the workers folder.
#include "probe_test_util.hpp"

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
