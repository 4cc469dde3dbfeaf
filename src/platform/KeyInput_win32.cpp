// Keyboard input on Windows: the layout of the calling thread, SendInput for
// the key events, and the user-interface calls to find and activate windows.
#include <windows.h>

#include <cstring>

#include "platform/KeyInput.h"

namespace platform {
namespace {

struct Search {
    const char* windowClass;
    const char* title;
    HWND found;
};

BOOL CALLBACK searchWindow(HWND window, LPARAM param) {
    Search* s = reinterpret_cast<Search*>(param);
    char name[300] = {};
    if (s->windowClass != nullptr && *s->windowClass != '\0' && GetClassNameA(window, name, sizeof name) > 0 &&
        std::strstr(name, s->windowClass) != nullptr) {
        s->found = window;
        return FALSE;
    }
    char text[300] = {};
    if (s->title != nullptr && *s->title != '\0' && GetWindowTextA(window, text, sizeof text) > 0 &&
        std::strstr(text, s->title) != nullptr) {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}

class Win32KeyInput : public KeyInput {
public:
    std::uint16_t keyForCharacter(char c) override {
        const SHORT key = VkKeyScanA(c);
        return key == -1 ? kNoKey : static_cast<std::uint16_t>(key);
    }
    std::uint16_t scanCode(std::uint8_t vk) override {
        return static_cast<std::uint16_t>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
    }
    bool sendKeyEvent(std::uint8_t vk, std::uint16_t scan, unsigned flags) override {
        INPUT input;
        std::memset(&input, 0, sizeof input);
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.wScan = scan;
        input.ki.dwFlags = ((flags & kKeyExtended) ? KEYEVENTF_EXTENDEDKEY : 0) | ((flags & kKeyUp) ? KEYEVENTF_KEYUP : 0);
        return SendInput(1, &input, sizeof input) == 1;
    }
    std::uint32_t systemVersion() override { return static_cast<std::uint32_t>(GetVersion()); }
    void beep(unsigned frequency, unsigned milliseconds) override { Beep(frequency, milliseconds); }
    void sleep(unsigned milliseconds) override { Sleep(milliseconds); }
    void pumpKeyboardMessages() override {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    WindowHandle findWindow(const char* windowClass, const char* title) override {
        return FindWindowA(windowClass, title);
    }
    WindowHandle findWindowContaining(const char* windowClass, const char* title) override {
        Search s{windowClass, title, nullptr};
        EnumWindows(searchWindow, reinterpret_cast<LPARAM>(&s));
        return s.found;
    }
    void activateWindow(WindowHandle handle) override {
        HWND window = static_cast<HWND>(handle);
        // A window that does not answer within a second does not hold up the
        // typing thread for good.
        DWORD_PTR result = 0;
        SendMessageTimeoutA(window, WM_SYSCOMMAND, SC_HOTKEY, reinterpret_cast<LPARAM>(window), SMTO_ABORTIFHUNG,
                            1000, &result);
        SendMessageTimeoutA(window, WM_SYSCOMMAND, SC_RESTORE, reinterpret_cast<LPARAM>(window), SMTO_ABORTIFHUNG,
                            1000, &result);
        ShowWindow(window, SW_SHOW);
        SetForegroundWindow(window);
        SetFocus(window);
    }
};

}  // namespace

KeyInput* nativeKeyInput() {
    static Win32KeyInput instance;
    return &instance;
}

}  // namespace platform
