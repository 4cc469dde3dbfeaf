// Auto-type on X11 (platform/AutoTypeDesktop_x11.cpp, built with
// KEYHOLD_WITH_X11 defined): the Linux build asks for it once, when the
// services are first made (as the library is loaded), and types through it
// when it is there.
#pragma once

namespace platform {

class AutoTypeDesktop;

// The X11 desktop; null when there is no X display to reach (DISPLAY unset,
// or the server refuses the connection), and the Linux build then works
// without a hot key. Made once and kept for the life of the process.
AutoTypeDesktop* x11AutoTypeDesktop();

}  // namespace platform
