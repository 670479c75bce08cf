// The smallest-at-reasonable-cost PNG encoder behind PngEffort::small.
#pragma once

#include "norvex/pc/desktop/desktop.hpp"

#include <string>

namespace norvex::pc::deskhand {

// libdeflate's level: 8 keeps a busy 1429x804 screen below zlib's level 9
// output at a fraction of its time; 10 and up switch to near-optimal
// parsing, some 8% smaller again but several times slower.
inline constexpr int SMALL_PNG_LEVEL = 8;

std::string encode_png_small(const RgbImage& image);

}  // namespace norvex::pc::deskhand
