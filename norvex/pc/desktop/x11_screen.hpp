// The primary output's rectangle of an X display.
#pragma once

#include "norvex/pc/desktop/x11_desktop.hpp"

#include <X11/Xlib.h>

namespace norvex::pc::x11 {

// The primary output's rectangle when XRandR names one with an active mode,
// else the whole default screen.
ScreenRect primary_output_rect(Display* display);

}  // namespace norvex::pc::x11
