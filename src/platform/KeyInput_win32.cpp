// Keyboard input on Windows: the layout of the window in front (the keys go
// to it), SendInput for the key events, and the user-interface calls to find
// and activate windows.
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

// The layout of the thread that owns the window in front: a layout is
// chosen per thread, and that thread translates the keys it receives. The
// calling thread's layout when there is none.
HKL targetLayout() {
    HWND front = GetForegroundWindow();
    const DWORD thread = front != nullptr ? GetWindowThreadProcessId(front, nullptr) : 0;
    HKL layout = thread != 0 ? GetKeyboardLayout(thread) : nullptr;
    return layout != nullptr ? layout : GetKeyboardLayout(0);
}

// ToUnicodeEx flag (Windows 10 1607 on): the keyboard state is left as it is.
constexpr UINT kKeepKeyboardState = 0x4;

class Win32KeyInput : public KeyInput {
public:
    std::uint16_t keyForCharacter(char c) override {
        const SHORT key = VkKeyScanExA(c, targetLayout());
        return key == -1 ? kNoKey : static_cast<std::uint16_t>(key);
    }
    bool isDeadKey(std::uint16_t key) override {
        HKL layout = targetLayout();
        const UINT vk = key & 0xFF;
        const unsigned state = key >> 8;
        // Without a shift state the layout says it itself.
        if (state == 0 && (MapVirtualKeyExA(vk, MAPVK_VK_TO_CHAR, layout) & 0x80000000u) != 0) return true;
        BYTE keys[256];
        std::memset(keys, 0, sizeof keys);
        if (state & 1) keys[VK_SHIFT] = keys[VK_LSHIFT] = 0x80;
        if (state & 2) keys[VK_CONTROL] = keys[VK_LCONTROL] = 0x80;
        if (state & 4) keys[VK_MENU] = keys[VK_LMENU] = 0x80;
        const UINT scan = MapVirtualKeyExA(vk, MAPVK_VK_TO_VSC, layout);
        WCHAR out[8];
        if (ToUnicodeEx(vk, scan, keys, out, 8, kKeepKeyboardState, layout) >= 0) return false;
        // A dead key. Where the flag above is not known, the translation left
        // it pending in this thread's keyboard state; the same key once more
        // takes it out again (and where the flag is known, changes nothing).
        ToUnicodeEx(vk, scan, keys, out, 8, kKeepKeyboardState, layout);
        return true;
    }
    std::u16string unicodeOf(const std::string& text, std::size_t at, std::size_t& length) override {
        length = 0;
        if (at >= text.size() || text[at] == '\0') return std::u16string();
        std::size_t n = 1;
        if (IsDBCSLeadByte(static_cast<BYTE>(text[at]))) {
            if (at + 1 >= text.size() || text[at + 1] == '\0') return std::u16string();
            n = 2;
        }
        WCHAR units[4];
        const int count = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data() + at, static_cast<int>(n),
                                              units, 4);
        if (count <= 0) return std::u16string();
        length = n;
        return std::u16string(units, units + count);
    }
    std::uint16_t scanCode(std::uint8_t vk) override {
        return static_cast<std::uint16_t>(MapVirtualKeyExA(vk, MAPVK_VK_TO_VSC, targetLayout()));
    }
    bool sendKeyEvent(std::uint8_t vk, std::uint16_t scan, unsigned flags) override {
        INPUT input;
        std::memset(&input, 0, sizeof input);
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.wScan = scan;
        input.ki.dwFlags = ((flags & kKeyExtended) ? KEYEVENTF_EXTENDEDKEY : 0) | ((flags & kKeyUp) ? KEYEVENTF_KEYUP : 0) |
                           ((flags & kKeyUnicode) ? KEYEVENTF_UNICODE : 0);
        return SendInput(1, &input, sizeof input) == 1;
    }
    std::uint64_t tickMilliseconds() override { return GetTickCount64(); }
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
