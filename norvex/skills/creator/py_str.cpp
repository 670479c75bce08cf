// str(), repr() and type names of JSON values as Python writes them.
#include "norvex/skills/creator/py_str.hpp"

#include "norvex/common/pyjson.hpp"
#include "norvex/common/pystr.hpp"

#include <unicode/uchar.h>

#include <cstdio>

namespace norvex::skills::creator {

namespace {

// str.isprintable() for one character: everything but the "Other" and
// "Separator" categories, the plain space excepted.
bool is_printable(char32_t c) {
    if (c == U' ') return true;
    switch (u_charType(static_cast<UChar32>(c))) {
        case U_CONTROL_CHAR:
        case U_FORMAT_CHAR:
        case U_SURROGATE:
        case U_PRIVATE_USE_CHAR:
        case U_UNASSIGNED:
        case U_SPACE_SEPARATOR:
        case U_LINE_SEPARATOR:
        case U_PARAGRAPH_SEPARATOR:
            return false;
        default:
            return true;
    }
}

void append_escape(std::string& out, char32_t c) {
    char buffer[12];
    if (c <= 0xFF) std::snprintf(buffer, sizeof buffer, "\\x%02x", static_cast<unsigned>(c));
    else if (c <= 0xFFFF) std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
    else std::snprintf(buffer, sizeof buffer, "\\U%08x", static_cast<unsigned>(c));
    out += buffer;
}

void append_repr(std::string& out, std::string_view text) {
    const bool has_single = text.find('\'') != std::string_view::npos;
    const bool has_double = text.find('"') != std::string_view::npos;
    const char quote = has_single && !has_double ? '"' : '\'';
    out += quote;
    for (const char32_t c : pystr::to_u32(text)) {
        if (c == static_cast<char32_t>(quote) || c == U'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == U'\t') {
            out += "\\t";
        } else if (c == U'\n') {
            out += "\\n";
        } else if (c == U'\r') {
            out += "\\r";
        } else if (c < U' ' || c == 0x7F) {
            append_escape(out, c);
        } else if (c < 0x7F) {
            out += static_cast<char>(c);
        } else if (is_printable(c)) {
            pystr::append_utf8(out, c);
        } else {
            append_escape(out, c);
        }
    }
    out += quote;
}

void append_value(std::string& out, const boost::json::value& value, bool quote_text) {
    switch (value.kind()) {
        case boost::json::kind::null: out += "None"; return;
        case boost::json::kind::bool_: out += value.get_bool() ? "True" : "False"; return;
        case boost::json::kind::int64: out += std::to_string(value.get_int64()); return;
        case boost::json::kind::uint64: out += std::to_string(value.get_uint64()); return;
        case boost::json::kind::double_: out += pyjson::float_repr(value.get_double()); return;
        case boost::json::kind::string:
            if (quote_text) append_repr(out, value.get_string());
            else out += value.get_string();
            return;
        case boost::json::kind::array: {
            out += '[';
            bool first = true;
            for (const auto& item : value.get_array()) {
                if (!first) out += ", ";
                first = false;
                append_value(out, item, true);
            }
            out += ']';
            return;
        }
        case boost::json::kind::object: {
            out += '{';
            bool first = true;
            for (const auto& member : value.get_object()) {
                if (!first) out += ", ";
                first = false;
                append_repr(out, member.key());
                out += ": ";
                append_value(out, member.value(), true);
            }
            out += '}';
            return;
        }
    }
}

}  // namespace

std::string py_str(const boost::json::value& value) {
    if (const auto* text = value.if_string()) return std::string(*text);
    std::string out;
    append_value(out, value, false);
    return out;
}

std::string py_repr(const boost::json::value& value) {
    std::string out;
    append_value(out, value, true);
    return out;
}

std::string py_repr(std::string_view text) {
    std::string out;
    append_repr(out, text);
    return out;
}

}  // namespace norvex::skills::creator
