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
// Fills every empty member of `options` with its real service.
void fill_defaults(DeskhandOptions& options);

}  // namespace norvex::pc::deskhand
