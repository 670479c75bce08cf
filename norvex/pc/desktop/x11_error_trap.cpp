// Scoped X error handlers: recording protocol errors, surviving a broken connection.
#include "norvex/pc/desktop/x11_error_trap.hpp"

namespace norvex::pc::x11 {

namespace {
// The innermost live trap of this thread; Xlib calls the handler without a
// user pointer, so the trap is found through here.
thread_local ErrorTrap* current_trap = nullptr;
}  // namespace

ErrorTrap::ErrorTrap(Display* display) : display_(display) {
    // Errors of earlier requests belong to whoever made them, not to us.
    XSync(display_, False);
    outer_ = current_trap;
    current_trap = this;
    previous_ = XSetErrorHandler(&ErrorTrap::on_error);
}

ErrorTrap::~ErrorTrap() {
    XSync(display_, False);
    XSetErrorHandler(previous_);
    current_trap = outer_;
}

bool ErrorTrap::failed() {
    XSync(display_, False);
    return failed_;
}

int ErrorTrap::on_error(Display* display, XErrorEvent* event) {
    ErrorTrap* trap = current_trap;
    while (trap != nullptr && trap->display_ != display) trap = trap->outer_;
    if (trap == nullptr) {
        // Not ours: hand it to the handler that was there before the outermost trap.
        ErrorTrap* outermost = current_trap;
        while (outermost != nullptr && outermost->outer_ != nullptr) outermost = outermost->outer_;
        if (outermost != nullptr && outermost->previous_ != nullptr) return outermost->previous_(display, event);
        return 0;
    }
    if (!trap->failed_) {
        char buffer[256] = {};
        XGetErrorText(display, event->error_code, buffer, sizeof buffer);
        trap->text_ = buffer;
        trap->failed_ = true;
    }
    return 0;
}

namespace {
thread_local IoErrorScope* current_io_scope = nullptr;
}  // namespace

IoErrorScope::IoErrorScope(Display* display) : display_(display) {
    outer_ = current_io_scope;
    current_io_scope = this;
    previous_ = XSetIOErrorHandler(&IoErrorScope::on_io_error);
}

IoErrorScope::~IoErrorScope() {
    XSetIOErrorHandler(previous_);
    current_io_scope = outer_;
}

int IoErrorScope::on_io_error(Display* display) {
    for (IoErrorScope* scope = current_io_scope; scope != nullptr; scope = scope->outer_)
        if (scope->display_ == display) return 0;  // ours: the display's exit handler takes over
    IoErrorScope* outermost = current_io_scope;
    while (outermost != nullptr && outermost->outer_ != nullptr) outermost = outermost->outer_;
    if (outermost != nullptr && outermost->previous_ != nullptr) return outermost->previous_(display);
    return 0;
}

void note_connection_loss(Display* display, bool* lost) {
    XSetIOErrorExitHandler(
        display,
        [](Display* broken, void* flag) {
            *static_cast<bool*>(flag) = true;
            // Xlib takes the display's user lock for the exit it expects and
            // keeps it when this handler returns instead: any other thread
            // then touching the display (one closing it, say) would wait for
            // it for ever. This is the thread that holds it, so it hands it
            // back. (A no-op where Xlib took no lock.)
            XUnlockDisplay(broken);
        },
        lost);
}

}  // namespace norvex::pc::x11
