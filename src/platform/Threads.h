// What the plug-in's own threads need from the system beyond the standard
// thread library: the thread's number as the system knows it, its CPU times,
// keeping the library loaded while a thread of its own still runs, and
// containing a hardware fault (an access violation and the like) inside a
// thread body.
#pragma once

#include <atomic>
#include <cstdint>
#include <algorithm>
#include <chrono>
#include <functional>
#include <mutex>
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

// A thread that a stop could wait for no longer, because it waits in a dialog
// that the host shows on the very thread that stops us, is let go while it
// still runs in the plug-in. By the time the host gives it back, the objects
// it was using may be gone (the host is leaving): parkIfLetGo, called where
// such a thread comes back from the host, keeps it there, touching nothing,
// until the process ends. The list of such threads lives in room that is
// never freed, so that it outlives every other object of the library; it
// takes nothing from the heap, so no block of it is left behind unreachable
// once the library is unloaded.
inline std::mutex& letGoRunningLock() {
    alignas(std::mutex) static unsigned char room[sizeof(std::mutex)];
    static std::mutex* lock = new (room) std::mutex;
    return *lock;
}
struct LetGoThreads {
    static constexpr std::size_t kRoom = 256;  // the plug-in has three threads
    std::thread::id ids[kRoom];
    std::size_t count = 0;
};
inline LetGoThreads& letGoRunningThreads() {
    alignas(LetGoThreads) static unsigned char room[sizeof(LetGoThreads)];
    static LetGoThreads* threads = new (room) LetGoThreads;
    return *threads;
}
inline void letGoWhileRunning(std::thread& thread) {
    if (!thread.joinable()) return;
    {
        std::lock_guard<std::mutex> guard(letGoRunningLock());
        LetGoThreads& list = letGoRunningThreads();
        if (list.count < LetGoThreads::kRoom) list.ids[list.count++] = thread.get_id();
    }
    thread.detach();
}
inline bool isLetGo() {
    std::lock_guard<std::mutex> guard(letGoRunningLock());
    const LetGoThreads& list = letGoRunningThreads();
    return std::find(list.ids, list.ids + list.count, std::this_thread::get_id()) != list.ids + list.count;
}
inline void parkIfLetGo() {
    if (!isLetGo()) return;
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

}  // namespace platform
