// The key sender: types a key sequence into the window that has the keyboard
// focus by synthesising key-down and key-up events.
//
// Sequence language, read byte by byte:
//   "+" "^" "%" "@"  Shift, Ctrl, Alt, left Windows key down; they stay down
//                    until the next key outside a group, ")" or the end
//   "(" ... ")"      a group: held modifiers apply to every key inside
//   "~"              Enter, at once (no delay)
//   "{NAME}"         a named key (table in SendKeys.cpp, any case), "{NAME n}"
//                    the key n times
//   "{VKEY n}"       a raw 16-bit key value: low byte the virtual key, high
//                    byte the shift state (bit 0 Shift, bit 1 Ctrl, bit 2 Alt)
//   "{BEEP f d}"     a beep of f hertz for d milliseconds
//   "{APPACTIVATE t}" activates the first top-level window whose title is or
//                    holds t
//   "{DELAY=n}"      every later key waits n milliseconds first (also in later
//                    sequences); "{DELAY n}" only the next one
//   anything else    typed as that character through the keyboard layout;
//                    a character the layout has no key for is skipped
//
// Bounds: a repeat count of 0 or below sends nothing and one above
// kMaxRepeat sends kMaxRepeat keys; delays and beep durations are cut to
// kMaxPause milliseconds (negative ones are 0); VKEY values outside 0..FFFF
// send nothing. A brace command of kMaxCommand characters or more stops the
// sequence. Whatever way a sequence ends, no modifier it pressed is left down.
//
// Not thread-safe: one thread types at a time.
#pragma once

#include <cstdint>
#include <string>

class CSendKeys {
public:
    static constexpr int kMaxRepeat = 1000;
    static constexpr std::uint32_t kMaxPause = 10000;
    static constexpr std::size_t kMaxCommand = 300;

    // True when the whole sequence was processed; false when a brace command
    // of kMaxCommand characters or more was met (the keys before it were
    // typed; nothing after it is). `wait`: after every key event the calling
    // thread's pending keyboard messages are processed.
    bool sendKeys(const std::string& sequence, bool wait);
    // Finds a top-level window by class and title (either may be null) and
    // activates it; false when there is none.
    bool appActivate(const char* title, const char* windowClass);
    // Sends the key (low byte of vk) `count` times, each press followed by its
    // release when `release` is set, each after the pending delay when
    // `delayed` is set. The high byte of vk is not looked at.
    void sendKey(std::uint16_t vk, int count, bool release, bool delayed);
    void keyUp(std::uint16_t vk);
    // Outside a group: releases the modifiers the sequence pressed.
    void releaseModifiers();

private:
    // Sends the key wrapped in the shift state of its high byte.
    void sendWithShiftState(std::uint16_t vk, int count);
    void sendEvent(std::uint8_t vk, std::uint16_t scan, unsigned flags);
    void pressModifier(std::uint8_t vk, bool& held);
    void numLock(int count, bool delayed);
    void delay();
    void typeCharacter(char c);
    // The text of a brace command (without its braces).
    void command(const std::string& text);
    void namedKey(const std::string& text);

    bool wait_ = false;
    bool inGroup_ = false;
    bool shiftHeld_ = false, altHeld_ = false, ctrlHeld_ = false, winHeld_ = false;
    std::uint32_t standingDelay_ = 0;
    std::uint32_t nextDelay_ = 0;
};

// The one key sender of the process.
CSendKeys& sendKeysEngine();
