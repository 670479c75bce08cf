// ProgramClipboard: the clipboard through xclip, xsel or wl-copy.
#include "norvex/pc/desktop/program_clipboard.hpp"
#include "norvex/pc/desktop/x11_error_trap.hpp"

#include "norvex/common/run_program.hpp"

#include "norvex/common/errors.hpp"
#include "norvex/common/logging.hpp"

#include <X11/Xlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace norvex::pc {

namespace {

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

// Watches who owns the X CLIPBOARD selection. Some programs (xsel) fork
// first and take the selection in the background child after the parent has
// exited; waiting for the owner to change makes set_text return only once a
// paste would get the new text.
class OwnerWatch {
public:
    // An X server that goes away while we watch must not end the process
    // (Xlib's default): the watch then just stops.
    explicit OwnerWatch(const std::optional<std::string>& display)
        : display_(XOpenDisplay(display ? display->c_str() : nullptr)) {
        if (display_ == nullptr) return;
        x11::note_connection_loss(display_, &lost_);
        x11::IoErrorScope io(display_);
        clipboard_ = XInternAtom(display_, "CLIPBOARD", False);
        before_ = XGetSelectionOwner(display_, clipboard_);
    }
    ~OwnerWatch() {
        if (display_ == nullptr) return;
        x11::IoErrorScope io(display_);
        XCloseDisplay(display_);
    }
    OwnerWatch(const OwnerWatch&) = delete;
    OwnerWatch& operator=(const OwnerWatch&) = delete;

    void wait_for_new_owner(double timeout_seconds) {
        if (display_ == nullptr) return;
        x11::IoErrorScope io(display_);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_seconds);
        while (!lost_ && XGetSelectionOwner(display_, clipboard_) == before_) {
            if (std::chrono::steady_clock::now() >= deadline) {
                logging::get("norvex.pc.deskhand")->debug("clipboard owner did not change within {} s", timeout_seconds);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

private:
    Display* display_;
    bool lost_ = false;
    Atom clipboard_ = 0;
    Window before_ = 0;
};

bool serves_x_selection(const std::vector<std::string>& command) {
    return std::filesystem::path(command[0]).filename() != "wl-copy";
}

}  // namespace

ProgramClipboard::ProgramClipboard(std::vector<std::string> command, std::optional<std::string> display)
    : command_(std::move(command)), display_(std::move(display)) {
    if (command_.empty()) throw DesktopError("no clipboard program given: install xclip, xsel or wl-clipboard");
}

void ProgramClipboard::set_text(const std::string& text) {
    std::vector<std::string> env;
    if (display_) env.push_back("DISPLAY=" + *display_);
    std::optional<OwnerWatch> watch;
    if (serves_x_selection(command_)) watch.emplace(display_);
    ProgramRun run;
    try {
        run = run_program(command_, 5.0, {.input = text, .env_overrides = env});
    } catch (const TimeoutError& e) {
        throw DesktopError(std::string(e.what()) + "; check that the display it talks to is responsive");
    } catch (const ProgramError& e) {
        throw DesktopError(e.what());  // a desktop failure to the clipboard's callers, like the rest
    }
    if (run.exit_status != 0) {
        std::string message = command_[0] + " could not set the clipboard (exit " + std::to_string(run.exit_status) + ")";
        if (const std::string why = trimmed(run.err); !why.empty()) message += ": " + why;
        throw DesktopError(message + "; check that DISPLAY names a running X server");
    }
    if (watch) watch->wait_for_new_owner(1.0);
}

std::vector<std::string> find_clipboard_command() {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool on_wayland = wayland != nullptr && *wayland != '\0';
    if (on_wayland) {
        if (auto p = find_program("wl-copy")) return {*p};
    }
    if (auto p = find_program("xclip")) return {*p, "-selection", "clipboard"};
    if (auto p = find_program("xsel")) return {*p, "--clipboard", "--input"};
    if (auto p = find_program("wl-copy")) return {*p};
    return {};
}

std::unique_ptr<ProgramClipboard> make_program_clipboard(std::optional<std::string> display) {
    auto command = find_clipboard_command();
    if (command.empty()) throw DesktopError("no clipboard program found: install xclip, xsel or wl-clipboard");
    return std::make_unique<ProgramClipboard>(std::move(command), std::move(display));
}

}  // namespace norvex::pc
