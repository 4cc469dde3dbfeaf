#include "platform/Win32AutoType.h"

#include "Log.h"
#include "platform/Desktop.h"
#include "platform/HotKeys.h"
#include "platform/KeyInput.h"

namespace platform {
namespace {

constexpr std::uint8_t kShift = 0x10;
constexpr std::uint8_t kNumLock = 0x90;
constexpr std::uint16_t kNumLockScan = 0x45;

bool isExtended(std::uint8_t vk) {
    // Page Up, Page Down, End, Home and the four arrows are 21..28.
    return (vk >= 0x21 && vk <= 0x28) || vk == 0x2D || vk == 0x2E;
}

}  // namespace

Win32AutoType::Win32AutoType(HotKeys& hotKeys, KeyInput& keyInput, Desktop& desktop)
    : m_hotKeys(hotKeys), m_keyInput(keyInput), m_desktop(desktop), m_handler(hotKeys, false) {}

// ---- The hot key ------------------------------------------------------------

bool Win32AutoType::hotKeyAvailable() { return m_hotKeys.available(); }

int Win32AutoType::startHotKey(unsigned modifiers, unsigned key, std::function<void()> onPress) {
    if (m_handler.isStarted()) return eHK_Ok;  // the first combination stays
    m_handler.clearHotKeys();                  // a new start takes this combination alone
    std::size_t index = 0;
    m_handler.addHotKey(static_cast<std::uint16_t>(modifiers), static_cast<std::uint16_t>(key),
                        [onPress](std::uint32_t) {
                            if (onPress) onPress();
                        },
                        index);
    return m_handler.startHandler(0);
}

int Win32AutoType::stopHotKey() { return m_handler.stopHandler(); }

bool Win32AutoType::hotKeyStarted() { return m_handler.isStarted(); }

bool Win32AutoType::isKeyDown(unsigned key) { return m_hotKeys.isKeyDown(key); }

// ---- Windows of other programs --------------------------------------------

WindowHandle Win32AutoType::foregroundWindow() { return m_desktop.foregroundWindow(); }

std::string Win32AutoType::windowTitle(WindowHandle window, std::size_t maxBytes) {
    return m_desktop.windowTitle(window, maxBytes);
}

bool Win32AutoType::bringToFront(WindowHandle window) { return m_hotKeys.bringToFront(window); }

WindowHandle Win32AutoType::findWindow(const char* windowClass, const char* title) {
    WindowHandle window = m_keyInput.findWindow(windowClass, title);
    if (window == nullptr) window = m_keyInput.findWindowContaining(windowClass, title);
    return window;
}

void Win32AutoType::activateWindow(WindowHandle window) { m_keyInput.activateWindow(window); }

// ---- Keys -------------------------------------------------------------------

void Win32AutoType::send(std::uint8_t vk, std::uint16_t scan, unsigned flags) {
    m_keyInput.sendKeyEvent(vk, scan, flags);
    if (m_pumpAfterEachEvent) m_keyInput.pumpKeyboardMessages();
}

bool Win32AutoType::keyEvent(unsigned key, bool down) {
    if (key > 0xFF) return false;
    const std::uint8_t vk = static_cast<std::uint8_t>(key);
    const unsigned up = down ? 0 : kKeyUp;
    if (vk == kNumLock) {
        if (m_keyInput.systemVersion() < 0x80000000u) {
            if (down) KH_LOG(eTroubleShoot, "CSendKeys: dwVersion < 0x80000000");
            return m_keyInput.sendKeyEvent(kNumLock, kNumLockScan, kKeyExtended | up);
        }
        // The older systems: a plain press and release.
        if (down) KH_LOG(eTroubleShoot, "CSendKeys, Win98 and later");
        return m_keyInput.sendKeyEvent(kNumLock, 0, up);
    }
    // The release names the same key as the press: an extended flag on the
    // release of a plain key would make it another key's (Enter's release
    // the keypad Enter's).
    return m_keyInput.sendKeyEvent(vk, m_keyInput.scanCode(vk), (isExtended(vk) ? kKeyExtended : 0) | up);
}

std::uint16_t Win32AutoType::directKey(char c) {
    const std::uint16_t key = m_keyInput.keyForCharacter(c);
    if (key == kNoKey || (key & 0xFF) == 0xFF) return kNoKey;
    // Only Shift is pressed for a character: Ctrl with Alt (AltGr) is a
    // short cut to some programs and gives no character at all to others
    // (wine under X), and a state such as Kana no modifier key gives.
    if ((key & ~(0xFF | kShiftBit)) != 0) return kNoKey;
    // Through a dead key the character would join the next one.
    if (m_keyInput.isDeadKey(key)) return kNoKey;
    return key;
}

bool Win32AutoType::typeCharacter(const std::string& text, std::size_t at, std::size_t& length,
                                  const std::function<bool()>& beforeKey) {
    length = 0;
    if (at >= text.size()) return false;
    const std::uint16_t key = directKey(text[at]);
    if (key != kNoKey) {
        length = 1;
        const std::uint8_t vk = static_cast<std::uint8_t>(key & 0xFF);
        const bool shift = (key & kShiftBit) != 0;
        if (shift) send(kShift, m_keyInput.scanCode(kShift), 0);
        bool typed = false;
        if (!beforeKey || beforeKey()) {
            const std::uint16_t scan = m_keyInput.scanCode(vk);
            const unsigned extended = isExtended(vk) ? kKeyExtended : 0;
            send(vk, scan, extended);
            send(vk, scan, extended | kKeyUp);
            typed = true;
        }
        if (shift) send(kShift, m_keyInput.scanCode(kShift), kKeyUp);
        return typed;
    }
    std::size_t bytes = 0;
    const std::u16string units = m_keyInput.unicodeOf(text, at, bytes);
    if (units.empty() || bytes == 0) return false;
    length = bytes;
    if (beforeKey && !beforeKey()) return false;
    for (char16_t unit : units) {
        send(0, static_cast<std::uint16_t>(unit), kKeyUnicode);
        send(0, static_cast<std::uint16_t>(unit), kKeyUnicode | kKeyUp);
    }
    return true;
}

void Win32AutoType::beep(unsigned frequency, unsigned milliseconds) { m_keyInput.beep(frequency, milliseconds); }

void Win32AutoType::sleep(unsigned milliseconds) { m_keyInput.sleep(milliseconds); }

std::uint64_t Win32AutoType::tickMilliseconds() { return m_keyInput.tickMilliseconds(); }

void Win32AutoType::pumpMessages() { m_keyInput.pumpKeyboardMessages(); }

void Win32AutoType::setPumpAfterEachEvent(bool on) { m_pumpAfterEachEvent = on; }

#if defined(_WIN32)
Desktop* nativeDesktop();  // platform/Desktop_win32.cpp

AutoTypeDesktop* nativeAutoTypeDesktop() {
    static Win32AutoType instance(*nativeHotKeys(), *nativeKeyInput(), *nativeDesktop());
    return &instance;
}
#endif

}  // namespace platform
