#include "platform/Clock.h"

#include <ctime>

namespace platform {
namespace {

// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;

class PosixClock : public Clock {
public:
    bool currentFileTime(std::uint64_t& fileTime) override {
        timespec ts{};
        if (clock_gettime(CLOCK_REALTIME, &ts) != 0 || ts.tv_sec < 0) return false;
        fileTime = kUnixEpochAsFileTime + static_cast<std::uint64_t>(ts.tv_sec) * 10000000ULL +
                   static_cast<std::uint64_t>(ts.tv_nsec) / 100;
        return true;
    }

    bool toLocalTime(std::uint64_t fileTime, LocalTime& local) override {
        std::int64_t seconds = static_cast<std::int64_t>(fileTime / 10000000ULL) -
                               static_cast<std::int64_t>(kUnixEpochAsFileTime / 10000000ULL);
        time_t t = static_cast<time_t>(seconds);
        if (static_cast<std::int64_t>(t) != seconds) return false;
        tm parts{};
        if (localtime_r(&t, &parts) == nullptr) return false;
        local.year = parts.tm_year + 1900;
        local.month = parts.tm_mon + 1;
        local.day = parts.tm_mday;
        local.hour = parts.tm_hour;
        local.minute = parts.tm_min;
        local.second = parts.tm_sec;
        local.weekday = parts.tm_wday;
        return true;
    }
};

}  // namespace

Clock* nativeClock() {
    static PosixClock instance;
    return &instance;
}

}  // namespace platform
