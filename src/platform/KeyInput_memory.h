// Keyboard input for tests: every key event and every other call is recorded
// in order, the keys held down are tracked, and a small US layout stands in
// for the system's.
//
// The layout: letters, digits, the space, Tab and CR, and the US punctuation
// with its shift states ('+' is Shift with '=' on VK_OEM_PLUS, '{' Shift with
// VK_OEM_4, '@' Shift with '2'...). Bytes from 0x80 on have no key. Scan codes
// are 0x200 plus the virtual key, so a test can tell a code taken from the
// layout from one written in by the caller. A test can take characters out
// of the layout (removeCharacters) and make keys dead (makeDead), as layouts
// of other countries are.
//
// The text is Latin-1: a byte is the character of the same number, and the
// Unicode events carry it. Time passes only by the pauses and beeps (in
// milliseconds, from 0). The window activated becomes the desktop's
// foreground window when a desktop is given, unless activation is refused.
// `onCall` runs after every call is recorded: a test changes the desktop
// there at a chosen moment.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/Desktop_memory.h"
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
    // The desktop whose foreground window activation changes (optional).
    MemoryDesktop* desktop = nullptr;
    bool refuseActivation = false;
    std::uint64_t nowMilliseconds = 0;
    std::set<std::uint16_t> deadKeys;  // keys (with their shift state) that are dead
    std::function<void(const Call&)> onCall;

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

    // The layout no longer types these characters.
    void removeCharacters(const std::string& characters) {
        for (char c : characters) layout_.erase(c);
    }
    // The layout types the character with this key (low byte) and shift state (high byte).
    void setKey(char c, std::uint16_t key) { layout_[c] = key; }
    // The keys of these characters become dead keys.
    void makeDead(const std::string& characters) {
        for (char c : characters) {
            auto it = layout_.find(c);
            if (it != layout_.end()) deadKeys.insert(it->second);
        }
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

    // The text the key events type into an edit on this layout (Latin-1):
    // characters as themselves, Tab and Enter as "\t" and "\n", a key typed
    // with Ctrl or Alt held as "<^x>", "<%x>" or "<^%x>" (x the character, or
    // vkNN for a key without one). A dead key types nothing itself: with the
    // next character it makes an accented letter where one exists (^ ~ ` over
    // a e n o), else both characters.
    std::string typedText() const {
        std::string text;
        bool shift = false, ctrl = false, alt = false;
        char pending = 0;
        for (const Call& e : keyEvents()) {
            const bool isUp = (e.flags & kKeyUp) != 0;
            if (e.flags & kKeyUnicode) {
                if (!isUp) text += compose(pending, static_cast<char>(e.scan & 0xFF));
                continue;
            }
            switch (e.vk) {
                case 0x10: shift = !isUp; continue;
                case 0x11: ctrl = !isUp; continue;
                case 0x12: alt = !isUp; continue;
                default: break;
            }
            if (isUp) continue;
            const std::uint16_t key = static_cast<std::uint16_t>(e.vk | (shift ? kShiftBit : 0));
            const char c = e.vk == 0x09 ? '\t' : e.vk == 0x0D ? '\n' : characterFor(e.vk, shift);
            if (ctrl || alt) {
                text += std::string("<") + (ctrl ? "^" : "") + (alt ? "%" : "");
                if (c != 0) {
                    text += c;
                } else {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "vk%02X", e.vk);
                    text += hex;
                }
                text += ">";
                continue;
            }
            if (c == 0) continue;
            if (deadKeys.count(key) != 0 && pending == 0) {
                pending = c;
                continue;
            }
            text += compose(pending, c);
        }
        if (pending != 0) text += pending;
        return text;
    }
    std::uint16_t keyForCharacter(char c) override {
        auto it = layout_.find(c);
        return it == layout_.end() ? kNoKey : it->second;
    }
    bool isDeadKey(std::uint16_t key) override { return deadKeys.count(key) != 0; }
    std::u16string unicodeOf(const std::string& text, std::size_t at, std::size_t& length) override {
        length = 0;
        if (at >= text.size() || text[at] == '\0') return std::u16string();
        length = 1;
        return std::u16string(1, static_cast<char16_t>(static_cast<unsigned char>(text[at])));
    }
    std::uint64_t tickMilliseconds() override { return nowMilliseconds; }
    std::uint16_t scanCode(std::uint8_t vk) override { return static_cast<std::uint16_t>(0x200 + vk); }
    bool sendKeyEvent(std::uint8_t vk, std::uint16_t scan, unsigned flags) override {
        Call c = call(Kind::KeyEvent);
        c.vk = vk;
        c.scan = scan;
        c.flags = flags;
        if (flags & kKeyUp)
            down.erase(vk);
        else
            down.insert(vk);
        record(c);
        return true;
    }
    std::uint32_t systemVersion() override { return version; }
    void beep(unsigned frequency, unsigned milliseconds) override {
        Call c = call(Kind::Beep);
        c.first = frequency;
        c.second = milliseconds;
        nowMilliseconds += milliseconds;
        record(c);
    }
    void sleep(unsigned milliseconds) override {
        Call c = call(Kind::Sleep);
        c.first = milliseconds;
        nowMilliseconds += milliseconds;
        record(c);
    }
    void pumpKeyboardMessages() override { record(call(Kind::Pump)); }
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
        if (!refuseActivation) {
            active = window;
            if (desktop != nullptr) desktop->foreground = window;
        }
        record(c);
    }

    static WindowHandle handleOf(std::size_t index) { return reinterpret_cast<WindowHandle>(index + 1); }

private:
    void record(const Call& c) {
        calls.push_back(c);
        if (onCall) onCall(c);
    }
    // What an edit shows for character c after the dead key's character
    // `pending` (0 for none), which is used up.
    static std::string compose(char& pending, char c) {
        const char dead = pending;
        pending = 0;
        if (dead == 0) return std::string(1, c);
        static const struct {
            char dead, base;
            unsigned char accented;
        } kAccents[] = {{'^', 'a', 0xE2}, {'^', 'e', 0xEA}, {'^', 'o', 0xF4}, {'~', 'a', 0xE3},
                        {'~', 'n', 0xF1}, {'~', 'o', 0xF5}, {'`', 'a', 0xE0}, {'`', 'e', 0xE8}};
        for (const auto& a : kAccents)
            if (a.dead == dead && a.base == c) return std::string(1, static_cast<char>(a.accented));
        if (c == ' ') return std::string(1, dead);
        return std::string(1, dead) + c;
    }
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
