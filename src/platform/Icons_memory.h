// In-memory icons for tests: every load is recorded and answered with a
// distinct fake handle.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Icons.h"

namespace platform {

class MemoryIcons : public Icons {
public:
    struct Load {
        int id;
        int pixels;
    };
    bool present = true;
    // When set, loading fails (null handle).
    bool failLoading = false;
    std::vector<Load> loads;

    bool available() const override { return present; }
    void* load(int id, int pixels) override {
        loads.push_back({id, pixels});
        if (failLoading) return nullptr;
        return reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x10000 + loads.size()));
    }
};

}  // namespace platform
