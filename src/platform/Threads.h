// What the plug-in's own threads need from the system beyond the standard
// thread library: the thread's number as the system knows it, its CPU times,
// keeping the library loaded while a thread of its own still runs, and
// containing a hardware fault (an access violation and the like) inside a
// thread body.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

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
    // other thread, so none of them can be waited for any more.
    virtual bool processEnding() = 0;
};

}  // namespace platform
