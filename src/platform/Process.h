// The process the plug-in is loaded into.
#pragma once
#include <string>

namespace platform {

class Process {
public:
    virtual ~Process() = default;
    // Full file name of the process's executable; empty when unknown.
    virtual std::string executablePath() = 0;
    // The process's identifier as the system reports it.
    virtual unsigned long id() = 0;
};

}  // namespace platform
