// Linux hosts read no Windows error codes; an empty listing is reported by
// the invalid handle alone, with errno telling that nothing was found.
#include <cerrno>

#include "platform/LastError.h"

namespace platform {
namespace {

class LinuxLastError : public LastError {
public:
    void set(std::uint32_t code) override { errno = code == kErrorNoMoreFiles ? ENOENT : EINVAL; }
};

}  // namespace

LastError* nativeLastError() {
    static LinuxLastError instance;
    return &instance;
}

}  // namespace platform
