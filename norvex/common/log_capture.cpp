// A sink that keeps level and message of every record, for tests.
#include "norvex/common/log_capture.hpp"

#include "norvex/common/logging.hpp"

#include <spdlog/sinks/base_sink.h>

#include <algorithm>

namespace norvex::logging {

class LogCapture::Sink : public spdlog::sinks::base_sink<std::mutex> {
public:
    std::vector<CapturedRecord> snapshot() {
        std::lock_guard lock(mutex_);
        return records_;
    }

protected:
    void sink_it_(const spdlog::details::log_msg& msg) override {
        records_.push_back({msg.level, std::string(msg.payload.data(), msg.payload.size())});
    }
    void flush_() override {}

private:
    std::vector<CapturedRecord> records_;
};

LogCapture::LogCapture(const std::string& name)
    : logger_(get(name)), sink_(std::make_shared<Sink>()), old_level_(logger_->level()) {
    logger_->sinks().push_back(sink_);
    logger_->set_level(spdlog::level::trace);
}

LogCapture::~LogCapture() {
    auto& sinks = logger_->sinks();
    sinks.erase(std::remove(sinks.begin(), sinks.end(), sink_), sinks.end());
    logger_->set_level(old_level_);
}

std::vector<CapturedRecord> LogCapture::records() const { return sink_->snapshot(); }

std::vector<std::string> LogCapture::messages(spdlog::level::level_enum level) const {
    std::vector<std::string> out;
    for (auto& r : sink_->snapshot())
        if (r.level == level) out.push_back(r.message);
    return out;
}

bool LogCapture::contains(spdlog::level::level_enum level, const std::string& message) const {
    auto all = sink_->snapshot();
    return std::any_of(all.begin(), all.end(),
                       [&](const CapturedRecord& r) { return r.level == level && r.message == message; });
}

}  // namespace norvex::logging
