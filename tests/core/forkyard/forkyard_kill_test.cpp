// Killing every worker at once, as a host stopping on a signal does, against real busy and idle workers.
#include "worker_fixture.hpp"

#include "../../support/process_census.hpp"
#include "norvex/core/forkyard/forkyard.hpp"

#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <gmock/gmock.h>

#include <optional>

using namespace norvex::forkyard;
using namespace norvex::testing;
namespace asio = boost::asio;
using ::testing::HasSubstr;

namespace {

asio::awaitable<void> short_wait() {
    asio::steady_timer t(co_await asio::this_coro::executor, std::chrono::milliseconds(10));
    co_await t.async_wait(asio::use_awaitable);
}

}  // namespace

// A worker busy for ten minutes and one that never answers both end at the
// kill: their tasks fail on the closed stdout instead of waiting for an
// answer (the 60 s timeout is only a safety net, and would show as TIMEOUT).
TEST(ForkyardKill, KillAllEndsBusyWorkersAndTheirTasksFail) {
    asio::io_context io;
    Forkyard yard{io.get_executor(), ForkyardOptions{.max_workers = 3, .workers_dir = WORKERS_DIR}};
    std::vector<std::optional<SubprocessResult>> results(2);
    const std::vector<EnvVars> modes{mode("late", {{"NORVEX_TEST_DELAY", "600"}}), mode("hang")};
    for (std::size_t i = 0; i < modes.size(); ++i) {
        asio::co_spawn(io,
                       yard.spawn(SubprocessTask{.id = "k" + std::to_string(i), .worker_type = "shell",
                                                 .command = {{"action", "x"}}, .timeout = 60.0, .env = modes[i]}),
                       [&results, i](std::exception_ptr e, SubprocessResult r) {
                           if (!e) results[i] = std::move(r);
                       });
    }
    run_async(io, [&]() -> asio::awaitable<void> {
        while (yard.list_active().size() < 2) co_await short_wait();
        yard.kill_all();
        while (!results[0] || !results[1]) co_await short_wait();
    }());

    for (const auto& result : results) {
        EXPECT_EQ(result->status, WorkerStatus::FAILED) << result->task_id;
        EXPECT_THAT(result->error.value_or(""), HasSubstr("closed stdout")) << result->task_id;
    }
    EXPECT_TRUE(yard.list_active().empty());
    EXPECT_TRUE(has_no_children());
}

