#include "platform/Desktop.h"

#include <windows.h>

#include <vector>

namespace platform {
namespace {

class Win32Desktop : public Desktop {
public:
    WindowHandle activeWindow() override { return GetActiveWindow(); }
    WindowHandle foregroundWindow() override { return GetForegroundWindow(); }
    std::string windowTitle(WindowHandle window, std::size_t maxChars) override {
        if (maxChars == 0) return std::string();
        std::vector<char> buffer(maxChars, '\0');
        int n = GetWindowTextA(static_cast<HWND>(window), buffer.data(), static_cast<int>(maxChars));
        if (n <= 0) return std::string();
        return std::string(buffer.data(), static_cast<std::size_t>(n));
    }
    bool postMessage(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override {
        return PostMessageA(static_cast<HWND>(window), message, static_cast<WPARAM>(wParam),
                            static_cast<LPARAM>(lParam)) != 0;
    }
};

}  // namespace

Desktop* nativeDesktop() {
    static Win32Desktop instance;
    return &instance;
}

}  // namespace platform
