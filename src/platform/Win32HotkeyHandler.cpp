#include "platform/Win32HotkeyHandler.h"

#include <cstdio>
#include <exception>
#include <system_error>

#include "Log.h"
#include "platform/HotKeys.h"
#include "platform/Platform.h"
#include "platform/Threads.h"

const char* const CHotkeyHandler::kMutexName = "{97B7C451-2467-4C3C-BB91-25AC918C2430}";
const char* const CHotkeyHandler::kWindowClass = "HKWND-CLS-BC090410-3872-49E5-BDF7-1BB8056BF696";
const char* const CHotkeyHandler::kWindowName = "CHotkeyHandlerWindow";

std::string CHotkeyHandler::atomName(std::uint16_t modifiers, std::uint16_t key) {
    char name[64];
    std::snprintf(name, sizeof name, "ED7D65EB-B139-44BB-B455-7BB83FE361DE-%08lX",
                  static_cast<unsigned long>((static_cast<std::uint32_t>(modifiers) << 16) | key));
    return name;
}

CHotkeyHandler::CHotkeyHandler(platform::HotKeys& hotKeys, bool visible) : m_hotKeys(hotKeys), m_visible(visible) {}

CHotkeyHandler::~CHotkeyHandler() { stopHandler(); }

int CHotkeyHandler::addHotKey(std::uint16_t modifiers, std::uint16_t key, HotKeyCallback callback,
                              std::size_t& index) {
    std::lock_guard<std::mutex> guard(m_slotsLock);
    for (std::size_t i = 0; i < m_slots.size(); ++i) {
        if (m_slots[i].modifiers == modifiers && m_slots[i].key == key) {
            index = i;
            return 0;
        }
    }
    HotKeySlot slot;
    slot.modifiers = modifiers;
    slot.key = key;
    slot.callback = std::move(callback);
    m_slots.push_back(std::move(slot));
    index = m_slots.size() - 1;
    return 0;
}

void CHotkeyHandler::clearHotKeys() {
    std::lock_guard<std::mutex> control(m_control);
    if (m_started) return;
    std::lock_guard<std::mutex> guard(m_slotsLock);
    m_slots.clear();
}

bool CHotkeyHandler::isStarted() {
    std::lock_guard<std::mutex> control(m_control);
    return m_started;
}

std::vector<HotKeySlot> CHotkeyHandler::slots() {
    std::lock_guard<std::mutex> guard(m_slotsLock);
    return m_slots;
}

int CHotkeyHandler::startHandler(std::uint32_t user) {
    std::lock_guard<std::mutex> control(m_control);
    if (m_started) return eHK_Ok;
    {
        std::lock_guard<std::mutex> guard(m_slotsLock);
        if (m_slots.empty()) return eHK_NoSlot;
    }
    platform::HotKeys& hotKeys = m_hotKeys;
    if (!hotKeys.available()) {  // the plug-in has said so in its log
        m_started = true;
        return eHK_NoWindowClass;
    }
    void* mutex = hotKeys.acquireNamedMutex(kMutexName);
    if (mutex == nullptr) return eHK_NoMutex;

    m_user = user;
    {
        std::lock_guard<std::mutex> guard(m_stateLock);
        m_signalled = m_finished = false;
        m_status = m_exitCode = 0;
        m_window = nullptr;
    }
    platform::Threads& threads = platform::threads();
    m_moduleHold = threads.holdModule();
    try {
        m_thread = std::thread([this] {
            int code = threadMain();
            std::lock_guard<std::mutex> guard(m_stateLock);
            m_exitCode = code;
            m_finished = true;
            m_stateChanged.notify_all();
        });
    } catch (const std::system_error&) {
        threads.releaseModule(m_moduleHold);
        m_moduleHold = nullptr;
        hotKeys.releaseNamedMutex(mutex);
        return eHK_NoThread;
    }
    int status;
    {
        std::unique_lock<std::mutex> lock(m_stateLock);
        m_stateChanged.wait(lock, [this] { return m_signalled; });
        status = m_status;
    }
    if (status != eHK_Ok) {  // the thread has ended, or is about to
        m_thread.join();
        threads.releaseModule(m_moduleHold);
        m_moduleHold = nullptr;
    }
    m_started = true;  // a failed start is not tried again before a stop
    hotKeys.releaseNamedMutex(mutex);
    return status;
}

