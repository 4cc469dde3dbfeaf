// Synthesised keyboard input: the keyboard layout's keys for characters,
// key events sent to the window that has the focus, and the few window and
// system services the key sender needs around them (pauses, beeps, finding
// and activating a window).
#pragma once
#include <cstdint>

#include "platform/Desktop.h"

namespace platform {

// Flags of a key event, with the values of the Windows keyboard input.
constexpr unsigned kKeyExtended = 0x0001;  // an extended key (arrows, Home, Delete...)
constexpr unsigned kKeyUp = 0x0002;        // the key goes up (else down)

// Shift-state bits of a layout's key for a character (high byte of the value).
constexpr std::uint16_t kShiftBit = 0x0100;
constexpr std::uint16_t kCtrlBit = 0x0200;
constexpr std::uint16_t kAltBit = 0x0400;

// What the layout gives for a character it has no key for.
constexpr std::uint16_t kNoKey = 0xFFFF;

class KeyInput {
public:
    virtual ~KeyInput() = default;
    // The active layout's key for a character: low byte the virtual key,
    // high byte the shift state (bit 0 Shift, bit 1 Ctrl, bit 2 Alt);
    // kNoKey when the layout cannot type it.
    virtual std::uint16_t keyForCharacter(char c) = 0;
    // The layout's scan code of a virtual key (0 when it has none).
    virtual std::uint16_t scanCode(std::uint8_t vk) = 0;
    // Sends one key event (flags: kKeyExtended, kKeyUp) to the focused window's
    // input queue; false when the system refused it.
    virtual bool sendKeyEvent(std::uint8_t vk, std::uint16_t scan, unsigned flags) = 0;
    // The system version value: below 0x80000000 on the NT family.
    virtual std::uint32_t systemVersion() = 0;
    virtual void beep(unsigned frequency, unsigned milliseconds) = 0;
    virtual void sleep(unsigned milliseconds) = 0;
    // Takes every pending keyboard message from the calling thread's queue,
    // translates it and dispatches it.
    virtual void pumpKeyboardMessages() = 0;
    // A top-level window whose class and title equal the given ones (null
    // arguments match any); null when there is none.
    virtual WindowHandle findWindow(const char* windowClass, const char* title) = 0;
    // The first top-level window whose class name holds `windowClass` or whose
    // title holds `title` (case-sensitive; null or empty arguments take no
    // part; names are read with 300-byte buffers); null when there is none.
    virtual WindowHandle findWindowContaining(const char* windowClass, const char* title) = 0;
    // Restores the window, shows it, brings it to the foreground and gives it
    // the focus.
    virtual void activateWindow(WindowHandle window) = 0;
};

}  // namespace platform
