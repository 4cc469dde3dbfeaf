#include "Autolock.h"

#include <memory>
#include <mutex>

#include "KeyholdApp.h"
#include "LockThread.h"
#include "LockTimer.h"
#include "Log.h"
#include "MasterPassword.h"

namespace {

constexpr std::int32_t kMinimumTimeout = 5;
constexpr std::int32_t kDefaultTimeout = 30;

std::chrono::milliseconds g_tick{1000};

// The operations that run now, on any thread: one inside another (a listing
// while an entry dialog or the chooser is open) or side by side. The
// countdown runs, and the store locks by itself, only while there is none.
// Held across the count's change and what follows it, so that the last
// operation's end and the next one's start come one after the other.
std::mutex g_activityLock;
int g_activities = 0;

bool storeOpenAndUnlocked() {
    tNavigationState& nav = navigation();
    std::lock_guard<std::recursive_mutex> guard(nav.mutex);
    return nav.databaseLoaded && !nav.isLocked();
}

}  // namespace

void setAutolockTickForTesting(std::chrono::milliseconds tick) { g_tick = tick; }

void setupAutolock() {
    CKeyholdApp& app = theApp();
    shutdownAutolock();  // a second set-up replaces the first
    std::int32_t timeout = settings().m_timeOutLock->GetValue();
    if (timeout < kMinimumTimeout) {
        KH_LOG(eTroubleShoot, "TimeOut invalid. Using default.");
        timeout = kDefaultTimeout;
    }
    KH_LOG(eTroubleShoot, "Timeout is %d seconds.", static_cast<int>(timeout));
    app.m_lockTimer = std::make_unique<CLockTimer>(timeout);
    app.m_lockThread = std::make_unique<CLockThread>(app.m_lockTimer.get(), autolockStore, g_tick);
    if (settings().m_autolock->GetValue()) {
        app.m_lockThread->setName("LockThread");
        app.m_lockThread->start();
        KH_LOG(eTroubleShoot, "Autolock ENABLED !!");
    } else {
        KH_LOG(eTroubleShoot, "Autolock DISABLED !!");
    }
}

void shutdownAutolock() {
    CKeyholdApp& app = theApp();
    if (app.m_lockTimer) app.m_lockTimer->requestQuit();
    if (app.m_lockThread) app.m_lockThread->stop();
}

void restartAutolock() {
    std::lock_guard<std::mutex> guard(g_activityLock);
    CKeyholdApp& app = theApp();
    if (g_activities > 0 || !app.m_lockTimer || !storeOpenAndUnlocked()) return;
    app.m_lockTimer->startTimer();
    // The thread looks at the timer again; a nudge not yet taken does as well.
    if (app.m_lockThread) app.m_lockThread->postMessageUnlessQueued(kMsgUser);
}

void autolockStore() {
    // An operation that began since the countdown ran out keeps the store open.
    std::lock_guard<std::mutex> guard(g_activityLock);
    if (g_activities > 0 || !storeOpenAndUnlocked()) return;
    lock();
}

CStoreActivity::CStoreActivity() {
    std::lock_guard<std::mutex> guard(g_activityLock);
    ++g_activities;
    CKeyholdApp& app = theApp();
    if (app.m_lockTimer) app.m_lockTimer->stopTimer();
}

CStoreActivity::~CStoreActivity() {
    {
        std::lock_guard<std::mutex> guard(g_activityLock);
        --g_activities;
    }
    restartAutolock();
}
