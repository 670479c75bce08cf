// repr() of a Python float: shortest round-trip digits in Python's layout.
#include "norvex/common/pyjson.hpp"

#include <charconv>
#include <cmath>
#include <cstring>

namespace norvex::pyjson {

namespace detail {

char* float_repr_to(char* out, double x) noexcept {
    if (std::isnan(x)) {
        std::memcpy(out, "nan", 3);
        return out + 3;
    }
    if (std::signbit(x)) *out++ = '-';
    if (std::isinf(x)) {
        std::memcpy(out, "inf", 3);
        return out + 3;
    }
    if (x == 0.0) {
        std::memcpy(out, "0.0", 3);
        return out + 3;
    }

    // Shortest scientific gives exactly the digits Python's repr picks
    // (d[.ddd]e±XX); only the layout differs.
    char sci[32];
    const auto res = std::to_chars(sci, sci + sizeof sci, std::fabs(x), std::chars_format::scientific);
    char digits[20];
    int ndigits = 0;
    const char* p = sci;
    for (; p != res.ptr && *p != 'e'; ++p) {
        if (*p != '.') digits[ndigits++] = *p;
    }
    int exponent = 0;
    std::from_chars(p + (p[1] == '+' ? 2 : 1), res.ptr, exponent);

    if (exponent >= 16 || exponent < -4) {
        *out++ = digits[0];
        if (ndigits > 1) {
            *out++ = '.';
            std::memcpy(out, digits + 1, ndigits - 1);
            out += ndigits - 1;
        }
        *out++ = 'e';
        *out++ = exponent < 0 ? '-' : '+';
        const int magnitude = exponent < 0 ? -exponent : exponent;
        if (magnitude < 10) *out++ = '0';
        return std::to_chars(out, out + 4, magnitude).ptr;
    }
    if (exponent < 0) {
        *out++ = '0';
        *out++ = '.';
        for (int i = -1; i > exponent; --i) *out++ = '0';
        std::memcpy(out, digits, ndigits);
        return out + ndigits;
    }
    // The integer part may run past the digits (1e15 is 1000000000000000.0);
    // a float with nothing after the point still shows ".0".
    for (int i = 0; i <= exponent; ++i) *out++ = i < ndigits ? digits[i] : '0';
    *out++ = '.';
    if (ndigits > exponent + 1) {
        std::memcpy(out, digits + exponent + 1, ndigits - exponent - 1);
        return out + (ndigits - exponent - 1);
    }
    *out++ = '0';
    return out;
}

}  // namespace detail

std::string float_repr(double x) {
    char buf[32];
    return std::string(buf, detail::float_repr_to(buf, x));
}

}  // namespace norvex::pyjson
