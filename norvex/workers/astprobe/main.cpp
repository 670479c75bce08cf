// The astprobe program: answers analysis commands, one JSON line each, on its standard streams.
#include "norvex/workers/astprobe/commands.hpp"
#include "norvex/workers/astprobe/heap_start.hpp"

#include <csignal>

#include <unistd.h>

int main() {
    norvex::astprobe::prepare_heap();
    // The parent stops the worker with "quit", by closing its input or by a
    // kill; a Ctrl-C meant for the parent's terminal must not end it early.
    std::signal(SIGINT, SIG_IGN);
    // A parent that stops reading is the end of the conversation: write()
    // then fails with EPIPE and the loop returns quietly instead of dying.
    std::signal(SIGPIPE, SIG_IGN);
    return norvex::astprobe::run_command_loop(STDIN_FILENO, STDOUT_FILENO);
}
