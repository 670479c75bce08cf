// round(x, n): decimal rounding of the exact binary value, ties to even.
#include "norvex/common/py_round.hpp"

#include <charconv>
#include <cmath>

namespace norvex {

double py_round(double x, int ndigits) {
    if (!std::isfinite(x) || x == 0.0) return x;
    if (ndigits > 330) return x;  // past the last digit any double has
    if (ndigits < 0) {
        // Rounding to tens, hundreds, ...: exact enough through one scaling.
        double scale = std::pow(10.0, -ndigits);
        if (!std::isfinite(scale)) return std::copysign(0.0, x);
        return std::nearbyint(x / scale) * scale;
    }
    // to_chars with a precision rounds the exact binary value correctly (ties
    // to even), as Python's dtoa does; reading the digits back gives the
    // nearest double, which is what round() returns.
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, ndigits);
    double out = x;
    std::from_chars(buf, res.ptr, out);
    if (out == 0.0) out = std::copysign(0.0, x);
    return out;
}

}  // namespace norvex
