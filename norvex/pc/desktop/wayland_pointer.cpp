// WaylandDesktop: pointer actions through a virtual pointer mapped to the driven output.
#include "norvex/pc/desktop/wayland_impl.hpp"

#include <linux/input-event-codes.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

namespace norvex::pc {

namespace {

using Impl = WaylandDesktop::Impl;

std::uint32_t evdev_button(MouseButton button) {
    switch (button) {
        case MouseButton::left: return BTN_LEFT;
        case MouseButton::middle: return BTN_MIDDLE;
        case MouseButton::right: return BTN_RIGHT;
    }
    return BTN_LEFT;
}

// One wheel step as libinput reports a mouse wheel's click, so clients
// scroll by it as they would for a real wheel.
constexpr double WHEEL_STEP = 15.0;

// Puts the pointer on pixel (x, y) of the output's screenshots.
void motion(Impl& impl, int x, int y) {
    zwlr_virtual_pointer_v1* device = impl.pointer_device();
    const wl::Output& o = impl.current_output();
    const int width = o.pixel_width();
    const int height = o.pixel_height();
    x = std::clamp(x, 0, width - 1);
    y = std::clamp(y, 0, height - 1);
    if (impl.pointer_output != nullptr) {
        // Mapped to the output: the extent is the output, in the screenshot's pixels.
        zwlr_virtual_pointer_v1_motion_absolute(device, Impl::now_ms(), static_cast<std::uint32_t>(x),
                                                static_cast<std::uint32_t>(y), static_cast<std::uint32_t>(width),
                                                static_cast<std::uint32_t>(height));
    } else {
        // An older compositor maps the extent to the whole layout: place the
        // point there, in layout units.
        int left = o.x, top = o.y, right = o.x + o.layout_width(), bottom = o.y + o.layout_height();
        for (const auto& other : impl.outputs) {
            left = std::min(left, other->x);
            top = std::min(top, other->y);
            right = std::max(right, other->x + other->layout_width());
            bottom = std::max(bottom, other->y + other->layout_height());
        }
        const long lx = o.x + std::lround(static_cast<double>(x) * o.layout_width() / width) - left;
        const long ly = o.y + std::lround(static_cast<double>(y) * o.layout_height() / height) - top;
        zwlr_virtual_pointer_v1_motion_absolute(device, Impl::now_ms(), static_cast<std::uint32_t>(lx),
                                                static_cast<std::uint32_t>(ly), static_cast<std::uint32_t>(right - left),
                                                static_cast<std::uint32_t>(bottom - top));
    }
    zwlr_virtual_pointer_v1_frame(device);
    impl.pointer_at = {x, y};
}

void button(Impl& impl, MouseButton which, bool down) {
    zwlr_virtual_pointer_v1* device = impl.pointer_device();
    zwlr_virtual_pointer_v1_button(device, Impl::now_ms(), evdev_button(which),
                                   down ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
    zwlr_virtual_pointer_v1_frame(device);
}

}  // namespace

zwlr_virtual_pointer_v1* Impl::pointer_device() {
    wl::Output& o = current_output();
    if (pointer != nullptr && (pointer_output == &o || pointer_manager_version < 2)) return pointer;
    if (pointer != nullptr) zwlr_virtual_pointer_v1_destroy(pointer);
    if (pointer_manager_version >= 2) {
        pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer_with_output(pointer_manager, seat, o.output);
        pointer_output = &o;
    } else {
        pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointer_manager, seat);
        pointer_output = nullptr;
    }
    return pointer;
}

void WaylandDesktop::move_to(int x, int y, double duration_seconds) {
    wl::begin_call(*impl_);
    if (duration_seconds > 0) {
        glide(position(), {x, y}, duration_seconds, [&](int px, int py) {
            motion(*impl_, px, py);
            impl_->flush();
        });
    }
    motion(*impl_, x, y);
    impl_->roundtrip();
}

void WaylandDesktop::click(int x, int y, int clicks, MouseButton which) {
    wl::begin_call(*impl_);
    motion(*impl_, x, y);
    for (int i = 0; i < clicks; ++i) {
        button(*impl_, which, true);
        button(*impl_, which, false);
    }
    impl_->roundtrip();
}

void WaylandDesktop::mouse_down(MouseButton which) {
    wl::begin_call(*impl_);
    button(*impl_, which, true);
    impl_->roundtrip();
}

void WaylandDesktop::mouse_up(MouseButton which) {
    wl::begin_call(*impl_);
    button(*impl_, which, false);
    impl_->roundtrip();
}

std::pair<int, int> WaylandDesktop::position() {
    wl::begin_call(*impl_);
    // Nothing to ask the compositor, but a round trip all the same: a lost
    // connection shows here as it does on X11, where this is a query.
    impl_->roundtrip();
    if (impl_->pointer_at.first >= 0) return impl_->pointer_at;
    const wl::Output& o = impl_->current_output();
    return {o.pixel_width() / 2, o.pixel_height() / 2};
}

void WaylandDesktop::wheel(bool horizontal, int steps) {
    wl::begin_call(*impl_);
    zwlr_virtual_pointer_v1* device = impl_->pointer_device();
    const std::uint32_t axis = horizontal ? WL_POINTER_AXIS_HORIZONTAL_SCROLL : WL_POINTER_AXIS_VERTICAL_SCROLL;
    // Our steps are positive up and right; Wayland's axes grow down and right.
    const int sign = (steps > 0) == horizontal ? 1 : -1;
    const long count = std::labs(static_cast<long>(steps));
    for (long i = 0; i < count; ++i) {
        interruption_point();
        zwlr_virtual_pointer_v1_axis_source(device, WL_POINTER_AXIS_SOURCE_WHEEL);
        zwlr_virtual_pointer_v1_axis_discrete(device, Impl::now_ms(), axis, wl_fixed_from_double(sign * WHEEL_STEP), sign);
        zwlr_virtual_pointer_v1_frame(device);
        impl_->flush();
    }
    impl_->roundtrip();
}

void WaylandDesktop::scroll(int steps) { wheel(false, steps); }

void WaylandDesktop::hscroll(int steps) { wheel(true, steps); }

}  // namespace norvex::pc
