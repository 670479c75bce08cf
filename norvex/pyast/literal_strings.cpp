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

bool lookup_name(std::string_view name, std::uint32_t& cp) {
    std::string n(name);
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
