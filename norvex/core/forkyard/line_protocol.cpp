// Request encoding, answer framing and answer decoding.
#include "norvex/core/forkyard/line_protocol.hpp"

#include "norvex/common/pyjson.hpp"
#include "norvex/common/pystr.hpp"

#include <fmt/format.h>

#include <utility>

namespace norvex::forkyard {

std::string encode_request(const boost::json::object& command) {
    std::string line;
    pyjson::dump_to(line, command, pyjson::Layout::compact);
    line.push_back('\n');
    return line;
}

const std::string& quit_request() {
    static const std::string line = encode_request(boost::json::object{{"action", "quit"}});
    return line;
}

bool AnswerLineReader::feed(std::string_view chunk) {
    if (done_) return true;
    framer_.feed(chunk);
    if (auto first = framer_.next()) {
        accept(std::move(*first));
        return true;
    }
    if (framer_.overflowing()) too_long();
    return false;
}

void AnswerLineReader::finish() {
    if (done_) return;
    framer_.finish();
    if (auto rest = framer_.next()) accept(std::move(*rest));
    done_ = true;
}

void AnswerLineReader::accept(FramedLine first) {
    if (first.too_long) too_long();
    line_ = std::move(first.text);
    if (first.terminated) line_.push_back('\n');
    done_ = true;
}

void AnswerLineReader::too_long() const {
    throw AnswerTooLong(fmt::format("answer line is longer than the limit of {} bytes", framer_.max_bytes()));
}

namespace {

std::string_view kind_name(const boost::json::value& v) {
    switch (v.kind()) {
        case boost::json::kind::array: return "a list";
        case boost::json::kind::string: return "a string";
        case boost::json::kind::bool_: return "a boolean";
        case boost::json::kind::int64:
        case boost::json::kind::uint64:
        case boost::json::kind::double_: return "a number";
        default: return "something else";
    }
}

}  // namespace

std::optional<boost::json::object> decode_answer(std::string_view line, std::string_view worker_id) {
    if (!pystr::is_valid_utf8(line)) {
        std::size_t at = pystr::valid_utf8_prefix(line);
        throw std::invalid_argument(fmt::format("Worker {} answered with invalid UTF-8: byte 0x{:02x} at offset {}",
                                                worker_id, static_cast<unsigned char>(line[at]), at));
    }
    boost::json::value answer;
    try {
        answer = pyjson::parse(pystr::strip(line));
    } catch (const pyjson::DecodeError& e) {
        throw std::invalid_argument(fmt::format("Worker {} answered with invalid JSON: {}", worker_id, e.what()));
    }
    if (answer.is_null()) return std::nullopt;
    if (!answer.is_object()) {
        throw std::invalid_argument(fmt::format("Worker {} answered with {} instead of a JSON object: {}", worker_id,
                                                kind_name(answer), pystr::cut(pystr::strip(line), 200)));
    }
    return std::move(answer.get_object());
}

}  // namespace norvex::forkyard
