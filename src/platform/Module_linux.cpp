#include "platform/Module.h"

#include <dlfcn.h>

namespace platform {
namespace {

class LinuxModule : public Module {
public:
    std::string fileName() const override {
        Dl_info info{};
        if (dladdr(reinterpret_cast<void*>(&anchor), &info) != 0 && info.dli_fname != nullptr) {
            return info.dli_fname;
        }
        return std::string();
    }
    void* handle() const override { return nullptr; }

private:
    static void anchor() {}
};

}  // namespace

Module* nativeModule() {
    static LinuxModule* instance = new LinuxModule;  // never destroyed: used up to the last destructor
    return instance;
}

}  // namespace platform
