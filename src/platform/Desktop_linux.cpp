// Linux hosts give the plug-in no window of theirs to talk to: there is no
// active or foreground window, and nothing can be posted.
#include "platform/Desktop.h"

namespace platform {
namespace {

class LinuxDesktop : public Desktop {
public:
    WindowHandle activeWindow() override { return nullptr; }
    WindowHandle foregroundWindow() override { return nullptr; }
    std::string windowTitle(WindowHandle, std::size_t) override { return std::string(); }
    bool postMessage(WindowHandle, unsigned, std::uintptr_t, std::intptr_t) override { return false; }
};

}  // namespace

Desktop* nativeDesktop() {
    static LinuxDesktop instance;
    return &instance;
}

}  // namespace platform
