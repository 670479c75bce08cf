// Scoped X error handlers: protocol errors of requests that may fail, and a broken connection.
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

// While alive, a broken connection to `display` does not end the process:
// Xlib's process-wide I/O error handler (whose default exits) is replaced by
// one that returns for this display, so Xlib goes on to the display's own
// exit handler (set once with XSetIOErrorExitHandler). Xlib sends nothing on
// a broken connection, but it still queues requests in its fixed output
// buffer and fails hard when one no longer fits, so the caller must make no
// more. Breaks of other displays still reach the previous handler.
// Every X11Desktop call that talks to the server holds one.
class IoErrorScope {
public:
    explicit IoErrorScope(Display* display);
    ~IoErrorScope();
    IoErrorScope(const IoErrorScope&) = delete;
    IoErrorScope& operator=(const IoErrorScope&) = delete;

private:
    static int on_io_error(Display* display);

    Display* display_;
    int (*previous_)(Display*) = nullptr;
    IoErrorScope* outer_ = nullptr;
};

// Makes a broken connection to `display` set `*lost` instead of ending the
// process: installs the display's exit handler (XSetIOErrorExitHandler),
// which Xlib calls once a call that holds an IoErrorScope has seen the
// break. After that, make no more requests on the display (see IoErrorScope)
// and only close it; closing may happen on any thread.
void note_connection_loss(Display* display, bool* lost);

}  // namespace norvex::pc::x11
