// The X11 desktop for auto-type (Linux): see platform/AutoTypeDesktop.h.
#pragma once

#include <memory>

#include "platform/AutoTypeDesktop.h"

namespace platform {

// The desktop of the X display named by DISPLAY; null when there is none
// (DISPLAY unset, or the display cannot be opened), which the log says once:
// then there is no hot key. In a Wayland session the log says once that the
// hot key and the typing reach X11 (XWayland) windows only.
std::unique_ptr<AutoTypeDesktop> makeX11AutoTypeDesktop();

}  // namespace platform
