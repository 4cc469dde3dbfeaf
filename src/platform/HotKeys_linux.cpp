// Hot keys on Linux: there is no global hot key on this desktop yet. The
// handler asks available() before anything else and starts no thread, so
// nothing is registered and the plug-in works without auto-type. The other
// calls fail or do nothing, should anyone make them.
#include "platform/HotKeys.h"

namespace platform {
namespace {

class LinuxHotKeys : public HotKeys {
public:
    bool available() override { return false; }
    void* acquireNamedMutex(const std::string&) override { return nullptr; }
    void releaseNamedMutex(void*) override {}
    bool registerWindowClass(const std::string&) override { return false; }
    void unregisterWindowClass(const std::string&) override {}
    HotKeyWindow createWindow(const std::string&, const std::string&, bool) override { return nullptr; }
    void destroyWindow(HotKeyWindow) override {}
    std::uint16_t addAtom(const std::string&) override { return 0; }
    void deleteAtom(std::uint16_t) override {}
    bool registerHotKey(HotKeyWindow, std::uint16_t, unsigned, unsigned) override { return false; }
    bool unregisterHotKey(HotKeyWindow, std::uint16_t) override { return false; }
    int runMessageLoop(HotKeyWindow, const std::function<void(std::uint16_t)>&) override { return -1; }
    bool requestQuit(HotKeyWindow) override { return false; }
    void processSentMessages() override {}
    bool isKeyDown(unsigned) override { return false; }
    bool bringToFront(void*) override { return false; }
};

}  // namespace

HotKeys* nativeHotKeys() {
    static LinuxHotKeys instance;
    return &instance;
}

}  // namespace platform
