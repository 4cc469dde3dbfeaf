#include "platform/Clock.h"

#include <windows.h>

namespace platform {
namespace {

class Win32Clock : public Clock {
public:
    bool currentFileTime(std::uint64_t& fileTime) override {
        SYSTEMTIME st;
        GetSystemTime(&st);
        FILETIME ft;
        if (!SystemTimeToFileTime(&st, &ft)) return false;
        fileTime = (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
        return true;
    }
};

}  // namespace

Clock* nativeClock() {
    static Win32Clock instance;
    return &instance;
}

}  // namespace platform
