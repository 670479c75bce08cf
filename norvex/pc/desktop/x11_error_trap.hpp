// Catches the X errors of a few requests that may fail, with the host's handler put back afterwards.
#pragma once

#include <X11/Xlib.h>

#include <string>

namespace norvex::pc::x11 {

// While alive, X errors on `display` are recorded instead of reaching the
// process's handler (Xlib's default one ends the process). Construction and
// destruction sync with the server, so every error of the requests made in
// between is seen here and none leaks to the host. Errors of other displays
// still go to the handler that was installed before.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display);
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // Syncs, then tells whether an error arrived since construction.
    bool failed();
    // The first error's description ("BadAccess (attempt to access private resource denied)").
    const std::string& error_text() const noexcept { return text_; }

private:
    static int on_error(Display* display, XErrorEvent* event);

    Display* display_;
    int (*previous_)(Display*, XErrorEvent*) = nullptr;
    ErrorTrap* outer_ = nullptr;
    bool failed_ = false;
    std::string text_;
};

}  // namespace norvex::pc::x11
