// Links the installed forkyard and reports where it looks for workers.
#include <norvex/core/forkyard/forkyard.hpp>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/use_future.hpp>

#include <iostream>

int main() {
    boost::asio::io_context io;
    norvex::forkyard::Forkyard yard(io.get_executor());
    auto result = boost::asio::co_spawn(io, yard.spawn(norvex::forkyard::SubprocessTask{.worker_type = "painter"}),
                                        boost::asio::use_future);
    io.run();
    std::cout << "workers: " << norvex::forkyard::Forkyard::WORKER_SCRIPTS_DIR.string() << "\n"
              << "error: " << result.get().error.value_or("") << "\n";
    return 0;
}
