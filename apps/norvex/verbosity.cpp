// The verbosity flags on every command, and the log sink they choose.
#include "verbosity.hpp"

#include "usage.hpp"

#include "norvex/common/logging.hpp"

#include <spdlog/sinks/stdout_sinks.h>

namespace norvex::cli {

void add_verbosity_flags(CLI::App& app, Verbosity& verbosity) {
    app.add_flag("-v,--verbose", verbosity.verbose, "Also log the components' records on stderr (debug level)");
    app.add_flag("-q,--quiet", verbosity.quiet, "Write nothing on stderr but errors");
    for (CLI::App* sub : app.get_subcommands([](CLI::App* s) { return !s->get_name().empty(); })) {
        add_verbosity_flags(*sub, verbosity);
    }
}

void check_verbosity(const Verbosity& verbosity) {
    if (verbosity.verbose && verbosity.quiet) {
        throw UsageError("-v/--verbose and -q/--quiet contradict each other; give one of them");
    }
}

void start_logging(const Verbosity& verbosity) {
    if (!verbosity.verbose) return;
    logging::add_sink(std::make_shared<spdlog::sinks::stderr_sink_mt>());
    logging::set_level(spdlog::level::debug);
}

}  // namespace norvex::cli
