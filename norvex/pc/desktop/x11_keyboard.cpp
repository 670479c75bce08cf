// X11Desktop: key presses, hotkeys and typed text.
#include "norvex/pc/desktop/x11_impl.hpp"

namespace norvex::pc {

void X11Desktop::press(const std::string&) { throw DesktopError("not built yet"); }
void X11Desktop::hotkey(const std::vector<std::string>&) { throw DesktopError("not built yet"); }
void X11Desktop::key_down(const std::string&) { throw DesktopError("not built yet"); }
void X11Desktop::key_up(const std::string&) { throw DesktopError("not built yet"); }
void X11Desktop::write(const std::string&, double) { throw DesktopError("not built yet"); }

}  // namespace norvex::pc
