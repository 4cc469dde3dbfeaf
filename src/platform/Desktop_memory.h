// In-memory desktop for tests: windows are numbers with titles, and posted
// messages are recorded.
#pragma once
#include <map>
#include <vector>

#include "platform/Desktop.h"

namespace platform {

class MemoryDesktop : public Desktop {
public:
    struct Posted {
        WindowHandle window;
        unsigned message;
        std::uintptr_t wParam;
        std::intptr_t lParam;
    };
    WindowHandle active = nullptr;
    WindowHandle foreground = nullptr;
    std::map<WindowHandle, std::string> titles;
    std::vector<Posted> posted;
    bool postFails = false;

    WindowHandle activeWindow() override { return active; }
    WindowHandle foregroundWindow() override { return foreground; }
    std::string windowTitle(WindowHandle window, std::size_t maxChars) override {
        auto it = titles.find(window);
        if (it == titles.end() || maxChars == 0) return std::string();
        return it->second.substr(0, maxChars - 1);
    }
    bool postMessage(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override {
        if (postFails) return false;
        posted.push_back({window, message, wParam, lParam});
        return true;
    }
};

}  // namespace platform
