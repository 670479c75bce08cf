// Decoding string and bytes literal bodies: prefixes, escapes, character names.
#include "norvex/pyast/parser.hpp"

#include <unicode/uchar.h>

namespace norvex::pyast::literal {

void append_utf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

StringPrefix prefix_of(std::string_view text, std::size_t& prefix_len) {
    StringPrefix p;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        char c = static_cast<char>(text[i] | 0x20);
        if (c == 'r') p.raw = true;
        else if (c == 'b') p.bytes = true;
        else if (c == 'u') p.unicode = true;
        else if (c == 'f') p.fstring = true;
        else if (c == 't') p.tstring = true;
        else break;
    }
    prefix_len = i;
    return p;
}

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Name aliases Python accepts in \\N{} that ICU does not know (controls,
// abbreviations, alternates; the variation selectors are computed).
struct Alias {
    const char* name;
    std::uint32_t cp;
};
constexpr Alias kAliases[] = {
    {"NULL", 0x0}, {"START OF HEADING", 0x1}, {"START OF TEXT", 0x2}, {"END OF TEXT", 0x3},
    {"END OF TRANSMISSION", 0x4}, {"ENQUIRY", 0x5}, {"ACKNOWLEDGE", 0x6}, {"ALERT", 0x7}, {"BACKSPACE", 0x8},
    {"CHARACTER TABULATION", 0x9}, {"HORIZONTAL TABULATION", 0x9}, {"LINE FEED", 0xA}, {"NEW LINE", 0xA},
    {"END OF LINE", 0xA}, {"LINE TABULATION", 0xB}, {"VERTICAL TABULATION", 0xB}, {"FORM FEED", 0xC},
    {"CARRIAGE RETURN", 0xD}, {"SHIFT OUT", 0xE}, {"LOCKING-SHIFT ONE", 0xE}, {"SHIFT IN", 0xF},
    {"LOCKING-SHIFT ZERO", 0xF}, {"DATA LINK ESCAPE", 0x10}, {"DEVICE CONTROL ONE", 0x11},
    {"DEVICE CONTROL TWO", 0x12}, {"DEVICE CONTROL THREE", 0x13}, {"DEVICE CONTROL FOUR", 0x14},
    {"NEGATIVE ACKNOWLEDGE", 0x15}, {"SYNCHRONOUS IDLE", 0x16}, {"END OF TRANSMISSION BLOCK", 0x17},
    {"CANCEL", 0x18}, {"END OF MEDIUM", 0x19}, {"SUBSTITUTE", 0x1A}, {"ESCAPE", 0x1B},
    {"INFORMATION SEPARATOR FOUR", 0x1C}, {"INFORMATION SEPARATOR THREE", 0x1D},
    {"INFORMATION SEPARATOR TWO", 0x1E}, {"INFORMATION SEPARATOR ONE", 0x1F}, {"FILE SEPARATOR", 0x1C},
    {"GROUP SEPARATOR", 0x1D}, {"RECORD SEPARATOR", 0x1E}, {"UNIT SEPARATOR", 0x1F}, {"DELETE", 0x7F}, {"NUL", 0x0},
    {"SOH", 0x1}, {"STX", 0x2}, {"ETX", 0x3}, {"EOT", 0x4}, {"ENQ", 0x5}, {"ACK", 0x6}, {"BEL", 0x7}, {"BS", 0x8},
    {"HT", 0x9}, {"TAB", 0x9}, {"LF", 0xA}, {"NL", 0xA}, {"EOL", 0xA}, {"VT", 0xB}, {"FF", 0xC}, {"CR", 0xD},
    {"SO", 0xE}, {"SI", 0xF}, {"DLE", 0x10}, {"DC1", 0x11}, {"DC2", 0x12}, {"DC3", 0x13}, {"DC4", 0x14},
    {"NAK", 0x15}, {"SYN", 0x16}, {"ETB", 0x17}, {"CAN", 0x18}, {"EOM", 0x19}, {"SUB", 0x1A}, {"ESC", 0x1B},
    {"FS", 0x1C}, {"GS", 0x1D}, {"RS", 0x1E}, {"US", 0x1F}, {"SP", 0x20}, {"DEL", 0x7F},
    {"PADDING CHARACTER", 0x80}, {"PAD", 0x80}, {"HIGH OCTET PRESET", 0x81}, {"HOP", 0x81},
    {"BREAK PERMITTED HERE", 0x82}, {"BPH", 0x82}, {"NO BREAK HERE", 0x83}, {"NBH", 0x83}, {"INDEX", 0x84},
    {"IND", 0x84}, {"NEXT LINE", 0x85}, {"NEL", 0x85}, {"START OF SELECTED AREA", 0x86}, {"SSA", 0x86},
    {"END OF SELECTED AREA", 0x87}, {"ESA", 0x87}, {"CHARACTER TABULATION SET", 0x88}, {"HTS", 0x88},
    {"HORIZONTAL TABULATION SET", 0x88}, {"CHARACTER TABULATION WITH JUSTIFICATION", 0x89}, {"HTJ", 0x89},
    {"HORIZONTAL TABULATION WITH JUSTIFICATION", 0x89}, {"LINE TABULATION SET", 0x8A}, {"VTS", 0x8A},
    {"VERTICAL TABULATION SET", 0x8A}, {"PARTIAL LINE FORWARD", 0x8B}, {"PLD", 0x8B}, {"PARTIAL LINE DOWN", 0x8B},
    {"PARTIAL LINE BACKWARD", 0x8C}, {"PLU", 0x8C}, {"PARTIAL LINE UP", 0x8C}, {"REVERSE LINE FEED", 0x8D},
    {"RI", 0x8D}, {"REVERSE INDEX", 0x8D}, {"SINGLE SHIFT TWO", 0x8E}, {"SS2", 0x8E}, {"SINGLE-SHIFT-2", 0x8E},
    {"SINGLE SHIFT THREE", 0x8F}, {"SS3", 0x8F}, {"SINGLE-SHIFT-3", 0x8F}, {"DEVICE CONTROL STRING", 0x90},
    {"DCS", 0x90}, {"PRIVATE USE ONE", 0x91}, {"PU1", 0x91}, {"PRIVATE USE-1", 0x91}, {"PRIVATE USE TWO", 0x92},
    {"PU2", 0x92}, {"PRIVATE USE-2", 0x92}, {"SET TRANSMIT STATE", 0x93}, {"STS", 0x93}, {"CANCEL CHARACTER", 0x94},
    {"CCH", 0x94}, {"MESSAGE WAITING", 0x95}, {"MW", 0x95}, {"START OF GUARDED AREA", 0x96}, {"SPA", 0x96},
    {"START OF PROTECTED AREA", 0x96}, {"END OF GUARDED AREA", 0x97}, {"EPA", 0x97},
    {"END OF PROTECTED AREA", 0x97}, {"START OF STRING", 0x98}, {"SOS", 0x98},
    {"SINGLE GRAPHIC CHARACTER INTRODUCER", 0x99}, {"SGC", 0x99}, {"SINGLE CHARACTER INTRODUCER", 0x9A},
    {"SCI", 0x9A}, {"CONTROL SEQUENCE INTRODUCER", 0x9B}, {"CSI", 0x9B}, {"STRING TERMINATOR", 0x9C}, {"ST", 0x9C},
    {"OPERATING SYSTEM COMMAND", 0x9D}, {"OSC", 0x9D}, {"PRIVACY MESSAGE", 0x9E}, {"PM", 0x9E},
    {"APPLICATION PROGRAM COMMAND", 0x9F}, {"APC", 0x9F}, {"NBSP", 0xA0}, {"SHY", 0xAD}, {"CGJ", 0x34F},
    {"ALM", 0x61C}, {"MVS", 0x180E}, {"FVS1", 0x180B}, {"FVS2", 0x180C}, {"FVS3", 0x180D}, {"FVS4", 0x180F},
    {"ZWSP", 0x200B}, {"ZWNJ", 0x200C}, {"ZWJ", 0x200D}, {"LRM", 0x200E}, {"RLM", 0x200F}, {"LRE", 0x202A},
    {"RLE", 0x202B}, {"PDF", 0x202C}, {"LRO", 0x202D}, {"RLO", 0x202E}, {"NNBSP", 0x202F}, {"MMSP", 0x205F},
    {"WJ", 0x2060}, {"LRI", 0x2066}, {"RLI", 0x2067}, {"FSI", 0x2068}, {"PDI", 0x2069}, {"ZWNBSP", 0xFEFF},
    {"BOM", 0xFEFF}, {"BYTE ORDER MARK", 0xFEFF},
};

bool lookup_alias(const std::string& upper, std::uint32_t& cp) {
    if (upper.size() > 2 && upper.compare(0, 2, "VS") == 0 &&
        upper.find_first_not_of("0123456789", 2) == std::string::npos && upper.size() <= 5 && upper[2] != '0') {
        int n = std::stoi(upper.substr(2));
        if (n >= 1 && n <= 16) return cp = 0xFE00 + static_cast<std::uint32_t>(n - 1), true;
        if (n >= 17 && n <= 256) return cp = 0xE0100 + static_cast<std::uint32_t>(n - 17), true;
        return false;
    }
    for (const Alias& a : kAliases)
        if (upper == a.name) return cp = a.cp, true;
    return false;
}

bool lookup_name(std::string_view name, std::uint32_t& cp) {
    std::string n(name);
    std::string upper(name);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (lookup_alias(upper, cp)) return true;
    UErrorCode status = U_ZERO_ERROR;
    UChar32 c = u_charFromName(U_UNICODE_CHAR_NAME, n.c_str(), &status);
    if (U_SUCCESS(status) && c >= 0) {
        cp = static_cast<std::uint32_t>(c);
        return true;
    }
    status = U_ZERO_ERROR;
    c = u_charFromName(U_CHAR_NAME_ALIAS, n.c_str(), &status);
    if (U_SUCCESS(status) && c >= 0) {
        cp = static_cast<std::uint32_t>(c);
        return true;
    }
    return false;
}

// CPython decodes after turning each non-ASCII character into a 10-byte
// \U escape, so its byte positions count those.
std::size_t escaped_position(std::string_view body, std::size_t pos) {
    std::size_t out = 0;
    for (std::size_t i = 0; i < pos && i < body.size(); ++i) {
        auto c = static_cast<unsigned char>(body[i]);
        if (c < 0x80) ++out;
        else if ((c & 0xC0) != 0x80) out += 10;
    }
    return out;
}

std::string unicode_error(std::string_view body, std::size_t from, std::size_t to, std::string_view what) {
    std::string msg = "(unicode error) 'unicodeescape' codec can't decode bytes in position ";
    msg += std::to_string(escaped_position(body, from)) + "-" + std::to_string(escaped_position(body, to)) + ": ";
    msg += what;
    return msg;
}

}  // namespace

