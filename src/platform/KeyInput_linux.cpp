// Keyboard input on Linux: a stand-in that types nothing. Key events are
// dropped (and reported as refused), characters have no key, no window is
// ever found; pauses and message pumping do nothing either, so a sequence
// run here ends at once. Typing into X11 windows is not built yet.
#include "platform/KeyInput.h"

namespace platform {
namespace {

class LinuxKeyInput : public KeyInput {
public:
    std::uint16_t keyForCharacter(char) override { return kNoKey; }
    std::uint16_t scanCode(std::uint8_t) override { return 0; }
    bool sendKeyEvent(std::uint8_t, std::uint16_t, unsigned) override { return false; }
    std::uint32_t systemVersion() override { return 0; }
    void beep(unsigned, unsigned) override {}
    void sleep(unsigned) override {}
    void pumpKeyboardMessages() override {}
    WindowHandle findWindow(const char*, const char*) override { return nullptr; }
    WindowHandle findWindowContaining(const char*, const char*) override { return nullptr; }
    void activateWindow(WindowHandle) override {}
};

}  // namespace

KeyInput* nativeKeyInput() {
    static LinuxKeyInput instance;
    return &instance;
}

}  // namespace platform
