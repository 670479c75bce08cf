// Cuts the bytes read from stdin into the transport's lines, under a length limit.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace norvex::mcp {

// One complete line, or the note that a line went past the limit and was dropped.
struct FramedLine {
    std::string text;       // without the line feed (and without a carriage return before it)
    bool too_long = false;  // text is empty then
};

// Messages are delimited by line feeds and contain none. A line longer than
// max_bytes is not kept in memory: its bytes are skipped up to the next line
// feed and it comes out once, as too_long, so the caller can answer it.
class LineFramer {
public:
    explicit LineFramer(std::size_t max_bytes) : max_bytes_(max_bytes) {}

    // Appends the bytes and gives every line they completed.
    std::vector<FramedLine> feed(std::string_view bytes);

    // What is left when the input ends: the last line when it had no line
    // feed, or nothing.
    std::vector<FramedLine> finish();

private:
    std::size_t max_bytes_;
    std::string pending_;
    bool skipping_ = false;
};

}  // namespace norvex::mcp
