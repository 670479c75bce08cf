// find_todos: TODO-style markers in comments (and anywhere after a "#"), matched by hand on ASCII and with PCRE2 beyond.
#include "norvex/workers/astprobe/metrics.hpp"

#include "norvex/common/pystr.hpp"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace norvex::astprobe {

namespace json = boost::json;

namespace {

// "#\s*(TODO|FIXME|HACK|XXX|NOTE|BUG)\b[:\s]*(.*)" as Python's re reads it
// with IGNORECASE on str:
// - \s is str.isspace(), spelled out because PCRE2's own \s takes U+180E and
//   leaves out \x1c-\x1f and \x85;
// - Python's case-insensitive I also takes U+0130 and U+0131, which Unicode
//   case folding (PCRE2's) does not; K and the Kelvin sign fold alike in both;
// - \b and \w agree with Python under UCP (letters, numbers, underscore);
// - lines never hold a line break, so "." may match everything.
constexpr const char* PY_SPACE =
    "\\t-\\r\\x{1c}-\\x{20}\\x{85}\\x{a0}\\x{1680}\\x{2000}-\\x{200a}\\x{2028}\\x{2029}\\x{202f}\\x{205f}\\x{3000}";

std::string marker_pattern() {
    return std::string("#[") + PY_SPACE + "]*(TODO|F[I\\x{130}\\x{131}]XME|HACK|XXX|NOTE|BUG)\\b[:" + PY_SPACE +
           "]*(.*)";
}

// Compiled on first use, so a worker that never looks for markers never pays for it.
class MarkerPattern {
public:
    MarkerPattern() {
        const std::string pattern = marker_pattern();
        int error = 0;
        PCRE2_SIZE offset = 0;
        code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                              PCRE2_UTF | PCRE2_UCP | PCRE2_CASELESS | PCRE2_DOTALL, &error, &offset, nullptr);
        if (code_ == nullptr) {
            PCRE2_UCHAR message[256];
            pcre2_get_error_message(error, message, sizeof message);
            throw std::logic_error("marker pattern: " + std::string(reinterpret_cast<const char*>(message)));
        }
        // Without JIT support the interpreter gives the same matches.
        pcre2_jit_compile(code_, PCRE2_JIT_COMPLETE);
    }
    ~MarkerPattern() { pcre2_code_free(code_); }
    MarkerPattern(const MarkerPattern&) = delete;
    MarkerPattern& operator=(const MarkerPattern&) = delete;

    const pcre2_code* code() const noexcept { return code_; }

private:
    pcre2_code* code_ = nullptr;
};

const MarkerPattern& pattern() {
    static const MarkerPattern pattern;
    return pattern;
}

struct MatchDataFree {
    void operator()(pcre2_match_data* md) const noexcept { pcre2_match_data_free(md); }
};

// The pattern's search, done by hand for as long as every character it must
// classify is ASCII: there \s is " \t\n\v\f\r\x1c-\x1f", a marker letter
// matches only its two cases and \w is letters, digits and "_". Compiling the
// pattern (and its JIT code) cost about 0.3 ms, more than a worker spends on
// the rest of a small file's markers. A non-ASCII character where the
// pattern decides (in the white space around the word, in the word, just
// after it) leaves the line to PCRE2: Unsure.
enum class Scan { NoMatch, Match, Unsure };

struct Marker {
    std::string_view word;
    std::string_view rest;  // after the colons and white space that follow the word
};

constexpr bool is_ascii(char c) noexcept { return static_cast<unsigned char>(c) < 0x80; }

constexpr bool is_ascii_space(char c) noexcept { return c == ' ' || (c >= '\t' && c <= '\r') || (c >= '\x1c' && c <= '\x1f'); }

constexpr bool is_ascii_word(char c) noexcept {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

constexpr char ascii_upper(char c) noexcept { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

Scan scan_ascii(std::string_view line, Marker& found) {
    // Their first letters differ, so at most one word can start at a place.
    constexpr std::string_view WORDS[] = {"TODO", "FIXME", "HACK", "XXX", "NOTE", "BUG"};
    const std::size_t n = line.size();
    for (std::size_t hash = line.find('#'); hash != std::string_view::npos; hash = line.find('#', hash + 1)) {
        std::size_t at = hash + 1;
        while (at < n && is_ascii_space(line[at])) ++at;
        if (at == n) return Scan::NoMatch;
        if (!is_ascii(line[at])) return Scan::Unsure;
        std::string_view word;
        for (const std::string_view candidate : WORDS) {
            if (ascii_upper(line[at]) != candidate.front()) continue;
            std::size_t k = 1;
            for (; k < candidate.size() && at + k < n; ++k) {
                if (!is_ascii(line[at + k])) return Scan::Unsure;
                if (ascii_upper(line[at + k]) != candidate[k]) break;
            }
            if (k == candidate.size()) word = line.substr(at, k);
            break;
        }
        if (word.empty()) continue;
        const std::size_t after = at + word.size();
        if (after < n) {
            if (!is_ascii(line[after])) return Scan::Unsure;
            if (is_ascii_word(line[after])) continue;  // no word boundary
        }
        std::size_t rest = after;
        while (rest < n && (line[rest] == ':' || is_ascii_space(line[rest]))) ++rest;
        if (rest < n && !is_ascii(line[rest])) return Scan::Unsure;
        found = Marker{word, line.substr(rest)};
        return Scan::Match;
    }
    return Scan::NoMatch;
}

}  // namespace

json::array find_todos(std::string_view source) {
    // A str never holds malformed UTF-8; text from elsewhere is read as Python would decode it.
    std::string decoded;
    if (!pystr::is_valid_utf8(source)) {
        decoded = pystr::decode_utf8_replace(source);
        source = decoded;
    }
    if (source.find('#') == std::string_view::npos) return json::array();
    return find_todos_in_lines(pystr::splitlines(source));
}

json::array find_todos_in_lines(const std::vector<std::string_view>& lines) {
    json::array out;
    const pcre2_code* code = nullptr;
    std::unique_ptr<pcre2_match_data, MatchDataFree> match;
    std::int64_t number = 0;
    for (std::string_view line : lines) {
        ++number;
        if (line.find('#') == std::string_view::npos) continue;
        Marker marker;
        const Scan scan = scan_ascii(line, marker);
        if (scan == Scan::NoMatch) continue;
        if (scan == Scan::Unsure) {
            if (code == nullptr) {
                code = pattern().code();
                match.reset(pcre2_match_data_create_from_pattern(code, nullptr));
                if (!match) throw std::bad_alloc();
            }
            const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(line.data()), line.size(), 0,
                                       PCRE2_NO_UTF_CHECK, match.get(), nullptr);
            if (rc == PCRE2_ERROR_NOMATCH) continue;
            if (rc < 0) throw std::runtime_error("marker search failed (PCRE2 error " + std::to_string(rc) + ")");
            const PCRE2_SIZE* at = pcre2_get_ovector_pointer(match.get());
            marker.word = line.substr(at[2], at[3] - at[2]);
            marker.rest = line.substr(at[4], at[5] - at[4]);
        }
        json::object record;
        record["line"] = number;
        record["type"] = pystr::upper(marker.word);
        record["text"] = pystr::strip(marker.rest);
        out.push_back(std::move(record));
    }
    return out;
}

}  // namespace norvex::astprobe
