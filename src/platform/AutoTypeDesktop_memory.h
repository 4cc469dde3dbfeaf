// Auto-type's desktop in memory, for tests of what lies above it (the
// dispatch, the hot-key setting). It records every key event, every
// character typed, pause, beep and activation in order; keeps the keys held
// down; has windows with titles, one of them in front; and lets a test press
// the registered combination: the press runs the callback on a thread of the
// desktop's own, as a real desktop does. press() waits until the callback
// has returned, so to the test it is synchronous; pressAsync() does not wait.
//
// Characters are UTF-8 code points (as on Linux); a NUL byte, a byte that
// begins no code point, and the characters in `untypable` are no character
// to it. Time passes only by the pauses and beeps (milliseconds, from 0).
// `onEvent` runs after each event is recorded, on the thread that typed it:
// a test changes the desktop there at a chosen moment.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/AutoTypeDesktop.h"
#include "platform/HeldKeys_memory.h"

namespace platform {

class MemoryAutoTypeDesktop : public AutoTypeDesktop {
public:
    enum class Kind { Key, Character, Beep, Sleep, Pump, Activate };
    struct Event {
        Kind kind = Kind::Key;
        unsigned key = 0;       // Key
        bool down = false;      // Key
        std::string character;  // Character: its bytes
        unsigned first = 0, second = 0;  // beep frequency and duration; sleep milliseconds
        WindowHandle window = nullptr;   // Activate
    };
    struct Window {
        std::string windowClass, title;
    };

    // --- what the desktop does; set before the hot key starts ---
    bool available = true;
    std::set<std::pair<unsigned, unsigned>> refused;  // (modifiers, key) another program holds
    // --- its windows; set between presses, or from onEvent ---
    WindowHandle foreground = nullptr;
    std::map<WindowHandle, std::string> titles;
    bool frontFails = false;  // bringToFront fails (closed, or refused)
    // Top-level windows for findWindow, in their z-order; a window's handle
    // is its index + 1 (handleOf).
    std::vector<Window> windows;
    bool refuseActivation = false;
    std::set<std::string> untypable;
    std::uint64_t nowMilliseconds = 0;
    std::function<void(const Event&)> onEvent;

    // --- what a test reads once the typing thread is idle ---
    std::vector<Event> events;
    std::set<unsigned> down;  // keys whose last event was a press
    bool pumpingAfterEachEvent = false;

    ~MemoryAutoTypeDesktop() override { stopHotKey(); }

    static WindowHandle handleOf(std::size_t index) { return reinterpret_cast<WindowHandle>(index + 1); }

