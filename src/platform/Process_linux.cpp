#include "platform/Process.h"

#include <limits.h>
#include <unistd.h>

namespace platform {
namespace {

class LinuxProcess : public Process {
public:
    std::string executablePath() override {
        char buffer[PATH_MAX];
        ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) return std::string();
        return std::string(buffer, static_cast<std::size_t>(n));
    }
    unsigned long id() override { return static_cast<unsigned long>(::getpid()); }
};

}  // namespace

Process* nativeProcess() {
    static LinuxProcess instance;
    return &instance;
}

}  // namespace platform
