// WaylandDesktop: screenshots of the driven output through wlr-screencopy into a shared-memory buffer.
#include "norvex/pc/desktop/wayland_impl.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace norvex::pc {

namespace {

using Impl = WaylandDesktop::Impl;

// What the compositor says of one capture.
struct Frame {
    bool shm_offered = false;
    std::uint32_t format = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t stride = 0;
    bool offers_done = false;
    std::uint32_t flags = 0;
    bool ready = false;
    bool failed = false;
};

void frame_buffer(void* data, zwlr_screencopy_frame_v1*, std::uint32_t format, std::uint32_t width, std::uint32_t height,
                  std::uint32_t stride) {
    auto* f = static_cast<Frame*>(data);
    if (f->shm_offered) return;
    *f = Frame{true, format, width, height, stride, f->offers_done, f->flags, false, false};
}
void frame_flags(void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags) { static_cast<Frame*>(data)->flags = flags; }
void frame_ready(void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {
    static_cast<Frame*>(data)->ready = true;
}
void frame_failed(void* data, zwlr_screencopy_frame_v1*) { static_cast<Frame*>(data)->failed = true; }
void frame_damage(void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void frame_dmabuf(void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {}
void frame_buffer_done(void* data, zwlr_screencopy_frame_v1*) { static_cast<Frame*>(data)->offers_done = true; }

const zwlr_screencopy_frame_v1_listener FRAME_LISTENER = {frame_buffer, frame_flags,  frame_ready,      frame_failed,
                                                          frame_damage, frame_dmabuf, frame_buffer_done};

// Destroys the frame however the capture ends; events still on their way are dropped with it.
struct FrameGuard {
    zwlr_screencopy_frame_v1* frame;
    ~FrameGuard() { zwlr_screencopy_frame_v1_destroy(frame); }
};

// Byte offsets of red, green and blue in one 4-byte pixel of the shm formats we read.
struct Layout {
    int r, g, b;
};

std::optional<Layout> layout_of(std::uint32_t format) {
    switch (format) {
        case WL_SHM_FORMAT_ARGB8888:
        case WL_SHM_FORMAT_XRGB8888: return Layout{2, 1, 0};  // little-endian B, G, R, X
        case WL_SHM_FORMAT_ABGR8888:
        case WL_SHM_FORMAT_XBGR8888: return Layout{0, 1, 2};  // R, G, B, X
        default: return std::nullopt;
    }
}

std::string output_label(const Impl& impl, const wl::Output& o) {
    return "output " + (o.name.empty() ? std::string("of the Wayland compositor") : "'" + o.name + "'") + " of '" +
           impl.name + "'";
}

// The buffer for `frame`'s offer, reusing the last one when it matches.
void prepare_buffer(Impl& impl, const Frame& frame) {
    wl::ShmBuffer& b = impl.capture;
    if (b.buffer != nullptr && b.format == frame.format && b.width == static_cast<int>(frame.width) &&
        b.height == static_cast<int>(frame.height) && b.stride == static_cast<int>(frame.stride))
        return;
    b.release();
    const std::size_t size = static_cast<std::size_t>(frame.stride) * frame.height;
    const int fd = memfd_create("norvex-screencopy", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) {
        const int error = errno;
        if (fd >= 0) close(fd);
        throw DesktopError(std::string("cannot make shared memory for a screenshot: ") + std::strerror(error) +
                           "; check the memory limits of this process");
    }
    void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
        const int error = errno;
        close(fd);
        throw DesktopError(std::string("cannot map shared memory for a screenshot: ") + std::strerror(error) +
                           "; check the memory limits of this process");
    }
    wl_shm_pool* pool = wl_shm_create_pool(impl.shm, fd, static_cast<std::int32_t>(size));
    b.buffer = wl_shm_pool_create_buffer(pool, 0, static_cast<std::int32_t>(frame.width), static_cast<std::int32_t>(frame.height),
                                         static_cast<std::int32_t>(frame.stride), frame.format);
    // The buffer keeps the pool's memory; the pool and our descriptor are no longer needed.
    wl_shm_pool_destroy(pool);
    close(fd);
    b.data = data;
    b.size = size;
    b.format = frame.format;
    b.width = static_cast<int>(frame.width);
    b.height = static_cast<int>(frame.height);
    b.stride = static_cast<int>(frame.stride);
}

void to_rgb(const wl::ShmBuffer& b, Layout layout, bool flipped, RgbImage& out) {
    out.width = b.width;
    out.height = b.height;
    out.pixels.resize(static_cast<std::size_t>(b.width) * b.height * 3);
    const auto* base = static_cast<const std::uint8_t*>(b.data);
    for (int y = 0; y < b.height; ++y) {
        const std::uint8_t* src = base + static_cast<std::size_t>(flipped ? b.height - 1 - y : y) * b.stride;
        std::uint8_t* dst = out.pixels.data() + static_cast<std::size_t>(y) * b.width * 3;
        for (int x = 0; x < b.width; ++x) {
            dst[3 * x] = src[4 * x + layout.r];
            dst[3 * x + 1] = src[4 * x + layout.g];
            dst[3 * x + 2] = src[4 * x + layout.b];
        }
    }
}

}  // namespace

RgbImage WaylandDesktop::screenshot() {
    RgbImage out;
    screenshot_into(out);
    return out;
}

void WaylandDesktop::screenshot_into(RgbImage& out) {
    wl::begin_call(*impl_);
    Impl& impl = *impl_;
    const wl::Output& o = impl.current_output();
    Frame frame;
    FrameGuard guard{zwlr_screencopy_manager_v1_capture_output(impl.screencopy, 0, o.output)};
    zwlr_screencopy_frame_v1_add_listener(guard.frame, &FRAME_LISTENER, &frame);
    // Version 3 lists every buffer kind and then says it is done; older ones offer only shared memory.
    impl.dispatch_until([&] { return frame.failed || (impl.screencopy_version >= 3 ? frame.offers_done : frame.shm_offered); },
                        "a screenshot's buffer description");
    if (frame.failed)
        throw DesktopError("the compositor refused to capture the " + output_label(impl, o) +
                           "; check that the output is on and that screen capture is allowed");
    if (!frame.shm_offered)
        throw DesktopError("the compositor offers no shared-memory buffer to capture the " + output_label(impl, o) +
                           " into; this compositor cannot be captured by norvex");
    const auto layout = layout_of(frame.format);
    if (!layout || frame.stride < frame.width * 4)
        throw DesktopError("the compositor captures the " + output_label(impl, o) + " in pixel format 0x" +
                           [&] { char s[16]; std::snprintf(s, sizeof s, "%08x", frame.format); return std::string(s); }() +
                           ", which norvex cannot read (it reads 32-bit RGB formats)");
    prepare_buffer(impl, frame);
    zwlr_screencopy_frame_v1_copy(guard.frame, impl.capture.buffer);
    impl.dispatch_until([&] { return frame.ready || frame.failed; }, "a screenshot");
    if (frame.failed)
        throw DesktopError("the compositor failed to copy the " + output_label(impl, o) +
                           " (its size may have just changed); take the screenshot again");
    to_rgb(impl.capture, *layout, (frame.flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0, out);
}

}  // namespace norvex::pc
