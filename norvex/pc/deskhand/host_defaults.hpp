// The real services an executor uses when its options leave them empty.
#pragma once

#include "norvex/pc/deskhand/executor.hpp"

namespace norvex::pc::deskhand {

// "Linux", "Darwin", "Windows": the operating system's name as platform.system() gives it.
std::string this_system_name();
// ~/.norvex ($HOME, else the password database).
std::filesystem::path default_data_dir();
// Sleeps for `seconds` on the steady clock.
void real_sleep(double seconds);
// Opens the X11 desktop of $DISPLAY; throws DesktopError naming the display.
std::unique_ptr<Desktop> open_x11_desktop();
// Opens the Wayland desktop of $WAYLAND_DISPLAY; throws DesktopError naming
// the compositor, and every protocol it lacks.
std::unique_ptr<Desktop> open_wayland_desktop();
// The desktop of this session: $NORVEX_DESKTOP ("x11" or "wayland") when
// set; else Wayland in a Wayland session ($WAYLAND_DISPLAY set and
// $XDG_SESSION_TYPE "wayland" or unset; with a $DISPLAY as well, only when
// the Wayland socket exists), X11 otherwise. A Wayland session
// whose compositor lacks the wlroots protocols gets an error saying so, not
// X11 through XWayland (which would reach only X programs).
std::unique_ptr<Desktop> open_session_desktop();
// Whether open_session_desktop opens the Wayland backend; throws
// DesktopError for a NORVEX_DESKTOP it does not know.
bool session_uses_wayland();
// Fills every empty member of `options` that is still used with its real service (the screen
// size is that of the backend open_session_desktop chooses).
void fill_defaults(DeskhandOptions& options);

}  // namespace norvex::pc::deskhand
