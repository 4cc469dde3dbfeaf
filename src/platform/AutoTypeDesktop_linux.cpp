// Auto-type's desktop on Linux: X11 when the build has it and an X display
// is there (platform/AutoTypeDesktop_x11.h); otherwise a desktop without a
// global hot key. That one registers nothing (the start code is 5: there is
// no connection to a desktop), finds no window and types nothing: a
// character is no character to it, so a sequence stops at its first one,
// and pauses end at once.
#include <chrono>

#include "platform/AutoTypeDesktop.h"
#if defined(KEYHOLD_WITH_X11)
#include "platform/AutoTypeDesktop_x11.h"
#endif

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

}  // namespace

AutoTypeDesktop* nativeAutoTypeDesktop() {
#if defined(KEYHOLD_WITH_X11)
    if (AutoTypeDesktop* x11 = x11AutoTypeDesktop()) return x11;
#endif
    static NoHotKeyDesktop instance;
    return &instance;
}

}  // namespace platform
