#include "platform/LastError.h"

#include <windows.h>

namespace platform {
namespace {

class Win32LastError : public LastError {
public:
    void set(std::uint32_t code) override { SetLastError(code); }
};

}  // namespace

LastError* nativeLastError() {
    static Win32LastError instance;
    return &instance;
}

}  // namespace platform
