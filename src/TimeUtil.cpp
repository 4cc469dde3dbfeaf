#include "TimeUtil.h"

#include <sstream>

#include "Log.h"
#include "platform/Clock.h"
#include "platform/Platform.h"

namespace timeutil {
namespace {

constexpr std::int64_t kUnixEpochAsFileTime = 116444736000000000LL;
constexpr std::int64_t kTicksPerSecond = 10000000LL;
constexpr std::int64_t k1900InUnixSeconds = -2208988800LL;

}  // namespace

FILETIME currentFileTime() {
    std::uint64_t now = 0;
    if (!platform::clock().currentFileTime(now)) {
        KH_LOG(eError, "Error ocurred in cinvertion between SysteTime and fileTime");
        return kNoTime;
    }
    return fromUInt64(now);
}

// The seconds are computed straight from the UTC value. Going through local
// time and back (as a calendar conversion would) gives a wrong value for the
// repeated hour at the end of daylight saving time.
std::string fileTimeToText(const FILETIME& ft) {
    std::uint64_t ticks = toUInt64(ft);
    if (ticks >= 0x8000000000000000ULL) {
        KH_LOG(eTroubleShoot, "Error converting FILETIME %08X%08X to string.", ft.dwHighDateTime,
               ft.dwLowDateTime);
        return std::string();
    }
    std::int64_t diff = static_cast<std::int64_t>(ticks) - kUnixEpochAsFileTime;
    std::int64_t seconds = diff / kTicksPerSecond;
    if (diff % kTicksPerSecond < 0) --seconds;  // round towards the past
    if (seconds < k1900InUnixSeconds) seconds = 0;
    std::int32_t low = static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(seconds)));
    std::ostringstream out;
    out << low;
    return out.str();
}

FILETIME textToFileTime(const std::string& text) {
    std::istringstream in(text);
    std::int32_t seconds = 0;
    if (!(in >> seconds)) {
        KH_LOG(eTroubleShoot, "BadConversion: convertToDouble() of a text of %d characters", static_cast<int>(text.size()));
        seconds = 0;
    }
    return fromUInt64(static_cast<std::uint64_t>(kUnixEpochAsFileTime + seconds * kTicksPerSecond));
}

}  // namespace timeutil
