// JSON writing in json.dumps' two layouts, always ASCII.
#include "norvex/common/pyjson.hpp"

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/json/string.hpp>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <vector>

namespace norvex::pyjson {
namespace {

// Bytes json.dumps writes as they are: printable ASCII but '"' and '\\'.
// DEL and everything above it is escaped.
constexpr std::array<bool, 256> make_plain_table() {
    std::array<bool, 256> table{};
    for (int c = 0x20; c < 0x7F; ++c) table[c] = c != '"' && c != '\\';
    return table;
}
constexpr std::array<bool, 256> plain = make_plain_table();

struct Decoded {
    char32_t cp;
    std::size_t len;
};

// One code point of generalised UTF-8 (surrogates allowed, since lone
// surrogate escapes are kept that way). A malformed sequence decodes to
// U+FFFD over its maximal valid prefix, as bytes.decode("utf-8", "replace")
// counts them, so the writer never fails on bad bytes.
Decoded decode_utf8(const unsigned char* p, const unsigned char* end) {
    const unsigned char c = p[0];
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    char32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
        if (c == 0xE0) lo = 0xA0;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return {0xFFFD, 1};
    }
    for (std::size_t k = 1; k < len; ++k) {
        if (p + k == end || p[k] < lo || p[k] > hi) return {0xFFFD, k};
        cp = cp << 6 | (p[k] & 0x3F);
        lo = 0x80;
        hi = 0xBF;
    }
    return {cp, len};
}

void append_u_escape(std::string& out, unsigned unit) {
    static constexpr char hex[] = "0123456789abcdef";
    const char esc[6] = {'\\', 'u', hex[unit >> 12 & 15], hex[unit >> 8 & 15], hex[unit >> 4 & 15], hex[unit & 15]};
    out.append(esc, 6);
}

void append_string(std::string& out, std::string_view s) {
    out += '"';
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    const auto* run = p;
    while (p != end) {
        if (plain[*p]) {
            ++p;
            continue;
        }
        out.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
        const unsigned char c = *p;
        if (c < 0x80) {
            switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: append_u_escape(out, c); break;
            }
            ++p;
        } else {
            const Decoded d = decode_utf8(p, end);
            if (d.cp >= 0x10000) {
                const char32_t v = d.cp - 0x10000;
                append_u_escape(out, 0xD800 + (v >> 10));
                append_u_escape(out, 0xDC00 + (v & 0x3FF));
            } else {
                append_u_escape(out, d.cp);
            }
            p += d.len;
        }
        run = p;
    }
    out.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
    out += '"';
}

void append_double(std::string& out, double x) {
    if (std::isnan(x)) {
        out += "NaN";
    } else if (std::isinf(x)) {
        out += x < 0 ? "-Infinity" : "Infinity";
    } else {
        char buf[32];
        out.append(buf, detail::float_repr_to(buf, x));
    }
}

template <class Int>
void append_integer(std::string& out, Int i) {
    char buf[24];
    out.append(buf, std::to_chars(buf, buf + sizeof buf, i).ptr);
}

class Writer {
public:
    Writer(std::string& out, Layout layout) : out_(out), indent_(layout == Layout::indent2) {}

    void run(const boost::json::value& root) {
        if (!begin(root)) return;
        // Iterative, so any depth the parser accepts is written without
        // deep recursion.
        while (!frames_.empty()) {
            Frame& frame = frames_.back();
            const std::size_t size = frame.array ? frame.array->size() : frame.object->size();
            if (frame.next == size) {
                const bool object = frame.object != nullptr;
                frames_.pop_back();
                if (indent_) newline();
                out_ += object ? '}' : ']';
                continue;
            }
            if (frame.next != 0) out_ += indent_ ? "," : ", ";
            if (indent_) newline();
            const std::size_t i = frame.next++;
            if (frame.array) {
                begin((*frame.array)[i]);
            } else {
                const boost::json::key_value_pair& member = frame.object->begin()[i];
                append_string(out_, member.key());
                out_ += ": ";
                begin(member.value());  // may grow frames_; `frame` is not used after
            }
        }
    }

private:
    struct Frame {
        const boost::json::array* array;
        const boost::json::object* object;
        std::size_t next;
    };

    void newline() {
        out_ += '\n';
        out_.append(2 * frames_.size(), ' ');
    }

    // Writes a scalar or an empty container whole; opens any other
    // container and returns true.
    bool begin(const boost::json::value& v) {
        switch (v.kind()) {
        case boost::json::kind::null: out_ += "null"; return false;
        case boost::json::kind::bool_: out_ += v.get_bool() ? "true" : "false"; return false;
        case boost::json::kind::int64: append_integer(out_, v.get_int64()); return false;
        case boost::json::kind::uint64: append_integer(out_, v.get_uint64()); return false;
        case boost::json::kind::double_: append_double(out_, v.get_double()); return false;
        case boost::json::kind::string: append_string(out_, v.get_string()); return false;
        case boost::json::kind::array:
            if (v.get_array().empty()) {
                out_ += "[]";
                return false;
            }
            out_ += '[';
            frames_.push_back({&v.get_array(), nullptr, 0});
            return true;
        case boost::json::kind::object:
            if (v.get_object().empty()) {
                out_ += "{}";
                return false;
            }
            out_ += '{';
            frames_.push_back({nullptr, &v.get_object(), 0});
            return true;
        }
        return false;
    }

    std::string& out_;
    bool indent_;
    std::vector<Frame> frames_;
};

}  // namespace

void dump_to(std::string& out, const boost::json::value& value, Layout layout) {
    Writer(out, layout).run(value);
}

std::string dumps(const boost::json::value& value, Layout layout) {
    std::string out;
    dump_to(out, value, layout);
    return out;
}

}  // namespace norvex::pyjson
