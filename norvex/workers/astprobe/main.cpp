// The astprobe program: answers analysis commands, one JSON line each, on its standard streams.
#include "norvex/common/worker_parent.hpp"
#include "norvex/workers/astprobe/commands.hpp"
#include "norvex/workers/astprobe/heap_start.hpp"

#include <csignal>

#include <unistd.h>

int main() {
    // A worker blocked opening a FIFO or deep in an analysis reads neither
    // "quit" nor the end of its input: only the kernel can end it with its host.
    norvex::end_with_parent();
    norvex::astprobe::prepare_heap();
    // The parent stops the worker with "quit", by closing its input or by a
    // kill; a Ctrl-C meant for the parent's terminal must not end it early.
    std::signal(SIGINT, SIG_IGN);
    // A parent that stops reading is the end of the conversation: write()
    // then fails with EPIPE and the loop returns quietly instead of dying.
    std::signal(SIGPIPE, SIG_IGN);
    const int status = norvex::astprobe::run_command_loop(STDIN_FILENO, STDOUT_FILENO);
#if defined(__SANITIZE_ADDRESS__)
    return status;  // the leak check runs at exit
#else
    // Every answer went out through write() as it was made, so nothing is
    // left to flush; running the static destructors and exit handlers of
    // ICU, Boost.JSON and the C++ library would only fault in their pages.
    ::_exit(status);
#endif
}
