// A window showing a photo-like picture (smooth colour fields, soft shapes, grain), for busy benchmark screens.
//
//   screen_painter X Y WIDTH HEIGHT SEED   (DISPLAY names the server; runs until killed)
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: screen_painter X Y WIDTH HEIGHT SEED\n");
        return 2;
    }
    const int x = std::atoi(argv[1]), y = std::atoi(argv[2]);
    const int w = std::atoi(argv[3]), h = std::atoi(argv[4]);
    const unsigned seed = static_cast<unsigned>(std::atoi(argv[5]));
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "screen_painter: cannot open display %s\n", XDisplayName(nullptr));
        return 1;
    }
    const int screen = DefaultScreen(dpy);
    XSetWindowAttributes attrs{};
    attrs.override_redirect = True;  // no window manager: place it exactly
    attrs.background_pixel = BlackPixel(dpy, screen);
    Window win = XCreateWindow(dpy, RootWindow(dpy, screen), x, y, w, h, 0, CopyFromParent, InputOutput,
                               CopyFromParent, CWOverrideRedirect | CWBackPixel, &attrs);
    XSelectInput(dpy, win, ExposureMask);
    XMapRaised(dpy, win);

    // A 24-bit TrueColor picture: a few overlapping soft blobs over a sky
    // gradient, with sensor-like grain, as a photo in a browser would look.
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::normal_distribution<double> grain(0.0, 6.0);
    struct Blob {
        double cx, cy, r, red, green, blue;
    };
    Blob blobs[7];
    for (auto& b : blobs) b = {u(gen) * w, u(gen) * h, (0.1 + 0.3 * u(gen)) * w, u(gen) * 255, u(gen) * 255, u(gen) * 255};
    char* data = static_cast<char*>(std::malloc(static_cast<std::size_t>(w) * h * 4));
    for (int j = 0; j < h; ++j) {
        for (int i = 0; i < w; ++i) {
            double r = 90 + 80.0 * j / h, g = 140 + 60.0 * j / h, b = 220 - 40.0 * j / h;
            for (const auto& bl : blobs) {
                const double d = std::hypot(i - bl.cx, j - bl.cy) / bl.r;
                const double a = std::exp(-d * d * 2.0);
                r = r * (1 - a) + bl.red * a;
                g = g * (1 - a) + bl.green * a;
                b = b * (1 - a) + bl.blue * a;
            }
            auto clamp = [](double v) { return static_cast<std::uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
            const std::uint32_t px = (clamp(r + grain(gen)) << 16) | (clamp(g + grain(gen)) << 8) | clamp(b + grain(gen));
            std::memcpy(data + (static_cast<std::size_t>(j) * w + i) * 4, &px, 4);
        }
    }
    XImage* img = XCreateImage(dpy, DefaultVisual(dpy, screen), 24, ZPixmap, 0, data, w, h, 32, 0);
    GC gc = XCreateGC(dpy, win, 0, nullptr);
    for (;;) {
        XEvent ev;
        XNextEvent(dpy, &ev);
        if (ev.type == Expose && ev.xexpose.count == 0) {
            XPutImage(dpy, win, gc, img, 0, 0, 0, 0, w, h);
            XFlush(dpy);
        }
    }
}