int CHotkeyHandler::stopHandler() {
    if (platform::threads().processEnding()) {
        // The system has stopped the thread (and destroys its window and
        // keys itself): nothing is asked of it, waited for or taken, not even
        // the named mutex, which a stopped thread of this process may hold.
        platform::letGoOf(m_thread);
        m_moduleHold = nullptr;
        m_started = false;
        return 0;
    }
    std::lock_guard<std::mutex> control(m_control);
    if (!m_started) return 0;
    if (!m_thread.joinable()) {  // the start failed
        m_started = false;
        return 0;
    }
    platform::HotKeys& hotKeys = m_hotKeys;
    platform::Threads& threads = platform::threads();
    void* mutex = hotKeys.acquireNamedMutex(kMutexName);
    if (mutex == nullptr) return eHK_NoMutex;

    void* window;
    {
        std::lock_guard<std::mutex> guard(m_stateLock);
        window = m_window;
    }
    // The thread unregisters the keys itself, on its way out: they belong to
    // its window. A thread inside a dispatch ends it first.
    hotKeys.requestQuit(window);
    // Waited for in slices, handling what the thread sends us in between:
    // a dialog of its own that ends re-enables the host's window by a sent
    // message, and the host's thread may be the one waiting here.
    bool ended;
    int code;
    {
        std::unique_lock<std::mutex> lock(m_stateLock);
        auto waitSlice = [&](std::chrono::milliseconds slice) {
            if (m_stateChanged.wait_for(lock, slice, [this] { return m_finished; })) return;
            lock.unlock();
            hotKeys.processSentMessages();
            lock.lock();
        };
        const auto bound = std::chrono::steady_clock::now() + kStopWait;
        while (!m_finished && std::chrono::steady_clock::now() < bound) waitSlice(kStopSlice);
        if (!m_finished) {
            KH_LOG(eWarning, "The hot-key thread has not ended yet; waiting for it.");
            // If the process ends meanwhile, the system has stopped the
            // thread already and it will never say so.
            while (!m_finished && !threads.processEnding()) waitSlice(kStopSlice);
        }
        ended = m_finished;
        code = m_exitCode;
    }
    if (ended) {
        m_thread.join();
        threads.releaseModule(m_moduleHold);
    } else {
        platform::letGoOf(m_thread);  // gone with the process
    }
    m_moduleHold = nullptr;
    m_started = false;
    hotKeys.releaseNamedMutex(mutex);
    return code;
}

void CHotkeyHandler::signalStatus(int status) {
    std::lock_guard<std::mutex> guard(m_stateLock);
    m_status = status;
    m_signalled = true;
    m_stateChanged.notify_all();
}

int CHotkeyHandler::threadMain() {
    platform::HotKeys& hotKeys = m_hotKeys;
    if (!hotKeys.registerWindowClass(kWindowClass)) {
        signalStatus(eHK_NoWindowClass);
        return eHK_NoWindowClass;
    }
    void* window = hotKeys.createWindow(kWindowClass, kWindowName, m_visible);
    if (window == nullptr) {
        hotKeys.unregisterWindowClass(kWindowClass);
        signalStatus(eHK_NoWindow);
        return eHK_NoWindow;
    }
    {
        std::lock_guard<std::mutex> guard(m_stateLock);
        m_window = window;
    }
    int status = registerSlots();
    if (status != eHK_Ok) {
        unregisterSlots();
        hotKeys.destroyWindow(window);
        hotKeys.unregisterWindowClass(kWindowClass);
        signalStatus(status);
        return status;
    }
    signalStatus(eHK_Ok);

    int loop = hotKeys.runMessageLoop(window, [this](std::uint16_t id) { dispatch(id); });

    unregisterSlots();
    hotKeys.destroyWindow(window);
    hotKeys.unregisterWindowClass(kWindowClass);
    return loop == 0 ? 0 : 1;
}

int CHotkeyHandler::registerSlots() {
    platform::HotKeys& hotKeys = m_hotKeys;
    std::lock_guard<std::mutex> guard(m_slotsLock);
    for (HotKeySlot& slot : m_slots) {
        std::uint16_t atom = hotKeys.addAtom(atomName(slot.modifiers, slot.key));
        if (atom == 0) return eHK_NotRegistered;
        if (!hotKeys.registerHotKey(m_window, atom, slot.modifiers, slot.key)) {
            hotKeys.deleteAtom(atom);
            return eHK_NotRegistered;
        }
        slot.atom = atom;
    }
    return eHK_Ok;
}

void CHotkeyHandler::unregisterSlots() {
    platform::HotKeys& hotKeys = m_hotKeys;
    std::lock_guard<std::mutex> guard(m_slotsLock);
    for (HotKeySlot& slot : m_slots) {
        if (slot.atom == 0) continue;
        hotKeys.unregisterHotKey(m_window, slot.atom);
        hotKeys.deleteAtom(slot.atom);
        slot.atom = 0;
    }
}

void CHotkeyHandler::dispatch(std::uint16_t id) {
    HotKeyCallback callback;
    {
        std::lock_guard<std::mutex> guard(m_slotsLock);
        for (const HotKeySlot& slot : m_slots) {
            if (slot.atom == id && id != 0) {
                callback = slot.callback;
                break;
            }
        }
    }
    if (!callback) return;
    // Nothing may escape into the message loop: it would end the thread,
    // and the process with it.
    try {
        callback(m_user);
    } catch (const std::exception&) {
        KH_LOG(eError, "Hot key: the dispatch ended with an exception");
    } catch (...) {
        KH_LOG(eError, "Hot key: the dispatch ended with an exception");
    }
}
