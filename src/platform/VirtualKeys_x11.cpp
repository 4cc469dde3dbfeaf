#include "platform/VirtualKeys_x11.h"

#include <xkbcommon/xkbcommon-keysyms.h>

namespace platform {

std::vector<std::uint32_t> keysymsForVirtualKey(unsigned vk) {
    // Letters are sent as the unshifted key; Shift is a key of its own.
    if (vk >= 'A' && vk <= 'Z') return {XKB_KEY_a + (vk - 'A')};
    if (vk >= '0' && vk <= '9') return {XKB_KEY_0 + (vk - '0')};
    if (vk >= 0x60 && vk <= 0x69) return {XKB_KEY_KP_0 + (vk - 0x60)};
    if (vk >= 0x70 && vk <= 0x87) return {XKB_KEY_F1 + (vk - 0x70)};
    switch (vk) {
    case 0x03: return {XKB_KEY_Break, XKB_KEY_Cancel};
    case 0x08: return {XKB_KEY_BackSpace};
    case 0x09: return {XKB_KEY_Tab, XKB_KEY_ISO_Left_Tab};
    case 0x0C: return {XKB_KEY_Clear, XKB_KEY_KP_Begin};
    case 0x0D: return {XKB_KEY_Return, XKB_KEY_KP_Enter};
    case 0x10: return {XKB_KEY_Shift_L, XKB_KEY_Shift_R};
    case 0x11: return {XKB_KEY_Control_L, XKB_KEY_Control_R};
    case 0x12: return {XKB_KEY_Alt_L, XKB_KEY_Alt_R, XKB_KEY_Meta_L, XKB_KEY_Meta_R};
    case 0x13: return {XKB_KEY_Pause};
    case 0x14: return {XKB_KEY_Caps_Lock};
    case 0x1B: return {XKB_KEY_Escape};
    case 0x20: return {XKB_KEY_space};
    case 0x21: return {XKB_KEY_Prior};
    case 0x22: return {XKB_KEY_Next};
    case 0x23: return {XKB_KEY_End};
    case 0x24: return {XKB_KEY_Home};
    case 0x25: return {XKB_KEY_Left};
    case 0x26: return {XKB_KEY_Up};
    case 0x27: return {XKB_KEY_Right};
    case 0x28: return {XKB_KEY_Down};
    case 0x2C: return {XKB_KEY_Print};
    case 0x2D: return {XKB_KEY_Insert};
    case 0x2E: return {XKB_KEY_Delete};
    case 0x2F: return {XKB_KEY_Help};
    case 0x5B: return {XKB_KEY_Super_L};
    case 0x5C: return {XKB_KEY_Super_R};
    case 0x5D: return {XKB_KEY_Menu};
    case 0x6A: return {XKB_KEY_KP_Multiply};
    case 0x6B: return {XKB_KEY_KP_Add};
    case 0x6C: return {XKB_KEY_KP_Separator};
    case 0x6D: return {XKB_KEY_KP_Subtract};
    case 0x6E: return {XKB_KEY_KP_Decimal};
    case 0x6F: return {XKB_KEY_KP_Divide};
    case 0x90: return {XKB_KEY_Num_Lock};
    case 0x91: return {XKB_KEY_Scroll_Lock};
    case 0xA0: return {XKB_KEY_Shift_L};
    case 0xA1: return {XKB_KEY_Shift_R};
    case 0xA2: return {XKB_KEY_Control_L};
    case 0xA3: return {XKB_KEY_Control_R};
    case 0xA4: return {XKB_KEY_Alt_L};
    case 0xA5: return {XKB_KEY_Alt_R, XKB_KEY_ISO_Level3_Shift};
    default: return {};
    }
}

}  // namespace platform
