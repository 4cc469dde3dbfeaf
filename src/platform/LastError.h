// The calling thread's last-error value, through which the host learns why a
// listing is empty.
#pragma once

#include <cstdint>

namespace platform {

constexpr std::uint32_t kErrorNoMoreFiles = 18;  // ERROR_NO_MORE_FILES

class LastError {
public:
    virtual ~LastError() = default;
    virtual void set(std::uint32_t code) = 0;
};

}  // namespace platform
