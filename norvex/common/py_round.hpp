// round(x, n) as Python computes it.
#pragma once

namespace norvex {

// The double nearest to x rounded to n decimal places, the rounding done on
// x's exact binary value with ties to even (round(2.675, 2) == 2.67,
// round(0.125, 2) == 0.12). Infinities and NaN come back unchanged.
double py_round(double x, int ndigits);

}  // namespace norvex
