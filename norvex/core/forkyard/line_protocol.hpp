// The JSON-lines protocol between the manager and a worker program, apart from any I/O.
//
// Requests go to the worker's stdin, one compact ASCII-only JSON object per
// line; the worker's first stdout line is its answer. AnswerLineReader frames
// the answer out of whatever chunks the pipe delivers, under a length limit.
#pragma once

#include "norvex/common/line_framer.hpp"

#include <boost/json/object.hpp>

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace norvex::forkyard {

// Default longest answer line, in bytes. A full analysis of a large file is
// megabytes of JSON, but the host holds about twelve times an answer while it
// parses and lays it out again (some 725 MiB for 58 MB), and no model's
// context takes that much: larger answers are better asked for in parts.
inline constexpr std::size_t DEFAULT_MAX_ANSWER_BYTES = 64u * 1024u * 1024u;

// One request line: the object in Python's compact layout plus "\n".
std::string encode_request(const boost::json::object& command);

// The quit request line, {"action": "quit"} and a line feed (19 bytes).
const std::string& quit_request();

// The answer line ran past the limit before its line feed.
class AnswerTooLong : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Takes the first line of the worker's stdout, line feed included, out of
// the chunks the pipe delivers. It fails as soon as that line passes the
// limit, not at its line feed: nobody would read the rest.
class AnswerLineReader {
public:
    explicit AnswerLineReader(std::size_t max_bytes = DEFAULT_MAX_ANSWER_BYTES) : framer_({.max_bytes = max_bytes}) {}

    // Adds bytes read from the pipe. Returns true once a whole line is there.
    // Throws AnswerTooLong when the line grows past the limit.
    bool feed(std::string_view chunk);
    // The end of the stream: what arrived so far is the line (maybe empty).
    void finish();

    bool done() const noexcept { return done_; }
    // The line, its line feed included when it had one.
    const std::string& line() const noexcept { return line_; }
    std::size_t max_bytes() const noexcept { return framer_.max_bytes(); }

private:
    void accept(FramedLine first);
    [[noreturn]] void too_long() const;

    LineFramer framer_;
    std::string line_;
    bool done_ = false;
};

// Turns a non-empty answer line into the worker's answer: strict UTF-8, white
// space stripped, JSON, and an object. A JSON null gives no answer. Throws
// std::invalid_argument with a message naming the worker and what is wrong.
std::optional<boost::json::object> decode_answer(std::string_view line, std::string_view worker_id);

}  // namespace norvex::forkyard
