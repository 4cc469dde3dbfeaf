#include <sys/syscall.h>
#include <sys/resource.h>
#include <unistd.h>

#include "platform/Threads.h"

namespace platform {
namespace {

class PosixThreads : public Threads {
public:
    unsigned long currentThreadId() override { return static_cast<unsigned long>(syscall(SYS_gettid)); }

    bool currentThreadTimes(std::uint64_t& kernelMs, std::uint64_t& userMs) override {
        rusage usage{};
        if (getrusage(RUSAGE_THREAD, &usage) != 0) return false;
        kernelMs = static_cast<std::uint64_t>(usage.ru_stime.tv_sec) * 1000u +
                   static_cast<std::uint64_t>(usage.ru_stime.tv_usec) / 1000u;
        userMs = static_cast<std::uint64_t>(usage.ru_utime.tv_sec) * 1000u +
                 static_cast<std::uint64_t>(usage.ru_utime.tv_usec) / 1000u;
        return true;
    }

    // No reference is needed here: the library's destructors run before its
    // code goes, and they join every thread of its own (a reference would
    // keep a library the host closed loaded, with its threads, for good).
    void* holdModule() override { return nullptr; }
    void releaseModule(void*) override {}

    // Threads go on running while a Linux process ends, so they can always be
    // waited for.
    bool processEnding() override { return false; }

    // Linux signals are not turned into exceptions; a fault ends the process
    // as it would without us.
    bool runContained(const std::function<void()>& body, ThreadFault&) override {
        body();
        return true;
    }
};

}  // namespace

Threads* nativeThreads() {
    static PosixThreads instance;
    return &instance;
}

}  // namespace platform
