#include "LockTimer.h"

#include <thread>

#include "Log.h"

// Holds the guard for one access. When it cannot be had within its wait the
// access goes on without it (after a warning): a stuck guard must not stop
// the host's thread, and the fields are single words.
// The guard is only ever held for a few instructions, so trying again is
// cheap.
class CLockTimer::Hold {
public:
    explicit Hold(std::mutex& guard) : m_guard(guard) {
        const auto giveUp = std::chrono::steady_clock::now() + kGuardWait;
        while (!(m_held = m_guard.try_lock()) && std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        if (!m_held) KH_LOG(eRubbish, "WARNING: Timeout acquiring  semaphore.");
    }
    ~Hold() {
        if (m_held) m_guard.unlock();
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    std::mutex& m_guard;
    bool m_held;
};

CLockTimer::CLockTimer(std::int32_t timeoutSeconds) : m_remaining(timeoutSeconds), m_timeout(timeoutSeconds) {}

void CLockTimer::startTimer() {
    Hold hold(m_guard);
    m_started = true;
}

void CLockTimer::stopTimer() {
    Hold hold(m_guard);
    m_remaining = m_timeout;
    m_started = false;
}

void CLockTimer::resetTimer() {
    Hold hold(m_guard);
    m_remaining = m_timeout;
}

void CLockTimer::decrement() {
    Hold hold(m_guard);
    if (m_remaining > 0) --m_remaining;
}

void CLockTimer::requestQuit() {
    Hold hold(m_guard);
    m_quit = true;
}

bool CLockTimer::isStarted() {
    Hold hold(m_guard);
    return m_started;
}

bool CLockTimer::quitRequested() {
    Hold hold(m_guard);
    return m_quit;
}

bool CLockTimer::expired() {
    Hold hold(m_guard);
    return m_remaining <= 0;
}

std::int32_t CLockTimer::remaining() {
    Hold hold(m_guard);
    return m_remaining;
}

bool CLockTimer::takeExpiry() {
    Hold hold(m_guard);
    if (!m_started || m_remaining > 0) return false;
    m_remaining = m_timeout;
    m_started = false;
    return true;
}
