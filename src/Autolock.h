// The automatic lock: set up at start-up from the settings, paused for the
// length of every host call that touches the store, and ended before the
// library is unloaded.
#pragma once

#include <chrono>

// Reads Autolock and TimeOutLock, makes the lock timer and the autolock
// thread, and starts the thread when Autolock is on.
void setupAutolock();
// Ends the autolock thread; harmless when there is none or it has ended.
void shutdownAutolock();
// Starts the countdown again from the full time-out, if the store is open
// and unlocked.
void restartAutolock();
// Locks the store if it is open and unlocked; what the countdown does at zero.
void autolockStore();

// Tests only: one step of the countdown (a second in the plug-in).
void setAutolockTickForTesting(std::chrono::milliseconds tick);

// Put at the start of a host call that touches the store: the countdown
// stops now and starts again when the call returns, if the store is then
// open and unlocked. Holds no lock in between.
class CStoreActivity {
public:
    CStoreActivity();
    ~CStoreActivity();
    CStoreActivity(const CStoreActivity&) = delete;
    CStoreActivity& operator=(const CStoreActivity&) = delete;
};
