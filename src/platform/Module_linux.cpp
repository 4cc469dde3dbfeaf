#include "platform/Module.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

namespace platform {
namespace {

class LinuxModule : public Module {
public:
    std::string fileName() const override {
        Dl_info info{};
        if (dladdr(reinterpret_cast<void*>(&anchor), &info) == 0 || info.dli_fname == nullptr) return std::string();
        // The loader reports the name the host passed, which may be relative;
        // the plug-in's folder must not move when the host changes folders.
        char full[PATH_MAX];
        if (realpath(info.dli_fname, full) != nullptr) return full;
        return info.dli_fname;
    }
    void* handle() const override { return nullptr; }

private:
    static void anchor() {}
};

}  // namespace

Module* nativeModule() {
    static LinuxModule instance;
    return &instance;
}

}  // namespace platform
