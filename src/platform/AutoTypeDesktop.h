// What auto-type needs of the desktop, on every desktop: one global hot key
// whose presses run a callback on a thread of the desktop's own, the window
// in front and its title, bringing a window (back) to the front, and keys and
// characters typed into the window that has the keyboard focus.
//
// Keys are named in one numbering everywhere, that of the key-sequence
// language ({VKEY n}), which is the numbering of Windows' virtual keys:
// 0x08 Backspace, 0x09 Tab, 0x0D Enter, 0x10 Shift, 0x11 Control, 0x12 Alt,
// 0x13 Pause, 0x14 Caps Lock, 0x1B Escape, 0x20 Space, 0x21 Page Up,
// 0x22 Page Down, 0x23 End, 0x24 Home, 0x25-0x28 Left Up Right Down,
// 0x2C Print Screen, 0x2D Insert, 0x2E Delete, 0x2F Help, '0'-'9', 'A'-'Z',
// 0x5B left Windows key, 0x5D Menu, 0x60-0x69 keypad 0-9, 0x6A keypad *,
// 0x6B keypad +, 0x6D keypad -, 0x6E keypad ., 0x6F keypad /, 0x70-0x87
// F1-F24, 0x90 Num Lock, 0x91 Scroll Lock. A desktop that has no key for a
// code sends nothing for it.
//
// Windows: the system's hot key (RegisterHotKey on a hidden window of a
// thread of its own, serialised between processes by a named mutex) and
// SendInput. Linux: X11 (a grab of the combination on the root window, the
// window manager's active window, XTest) when there is an X display; without
// one there is no hot key. Tests: platform/AutoTypeDesktop_memory.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/Desktop.h"

namespace platform {

// Modifier flags of the hot key's combination.
constexpr unsigned kHotKeyAlt = 1;
constexpr unsigned kHotKeyControl = 2;
constexpr unsigned kHotKeyShift = 4;

class AutoTypeDesktop {
public:
    virtual ~AutoTypeDesktop() = default;

    // ---- The hot key --------------------------------------------------
    // Whether this desktop offers a global hot key at all (false on a
    // machine without a display).
    virtual bool hotKeyAvailable() = 0;
    // Registers the combination (kHotKey* flags and a key) and from then on
    // runs onPress on a thread of the desktop's own, once for each press; a
    // press that arrives while onPress runs is dropped. The result is 0 or
    // the start code of the failure: 4 when the combination was refused
    // (another program holds it), 5 when the thread or the connection to the
    // desktop cannot be had (Windows also: 1 no window class, 2 no window,
    // 3 no slot, 6 no named mutex). Already started: 0, and the first
    // combination stays.
    virtual int startHotKey(unsigned modifiers, unsigned key, std::function<void()> onPress) = 0;
    // Unregisters the combination and ends the thread: its exit code, 0 when
    // it was not running. It waits for an onPress that is running (it uses
    // the plug-in's objects); only when the process is ending is the thread
    // let go at once.
    virtual int stopHotKey() = 0;
    virtual bool hotKeyStarted() = 0;
    // Whether the key reads as held down right now.
    virtual bool isKeyDown(unsigned key) = 0;

    // ---- Windows of other programs ------------------------------------
    // The window the user works in (null when there is none).
    virtual WindowHandle foregroundWindow() = 0;
    // Its title, at most maxBytes - 1 bytes (UTF-8 on Linux, the ANSI code
    // page on Windows); empty for no window.
    virtual std::string windowTitle(WindowHandle window, std::size_t maxBytes) = 0;
    // Makes the window the foreground window, with the keyboard focus, so
    // that keys typed next go to it; true when it is in front afterwards.
    virtual bool bringToFront(WindowHandle window) = 0;
    // A top-level window whose title equals `title` (and whose class equals
    // `windowClass` where the desktop has classes; null or empty takes no
    // part), else the first whose title holds it (or, where the desktop has
    // classes, whose class name holds `windowClass`); null when there is none.
    virtual WindowHandle findWindow(const char* windowClass, const char* title) = 0;
    // Restores the window, shows it, brings it to the front and gives it the
    // focus ({APPACTIVATE}).
    virtual void activateWindow(WindowHandle window) = 0;

    // ---- Keys ----------------------------------------------------------
    // One key goes down or up in the window that has the focus; false when
    // the desktop refused it or has no key for the code.
    virtual bool keyEvent(unsigned key, bool down) = 0;
    // Types the character that begins at `at` of the text (Windows: the
    // ANSI code page, one or two bytes; Linux: one UTF-8 code point) with
    // whatever the active keyboard layout needs for it (Shift, AltGr, a key
    // mapped for that moment, a Unicode event). `length` receives the bytes it
    // took, 0 when they are no character. `beforeKey` runs right before the
    // character's own key goes down (after any modifier the character needs);
    // when it returns false nothing more is pressed, and what was pressed is
    // released. False when nothing was typed.
    virtual bool typeCharacter(const std::string& text, std::size_t at, std::size_t& length,
                               const std::function<bool()>& beforeKey) = 0;
    virtual void beep(unsigned frequency, unsigned milliseconds) = 0;
    virtual void sleep(unsigned milliseconds) = 0;
    // Milliseconds of a clock that only moves forward.
    virtual std::uint64_t tickMilliseconds() = 0;
    // Lets the calling thread handle the keyboard messages pending for its
    // own windows (a sequence typed with waiting); nothing where there are
    // none.
    virtual void pumpMessages() = 0;
    // While on, typeCharacter does the same after each key event it sends,
    // as the sender does after each of its own in a sequence typed with
    // waiting. Off at first; nothing to do where there are no such messages.
    virtual void setPumpAfterEachEvent(bool on) { (void)on; }
};

}  // namespace platform
