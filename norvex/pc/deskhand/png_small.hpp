// The smallest-at-reasonable-cost PNG encoder behind PngEffort::small.
#pragma once

#include "norvex/pc/desktop/desktop.hpp"

#include <memory>
#include <string>

namespace norvex::pc::deskhand {

// libdeflate's level, measured on busy 1429x804 screens: 5 is as small as
// 6 to 9 there (and below zlib's level 9 with the usual filter choice) at
// about half the time of 9; 10 and up switch to near-optimal parsing, some
// 8% smaller again but several times slower than everything else together.
inline constexpr int SMALL_PNG_LEVEL = 5;

std::string encode_png_small(const RgbImage& image);

// Throws std::invalid_argument for an image no PNG can hold: empty, or with
// a pixel buffer that does not match its size.
void check_encodable(const RgbImage& image);

// The same for image after image: the compressor, the filtered rows and the
// compressed stream stay allocated between calls, and `png` is refilled.
class SmallPngEncoder {
public:
    SmallPngEncoder();
    ~SmallPngEncoder();
    SmallPngEncoder(const SmallPngEncoder&) = delete;
    SmallPngEncoder& operator=(const SmallPngEncoder&) = delete;

    void encode(const RgbImage& image, std::string& png);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace norvex::pc::deskhand
