// Standard Base64, the form the model API takes images in.
#include "norvex/pc/deskhand/image_codec.hpp"

#include <array>
#include <stdexcept>

namespace norvex::pc::deskhand {

namespace {

constexpr char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Writes the Base64 of `bytes` to out[0 .. (n + 2) / 3 * 4), padding included.
void encode_to(std::string_view bytes, char* out) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t i = 0, o = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
        out[o++] = ALPHABET[v >> 18];
        out[o++] = ALPHABET[(v >> 12) & 63];
        out[o++] = ALPHABET[(v >> 6) & 63];
        out[o++] = ALPHABET[v & 63];
    }
    if (const std::size_t rest = bytes.size() - i; rest > 0) {
        const unsigned v = (p[i] << 16) | (rest == 2 ? p[i + 1] << 8 : 0);
        out[o++] = ALPHABET[v >> 18];
        out[o++] = ALPHABET[(v >> 12) & 63];
        out[o++] = rest == 2 ? ALPHABET[(v >> 6) & 63] : '=';
        out[o++] = '=';
    }
}

}  // namespace

std::string base64_encode(std::string_view bytes) {
    std::string out((bytes.size() + 2) / 3 * 4, '=');
    encode_to(bytes, out.data());
    return out;
}

boost::json::string base64_encode_json(std::string_view bytes) {
    boost::json::string out;
    out.resize((bytes.size() + 2) / 3 * 4);
    encode_to(bytes, out.data());
    return out;
}

std::string base64_decode(std::string_view text) {
    std::array<int, 256> value{};
    value.fill(-1);
    for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(ALPHABET[i])] = i;
    std::string out;
    out.reserve(text.size() / 4 * 3);
    unsigned acc = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=') break;
        const int v = value[static_cast<unsigned char>(c)];
        if (v < 0) throw std::invalid_argument("not Base64 text: unexpected character");
        acc = (acc << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((acc >> bits) & 0xFF));
        }
    }
    return out;
}

}  // namespace norvex::pc::deskhand
