// The autolock thread: once an operation has ended, it counts the lock timer
// down in one-second steps and locks the store when it reaches zero.
#pragma once

#include <chrono>
#include <functional>

#include "Runnable.h"

class CLockTimer;

class CLockThread : public CRunnable {
public:
    // `lockStore` is what locking means (the plug-in's lock; tests give their
    // own); `tick` is one step of the countdown.
    CLockThread(CLockTimer* timer, std::function<void()> lockStore,
                std::chrono::milliseconds tick = std::chrono::milliseconds(1000));
    ~CLockThread() override;

protected:
    int run() override;

private:
    int loop();

    CLockTimer* m_timer;  // not owned
    std::function<void()> m_lockStore;
    std::chrono::milliseconds m_tick;
};
