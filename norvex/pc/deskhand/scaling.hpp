// The two coordinate spaces of the computer-use tool: the limits of the model's images and the factor between them.
#pragma once

#include <cstdint>

namespace norvex::pc::deskhand {

// Largest long edge of an image sent to the model, in pixels.
inline constexpr std::int64_t API_MAX_LONG_EDGE = 1568;
// Largest pixel count (width x height) of an image sent to the model.
inline constexpr std::int64_t API_MAX_TOTAL_PIXELS = 1150000;

// Screen size used wherever detection fails.
inline constexpr std::int64_t FALLBACK_SCREEN_WIDTH = 1920;
inline constexpr std::int64_t FALLBACK_SCREEN_HEIGHT = 1080;

// The factor (never above 1.0) that brings a width x height screen within
// both limits. A zero size throws std::domain_error("division by zero"), a
// negative pixel count std::domain_error("math domain error"), as Python's
// arithmetic would.
double _get_scale_factor(std::int64_t width, std::int64_t height);

}  // namespace norvex::pc::deskhand
