// Synthesised keyboard input: the keyboard layout's keys for characters,
// key events sent to the window that has the focus, and the few window and
// system services the key sender needs around them (pauses, beeps, finding
// and activating a window).
//
// A service of the Win32 desktop of auto-type alone (platform/Win32AutoType.h):
// the key sender reaches the keyboard through platform::AutoTypeDesktop.
// Windows: platform/KeyInput_win32.cpp. Tests: platform/KeyInput_memory.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Desktop.h"

namespace platform {

// Flags of a key event, with the values of the Windows keyboard input.
constexpr unsigned kKeyExtended = 0x0001;  // an extended key (arrows, Home, Delete...)
constexpr unsigned kKeyUp = 0x0002;        // the key goes up (else down)
// The event carries a UTF-16 code unit in place of the scan code, and no
// virtual key: the window receives that character whatever the layout.
constexpr unsigned kKeyUnicode = 0x0004;

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
    // high byte the shift state (bit 0 Shift, bit 1 Ctrl, bit 2 Alt; other
    // bits are states such as Kana that no modifier key gives); kNoKey when
    // the layout cannot type it. The active layout is that of the window in
    // front, which receives the keys.
    virtual std::uint16_t keyForCharacter(char c) = 0;
    // Whether that key, in that shift state, is a dead key of the active
    // layout: pressed, it types nothing and changes the character of the
    // key after it (a circumflex over the next letter, say). Asking does not
    // leave a pending dead key behind.
    virtual bool isDeadKey(std::uint16_t key) = 0;
    // The UTF-16 code units of the character that begins at `at` in text of
    // the ANSI code page (two bytes for a lead byte of a double-byte code
    // page); `length` receives its length in bytes. Empty when the bytes
    // name no character.
    virtual std::u16string unicodeOf(const std::string& text, std::size_t at, std::size_t& length) = 0;
    // The layout's scan code of a virtual key (0 when it has none).
    virtual std::uint16_t scanCode(std::uint8_t vk) = 0;
    // Sends one key event (flags: kKeyExtended, kKeyUp, kKeyUnicode) to the
    // focused window's input queue; false when the system refused it. With
    // kKeyUnicode, `scan` is the code unit and `vk` is 0.
    virtual bool sendKeyEvent(std::uint8_t vk, std::uint16_t scan, unsigned flags) = 0;
    // Milliseconds of a clock that only moves forward (the time of day may
    // be set back; this clock is not).
    virtual std::uint64_t tickMilliseconds() = 0;
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

// The Win32 services (Windows builds only), which the Win32 desktop of
// auto-type runs over.
KeyInput* nativeKeyInput();

}  // namespace platform
