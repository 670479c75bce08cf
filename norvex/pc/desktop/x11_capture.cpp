// X11Desktop: screenshots of the primary output.
#include "norvex/pc/desktop/x11_impl.hpp"

namespace norvex::pc {

void X11Desktop::Impl::release_shm() {}
RgbImage X11Desktop::screenshot() { throw DesktopError("not built yet"); }

}  // namespace norvex::pc
