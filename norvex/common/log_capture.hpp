// Captures the records of one named logger while it lives (for tests).
#pragma once

#include <spdlog/common.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace spdlog {
class logger;
namespace sinks {
class sink;
}
}  // namespace spdlog

namespace norvex::logging {

struct CapturedRecord {
    spdlog::level::level_enum level;
    std::string message;
};

class LogCapture {
public:
    // Starts capturing every record of logger `name` from debug level up.
    explicit LogCapture(const std::string& name);
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<CapturedRecord> records() const;
    // The messages at exactly that level, in order.
    std::vector<std::string> messages(spdlog::level::level_enum level) const;
    // True when some record has exactly this level and message.
    bool contains(spdlog::level::level_enum level, const std::string& message) const;

private:
    class Sink;
    std::shared_ptr<spdlog::logger> logger_;
    std::shared_ptr<Sink> sink_;
    spdlog::level::level_enum old_level_;
};

}  // namespace norvex::logging
