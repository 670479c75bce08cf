// Decoding NUMBER tokens into Int, BigInt, Float and Complex constants.
#include "norvex/pyast/parser.hpp"

#include <charconv>
#include <cmath>
#include <limits>

namespace norvex::pyast::literal {

namespace {

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

// Decimal digits of an integer too large for 64 bits, via base-1e9 limbs.
std::string big_decimal(std::string_view digits, int base) {
    std::vector<std::uint32_t> limbs;  // little-endian, base 1e9
    for (char c : digits) {
        std::uint64_t carry = static_cast<std::uint64_t>(digit_value(c));
        for (auto& limb : limbs) {
            std::uint64_t v = static_cast<std::uint64_t>(limb) * static_cast<std::uint64_t>(base) + carry;
            limb = static_cast<std::uint32_t>(v % 1000000000u);
            carry = v / 1000000000u;
        }
        while (carry) {
            limbs.push_back(static_cast<std::uint32_t>(carry % 1000000000u));
            carry /= 1000000000u;
        }
    }
    if (limbs.empty()) return "0";
    std::string out = std::to_string(limbs.back());
    for (std::size_t i = limbs.size() - 1; i-- > 0;) {
        std::string part = std::to_string(limbs[i]);
        out.append(9 - part.size(), '0');
        out += part;
    }
    return out;
}

bool parse_float(std::string_view text, double& out) {
    const char* first = text.data();
    const char* last = first + text.size();
    auto [ptr, ec] = std::from_chars(first, last, out, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone on overflow and underflow.
        bool negative_exp = text.find("e-") != std::string_view::npos || text.find("E-") != std::string_view::npos;
        out = negative_exp ? 0.0 : std::numeric_limits<double>::infinity();
        return true;
    }
    return ec == std::errc() && ptr == last;
}

}  // namespace

bool decode_number(std::string_view raw, Arena& arena, ConstantValue& out) {
    std::string text;
    text.reserve(raw.size());
    for (char c : raw)
        if (c != '_') text += c;
    if (text.empty()) return false;
    char last = text.back();
    if (last == 'j' || last == 'J') {
        double v = 0;
        if (!parse_float(std::string_view(text).substr(0, text.size() - 1), v)) return false;
        out.kind = ConstantValue::Kind::Complex;
        out.float_value = v;
        return true;
    }
    int base = 10;
    std::string_view digits = text;
    if (text.size() > 1 && text[0] == '0') {
        char b = text[1];
        if (b == 'x' || b == 'X') base = 16;
        else if (b == 'o' || b == 'O') base = 8;
        else if (b == 'b' || b == 'B') base = 2;
        if (base != 10) digits.remove_prefix(2);
    }
    if (base == 10 && text.find_first_of(".eE") != std::string::npos) {
        double v = 0;
        if (!parse_float(text, v)) return false;
        out.kind = ConstantValue::Kind::Float;
        out.float_value = v;
        return true;
    }
    if (digits.empty()) return false;
    std::uint64_t value = 0;
    bool overflow = false;
    for (char c : digits) {
        int d = digit_value(c);
        if (d >= base) return false;
        if (value > (std::numeric_limits<std::uint64_t>::max() - static_cast<std::uint64_t>(d)) /
                        static_cast<std::uint64_t>(base))
            overflow = true;
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
    }
    if (!overflow && value <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        out.kind = ConstantValue::Kind::Int;
        out.int_value = static_cast<std::int64_t>(value);
        return true;
    }
    out.kind = ConstantValue::Kind::BigInt;
    std::size_t nz = digits.find_first_not_of('0');
    out.text = arena.store(big_decimal(nz == std::string_view::npos ? "0" : digits.substr(nz), base));
    return true;
}

}  // namespace norvex::pyast::literal
