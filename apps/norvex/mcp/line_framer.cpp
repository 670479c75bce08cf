// Line framing of the stdio transport.
#include "line_framer.hpp"

namespace norvex::mcp {

namespace {

FramedLine complete(std::string& pending) {
    if (!pending.empty() && pending.back() == '\r') pending.pop_back();
    FramedLine line{std::move(pending), false};
    pending.clear();
    return line;
}

}  // namespace

std::vector<FramedLine> LineFramer::feed(std::string_view bytes) {
    std::vector<FramedLine> lines;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view part = bytes.substr(0, end);
        if (!skipping_) {
            if (pending_.size() + part.size() > max_bytes_) {
                skipping_ = true;
                pending_.clear();
                pending_.shrink_to_fit();
            } else {
                pending_.append(part);
            }
        }
        if (end == std::string_view::npos) break;
        if (skipping_) {
            lines.push_back(FramedLine{{}, true});
            skipping_ = false;
        } else {
            lines.push_back(complete(pending_));
        }
        bytes.remove_prefix(end + 1);
    }
    return lines;
}

std::vector<FramedLine> LineFramer::finish() {
    std::vector<FramedLine> lines;
    if (skipping_) {
        lines.push_back(FramedLine{{}, true});
    } else if (!pending_.empty()) {
        lines.push_back(complete(pending_));
    }
    skipping_ = false;
    return lines;
}

}  // namespace norvex::mcp
