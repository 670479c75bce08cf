// Turning an X image of a TrueColor visual into RGB bytes.
#pragma once

#include "norvex/pc/desktop/desktop.hpp"

#include <X11/Xlib.h>

namespace norvex::pc::x11 {

// The pixels of `image` (24 or 32 bits per pixel, channels placed by the
// masks of `visual`) as an RgbImage. Throws DesktopError for other formats.
RgbImage to_rgb(const XImage& image, const Visual& visual);
// The same into `out`, reusing its buffer when it is large enough.
void to_rgb(const XImage& image, const Visual& visual, RgbImage& out);

}  // namespace norvex::pc::x11
