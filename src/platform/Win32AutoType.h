// Auto-type's desktop on Windows: the steps of the Win32 hot key and of the
// Win32 keyboard input, carried out over two Win32-shaped services of its
// own: HotKeys (named mutex, window class, global atoms, hidden window and
// its message loop, RegisterHotKey, the asynchronous key state, bringing a
// window forward) and KeyInput (VkKeyScan, dead keys, the code page, scan
// codes, extended keys, the system version, SendInput with Unicode events,
// finding and activating windows), plus the Desktop for the window in front
// and its title.
//
// It includes no system header, so it is built on every platform: the
// Windows build runs it over the Win32 services (nativeAutoTypeDesktop), the
// tests over the in-memory ones (HotKeys_memory.h, KeyInput_memory.h).
//
// Keys and characters: a key goes out with the layout's scan code, and with
// the extended-key flag for the navigation keys (both on its press and its
// release). NumLock is an extended key with scan code 45 hex on the NT
// family; on older systems a plain key without a scan code. A character goes
// out on its key of the active layout, with Shift where the layout needs it,
// when the layout types it by itself: no dead key before it, no Ctrl or Alt
// (AltGr) with it. Any other character goes out as its Unicode code units.
#pragma once

#include <cstdint>

#include "platform/AutoTypeDesktop.h"
#include "platform/Win32HotkeyHandler.h"

namespace platform {

class Desktop;
class HotKeys;
class KeyInput;

class Win32AutoType final : public AutoTypeDesktop {
public:
    Win32AutoType(HotKeys& hotKeys, KeyInput& keyInput, Desktop& desktop);

    bool hotKeyAvailable() override;
    int startHotKey(unsigned modifiers, unsigned key, std::function<void()> onPress) override;
    int stopHotKey() override;
    bool hotKeyStarted() override;
    bool isKeyDown(unsigned key) override;

    WindowHandle foregroundWindow() override;
    std::string windowTitle(WindowHandle window, std::size_t maxBytes) override;
    bool bringToFront(WindowHandle window) override;
    WindowHandle findWindow(const char* windowClass, const char* title) override;
    void activateWindow(WindowHandle window) override;

    bool keyEvent(unsigned key, bool down) override;
    bool typeCharacter(const std::string& text, std::size_t at, std::size_t& length,
                       const std::function<bool()>& beforeKey) override;
    void beep(unsigned frequency, unsigned milliseconds) override;
    void sleep(unsigned milliseconds) override;
    std::uint64_t tickMilliseconds() override;
    void pumpMessages() override;
    void setPumpAfterEachEvent(bool on) override;

    // The hot-key handler, with its combinations (for the tests).
    CHotkeyHandler& handler() { return m_handler; }

private:
    // The layout's key for a character that it types by itself (no dead key,
    // no shift state but Shift); kNoKey otherwise.
    std::uint16_t directKey(char c);
    void send(std::uint8_t vk, std::uint16_t scan, unsigned flags);

    HotKeys& m_hotKeys;
    KeyInput& m_keyInput;
    Desktop& m_desktop;
    CHotkeyHandler m_handler;
    bool m_pumpAfterEachEvent = false;  // only the typing thread
};

}  // namespace platform
