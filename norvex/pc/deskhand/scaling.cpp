// The scale factor between screen space and the model's image space.
#include "norvex/pc/deskhand/scaling.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace norvex::pc::deskhand {

double _get_scale_factor(std::int64_t width, std::int64_t height) {
    const std::int64_t long_edge = std::max(width, height);
    const std::int64_t total_pixels = width * height;
    if (long_edge == 0 || total_pixels == 0) throw std::domain_error("division by zero");
    const double long_edge_scale = static_cast<double>(API_MAX_LONG_EDGE) / static_cast<double>(long_edge);
    const double ratio = static_cast<double>(API_MAX_TOTAL_PIXELS) / static_cast<double>(total_pixels);
    if (ratio < 0) throw std::domain_error("math domain error");
    const double total_pixels_scale = std::sqrt(ratio);
    return std::min({1.0, long_edge_scale, total_pixels_scale});
}

}  // namespace norvex::pc::deskhand
