#include <windows.h>
#include <shellapi.h>

#include "platform/Shell.h"

namespace platform {
namespace {

class Win32Shell : public Shell {
public:
    int execute(const std::string& verb, const std::string& file, const std::string& parameters,
                int show) override {
        HINSTANCE r = ShellExecuteA(nullptr, verb.empty() ? nullptr : verb.c_str(), file.c_str(),
                                    parameters.empty() ? nullptr : parameters.c_str(), nullptr, show);
        return static_cast<int>(reinterpret_cast<INT_PTR>(r));
    }
};

}  // namespace

Shell* nativeShell() {
    static Win32Shell instance;
    return &instance;
}

}  // namespace platform
