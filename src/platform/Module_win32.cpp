#include "platform/Module.h"

#include <windows.h>

namespace platform {
namespace {

HMODULE ownModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ownModule), &module);
    return module;
}

class Win32Module : public Module {
public:
    std::string fileName() const override {
        char buffer[MAX_PATH + 1] = {};
        DWORD n = GetModuleFileNameA(ownModule(), buffer, MAX_PATH);
        if (n == 0 || n >= MAX_PATH + 1) return std::string();
        return std::string(buffer, n);
    }
    void* handle() const override { return ownModule(); }
};

}  // namespace

Module* nativeModule() {
    static Win32Module instance;
    return &instance;
}

}  // namespace platform
