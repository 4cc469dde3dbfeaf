// Hot keys in memory, for tests. Records window classes, windows, atoms and
// registrations; refuses what a test tells it to; and lets a test press a
// registered combination: the press goes to the message loop, which runs the
// handler's callback on the handler thread, as the system's loop does.
// press() waits until the callback has returned, so to the test it is
// synchronous; pressAsync() does not wait.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Desktop_memory.h"
#include "platform/HeldKeys_memory.h"
#include "platform/HotKeys.h"

namespace platform {

class MemoryHotKeys : public HotKeys {
public:
    struct Registration {
        HotKeyWindow window;
        std::uint16_t id;
        unsigned modifiers;
        unsigned key;
    };

    // What the "system" does; set before the handler starts.
    bool isAvailable = true;
    bool mutexFails = false;
    bool classFails = false;
    bool windowFails = false;
    bool atomFails = false;
    std::set<std::pair<unsigned, unsigned>> refused;  // (modifiers, key) taken by another program
    // The desktop whose foreground window bringToFront changes (optional).
    MemoryDesktop* desktop = nullptr;
    // bringToFront fails (the window was closed, or the system refused).
    bool frontFails = false;

    // --- what a test reads (under the lock; copies) ---
    std::vector<Registration> registrations() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_registered;
    }
    int registerCalls() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_registerCalls;
    }
    int unregisterCalls() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_unregisterCalls;
    }
    std::size_t liveAtoms() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_atoms.size();
    }
    std::set<std::string> classes() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_classes;
    }
    // Windows that exist, with their names.
    std::map<HotKeyWindow, std::string> windows() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_windows;
    }
    std::vector<void*> broughtToFront() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_front;
    }
    // Identifiers of the threads that ran a callback, one per press handled.
    std::vector<std::thread::id> callbackThreads() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_callbackThreads;
    }
    // Threads that ran a message loop.
    std::vector<std::thread::id> loopThreads() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_loopThreads;
    }
    std::string lastMutexName() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_mutexName;
    }
    bool mutexHeld() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_mutexHeld;
    }

    // --- the user's keyboard ---
    // Holds a key down for the next `polls` reads of its state (-1: for ever).
    void holdKey(unsigned key, int polls) {
        std::lock_guard<std::mutex> g(m_lock);
        m_keys.hold(key, polls);
    }
    int keyPolls() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_keys.reads();
    }
    // Presses the combination. False when no window has it registered, or
    // when its loop is busy with an earlier press or ending (the press is
    // dropped then). Otherwise press() waits until the
    // callback has returned.
    bool press(unsigned modifiers, unsigned key) { return pressImpl(modifiers, key, true); }
    bool pressAsync(unsigned modifiers, unsigned key) { return pressImpl(modifiers, key, false); }
    // Waits until `count` presses have been handled in all; false after the limit.
    bool waitHandled(int count, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        std::unique_lock<std::mutex> g(m_lock);
        return m_changed.wait_for(g, limit, [&] { return m_handled >= count; });
    }
    int handled() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_handled;
    }

    // --- HotKeys ---
    bool available() override { return isAvailable; }

    void* acquireNamedMutex(const std::string& name) override {
        {
            std::lock_guard<std::mutex> g(m_lock);
            m_mutexName = name;
            if (mutexFails) return nullptr;
        }
        m_named.lock();
        std::lock_guard<std::mutex> g(m_lock);
        m_mutexHeld = true;
        return &m_named;
    }
    void releaseNamedMutex(void* mutex) override {
        if (mutex == nullptr) return;
        {
            std::lock_guard<std::mutex> g(m_lock);
            m_mutexHeld = false;
        }
        static_cast<std::mutex*>(mutex)->unlock();
    }

    bool registerWindowClass(const std::string& className) override {
        std::lock_guard<std::mutex> g(m_lock);
        if (classFails) return false;
        m_classes.insert(className);
        return true;
    }
    void unregisterWindowClass(const std::string& className) override {
        std::lock_guard<std::mutex> g(m_lock);
        m_classes.erase(className);
    }
    HotKeyWindow createWindow(const std::string& className, const std::string& windowName, bool) override {
        std::lock_guard<std::mutex> g(m_lock);
        if (windowFails || m_classes.count(className) == 0) return nullptr;
        HotKeyWindow w = reinterpret_cast<HotKeyWindow>(static_cast<std::uintptr_t>(0x5000 + ++m_windowCount));
        m_windows[w] = windowName;
        return w;
    }
    void destroyWindow(HotKeyWindow window) override {
        std::lock_guard<std::mutex> g(m_lock);
        m_windows.erase(window);
        m_registered.erase(std::remove_if(m_registered.begin(), m_registered.end(),
                                          [&](const Registration& r) { return r.window == window; }),
                           m_registered.end());
        m_changed.notify_all();
    }

    std::uint16_t addAtom(const std::string& name) override {
        std::lock_guard<std::mutex> g(m_lock);
        if (atomFails) return 0;
        auto it = m_atoms.find(name);
        if (it != m_atoms.end()) {
            ++it->second.second;
            return it->second.first;
        }
        std::uint16_t atom = static_cast<std::uint16_t>(0xC000 + ++m_atomCount);
        m_atoms[name] = {atom, 1};
        return atom;
    }
    void deleteAtom(std::uint16_t atom) override {
        std::lock_guard<std::mutex> g(m_lock);
        for (auto it = m_atoms.begin(); it != m_atoms.end(); ++it) {
            if (it->second.first != atom) continue;
            if (--it->second.second == 0) m_atoms.erase(it);
            return;
        }
    }

    bool registerHotKey(HotKeyWindow window, std::uint16_t id, unsigned modifiers, unsigned key) override {
        std::lock_guard<std::mutex> g(m_lock);
        ++m_registerCalls;
        if (m_windows.count(window) == 0 || refused.count({modifiers, key}) != 0) return false;
        for (const Registration& r : m_registered) {
            if (r.modifiers == modifiers && r.key == key) return false;  // taken, by us or another
            if (r.window == window && r.id == id) return false;
        }
        m_registered.push_back({window, id, modifiers, key});
        return true;
    }
    bool unregisterHotKey(HotKeyWindow window, std::uint16_t id) override {
        std::lock_guard<std::mutex> g(m_lock);
        ++m_unregisterCalls;
        auto it = std::find_if(m_registered.begin(), m_registered.end(),
                               [&](const Registration& r) { return r.window == window && r.id == id; });
        if (it == m_registered.end()) return false;
        m_registered.erase(it);
        return true;
    }

    int runMessageLoop(HotKeyWindow window, const std::function<void(std::uint16_t)>& onHotKey) override {
        std::unique_lock<std::mutex> g(m_lock);
        m_loopThreads.push_back(std::this_thread::get_id());
        Loop& loop = m_loops[window];
        m_changed.notify_all();
        for (;;) {
            m_changed.wait(g, [&] { return loop.quit || !loop.presses.empty() || m_windows.count(window) == 0; });
            if (loop.quit || m_windows.count(window) == 0) break;
            Press p = loop.presses.front();
            loop.presses.pop_front();
            loop.busy = true;
            g.unlock();
            onHotKey(p.id);
            g.lock();
            loop.busy = false;
            m_callbackThreads.push_back(std::this_thread::get_id());
            ++m_handled;
            m_changed.notify_all();
        }
        m_loops.erase(window);
        m_changed.notify_all();
        return 0;
    }
    bool requestQuit(HotKeyWindow window) override {
        std::lock_guard<std::mutex> g(m_lock);
        ++m_quitRequests;
        if (m_windows.count(window) == 0) return false;
        m_loops[window].quit = true;
        m_changed.notify_all();
        return true;
    }

    void processSentMessages() override {
        std::lock_guard<std::mutex> g(m_lock);
        ++m_sentChecks;
    }
    // How often a window was asked to end its loop.
    int quitRequests() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_quitRequests;
    }
    // How often a waiter looked for sent messages.
    int sentChecks() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_sentChecks;
    }

    bool isKeyDown(unsigned virtualKey) override {
        std::lock_guard<std::mutex> g(m_lock);
        return m_keys.read(virtualKey);
    }

    bool bringToFront(void* window) override {
        std::lock_guard<std::mutex> g(m_lock);
        m_front.push_back(window);
        if (frontFails) return false;
        if (desktop != nullptr) desktop->foreground = window;
        return true;
    }

