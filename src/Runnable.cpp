#include "Runnable.h"

#include <string>
#include <system_error>

#include "Log.h"
#include "NPException.h"
#include "platform/Platform.h"
#include "platform/Threads.h"

CRunnable::~CRunnable() { stop(); }

void CRunnable::setName(const std::string& name) { m_name = name; }

bool CRunnable::start() {
    std::lock_guard<std::mutex> control(m_control);
    if (m_running) return true;
    if (m_thread.joinable()) m_thread.join();  // a body that ended by itself
    if (m_moduleHold != nullptr) {
        platform::threads().releaseModule(m_moduleHold);
        m_moduleHold = nullptr;
    }
    {
        std::lock_guard<std::mutex> guard(m_stateMutex);
        m_idKnown = false;
        m_finished = false;
    }
    m_queue.reopen();
    m_queue.post({kMsgUser, 0, 0});
    m_moduleHold = platform::threads().holdModule();
    m_running = true;
    try {
        m_thread = std::thread(&CRunnable::threadMain, this);
    } catch (const std::system_error&) {
        m_running = false;
        platform::threads().releaseModule(m_moduleHold);
        m_moduleHold = nullptr;
        return false;
    }
    // The identifier is the system's; the thread tells it first thing.
    std::unique_lock<std::mutex> lock(m_stateMutex);
    m_stateChanged.wait(lock, [this] { return m_idKnown; });
    return true;
}

bool CRunnable::stop() {
    platform::Threads& threads = platform::threads();
    if (threads.processEnding()) {
        // The system has stopped the thread wherever it was, perhaps waiting
        // on the queue: a quit posted now would wake a waiter that is gone
        // and leave the queue's condition waiting for it for ever. Nothing of
        // the thread's is touched; the process takes it with it.
        platform::letGoOf(m_thread);
        m_moduleHold = nullptr;
        m_running = false;
        return true;
    }
    std::lock_guard<std::mutex> control(m_control);
    if (!m_thread.joinable()) return true;
    m_queue.post({kMsgQuit, 0, 0});
    bool ended;
    {
        std::unique_lock<std::mutex> lock(m_stateMutex);
        ended = m_stateChanged.wait_for(lock, kStopWait, [this] { return m_finished; });
        if (!ended) {
            KH_LOG(eWarning, "* Thread(%s,%lu) has not ended yet; waiting for it.", m_name.c_str(),
                   m_threadId.load());
            // Waited for in slices: if the process ends meanwhile, the system
            // has stopped the thread already and it will never say so.
            while (!m_finished && !threads.processEnding()) {
                m_stateChanged.wait_for(lock, std::chrono::milliseconds(50));
            }
            ended = m_finished;
        }
    }
    if (ended) {
        m_thread.join();
        threads.releaseModule(m_moduleHold);
    } else {
        platform::letGoOf(m_thread);  // gone with the process
    }
    m_moduleHold = nullptr;
    m_running = false;
    m_queue.close();
    return true;
}

bool CRunnable::postMessage(unsigned message, std::intptr_t lParam, std::uintptr_t wParam) {
    if (!m_running) return false;
    if (!m_queue.post({message, lParam, wParam})) {
        KH_LOG(eRubbish, "ERROR: * Thread(%s,%lu) posting message (%lu).", m_name.c_str(), m_threadId.load(), 0ul);
        return false;
    }
    return true;
}

bool CRunnable::postMessageUnlessQueued(unsigned message) {
    if (!m_running) return false;
    return m_queue.postUnlessQueued({message, 0, 0});
}

bool CRunnable::waitFor(unsigned ms) { return m_queue.waitForMessage(std::chrono::milliseconds(ms)); }

void CRunnable::getMessage(tThreadMessage& message) { m_queue.get(message); }

bool CRunnable::quitArrives(std::chrono::milliseconds timeout) { return m_queue.waitForQuit(timeout); }

void CRunnable::logThreadTimes() {
    std::uint64_t kernelMs = 0, userMs = 0;
    if (!platform::threads().currentThreadTimes(kernelMs, userMs)) return;
    KH_LOG(eRubbish, "* Thread(%s,%lu) KERNEL_MODE = %s miliseconds", m_name.c_str(), m_threadId.load(),
           std::to_string(kernelMs).c_str());
    KH_LOG(eRubbish, "* Thread(%s,%lu) USER_MODE = %s miliseconds", m_name.c_str(), m_threadId.load(),
           std::to_string(userMs).c_str());
}

void CRunnable::finish(int result) {
    m_result = result;
    m_threadId = 0;
    m_running = false;
    std::lock_guard<std::mutex> guard(m_stateMutex);
    m_finished = true;
    m_stateChanged.notify_all();
}

void CRunnable::threadMain() {
    {
        std::lock_guard<std::mutex> guard(m_stateMutex);
        m_threadId = platform::threads().currentThreadId();
        m_idKnown = true;
        m_stateChanged.notify_all();
    }
    tThreadMessage first;
    getMessage(first);
    if (first.message != kMsgUser) {  // stopped before it began
        KH_LOG(eRubbish, "* Thread(%s,%lu) finalized.", m_name.c_str(), m_threadId.load());
        logThreadTimes();
        finish(m_result);
        return;
    }

    int result = 0;
    bool failed = false;     // any exception, or a fault
    bool described = false;  // one of ours, or a fault: its description is logged
    std::string description;
    platform::ThreadFault fault;
    const bool completed = platform::threads().runContained(
        [&] {
            try {
                result = run();
            } catch (const CNPException& e) {
                failed = described = true;
                description = e.message();
            } catch (...) {
                failed = true;
            }
        },
        fault);
    if (!completed) {
        failed = described = true;
        description = fault.description;
    }
    if (failed) {
        if (described) {
            KH_LOG(eRubbish, "* Thread(%s,%lu) Exception catched, DESCRIPTION_IS: %s.", m_name.c_str(),
                   m_threadId.load(), description.c_str());
        }
        logThreadTimes();
        finish(1);
        return;
    }
    KH_LOG(eRubbish, "* Thread(%s,%lu) finalized.", m_name.c_str(), m_threadId.load());
    logThreadTimes();
    finish(result);
}
