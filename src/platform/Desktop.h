// Windows of the desktop: the active and the foreground window, titles, and
// posting messages (the host's panel refresh).
#pragma once
#include <cstdint>
#include <string>

namespace platform {

using WindowHandle = void*;

class Desktop {
public:
    virtual ~Desktop() = default;
    // The active window of the calling thread (null when there is none).
    virtual WindowHandle activeWindow() = 0;
    virtual WindowHandle foregroundWindow() = 0;
    // Title of a window, at most maxChars - 1 characters.
    virtual std::string windowTitle(WindowHandle window, std::size_t maxChars) = 0;
    // Posts a message to a window; false when posting failed.
    virtual bool postMessage(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
};

}  // namespace platform