    // The text the events typed: characters as themselves, Tab and Enter as
    // "\t" and "\n", another key as "<vkNN>"; a character or key typed with
    // Shift, Ctrl, Alt or the Windows key held as "<+x>", "<^x>", "<%x>",
    // "<@x>" (the held ones in that order).
    std::string typedText() const {
        std::string text;
        for (const Event& e : events) {
            std::string item;
            if (e.kind == Kind::Character) {
                item = e.character;
            } else if (e.kind == Kind::Key && e.down && !isModifier(e.key)) {
                if (e.key == 0x09) {
                    item = "\t";
                } else if (e.key == 0x0D) {
                    item = "\n";
                } else {
                    char name[16];
                    std::snprintf(name, sizeof name, "<vk%02X>", e.key);
                    item = name;
                }
            } else {
                continue;
            }
            const std::string held = heldAt(e);
            text += held.empty() ? item : "<" + held + item + ">";
        }
        return text;
    }
    // The key and character events alone.
    std::vector<Event> keyEvents() const {
        std::vector<Event> out;
        for (const Event& e : events)
            if (e.kind == Kind::Key || e.kind == Kind::Character) out.push_back(e);
        return out;
    }
    std::vector<WindowHandle> broughtToFront() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_front;
    }
    // The combination registered now; (0, 0) when none.
    std::pair<unsigned, unsigned> registered() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_running ? m_combination : std::make_pair(0u, 0u);
    }
    int startCalls() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_startCalls;
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
    // Presses the registered combination. False when it is not registered,
    // or when the hot-key thread is busy with an earlier press or ending (the
    // press is dropped then). Otherwise press() waits until the callback has
    // returned.
    bool press() { return pressImpl(true); }
    bool pressAsync() { return pressImpl(false); }
    int handled() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_handled;
    }

    // --- AutoTypeDesktop ---
    bool hotKeyAvailable() override { return available; }
    int startHotKey(unsigned modifiers, unsigned key, std::function<void()> onPress) override {
        std::lock_guard<std::mutex> g(m_lock);
        ++m_startCalls;
        if (m_started) return 0;
        m_started = true;  // a failed start is not tried again before a stop
        if (!available) return 5;
        if (refused.count({modifiers, key}) != 0) return 4;
        m_combination = {modifiers, key};
        m_onPress = std::move(onPress);
        m_quit = false;
        m_running = true;
        m_thread = std::thread([this] { loop(); });
        return 0;
    }
    int stopHotKey() override {
        std::thread thread;
        {
            std::lock_guard<std::mutex> g(m_lock);
            m_started = false;
            m_quit = true;
            m_changed.notify_all();
            thread = std::move(m_thread);
        }
        if (thread.joinable()) thread.join();  // after a running callback
        std::lock_guard<std::mutex> g(m_lock);
        m_running = false;
        m_onPress = nullptr;
        return 0;
    }
    bool hotKeyStarted() override {
        std::lock_guard<std::mutex> g(m_lock);
        return m_started;
    }
    bool isKeyDown(unsigned key) override {
        std::lock_guard<std::mutex> g(m_lock);
        return m_keys.read(key);
    }

    WindowHandle foregroundWindow() override { return foreground; }
    std::string windowTitle(WindowHandle window, std::size_t maxBytes) override {
        auto it = titles.find(window);
        if (it == titles.end() || maxBytes == 0) return std::string();
        return it->second.substr(0, maxBytes - 1);
    }
    bool bringToFront(WindowHandle window) override {
        {
            std::lock_guard<std::mutex> g(m_lock);
            m_front.push_back(window);
        }
        if (frontFails) return false;
        foreground = window;
        return true;
    }
    WindowHandle findWindow(const char* windowClass, const char* title) override {
        const bool byClass = windowClass != nullptr && *windowClass != '\0';
        const bool byTitle = title != nullptr && *title != '\0';
        for (std::size_t i = 0; i < windows.size(); ++i)
            if ((!byClass || windows[i].windowClass == windowClass) && (!byTitle || windows[i].title == title) &&
                (byClass || byTitle))
                return handleOf(i);
        for (std::size_t i = 0; i < windows.size(); ++i)
            if ((byTitle && windows[i].title.find(title) != std::string::npos) ||
                (byClass && windows[i].windowClass.find(windowClass) != std::string::npos))
                return handleOf(i);
        return nullptr;
    }
    void activateWindow(WindowHandle window) override {
        Event e;
        e.kind = Kind::Activate;
        e.window = window;
        if (!refuseActivation) foreground = window;
        record(e);
    }

    bool keyEvent(unsigned key, bool isDown) override {
        Event e;
        e.key = key;
        e.down = isDown;
        if (isDown)
            down.insert(key);
        else
            down.erase(key);
        record(e);
        return true;
    }
    bool typeCharacter(const std::string& text, std::size_t at, std::size_t& length,
                       const std::function<bool()>& beforeKey) override {
        length = codePointLength(text, at);
        if (length == 0) return false;
        const std::string character = text.substr(at, length);
        if (untypable.count(character) != 0) {
            length = 0;
            return false;
        }
        if (beforeKey && !beforeKey()) return false;
        Event e;
        e.kind = Kind::Character;
        e.character = character;
        record(e);
        return true;
    }
    void beep(unsigned frequency, unsigned milliseconds) override {
        Event e;
        e.kind = Kind::Beep;
        e.first = frequency;
        e.second = milliseconds;
        nowMilliseconds += milliseconds;
        record(e);
    }
    void sleep(unsigned milliseconds) override {
        Event e;
        e.kind = Kind::Sleep;
        e.first = milliseconds;
        nowMilliseconds += milliseconds;
        record(e);
    }
    std::uint64_t tickMilliseconds() override { return nowMilliseconds; }
    void pumpMessages() override {
        Event e;
        e.kind = Kind::Pump;
        record(e);
    }
    void setPumpAfterEachEvent(bool on) override { pumpingAfterEachEvent = on; }

    // The bytes of the UTF-8 code point at `at`; 0 when none begins there.
    static std::size_t codePointLength(const std::string& text, std::size_t at) {
        if (at >= text.size()) return 0;
        const unsigned char lead = static_cast<unsigned char>(text[at]);
        std::size_t n = lead == 0 ? 0 : lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3
                                                        : (lead >> 3) == 30 ? 4 : 0;
        if (n == 0 || at + n > text.size()) return 0;
        for (std::size_t i = 1; i < n; ++i)
            if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
        return n;
    }

private:
    static bool isModifier(unsigned key) { return key == 0x10 || key == 0x11 || key == 0x12 || key == 0x5B; }
    // The modifiers held when the event was recorded, as "+^%@".
    std::string heldAt(const Event& at) const {
        std::set<unsigned> held;
        for (const Event& e : events) {
            if (&e == &at) break;
            if (e.kind != Kind::Key || !isModifier(e.key)) continue;
            if (e.down)
                held.insert(e.key);
            else
                held.erase(e.key);
        }
        std::string s;
        if (held.count(0x10)) s += '+';
        if (held.count(0x11)) s += '^';
        if (held.count(0x12)) s += '%';
        if (held.count(0x5B)) s += '@';
        return s;
    }
    void record(const Event& e) {
        events.push_back(e);
        if (onEvent) onEvent(e);
    }
    void loop() {
        std::unique_lock<std::mutex> g(m_lock);
        for (;;) {
            m_changed.wait(g, [this] { return m_quit || m_pending; });
            if (m_quit) break;
            m_pending = false;
            m_busy = true;
            std::function<void()> onPress = m_onPress;
            g.unlock();
            if (onPress) onPress();
            g.lock();
            m_busy = false;
            ++m_handled;
            m_changed.notify_all();
        }
    }
    bool pressImpl(bool wait) {
        std::unique_lock<std::mutex> g(m_lock);
        if (!m_running || m_quit || m_busy || m_pending) return false;
        const int target = m_handled + 1;
        m_pending = true;
        m_changed.notify_all();
        if (wait) m_changed.wait(g, [&] { return m_handled >= target || m_quit; });
        return true;
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::thread m_thread;
    std::function<void()> m_onPress;
    std::pair<unsigned, unsigned> m_combination{0, 0};
    bool m_started = false;  // asked to start, also when that failed
    bool m_running = false;  // registered, with its thread
    bool m_quit = false;
    bool m_pending = false;
    bool m_busy = false;
    int m_handled = 0;
    int m_startCalls = 0;
    HeldKeys m_keys;
    std::vector<WindowHandle> m_front;
};

}  // namespace platform
