// In-memory clock for tests: answers the time it is set to, and local time at
// a fixed offset from UTC.
#pragma once
#include "platform/Clock.h"

namespace platform {

class MemoryClock : public Clock {
public:
    std::uint64_t now = 0;
    bool fails = false;
    int utcOffsetMinutes = 0;

    bool currentFileTime(std::uint64_t& fileTime) override {
        if (fails) return false;
        fileTime = now;
        return true;
    }
    bool toLocalTime(std::uint64_t fileTime, LocalTime& local) override {
        if (fails) return false;
        constexpr std::int64_t kUnixEpochSeconds = 11644473600LL;  // 1601-01-01 to 1970-01-01
        std::int64_t s = static_cast<std::int64_t>(fileTime / 10000000ULL) - kUnixEpochSeconds +
                         static_cast<std::int64_t>(utcOffsetMinutes) * 60;
        std::int64_t days = s >= 0 ? s / 86400 : -((-s + 86399) / 86400);
        std::int64_t rest = s - days * 86400;
        local.hour = static_cast<int>(rest / 3600);
        local.minute = static_cast<int>(rest / 60 % 60);
        local.second = static_cast<int>(rest % 60);
        local.weekday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
        // Civil date of a day count since 1970 (proleptic Gregorian calendar).
        std::int64_t z = days + 719468;
        std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
        std::int64_t doe = z - era * 146097;
        std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        std::int64_t mp = (5 * doy + 2) / 153;
        local.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
        local.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
        local.year = static_cast<int>(yoe + era * 400 + (local.month <= 2 ? 1 : 0));
        return true;
    }

    // The FILETIME value of a UTC calendar time, for setting `now`.
    static std::uint64_t fileTimeOf(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
        std::int64_t y = year - (month <= 2 ? 1 : 0);
        std::int64_t era = (y >= 0 ? y : y - 399) / 400;
        std::int64_t yoe = y - era * 400;
        std::int64_t mp = month > 2 ? month - 3 : month + 9;
        std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
        std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        std::int64_t days = era * 146097 + doe - 719468;
        std::int64_t s = days * 86400 + hour * 3600 + minute * 60 + second + 11644473600LL;
        return static_cast<std::uint64_t>(s) * 10000000ULL;
    }
};

}  // namespace platform
