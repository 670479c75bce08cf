// Wall-clock and monotonic seconds.
#include "norvex/common/clock.hpp"

#include <chrono>

namespace norvex {

double wall_seconds() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

double monotonic_seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace norvex