private:
    struct Press {
        std::uint16_t id;
    };
    struct Loop {
        bool busy = false;
        bool quit = false;
        std::deque<Press> presses;
    };

    bool pressImpl(unsigned modifiers, unsigned key, bool wait) {
        std::unique_lock<std::mutex> g(m_lock);
        auto it = std::find_if(m_registered.begin(), m_registered.end(),
                               [&](const Registration& r) { return r.modifiers == modifiers && r.key == key; });
        if (it == m_registered.end()) return false;
        const HotKeyWindow window = it->window;
        // Queued for a loop that has not begun yet, as the system queues it.
        Loop& loop = m_loops[window];
        if (loop.busy || !loop.presses.empty() || loop.quit) return false;
        const int target = m_handled + 1;
        loop.presses.push_back({it->id});
        m_changed.notify_all();
        if (wait) m_changed.wait(g, [&] { return m_handled >= target || m_windows.count(window) == 0; });
        return true;
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::mutex m_named;
    bool m_mutexHeld = false;
    std::string m_mutexName;
    std::set<std::string> m_classes;
    std::map<HotKeyWindow, std::string> m_windows;
    int m_windowCount = 0;
    std::map<std::string, std::pair<std::uint16_t, int>> m_atoms;  // name -> (atom, references)
    int m_atomCount = 0;
    std::vector<Registration> m_registered;
    int m_registerCalls = 0;
    int m_unregisterCalls = 0;
    std::map<HotKeyWindow, Loop> m_loops;
    std::vector<std::thread::id> m_callbackThreads;
    std::vector<std::thread::id> m_loopThreads;
    int m_handled = 0;
    HeldKeys m_keys;
    int m_sentChecks = 0;
    int m_quitRequests = 0;
    std::vector<void*> m_front;
};

}  // namespace platform
