// A thread's message queue: the plug-in's threads take their work and their
// quit request from it, the same way on every platform.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

// Message numbers, as the host's platform numbers them.
constexpr unsigned kMsgQuit = 0x0012;  // WM_QUIT
constexpr unsigned kMsgUser = 0x0400;  // WM_USER

struct tThreadMessage {
    unsigned message = 0;
    std::intptr_t lParam = 0;
    std::uintptr_t wParam = 0;
};

class CMessageQueue {
public:
    // False once the queue is closed. The thread is woken only when it can
    // be waiting for this message: a first one in an empty queue, or a quit.
    bool post(const tThreadMessage& message) { return add(message, false); }

    // The same, unless a message with that number is queued already: for a
    // nudge that says "look again", one waiting is as good as many, and a
    // host making thousands of calls does not queue thousands of them.
    bool postUnlessQueued(const tThreadMessage& message) { return add(message, true); }

    // Takes the next message, waiting for it as long as needed.
    void get(tThreadMessage& message) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_messages.empty(); });
        message = m_messages.front();
        m_messages.pop_front();
    }

    // Waits until a message is queued or the time is up; true when the time
    // ran out. The message stays queued.
    bool waitForMessage(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return !m_changed.wait_for(lock, timeout, [this] { return !m_messages.empty(); });
    }

    // Waits until a quit message is queued or the time is up; true when a quit
    // message is there. Other messages stay queued in their order.
    bool waitForQuit(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [this] { return hasQuit(); });
    }

    // Nothing more is accepted; what is queued stays readable.
    void close() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_closed = true;
    }

    void reopen() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_closed = false;
        m_messages.clear();
    }

private:
    bool add(const tThreadMessage& message, bool unlessQueued) {
        bool wake = false;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            if (m_closed) return false;
            if (unlessQueued) {
                for (const tThreadMessage& m : m_messages)
                    if (m.message == message.message) return true;
            }
            wake = m_messages.empty() || message.message == kMsgQuit;
            m_messages.push_back(message);
        }
        if (wake) m_changed.notify_all();
        return true;
    }

    bool hasQuit() const {
        for (const tThreadMessage& m : m_messages) {
            if (m.message == kMsgQuit) return true;
        }
        return false;
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<tThreadMessage> m_messages;
    bool m_closed = false;
};
