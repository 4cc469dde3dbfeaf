// This library's own module.
#pragma once
#include <string>

namespace platform {

class Module {
public:
    virtual ~Module() = default;
    // Full file name of the loaded library, as the system reports it.
    virtual std::string fileName() const = 0;
    // The system's handle of the module (HINSTANCE on Windows), for resources.
    virtual void* handle() const = 0;
};

}  // namespace platform
