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
};

}  // namespace

Clock* nativeClock() {
    static PosixClock instance;
    return &instance;
}

}  // namespace platform
