// Line framing of byte streams.
#include "norvex/common/line_framer.hpp"

#include <utility>

namespace norvex {

void LineFramer::feed(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view part = bytes.substr(0, end);
        if (!dropping_) {
            // Written as a subtraction so that the default bound cannot overflow.
            if (part.size() > options_.max_bytes - partial_.size()) {
                dropping_ = true;
                // An over-long line holds no memory while the rest of it streams past.
                std::string().swap(partial_);
            } else {
                partial_.append(part);
            }
        }
        if (end == std::string_view::npos) break;
        complete(true);
        bytes.remove_prefix(end + 1);
    }
}

void LineFramer::finish() {
    if (dropping_ || !partial_.empty()) complete(false);
}

std::optional<FramedLine> LineFramer::next() {
    if (ready_.empty()) return std::nullopt;
    FramedLine line = std::move(ready_.front());
    ready_.pop_front();
    return line;
}

void LineFramer::complete(bool terminated) {
    FramedLine line;
    line.terminated = terminated;
    if (dropping_) {
        line.too_long = true;
        dropping_ = false;
    } else {
        if (options_.strip_carriage_return && !partial_.empty() && partial_.back() == '\r') partial_.pop_back();
        line.text = std::move(partial_);
        partial_.clear();
    }
    ready_.push_back(std::move(line));
}

}  // namespace norvex
