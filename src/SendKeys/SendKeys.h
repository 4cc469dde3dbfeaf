// The key sender: types a key sequence into the window that has the keyboard
// focus by synthesising key-down and key-up events. One interpreter of the
// language for every desktop: it reaches the keys, the characters, the
// windows and the clock only through platform::AutoTypeDesktop.
//
// Sequence language, read byte by byte:
//   "+" "^" "%" "@"  Shift, Ctrl, Alt, left Windows key down; they stay down
//                    until the next key outside a group, ")" or the end
//   "(" ... ")"      a group: held modifiers apply to every key inside
//   "~"              Enter, at once (no delay)
//   "{NAME}"         a named key (table in SendKeys.cpp, any case), "{NAME n}"
//                    the key n times
//   "{VKEY n}"       a raw 16-bit key value: low byte the key (numbered as
//                    in platform/AutoTypeDesktop.h), high byte the shift
//                    state (bit 0 Shift, bit 1 Ctrl, bit 2 Alt)
//   "{BEEP f d}"     a beep of f hertz for d milliseconds
//   "{APPACTIVATE t}" activates the first top-level window whose title is or
//                    holds t
//   "{DELAY=n}"      every later key waits n milliseconds first (also in later
//                    sequences); "{DELAY n}" only the next one
//   anything else    typed as that character, as the desktop types it (a
//                    byte or two of the ANSI code page on Windows, one UTF-8
//                    code point on Linux; never split): on the active
//                    keyboard layout's key, or as a Unicode character where
//                    the layout has no plain key for it
//
// Bounds: a repeat count of 0 or below sends nothing and one above
// kMaxRepeat sends kMaxRepeat keys; delays and beep durations are cut to
// kMaxPause milliseconds (negative ones are 0); VKEY values outside 0..FFFF
// send nothing. A brace command of kMaxCommand characters or more stops the
// sequence. A whole sequence ends after kMaxSequenceTime milliseconds: the
// pause running then is cut, and the rest is dropped. Whatever way a
// sequence ends, no modifier it pressed is left down.
//
// Typed into a window (`target` given): before every key it presses the
// sender checks that the window is still the foreground window, so also
// after every pause; when it is not, nothing more is typed. {APPACTIVATE}
// makes the window it brings forward the one typed into.
//
// Not thread-safe: one thread types at a time.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Desktop.h"

class CSendKeys {
public:
    static constexpr int kMaxRepeat = 1000;
    static constexpr std::uint32_t kMaxPause = 10000;
    static constexpr std::size_t kMaxCommand = 300;
    static constexpr std::uint32_t kMaxSequenceTime = 60000;

    // How a sequence ended. Only eDone typed all of it; after the others the
    // keys before the stop were typed and nothing after it is.
    enum class Result {
        eDone,
        eCommandTooLong,  // a brace command of kMaxCommand characters or more
        eWindowLeft,      // the window typed into was no longer in front
        eTimeUp,          // kMaxSequenceTime ran out
        eNoCharacter,     // bytes that are no character (of the code page, or UTF-8)
    };

    // Types the sequence. `wait`: after every key event the calling thread's
    // pending keyboard messages are processed. `target`: the window typed
    // into, which has to stay in front; null types into whatever has the
    // focus.
    Result send(const std::string& sequence, bool wait, platform::WindowHandle target = nullptr);
    // send() without a target; true when it typed the whole sequence.
    bool sendKeys(const std::string& sequence, bool wait);
    // Finds a top-level window by class and title (either may be null) and
    // activates it; false when there is none.
    bool appActivate(const char* title, const char* windowClass);
    // True when the text between a "{" and its "}" is a command this sender
    // carries out: a named key (with or without a count), VKEY, BEEP,
    // APPACTIVATE or DELAY. Anything else is skipped when typed.
    static bool knowsCommand(const std::string& text);
    // Sends the key (low byte of vk) `count` times, each press followed by its
    // release when `release` is set, each after the pending delay when
    // `delayed` is set. The high byte of vk is not looked at. No press goes
    // out once the sequence has stopped (see Result).
    void sendKey(std::uint16_t vk, int count, bool release, bool delayed);
    void keyUp(std::uint16_t vk);
    // Outside a group: releases the modifiers the sequence pressed.
    void releaseModifiers();

private:
    // Sends the key wrapped in the shift state of its high byte (a raw key
    // value, or a named key: none).
    void sendWithShiftState(std::uint16_t vk, int count);
    // Whether a key may be pressed now: the sequence has not stopped, its
    // time has not run out, and the window typed into is still in front.
    // Stops the sequence when not.
    bool mayPress();
    void stop(Result why);
    // Milliseconds the sequence being typed has left.
    std::uint64_t timeLeft();
    // Types the character that begins at `at` (with whatever modifier it
    // needs, after the pending delay); returns the bytes it took, 1 when
    // they are no character, which stops the sequence.
    std::size_t typeOne(const std::string& text, std::size_t at);
    // Finds and activates the window; null when there is none.
    platform::WindowHandle activate(const char* title, const char* windowClass);
    void sendEvent(std::uint8_t vk, bool down);
    void pressModifier(std::uint8_t vk, bool& held);
    void numLock(int count, bool delayed);
    void delay();
    // Types the character at `at`, then releases the held modifiers;
    // returns the bytes it took.
    std::size_t typeCharacter(const std::string& sequence, std::size_t at);
    // The text of a brace command (without its braces).
    void command(const std::string& text);
    void namedKey(const std::string& text);

    bool wait_ = false;
    bool inGroup_ = false;
    bool shiftHeld_ = false, altHeld_ = false, ctrlHeld_ = false, winHeld_ = false;
    std::uint32_t standingDelay_ = 0;
    std::uint32_t nextDelay_ = 0;
    // The sequence being typed.
    platform::WindowHandle target_ = nullptr;
    std::uint64_t started_ = 0;
    Result stopped_ = Result::eDone;
    bool running_ = false;  // inside send()
};

// The one key sender of the process.
CSendKeys& sendKeysEngine();
