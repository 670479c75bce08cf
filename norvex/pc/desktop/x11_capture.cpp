// X11Desktop: screenshots of the primary output, through shared memory when the server offers it.
#include "norvex/pc/desktop/x11_impl.hpp"
#include "norvex/pc/desktop/x11_error_trap.hpp"
#include "norvex/pc/desktop/x11_pixels.hpp"

#include "norvex/common/logging.hpp"

#include <sys/ipc.h>
#include <sys/shm.h>

namespace norvex::pc {

namespace {

bool same_size(const XImage* image, const ScreenRect& rect) {
    return image != nullptr && image->width == rect.width && image->height == rect.height;
}

}  // namespace

void X11Desktop::Impl::release_shm() {
    if (shm_image == nullptr) return;
    // A lost connection is not told: its server has gone, and the segment,
    // marked for removal when it was made, goes with our own detach below.
    if (!lost) {
        XShmDetach(display, &shm_info);
        XSync(display, False);
    }
    // The image's pixels are the segment's, not Xlib's to free.
    shm_image->data = nullptr;
    XDestroyImage(shm_image);
    shm_image = nullptr;
    shmdt(shm_info.shmaddr);
    shm_info = XShmSegmentInfo{};
}

namespace {

// Makes (or remakes, after a size change) the shared image for `rect`; false
// when the server cannot share memory with us (a remote display, say).
bool prepare_shm(X11Desktop::Impl& impl, const ScreenRect& rect) {
    if (!impl.shm_tried) {
        impl.shm_tried = true;
        impl.shm_usable = XShmQueryExtension(impl.display) == True;
    }
    if (!impl.shm_usable) return false;
    if (same_size(impl.shm_image, rect)) return true;
    impl.release_shm();

    Display* d = impl.display;
    XImage* image = XShmCreateImage(d, DefaultVisual(d, impl.screen), static_cast<unsigned>(DefaultDepth(d, impl.screen)),
                                    ZPixmap, nullptr, &impl.shm_info, static_cast<unsigned>(rect.width),
                                    static_cast<unsigned>(rect.height));
    if (image == nullptr) return impl.shm_usable = false;
    impl.shm_info.shmid = shmget(IPC_PRIVATE, static_cast<std::size_t>(image->bytes_per_line) * image->height, IPC_CREAT | 0600);
    if (impl.shm_info.shmid < 0) {
        XDestroyImage(image);
        return impl.shm_usable = false;
    }
    void* address = shmat(impl.shm_info.shmid, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(impl.shm_info.shmid, IPC_RMID, nullptr);
        XDestroyImage(image);
        return impl.shm_usable = false;
    }
    impl.shm_info.shmaddr = image->data = static_cast<char*>(address);
    impl.shm_info.readOnly = False;

    bool attached = false;
    {
        x11::ErrorTrap trap(d);
        attached = XShmAttach(d, &impl.shm_info) == True && !trap.failed();
    }
    // Marked for removal now, so the segment goes away with the last detach
    // even if this process dies without cleaning up.
    shmctl(impl.shm_info.shmid, IPC_RMID, nullptr);
    if (!attached) {
        logging::get("norvex.pc.deskhand")->debug("X shared memory refused; screenshots go through XGetImage");
        image->data = nullptr;
        XDestroyImage(image);
        shmdt(address);
        impl.shm_info = XShmSegmentInfo{};
        return impl.shm_usable = false;
    }
    impl.shm_image = image;
    return true;
}

}  // namespace

RgbImage X11Desktop::screenshot() {
    RgbImage out;
    screenshot_into(out);
    return out;
}

void X11Desktop::screenshot_into(RgbImage& out) {
    x11::CallScope call(*impl_);
    Impl& impl = *impl_;
    Display* d = impl.display;
    const ScreenRect rect = impl.screen_space();
    const Visual* visual = DefaultVisual(d, impl.screen);
    if (visual->c_class != TrueColor)
        throw DesktopError("the X screen's visual is not TrueColor; screenshots need a 24- or 32-bit TrueColor screen");

    if (prepare_shm(impl, rect)) {
        x11::ErrorTrap trap(d);
        const bool ok = XShmGetImage(d, impl.root, impl.shm_image, rect.x, rect.y, AllPlanes) == True;
        if (ok && !trap.failed()) {
            x11::to_rgb(*impl.shm_image, *visual, out);
            return;
        }
    }
    // The shared image may have failed because the server went away.
    impl.check_alive();

    XImage* image = nullptr;
    std::string error;
    {
        x11::ErrorTrap trap(d);
        image = XGetImage(d, impl.root, rect.x, rect.y, static_cast<unsigned>(rect.width),
                          static_cast<unsigned>(rect.height), AllPlanes, ZPixmap);
        if (trap.failed()) error = trap.error_text();
    }
    impl.check_alive();
    if (image == nullptr)
        throw DesktopError("cannot capture the X screen" + (error.empty() ? std::string() : " (" + error + ")") +
                           "; check that the display is still running");
    try {
        x11::to_rgb(*image, *visual, out);
        XDestroyImage(image);
    } catch (...) {
        XDestroyImage(image);
        throw;
    }
}

}  // namespace norvex::pc
