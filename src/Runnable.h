// The base of the plug-in's worker threads. A derived class supplies the body
// (run); the base starts it with a start message, posts messages to it, stops
// it with a quit message and logs the thread's CPU times when it ends.
//
// A derived class must call stop() in its own destructor: once the derived
// part is gone, the body may no longer run.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "MessageQueue.h"

class CRunnable {
public:
    CRunnable() = default;
    virtual ~CRunnable();
    CRunnable(const CRunnable&) = delete;
    CRunnable& operator=(const CRunnable&) = delete;

    void setName(const std::string& name);
    // True when running (also when it already was); false when the thread
    // could not be created.
    bool start();
    // Asks the thread to quit and waits for it; always true. A thread that
    // has not ended after a second is waited for all the same (and said so
    // in the log): it is never cut off, since it might hold a lock or be
    // half-way through a change, and never left running, since it would go
    // on using objects that are about to be freed. While the process is
    // ending, when the system has stopped the thread already, it is let go
    // at once: nothing is posted, woken or waited for.
    bool stop();
    // Posts to the thread; false when it is not running or the post failed.
    bool postMessage(unsigned message, std::intptr_t lParam, std::uintptr_t wParam);
    // Posts `message` unless one with that number still waits in the queue.
    bool postMessageUnlessQueued(unsigned message);

    bool isRunning() const { return m_running.load(); }
    int result() const { return m_result.load(); }
    unsigned long threadId() const { return m_threadId.load(); }
    const std::string& name() const { return m_name; }

    // How long stop() waits before it says that the thread is slow to end.
    static constexpr std::chrono::milliseconds kStopWait{1000};

protected:
    // The thread body; its result is the thread's.
    virtual int run() = 0;
    // Waits up to `ms`, waking early when a message is posted; true when the
    // time ran out.
    virtual bool waitFor(unsigned ms);

    // For the body: the next message, waiting as long as needed.
    void getMessage(tThreadMessage& message);
    // For the body: waits up to `timeout`; true as soon as a quit message is
    // queued. Other messages stay queued.
    bool quitArrives(std::chrono::milliseconds timeout);

private:
    void threadMain();
    void logThreadTimes();
    void finish(int result);

    std::thread m_thread;
    std::atomic<unsigned long> m_threadId{0xFFFFFFFFul};
    std::atomic<int> m_result{0};
    std::atomic<bool> m_running{false};
    std::string m_name = "__unnamed__";

    CMessageQueue m_queue;
    std::mutex m_control;  // start and stop
    std::mutex m_stateMutex;
    std::condition_variable m_stateChanged;
    bool m_idKnown = false;
    bool m_finished = false;
    void* m_moduleHold = nullptr;
};
