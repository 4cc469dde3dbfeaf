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
    // A simulated hardware fault. A real one is no C++ exception, so no
    // handler of the body would see it; the simulation throws, but
    // runContained reports the fault even when a handler caught the throw.
    struct Fault {
        std::uint32_t code;
    };
    static void fault(std::uint32_t code) {
        pendingFault() = code;
        throw Fault{code};
    }
    bool runContained(const std::function<void()>& body, ThreadFault& fault) override {
        pendingFault() = 0;
        try {
            body();
        } catch (const Fault&) {
        }
        if (pendingFault() == 0) return true;
        fault.code = pendingFault();
        fault.description = "simulated fault";
        pendingFault() = 0;
        return false;
    }

private:
    static std::uint32_t& pendingFault() {
        thread_local std::uint32_t code = 0;
        return code;
    }
};

}  // namespace platform
