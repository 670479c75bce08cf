// How much goes to stderr: -v/--verbose and -q/--quiet, accepted before or after any command.
#pragma once

#include <CLI/App.hpp>

namespace norvex::cli {

struct Verbosity {
    bool verbose = false;  // the components' records too, from the debug level up
    bool quiet = false;    // errors only: no progress line, no notes
};

// Adds both flags to `app` and to every command below it, all bound to the
// one `verbosity`, so they may stand anywhere on the command line. Call it
// once the tree is complete.
void add_verbosity_flags(CLI::App& app, Verbosity& verbosity);

// Throws UsageError when both flags were given.
void check_verbosity(const Verbosity& verbosity);

// Sends the components' records to stderr when asked to be verbose; the
// libraries never choose where their records go, the program does.
void start_logging(const Verbosity& verbosity);

}  // namespace norvex::cli
