// In-memory clock for tests: answers the time it is set to.
#pragma once
#include "platform/Clock.h"

namespace platform {

class MemoryClock : public Clock {
public:
    std::uint64_t now = 0;
    bool fails = false;
    bool currentFileTime(std::uint64_t& fileTime) override {
        if (fails) return false;
        fileTime = now;
        return true;
    }
};

}  // namespace platform
