// Named loggers over one shared, initially empty distribution sink.
#include "norvex/common/logging.hpp"

#include <spdlog/sinks/dist_sink.h>
#include <spdlog/spdlog.h>

#include <atomic>
#include <mutex>

namespace norvex::logging {
namespace {

struct Shared {
    std::mutex mutex;
    std::shared_ptr<spdlog::sinks::dist_sink_mt> sink = std::make_shared<spdlog::sinks::dist_sink_mt>();
    std::atomic<spdlog::level::level_enum> level{spdlog::level::warn};
};

Shared& shared() {
    static Shared s;
    return s;
}

}  // namespace

std::shared_ptr<spdlog::logger> get(const std::string& name) {
    Shared& s = shared();
    std::lock_guard lock(s.mutex);
    if (auto existing = spdlog::get(name)) return existing;
    auto logger = std::make_shared<spdlog::logger>(name, s.sink);
    logger->set_level(s.level.load());
    spdlog::register_logger(logger);
    return logger;
}

void add_sink(std::shared_ptr<spdlog::sinks::sink> sink) { shared().sink->add_sink(std::move(sink)); }

void remove_sink(const std::shared_ptr<spdlog::sinks::sink>& sink) { shared().sink->remove_sink(sink); }

void set_level(spdlog::level::level_enum level) {
    Shared& s = shared();
    std::lock_guard lock(s.mutex);
    s.level = level;
    spdlog::apply_all([&](const std::shared_ptr<spdlog::logger>& l) {
        if (l->name().rfind("norvex.", 0) == 0) l->set_level(level);
    });
}

}  // namespace norvex::logging
