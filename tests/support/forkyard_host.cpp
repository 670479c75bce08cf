// A host program for the tests: runs the tasks given on its command line on one forkyard and waits to be killed.
//
//   forkyard_test_host WORKERS_DIR TASK...
//
// Each TASK is a JSON object {"worker_type": ..., "command": {...}, "env": {"NAME": "value"}}.
// Once the workers of all tasks are running, their process ids go to stdout on
// one line; the host then goes on waiting for answers that are not meant to
// come. A task that ends before that is told as "failed: ERROR" (exit 1).
#include "norvex/common/pyjson.hpp"
#include "norvex/core/forkyard/forkyard.hpp"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

namespace asio = boost::asio;
using namespace norvex::forkyard;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: forkyard_test_host WORKERS_DIR TASK...\n");
        return 2;
    }
    const std::size_t tasks = static_cast<std::size_t>(argc - 2);
    asio::io_context io;
    Forkyard yard(io.get_executor(),
                  ForkyardOptions{.max_workers = argc, .temp_dir = std::filesystem::temp_directory_path().string(),
                                  .workers_dir = argv[1]});
    for (int i = 2; i < argc; ++i) {
        const boost::json::object spec = norvex::pyjson::parse(argv[i]).as_object();
        SubprocessTask task{.worker_type = std::string(spec.at("worker_type").as_string()),
                            .command = spec.at("command").as_object(), .timeout = 600.0};
        if (const auto* env = spec.if_contains("env"))
            for (const auto& [name, value] : env->as_object())
                task.env.emplace_back(std::string(name), std::string(value.as_string()));
        asio::co_spawn(io, yard.spawn(std::move(task)), [](std::exception_ptr e, SubprocessResult r) {
            std::printf("failed: %s\n", e ? "interrupted" : r.error.value_or("no error").c_str());
            std::exit(1);
        });
    }
    bool told = false;
    while (io.run_one() > 0) {
        if (told || yard.list_active().size() < tasks) continue;
        std::string line;
        for (const auto& worker : yard.list_active()) line += std::to_string(worker.at("pid").as_int64()) + " ";
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
        told = true;
    }
    return 0;
}
