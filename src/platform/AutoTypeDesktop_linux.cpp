// Auto-type's desktop on Linux: X11 (platform/AutoTypeDesktop_x11.h) when an
// X display is there; otherwise a
// desktop without a global hot key. That one registers nothing (the start
// code is 5: there is no connection to a desktop), finds no window and
// types nothing: a character is no character to it, so a sequence stops at
// its first one, and pauses end at once.
//
// The choice is made at the first use, not when the services are made as the
// library loads: by then the plug-in's log exists, and it hears why there is
// no hot key.
#include <chrono>
#include <memory>
#include <mutex>

#include "platform/AutoTypeDesktop.h"
#include "platform/AutoTypeDesktop_x11.h"

namespace platform {
namespace {

class NoHotKeyDesktop final : public AutoTypeDesktop {
public:
    bool hotKeyAvailable() override { return false; }
    int startHotKey(unsigned, unsigned, std::function<void()>) override { return 5; }
    int stopHotKey() override { return 0; }
    bool hotKeyStarted() override { return false; }
    bool isKeyDown(unsigned) override { return false; }
    WindowHandle foregroundWindow() override { return nullptr; }
    std::string windowTitle(WindowHandle, std::size_t) override { return std::string(); }
    bool bringToFront(WindowHandle) override { return false; }
    WindowHandle findWindow(const char*, const char*) override { return nullptr; }
    void activateWindow(WindowHandle) override {}
    bool keyEvent(unsigned, bool) override { return false; }
    bool typeCharacter(const std::string&, std::size_t, std::size_t& length, const std::function<bool()>&) override {
        length = 0;
        return false;
    }
    void beep(unsigned, unsigned) override {}
    void sleep(unsigned) override {}
    std::uint64_t tickMilliseconds() override {
        return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now().time_since_epoch())
                                              .count());
    }
    void pumpMessages() override {}
};

// Hands every call to the desktop chosen at the first one.
class LinuxAutoTypeDesktop final : public AutoTypeDesktop {
public:
    bool hotKeyAvailable() override { return chosen().hotKeyAvailable(); }
    int startHotKey(unsigned modifiers, unsigned key, std::function<void()> onPress) override {
        return chosen().startHotKey(modifiers, key, std::move(onPress));
    }
    int stopHotKey() override { return chosen().stopHotKey(); }
    bool hotKeyStarted() override { return chosen().hotKeyStarted(); }
    bool isKeyDown(unsigned key) override { return chosen().isKeyDown(key); }
    WindowHandle foregroundWindow() override { return chosen().foregroundWindow(); }
    std::string windowTitle(WindowHandle window, std::size_t maxBytes) override {
        return chosen().windowTitle(window, maxBytes);
    }
    bool bringToFront(WindowHandle window) override { return chosen().bringToFront(window); }
    WindowHandle findWindow(const char* windowClass, const char* title) override {
        return chosen().findWindow(windowClass, title);
    }
    void activateWindow(WindowHandle window) override { chosen().activateWindow(window); }
    bool keyEvent(unsigned key, bool down) override { return chosen().keyEvent(key, down); }
    bool typeCharacter(const std::string& text, std::size_t at, std::size_t& length,
                       const std::function<bool()>& beforeKey) override {
        return chosen().typeCharacter(text, at, length, beforeKey);
    }
    void beep(unsigned frequency, unsigned milliseconds) override { chosen().beep(frequency, milliseconds); }
    void sleep(unsigned milliseconds) override { chosen().sleep(milliseconds); }
    std::uint64_t tickMilliseconds() override { return chosen().tickMilliseconds(); }
    void pumpMessages() override { chosen().pumpMessages(); }
    void setPumpAfterEachEvent(bool on) override { chosen().setPumpAfterEachEvent(on); }

private:
    AutoTypeDesktop& chosen() {
        std::call_once(m_choice, [this] {
            m_x11 = makeX11AutoTypeDesktop();
        });
        if (m_x11) return *m_x11;
        return m_none;
    }

    std::once_flag m_choice;
    std::unique_ptr<AutoTypeDesktop> m_x11;
    NoHotKeyDesktop m_none;
};

}  // namespace

AutoTypeDesktop* nativeAutoTypeDesktop() {
    static LinuxAutoTypeDesktop instance;
    return &instance;
}

}  // namespace platform
