// LineFramer: cuts a byte stream into lines under a length bound, with no I/O of its own.
//
// Overview. Whoever reads a pipe hands each chunk to feed() as it arrives and
// takes the lines it completed with next(); at the end of input it calls
// finish(), after which next() also gives the unterminated rest. A line is cut
// at "\n" and comes out without it. Its length is counted without the "\n"
// and with any "\r" before it; a line longer than max_bytes is not kept: its
// bytes are dropped up to its "\n" (or the end of input) and it comes out
// once, empty and marked too_long, so the caller can answer it or give up.
// What to do with "\r\n" is an option; blank lines come out as empty lines,
// and the caller decides what they mean.
//
//     norvex::LineFramer framer({.max_bytes = 1024, .strip_carriage_return = true});
//     framer.feed("{\"a\": 1}\r\n{\"b\"");
//     framer.next();   // {.text = "{\"a\": 1}", .too_long = false, .terminated = true}
//     framer.next();   // nothing yet: "{\"b\"" waits for its line feed
//     framer.finish();
//     framer.next();   // {.text = "{\"b\"", .terminated = false}
//
// A caller that has to stop reading as soon as a line passes the bound, rather
// than at its line feed, asks overflowing() after each feed().
#pragma once

#include <cstddef>
#include <deque>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace norvex {

struct LineFramerOptions {
    // The longest line kept, "\n" not counted; the default is no bound.
    std::size_t max_bytes = std::numeric_limits<std::size_t>::max();
    // Drop one "\r" at the end of each line (counted against max_bytes all the same).
    bool strip_carriage_return = false;
};

struct FramedLine {
    std::string text;        // without its "\n"; empty when too_long
    bool too_long = false;   // the line went past max_bytes and was dropped
    bool terminated = true;  // false for the rest that finish() gave out
};

class LineFramer {
public:
    explicit LineFramer(LineFramerOptions options = {}) : options_(options) {}

    // Takes the next bytes of the stream.
    void feed(std::string_view bytes);
    // The end of the stream: an unterminated rest becomes the last line (a
    // rest of no bytes is no line). feed() after finish() starts a new stream.
    void finish();
    // The oldest line not yet taken, or none until more bytes (or the end) arrive.
    std::optional<FramedLine> next();

    // The line being read has passed max_bytes; its bytes are being dropped.
    bool overflowing() const noexcept { return dropping_; }
    std::size_t max_bytes() const noexcept { return options_.max_bytes; }

private:
    void complete(bool terminated);

    LineFramerOptions options_;
    std::string partial_;  // the line being read, while it is within the bound
    bool dropping_ = false;
    std::deque<FramedLine> ready_;
};

}  // namespace norvex
