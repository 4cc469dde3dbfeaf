#include "platform/Environment.h"

#include <windows.h>

#include <vector>

namespace platform {
namespace {

class Win32Environment : public Environment {
public:
    bool get(const std::string& name, std::string& value) const override {
        DWORD needed = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
        if (needed == 0) return false;
        std::vector<char> buffer(needed + 1);
        DWORD n = GetEnvironmentVariableA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0 || n >= buffer.size()) return false;
        value.assign(buffer.data(), n);
        return true;
    }
};

}  // namespace

Environment* nativeEnvironment() {
    static Win32Environment instance;
    return &instance;
}

}  // namespace platform
