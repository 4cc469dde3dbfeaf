// The keysyms that stand for a key of the key-sequence numbering (Windows'
// virtual keys, listed in platform/AutoTypeDesktop.h) on an X11 keyboard:
// the first is the one sent, the others are looked for when the key is asked
// about (a right-hand twin, a second name for the same key). Empty for a code
// that has no key on X11.
#pragma once

#include <cstdint>
#include <vector>

namespace platform {

std::vector<std::uint32_t> keysymsForVirtualKey(unsigned virtualKey);

}  // namespace platform
