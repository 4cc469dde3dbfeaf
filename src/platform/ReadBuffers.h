// The buffers of a whole-file read: what is read of a file is overwritten
// before its memory is given back, however the read ends (the file may be an
// export with passwords in clear).
#pragma once

#include <string>

#include "security/SecureString.h"

namespace platform {

struct ReadBuffers {
    std::string data;
    char chunk[65536];
    ReadBuffers() = default;
    ReadBuffers(const ReadBuffers&) = delete;
    ReadBuffers& operator=(const ReadBuffers&) = delete;
    ~ReadBuffers() {
        secureWipe(data);
        secureWipe(chunk, sizeof chunk);
    }
};

}  // namespace platform
