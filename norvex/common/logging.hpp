// Named loggers of the components ("norvex.subprocess", "norvex.crewhall", ...).
//
// A logger is created on first use and registered with spdlog under its name.
// Every norvex logger writes to one shared distribution sink that starts
// empty: the library never chooses where records go. A host (or the CLI)
// adds its own sinks with add_sink() and picks the level with set_level().
#pragma once

#include <spdlog/logger.h>
#include <spdlog/sinks/sink.h>

#include <memory>
#include <string>

namespace norvex::logging {

// The logger of that name, created on first use (thread-safe).
std::shared_ptr<spdlog::logger> get(const std::string& name);

// Sends the records of every norvex logger to `sink` as well.
void add_sink(std::shared_ptr<spdlog::sinks::sink> sink);
void remove_sink(const std::shared_ptr<spdlog::sinks::sink>& sink);

// The level of every norvex logger, present and future (warn until set).
void set_level(spdlog::level::level_enum level);

}  // namespace norvex::logging
