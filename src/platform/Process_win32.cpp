#include "platform/Process.h"

#include <windows.h>

namespace platform {
namespace {

class Win32Process : public Process {
public:
    std::string executablePath() override {
        char buffer[MAX_PATH + 1] = {};
        DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return std::string();
        return std::string(buffer, n);
    }
    unsigned long id() override { return GetCurrentProcessId(); }
};

}  // namespace

Process* nativeProcess() {
    static Win32Process instance;
    return &instance;
}

}  // namespace platform
