// Keyboard input for tests: every key event and every other call is recorded
// in order, the keys held down are tracked, and a small US layout stands in
// for the system's.
//
// The layout: letters, digits, the space, Tab and CR, and the US punctuation
// with its shift states ('+' is Shift with '=' on VK_OEM_PLUS, '{' Shift with
// VK_OEM_4, '@' Shift with '2'...). Bytes from 0x80 on have no key. Scan codes
// are 0x200 plus the virtual key, so a test can tell a code taken from the
// layout from one written in by the caller.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/KeyInput.h"

namespace platform {

class MemoryKeyInput : public KeyInput {
public:
    enum class Kind { KeyEvent, Beep, Sleep, Pump, FindWindow, FindContaining, Activate };
    struct Call {
        Kind kind = Kind::KeyEvent;
        std::uint8_t vk = 0;
        std::uint16_t scan = 0;
        unsigned flags = 0;
        unsigned first = 0, second = 0;  // beep frequency and duration; sleep milliseconds
        bool hasClass = false, hasTitle = false;
        std::string windowClass, title;  // the arguments of the find calls
        WindowHandle window = nullptr;   // the window activated
    };
    struct Window {
        std::string windowClass, title;
    };

    std::vector<Call> calls;
    std::set<std::uint8_t> down;  // keys whose last event was a key-down
    std::uint32_t version = 0x23F00206;  // what an NT-family system reports
    // Top-level windows in their z-order; a window's handle is its index + 1.
    std::vector<Window> windows;
    WindowHandle active = nullptr;

    MemoryKeyInput() {
        for (char c = 'a'; c <= 'z'; ++c) {
            layout_[c] = static_cast<std::uint16_t>(c - 'a' + 'A');
            layout_[static_cast<char>(c - 'a' + 'A')] = static_cast<std::uint16_t>(kShiftBit | (c - 'a' + 'A'));
        }
        const char* shiftedDigits = ")!@#$%^&*(";
        for (int d = 0; d < 10; ++d) {
            layout_[static_cast<char>('0' + d)] = static_cast<std::uint16_t>('0' + d);
            layout_[shiftedDigits[d]] = static_cast<std::uint16_t>(kShiftBit | ('0' + d));
        }
        const struct {
            char plain, shifted;
            std::uint8_t vk;
        } punctuation[] = {{';', ':', 0xBA}, {'=', '+', 0xBB}, {',', '<', 0xBC}, {'-', '_', 0xBD},
                           {'.', '>', 0xBE}, {'/', '?', 0xBF}, {'`', '~', 0xC0}, {'[', '{', 0xDB},
                           {'\\', '|', 0xDC}, {']', '}', 0xDD}, {'\'', '"', 0xDE}};
        for (const auto& p : punctuation) {
            layout_[p.plain] = p.vk;
            layout_[p.shifted] = static_cast<std::uint16_t>(kShiftBit | p.vk);
        }
        layout_[' '] = 0x20;
        layout_['\t'] = 0x09;
        layout_['\r'] = 0x0D;
    }

    // The character the layout types for a key with Shift up or down; 0 when none.
    char characterFor(std::uint8_t vk, bool shift) const {
        const std::uint16_t wanted = static_cast<std::uint16_t>(vk | (shift ? kShiftBit : 0));
        for (const auto& entry : layout_)
            if (entry.second == wanted) return entry.first;
        return 0;
    }
    // The key events alone, in order.
    std::vector<Call> keyEvents() const {
        std::vector<Call> events;
        for (const Call& c : calls)
            if (c.kind == Kind::KeyEvent) events.push_back(c);
        return events;
    }
    bool isDown(std::uint8_t vk) const { return down.count(vk) != 0; }

    std::uint16_t keyForCharacter(char c) override {
        auto it = layout_.find(c);
        return it == layout_.end() ? kNoKey : it->second;
    }
    std::uint16_t scanCode(std::uint8_t vk) override { return static_cast<std::uint16_t>(0x200 + vk); }
    bool sendKeyEvent(std::uint8_t vk, std::uint16_t scan, unsigned flags) override {
        Call c = call(Kind::KeyEvent);
        c.vk = vk;
        c.scan = scan;
        c.flags = flags;
        calls.push_back(c);
        if (flags & kKeyUp)
            down.erase(vk);
        else
            down.insert(vk);
        return true;
    }
    std::uint32_t systemVersion() override { return version; }
    void beep(unsigned frequency, unsigned milliseconds) override {
        Call c = call(Kind::Beep);
        c.first = frequency;
        c.second = milliseconds;
        calls.push_back(c);
    }
    void sleep(unsigned milliseconds) override {
        Call c = call(Kind::Sleep);
        c.first = milliseconds;
        calls.push_back(c);
    }
    void pumpKeyboardMessages() override { calls.push_back(call(Kind::Pump)); }
    WindowHandle findWindow(const char* windowClass, const char* title) override {
        calls.push_back(findCall(Kind::FindWindow, windowClass, title));
        for (std::size_t i = 0; i < windows.size(); ++i) {
            if ((windowClass == nullptr || windows[i].windowClass == windowClass) &&
                (title == nullptr || windows[i].title == title))
                return handleOf(i);
        }
        return nullptr;
    }
    WindowHandle findWindowContaining(const char* windowClass, const char* title) override {
        calls.push_back(findCall(Kind::FindContaining, windowClass, title));
        const bool byClass = windowClass != nullptr && *windowClass != '\0';
        const bool byTitle = title != nullptr && *title != '\0';
        for (std::size_t i = 0; i < windows.size(); ++i) {
            // Names longer than the 300-byte buffers are read cut.
            const std::string cls = windows[i].windowClass.substr(0, 299);
            const std::string text = windows[i].title.substr(0, 299);
            if ((byClass && cls.find(windowClass) != std::string::npos) ||
                (byTitle && text.find(title) != std::string::npos))
                return handleOf(i);
        }
        return nullptr;
    }
    void activateWindow(WindowHandle window) override {
        Call c = call(Kind::Activate);
        c.window = window;
        calls.push_back(c);
        active = window;
    }

    static WindowHandle handleOf(std::size_t index) { return reinterpret_cast<WindowHandle>(index + 1); }

private:
    static Call call(Kind kind) {
        Call c;
        c.kind = kind;
        return c;
    }
    static Call findCall(Kind kind, const char* windowClass, const char* title) {
        Call c = call(kind);
        c.hasClass = windowClass != nullptr;
        c.hasTitle = title != nullptr;
        if (windowClass) c.windowClass = windowClass;
        if (title) c.title = title;
        return c;
    }

    std::map<char, std::uint16_t> layout_;
};

}  // namespace platform
