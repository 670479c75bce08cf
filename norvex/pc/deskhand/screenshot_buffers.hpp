// What the screenshot action keeps from one call to the next.
#pragma once

#include "norvex/pc/deskhand/image_codec.hpp"
#include "norvex/pc/deskhand/png_small.hpp"

#include <string>

namespace norvex::pc::deskhand {

// A screenshot passes through some 20 MB of images and buffers. Made and
// freed on every call, that memory went back to the system each time (the
// allocator trims the top of its heap once that much is free) and came back
// as thousands of page faults on the next call, which doubled the action's
// time on a virtual machine. Kept here, it stays mapped.
struct ScreenshotBuffers {
    RgbImage screen;  // the capture, screen size
    RgbImage api;     // shrunk to the model's size
    BicubicResizer resizer;
    SmallPngEncoder encoder;
    std::string png;
};

}  // namespace norvex::pc::deskhand
