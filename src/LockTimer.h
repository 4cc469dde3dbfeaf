// The countdown to the automatic lock, shared by the host's calls (which stop
// and start it around every operation) and the autolock thread (which counts
// it down). Every access holds its guard, waiting at most two seconds for it.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

class CLockTimer {
public:
    explicit CLockTimer(std::int32_t timeoutSeconds);

    void startTimer();
    void stopTimer();  // remaining := timeout, not started
    void resetTimer();
    void decrement();
    void requestQuit();

    bool isStarted();
    bool quitRequested();
    bool expired();
    std::int32_t remaining();
    std::int32_t timeout() const { return m_timeout; }

    // Ends a countdown that has run out, in one step with the check: true
    // (and the timer stopped) when it was started and at zero. Another
    // thread's stopTimer can then no longer come between check and lock.
    bool takeExpiry();

    static constexpr std::chrono::milliseconds kGuardWait{2000};

private:
    class Hold;
    std::mutex m_guard;
    bool m_started = false;
    bool m_quit = false;
    std::int32_t m_remaining;
    const std::int32_t m_timeout;
};
