#include "LockThread.h"

#include "LockTimer.h"
#include "Log.h"

CLockThread::CLockThread(CLockTimer* timer, std::function<void()> lockStore, std::chrono::milliseconds tick)
    : m_timer(timer), m_lockStore(std::move(lockStore)), m_tick(tick) {}

CLockThread::~CLockThread() {
    KH_LOG(eRubbish, "Destructing CLockThread ");
    stop();  // before this object's parts go
}

int CLockThread::run() {
    KH_LOG(eRubbish, "Starting LockThread::Run(). ");
    try {
        return loop();
    } catch (...) {
        KH_LOG(eInformation, "Unknown Exception catch");
        return 1;
    }
}

int CLockThread::loop() {
    for (;;) {
        KH_LOG(eRubbish, "Waiting for message");
        tThreadMessage message;
        getMessage(message);
        if (message.message == kMsgQuit) {
            KH_LOG(eInformation, "The CLockThread thread has ending. ");
            return 0;
        }
        if (message.message != kMsgUser) {
            KH_LOG(eInformation, "ERROR: invalid message: %d", static_cast<int>(message.message));
            return 1;
        }
        KH_LOG(eRubbish, "WM_USER message received");
        m_timer->resetTimer();
        KH_LOG(eImportant, "CheckTimer STARTED.");
        if (m_timer->quitRequested()) continue;

        for (;;) {
            if (!m_timer->isStarted()) {
                m_timer->resetTimer();
                KH_LOG(eImportant, "Timer not startet yet.");
                KH_LOG(eImportant, "Waiting.... [timer= %d seconds] ", static_cast<int>(m_timer->remaining()));
                break;
            }
            KH_LOG(eImportant, "Sleeping.... [timer= %d seconds]", static_cast<int>(m_timer->remaining()));
            if (!m_timer->expired()) {
                m_timer->decrement();
                // A quit (the plug-in is being unloaded) cuts the countdown short.
                if (quitArrives(m_tick)) {
                    KH_LOG(eInformation, "The CLockThread thread has ending. ");
                    return 0;
                }
                continue;
            }
            // Checked and stopped in one step: an operation that stopped the
            // timer just now is not locked out under the user's hands.
            if (m_timer->takeExpiry()) {
                KH_LOG(eImportant, "Timeout reached. ");
                m_lockStore();
            }
        }
    }
}
