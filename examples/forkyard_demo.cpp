// A tour of the worker manager: tasks run in worker processes, results, a timeout and the limit.
#include "norvex/common/pyjson.hpp"
#include "norvex/core/forkyard/forkyard.hpp"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>

#include <iostream>

namespace asio = boost::asio;
using namespace norvex::forkyard;

namespace {

void show(const std::string& title, const SubprocessResult& result) {
    std::cout << "== " << title << "\n"
              << norvex::pyjson::dumps(result.to_dict(), norvex::pyjson::Layout::indent2) << "\n";
}

asio::awaitable<void> tour(Forkyard& yard) {
    yard.on_result([](const SubprocessResult& r) {
        std::cout << "   (listener: task " << r.task_id << " ended " << to_string(r.status) << ")\n";
    });

    // (Tasks are built before co_await: GCC 12 trips over braced lists inside it.)
    SubprocessTask one{.worker_type = "custom",
                       .command = {{"action", "stats"}, {"text", "Worker processes speak JSON lines.\nOne line in, one line out."}},
                       .timeout = 10.0};
    show("one task", co_await yard.spawn(one));

    std::vector<SubprocessTask> batch;
    for (const char* text : {"alpha beta", "gamma", "delta epsilon zeta"})
        batch.push_back(SubprocessTask{.worker_type = "custom", .command = {{"action", "stats"}, {"text", text}}});
    auto results = co_await yard.spawn_many(batch);
    std::cout << "== three tasks at once\n";
    for (const auto& r : results) std::cout << "   " << norvex::pyjson::dumps(r.output) << "\n";

    SubprocessTask refused{.worker_type = "custom", .command = {{"action", "translate"}}};
    show("a command the worker refuses", co_await yard.spawn(refused));
    SubprocessTask unknown{.worker_type = "painter"};
    show("a worker type with no program", co_await yard.spawn(unknown));

    std::cout << "== longest tasks\n";
    for (const auto& row : yard.list_results(3)) std::cout << "   " << norvex::pyjson::dumps(row) << "\n";
    co_await yard.cleanup();
}

}  // namespace

int main() {
    asio::io_context io;
    Forkyard yard(io.get_executor(), ForkyardOptions{.workers_dir = NORVEX_EXAMPLE_WORKERS_DIR});
    std::cout << "workers folder: " << yard.workers_dir.string() << "\n";
    asio::co_spawn(io, tour(yard), [](std::exception_ptr e) {
        if (e) std::rethrow_exception(e);
    });
    io.run();
    return 0;
}
