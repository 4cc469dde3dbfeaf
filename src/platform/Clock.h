// The system clock, and the local calendar time of a moment.
#pragma once
#include <cstdint>

namespace platform {

// A moment as the local calendar and wall clock show it.
struct LocalTime {
    int year = 1970;
    int month = 1;  // 1 to 12
    int day = 1;    // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int weekday = 4;  // 0 is Sunday
};

class Clock {
public:
    virtual ~Clock() = default;
    // The current UTC time as a FILETIME value (100-ns intervals since
    // 1601-01-01); false when the system could not tell.
    virtual bool currentFileTime(std::uint64_t& fileTime) = 0;
    // The local time of a UTC FILETIME value under the system's time zone
    // rules (daylight saving included); false when it cannot be converted.
    virtual bool toLocalTime(std::uint64_t fileTime, LocalTime& local) = 0;
};

}  // namespace platform
