// In-memory last error for tests.
#pragma once
#include "platform/LastError.h"

namespace platform {

class MemoryLastError : public LastError {
public:
    std::uint32_t code = 0;
    void set(std::uint32_t c) override { code = c; }
};

}  // namespace platform
