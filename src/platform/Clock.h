// The system clock.
#pragma once
#include <cstdint>

namespace platform {

class Clock {
public:
    virtual ~Clock() = default;
    // The current UTC time as a FILETIME value (100-ns intervals since
    // 1601-01-01); false when the system could not tell.
    virtual bool currentFileTime(std::uint64_t& fileTime) = 0;
};

}  // namespace platform
