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

    bool toLocalTime(std::uint64_t fileTime, LocalTime& local) override {
        FILETIME ft;
        ft.dwLowDateTime = static_cast<DWORD>(fileTime & 0xFFFFFFFFu);
        ft.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
        SYSTEMTIME utc, st;
        // The rules of that moment's year, so that a time in summer is
        // shown in summer time even when read in winter.
        if (!FileTimeToSystemTime(&ft, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &st)) return false;
        local.year = st.wYear;
        local.month = st.wMonth;
        local.day = st.wDay;
        local.hour = st.wHour;
        local.minute = st.wMinute;
        local.second = st.wSecond;
        local.weekday = st.wDayOfWeek;
        return true;
    }
};

}  // namespace

Clock* nativeClock() {
    static Win32Clock instance;
    return &instance;
}

}  // namespace platform
