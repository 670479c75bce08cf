// Finds the primary output through XRandR, falling back to the whole screen.
#include "norvex/pc/desktop/x11_screen.hpp"

#include <X11/extensions/Xrandr.h>

#include <optional>

namespace norvex::pc::x11 {

namespace {

std::optional<ScreenRect> randr_primary(Display* display, Window root) {
    int event_base = 0;
    int error_base = 0;
    if (!XRRQueryExtension(display, &event_base, &error_base)) return std::nullopt;
    int major = 0;
    int minor = 0;
    // Primary outputs came with RandR 1.3.
    if (!XRRQueryVersion(display, &major, &minor) || major < 1 || (major == 1 && minor < 3)) return std::nullopt;

    const RROutput primary = XRRGetOutputPrimary(display, root);
    if (primary == 0) return std::nullopt;
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root);
    if (resources == nullptr) return std::nullopt;

    std::optional<ScreenRect> rect;
    if (XRROutputInfo* output = XRRGetOutputInfo(display, resources, primary)) {
        if (output->connection == RR_Connected && output->crtc != 0) {
            if (XRRCrtcInfo* crtc = XRRGetCrtcInfo(display, resources, output->crtc)) {
                if (crtc->mode != 0 && crtc->width > 0 && crtc->height > 0)
                    rect = ScreenRect{crtc->x, crtc->y, static_cast<int>(crtc->width), static_cast<int>(crtc->height)};
                XRRFreeCrtcInfo(crtc);
            }
        }
        XRRFreeOutputInfo(output);
    }
    XRRFreeScreenResources(resources);
    return rect;
}

}  // namespace

ScreenRect primary_output_rect(Display* display) {
    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    if (auto rect = randr_primary(display, root)) return *rect;
    return ScreenRect{0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)};
}

}  // namespace norvex::pc::x11
