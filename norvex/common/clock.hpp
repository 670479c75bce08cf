// Clocks in seconds as real numbers.
#pragma once

namespace norvex {

// Wall-clock seconds since the Unix epoch (time.time()).
double wall_seconds();

// Seconds on a monotonic clock (time.monotonic()); only differences mean anything.
double monotonic_seconds();

}  // namespace norvex
