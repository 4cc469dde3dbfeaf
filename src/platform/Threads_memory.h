// In-memory thread services for tests: counts the module references taken
// and given back; a fault can be simulated by a body that calls fault().
#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include "platform/Threads.h"

namespace platform {

class MemoryThreads : public Threads {
public:
    std::atomic<int> moduleHolds{0};
    std::atomic<int> moduleReleases{0};
    std::atomic<bool> ending{false};

    unsigned long currentThreadId() override {
        return static_cast<unsigned long>(std::hash<std::thread::id>()(std::this_thread::get_id()) & 0xFFFFFFu);
    }
    bool currentThreadTimes(std::uint64_t& kernelMs, std::uint64_t& userMs) override {
        kernelMs = 0;
        userMs = 0;
        return true;
    }
    void* holdModule() override {
        ++moduleHolds;
        return this;
    }
    void releaseModule(void* token) override {
        if (token != nullptr) ++moduleReleases;
    }
    bool processEnding() override { return ending; }
    // A simulated hardware fault: thrown by a body, caught by runContained.
    struct Fault {
        std::uint32_t code;
    };
    static void fault(std::uint32_t code) { throw Fault{code}; }
    bool runContained(const std::function<void()>& body, ThreadFault& fault) override {
        try {
            body();
            return true;
        } catch (const Fault& f) {
            fault.code = f.code;
            fault.description = "simulated fault";
            return false;
        }
    }
};

}  // namespace platform
