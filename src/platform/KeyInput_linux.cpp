// Keyboard input on Linux: a stand-in that types nothing. Key events are
// dropped (and reported as refused), characters have no key and no Unicode
// form (a sequence with text stops at its first character), no window is
// ever found; pauses and message pumping do nothing either, so a sequence
// run here ends at once. Typing into X11 windows is not built yet.
#include <chrono>

#include "platform/KeyInput.h"

namespace platform {
namespace {

class LinuxKeyInput : public KeyInput {
public:
    std::uint16_t keyForCharacter(char) override { return kNoKey; }
    bool isDeadKey(std::uint16_t) override { return false; }
    std::u16string unicodeOf(const std::string&, std::size_t, std::size_t& length) override {
        length = 0;
        return std::u16string();
    }
    std::uint64_t tickMilliseconds() override {
        return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now().time_since_epoch())
                                              .count());
    }
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
