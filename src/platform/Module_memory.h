// In-memory module for tests.
#pragma once
#include "platform/Module.h"

namespace platform {

class MemoryModule : public Module {
public:
    std::string name;
    std::string fileName() const override { return name; }
    void* handle() const override { return nullptr; }
};

}  // namespace platform
