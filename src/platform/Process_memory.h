// In-memory process for tests.
#pragma once
#include "platform/Process.h"

namespace platform {

class MemoryProcess : public Process {
public:
    std::string path = "/usr/bin/host";
    unsigned long processId = 4242;
    std::string executablePath() override { return path; }
    unsigned long id() override { return processId; }
};

}  // namespace platform
