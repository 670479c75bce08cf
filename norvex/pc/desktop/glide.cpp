// Desktop::glide: the schedule and easing of a timed pointer motion, the same on every backend.
#include "norvex/pc/desktop/desktop.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace norvex::pc {

void Desktop::glide(std::pair<int, int> from, std::pair<int, int> to, double duration_seconds,
                    const std::function<void(int, int)>& step) const {
    using clock = std::chrono::steady_clock;
    const int steps = std::max(1, static_cast<int>(std::lround(duration_seconds / 0.01)));
    const auto start = clock::now();
    for (int i = 1; i < steps; ++i) {
        const double t = static_cast<double>(i) / steps;
        const double eased = t < 0.5 ? 2 * t * t : 1 - std::pow(-2 * t + 2, 2) / 2;
        interruption_point();
        std::this_thread::sleep_until(start + std::chrono::duration<double>(duration_seconds * t));
        step(static_cast<int>(std::lround(from.first + (to.first - from.first) * eased)),
             static_cast<int>(std::lround(from.second + (to.second - from.second) * eased)));
    }
    interruption_point();
    std::this_thread::sleep_until(start + std::chrono::duration<double>(duration_seconds));
}

}  // namespace norvex::pc
