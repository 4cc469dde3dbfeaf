// What the plug-in's own threads need from the system beyond the standard
// thread library: the thread's number as the system knows it, its CPU times,
// keeping the library loaded while a thread of its own still runs, and
// containing a hardware fault (an access violation and the like) inside a
// thread body.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <new>
#include <string>
#include <thread>

namespace platform {

struct ThreadFault {
    std::uint32_t code = 0;  // the system's exception code
    std::string description;
};

class Threads {
public:
    virtual ~Threads() = default;
    // The calling thread's identifier as the system reports it.
    virtual unsigned long currentThreadId() = 0;
    // Kernel and user CPU time of the calling thread in whole milliseconds;
    // false when the system cannot tell.
    virtual bool currentThreadTimes(std::uint64_t& kernelMs, std::uint64_t& userMs) = 0;
    // Takes a reference on this library so that its code stays mapped while
    // a thread of its own runs; the token goes back to releaseModule once that
    // thread has been joined.
    virtual void* holdModule() = 0;
    virtual void releaseModule(void* token) = 0;
    // Runs the body. A hardware fault inside it ends the body there: false,
    // with the fault described. True when the body returned; a C++ exception
    // it throws passes through.
    virtual bool runContained(const std::function<void()>& body, ThreadFault& fault) = 0;
    // True while the process is ending: the system has already stopped every
    // other thread wherever it was, so none of them can be asked to end,
    // woken or waited for any more, and what they were using (a condition
    // they waited on, a mutex they held) may be left half-way. The owners of
    // threads then let them go (letGoOf) and touch none of their objects.
    virtual bool processEnding() = 0;
};

// Lets go of a thread that the system has stopped with the process, without
// a call to the thread library, which may still count it among its waiters
// or owners: the thread object is moved aside into room that is never
// freed, so it is neither joined nor detached. Only while the process is
// ending.
inline void letGoOf(std::thread& thread) {
    if (!thread.joinable()) return;
    constexpr int kRoom = 8;  // the plug-in has three threads
    alignas(std::thread) static unsigned char room[kRoom][sizeof(std::thread)];
    static std::atomic<int> used{0};
    const int slot = used.fetch_add(1);
    if (slot < kRoom)
        new (room[slot]) std::thread(std::move(thread));
    else
        new std::thread(std::move(thread));
}

}  // namespace platform
