// The Win32 steps of the global hot key, part of the Win32 desktop of
// auto-type (platform/Win32AutoType.h): a handler that owns a thread of its
// own with a hidden window, registers its key combinations for that window
// and runs a combination's callback on that thread when the user presses it.
// Starting and stopping are serialised between all processes that load the
// plug-in by a named mutex, so that two hosts never register at the same
// moment (the second registration of a combination is refused by the
// system).
//
// It reaches the system only through the HotKeys given to it, so it is built
// on every platform and runs over the in-memory HotKeys in the tests.
//
// The thread holds a reference on the library while it runs, so the library
// stays loaded; stopHandler must therefore run before the host unloads us
// (FsContentPluginUnloading), not only from a destructor at unload.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {
class HotKeys;
}

// Modifier flags of a combination.
constexpr std::uint16_t kModAlt = 1;
constexpr std::uint16_t kModControl = 2;
constexpr std::uint16_t kModShift = 4;

// Results of startHandler.
enum eHotkeyStart {
    eHK_Ok = 0,
    eHK_NoWindowClass = 1,  // also: this desktop has no global hot keys
    eHK_NoWindow = 2,
    eHK_NoSlot = 3,
    eHK_NotRegistered = 4,  // no atom, or the system refused the combination
    eHK_NoThread = 5,
    eHK_NoMutex = 6,
};

using HotKeyCallback = std::function<void(std::uint32_t user)>;

// One registered key combination.
struct HotKeySlot {
    std::uint16_t modifiers = 0;
    std::uint16_t key = 0;  // virtual-key code
    HotKeyCallback callback;
    std::uint16_t atom = 0;  // the hot key's identifier; 0 until registered
};

class CHotkeyHandler {
public:
    explicit CHotkeyHandler(platform::HotKeys& hotKeys, bool visible = false);
    virtual ~CHotkeyHandler();
    CHotkeyHandler(const CHotkeyHandler&) = delete;
    CHotkeyHandler& operator=(const CHotkeyHandler&) = delete;

    // Adds a combination; one that is there already is reused. Always 0;
    // `index` is the slot's position.
    int addHotKey(std::uint16_t modifiers, std::uint16_t key, HotKeyCallback callback, std::size_t& index);
    // Forgets every combination; only while the handler is not started.
    void clearHotKeys();
    // Starts the thread and registers the combinations: an eHotkeyStart.
    // Already started (also after a failed start): 0.
    int startHandler(std::uint32_t user);
    // Unregisters the combinations and ends the thread: its exit code, 6 when
    // the named mutex cannot be had, 0 when it was not running. The thread is
    // asked to end and waited for; past kStopWait the wait is logged and goes
    // on, since the thread may be in the middle of a dispatch that uses the
    // plug-in's objects: it is never cut off. Only when the process is ending
    // (the system has stopped the thread already) it is let go, at once and
    // without a message, a wait or the named mutex.
    int stopHandler();

    bool isStarted();
    std::vector<HotKeySlot> slots();

    // Names of the system objects.
    static const char* const kMutexName;
    static const char* const kWindowClass;
    static const char* const kWindowName;
    static std::string atomName(std::uint16_t modifiers, std::uint16_t key);

    static constexpr std::chrono::milliseconds kStopWait{1000};
    // The slices of that wait, between which sent messages are handled.
    static constexpr std::chrono::milliseconds kStopSlice{10};

private:
    int threadMain();
    void signalStatus(int status);
    int registerSlots();  // on the handler thread
    void unregisterSlots();
    void dispatch(std::uint16_t id);

    platform::HotKeys& m_hotKeys;
    const bool m_visible;
    std::mutex m_control;  // startHandler and stopHandler
    std::mutex m_slotsLock;
    std::vector<HotKeySlot> m_slots;
    std::uint32_t m_user = 0;
    void* m_window = nullptr;  // written by the thread before it signals
    bool m_started = false;

    std::thread m_thread;
    void* m_moduleHold = nullptr;
    std::mutex m_stateLock;
    std::condition_variable m_stateChanged;
    bool m_signalled = false;  // the start status is known
    int m_status = 0;
    bool m_finished = false;
    int m_exitCode = 0;
};