DecodeError decode_body(std::string_view body, bool raw, bool bytes, std::string& out) {
    if (bytes) {
        for (char c : body)
            if (static_cast<unsigned char>(c) >= 0x80) return {"bytes can only contain ASCII literal characters", 0};
    }
    // Python reads source with universal newlines: "\r\n" and "\r" are "\n" in literals.
    bool has_cr = body.find('\r') != std::string_view::npos;
    if ((raw || body.find('\\') == std::string_view::npos) && !has_cr) {
        out.append(body);
        return {};
    }
    if (raw) {
        for (std::size_t i = 0; i < body.size(); ++i) {
            if (body[i] != '\r') {
                out += body[i];
                continue;
            }
            out += '\n';
            if (i + 1 < body.size() && body[i + 1] == '\n') ++i;
        }
        return {};
    }
    out.reserve(out.size() + body.size());
    std::size_t i = 0;
    const std::size_t n = body.size();
    while (i < n) {
        char c = body[i];
        if (c != '\\') {
            if (c == '\r') {
                out += '\n';
                if (i + 1 < n && body[i + 1] == '\n') ++i;
            } else {
                out += c;
            }
            ++i;
            continue;
        }
        std::size_t esc = i;
        if (i + 1 >= n) {
            out += '\\';
            ++i;
            continue;
        }
        char e = body[i + 1];
        i += 2;
        switch (e) {
            case '\n': break;
            case '\r':
                if (i < n && body[i] == '\n') ++i;
                break;
            case '\\': out += '\\'; break;
            case '\'': out += '\''; break;
            case '"': out += '"'; break;
            case 'a': out += '\a'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'v': out += '\v'; break;
            case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7': {
                std::uint32_t v = static_cast<std::uint32_t>(e - '0');
                for (int k = 0; k < 2 && i < n && body[i] >= '0' && body[i] <= '7'; ++k, ++i)
                    v = v * 8 + static_cast<std::uint32_t>(body[i] - '0');
                if (bytes) out += static_cast<char>(v & 0xFF);
                else append_utf8(out, v);
                break;
            }
            case 'x': {
                int h1 = i < n ? hex_value(body[i]) : -1;
                int h2 = i + 1 < n ? hex_value(body[i + 1]) : -1;
                if (h1 < 0 || h2 < 0) {
                    std::size_t end = i + (h1 >= 0 ? 1 : 0);
                    if (bytes) return {"(value error) invalid \\x escape at position " + std::to_string(esc), esc};
                    return {unicode_error(body, esc, end - 1, "truncated \\xXX escape"), esc};
                }
                std::uint32_t v = static_cast<std::uint32_t>(h1 * 16 + h2);
                i += 2;
                if (bytes) out += static_cast<char>(v);
                else append_utf8(out, v);
                break;
            }
            case 'u':
            case 'U':
            case 'N': {
                if (bytes) {
                    out += '\\';
                    out += e;
                    break;
                }
                if (e == 'N') {
                    std::size_t close = body.find('}', i);
                    std::uint32_t cp = 0;
                    if (i >= n || body[i] != '{' || close == std::string_view::npos || close == i + 1) {
                        std::size_t end = (i >= n || body[i] != '{') ? esc + 1
                                          : close == std::string_view::npos ? n - 1
                                                                            : close;
                        return {unicode_error(body, esc, end, "malformed \\N character escape"), esc};
                    }
                    if (!lookup_name(body.substr(i + 1, close - i - 1), cp))
                        return {unicode_error(body, esc, close, "unknown Unicode character name"), esc};
                    append_utf8(out, cp);
                    i = close + 1;
                    break;
                }
                int len = e == 'u' ? 4 : 8;
                std::uint32_t v = 0;
                int got = 0;
                for (; got < len && i < n && hex_value(body[i]) >= 0; ++got, ++i)
                    v = v * 16 + static_cast<std::uint32_t>(hex_value(body[i]));
                if (got < len)
                    return {unicode_error(body, esc, i - 1, e == 'u' ? "truncated \\uXXXX escape" : "truncated \\UXXXXXXXX escape"),
                            esc};
                if (v > 0x10FFFF) return {unicode_error(body, esc, i - 1, "illegal Unicode character"), esc};
                append_utf8(out, v);
                break;
            }
            default:
                // Unknown escapes stay as written (Python only warns).
                out += '\\';
                i = esc + 1;
                break;
        }
    }
    return {};
}

}  // namespace norvex::pyast::literal
