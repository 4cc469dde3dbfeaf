#include "SendKeys/SendKeys.h"

#include <cctype>
#include <cstring>

#include "Log.h"
#include "platform/AutoTypeDesktop.h"
#include "platform/Platform.h"

namespace {

constexpr std::uint8_t kShift = 0x10, kCtrl = 0x11, kAlt = 0x12, kLeftWin = 0x5B;
constexpr std::uint8_t kEnter = 0x0D, kNumLock = 0x90;
// Shift-state bits of a raw key value ({VKEY n}, high byte).
constexpr std::uint16_t kShiftBit = 0x0100, kCtrlBit = 0x0200, kAltBit = 0x0400;

struct KeyName {
    const char* name;
    std::uint16_t code;  // a virtual key, or for a character entry the character
    bool character;      // typed as the character `code`, as the desktop types it
};

// Sorted by name.
const KeyName kKeyNames[] = {
    {"ADD", 0x6B, false},        {"APPS", 0x5D, false},       {"AT", '@', true},
    {"BACKSPACE", 0x08, false},  {"BKSP", 0x08, false},       {"BREAK", 0x03, false},
    {"BS", 0x08, false},         {"CAPSLOCK", 0x14, false},   {"CARET", '^', true},
    {"CLEAR", 0x0C, false},      {"DECIMAL", 0x6E, false},    {"DEL", 0x2E, false},
    {"DELETE", 0x2E, false},     {"DIVIDE", 0x6F, false},     {"DOWN", 0x28, false},
    {"END", 0x23, false},        {"ENTER", 0x0D, false},      {"ESC", 0x1B, false},
    {"ESCAPE", 0x1B, false},     {"F1", 0x70, false},         {"F10", 0x79, false},
    {"F11", 0x7A, false},        {"F12", 0x7B, false},        {"F13", 0x7C, false},
    {"F14", 0x7D, false},        {"F15", 0x7E, false},        {"F16", 0x7F, false},
    {"F2", 0x71, false},         {"F3", 0x72, false},         {"F4", 0x73, false},
    {"F5", 0x74, false},         {"F6", 0x75, false},         {"F7", 0x76, false},
    {"F8", 0x77, false},         {"F9", 0x78, false},         {"HELP", 0x2F, false},
    {"HOME", 0x24, false},       {"INS", 0x2D, false},        {"LEFT", 0x25, false},
    {"LEFTBRACE", '{', true},    {"LEFTPAREN", '(', true},    {"LWIN", 0x5B, false},
    {"MULTIPLY", 0x6A, false},   {"NUMLOCK", 0x90, false},    {"NUMPAD0", 0x60, false},
    {"NUMPAD1", 0x61, false},    {"NUMPAD2", 0x62, false},    {"NUMPAD3", 0x63, false},
    {"NUMPAD4", 0x64, false},    {"NUMPAD5", 0x65, false},    {"NUMPAD6", 0x66, false},
    {"NUMPAD7", 0x67, false},    {"NUMPAD8", 0x68, false},    {"NUMPAD9", 0x69, false},
    {"PERCENT", '%', true},      {"PGDN", 0x22, false},       {"PGUP", 0x21, false},
    {"PLUS", '+', true},         {"PRTSC", 0x2A, false},      {"RIGHT", 0x27, false},
    {"RIGHTBRACE", '}', true},   {"RIGHTPAREN", ')', true},   {"RWIN", 0x5C, false},
    {"SCROLL", 0x91, false},     {"SEPARATOR", 0x6C, false},  {"SNAPSHOT", 0x2C, false},
    {"SUBTRACT", 0x6D, false},   {"TAB", 0x09, false},        {"TILDE", '~', true},
    {"UP", 0x26, false},         {"WIN", 0x5B, false},
};

bool equalsIgnoringCase(const std::string& a, const char* b) {
    const std::size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool beginsIgnoringCase(const std::string& text, const char* prefix) {
    return equalsIgnoringCase(text.substr(0, std::strlen(prefix)), prefix);
}

const KeyName* findKeyName(const std::string& name) {
    for (const KeyName& k : kKeyNames)
        if (equalsIgnoringCase(name, k.name)) return &k;
    return nullptr;
}

// The decimal number in `text` from `from` on, read as atoi reads it (leading
// blanks, an optional sign, digits up to the first other character), but
// held far outside every bound used here instead of overflowing. False when
// there are no digits.
bool readNumber(const std::string& text, std::size_t from, long long& value) {
    std::size_t i = from;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::size_t digits = i;
    long long v = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        if (v < 1000000000000LL) v = v * 10 + (text[i] - '0');
    if (i == digits) return false;
    value = negative ? -v : v;
    return true;
}

// A pause in milliseconds: no number or a negative one is 0, a long one is cut.
std::uint32_t pauseFrom(const std::string& text, std::size_t from) {
    long long v = 0;
    if (!readNumber(text, from, v) || v < 0) return 0;
    return v > CSendKeys::kMaxPause ? CSendKeys::kMaxPause : static_cast<std::uint32_t>(v);
}

std::string tail(const std::string& text, std::size_t from) {
    return from < text.size() ? text.substr(from) : std::string();
}

}  // namespace

CSendKeys& sendKeysEngine() {
    static CSendKeys engine;
    return engine;
}

bool CSendKeys::sendKeys(const std::string& sequence, bool wait) { return send(sequence, wait) == Result::eDone; }

CSendKeys::Result CSendKeys::send(const std::string& sequence, bool wait, platform::WindowHandle target) {
    wait_ = wait;
    inGroup_ = false;
    shiftHeld_ = altHeld_ = ctrlHeld_ = winHeld_ = false;
    target_ = target;
    platform::AutoTypeDesktop& desktop = platform::autoTypeDesktop();
    started_ = desktop.tickMilliseconds();
    stopped_ = Result::eDone;
    running_ = true;
    desktop.setPumpAfterEachEvent(wait);

    for (std::size_t i = 0; i < sequence.size() && stopped_ == Result::eDone; ++i) {
        const char c = sequence[i];
        switch (c) {
            case '+': pressModifier(kShift, shiftHeld_); break;
            case '^': pressModifier(kCtrl, ctrlHeld_); break;
            case '%': pressModifier(kAlt, altHeld_); break;
            case '@': pressModifier(kLeftWin, winHeld_); break;
            case '(': inGroup_ = true; break;
            case ')':
                inGroup_ = false;
                releaseModifiers();
                break;
            case '~':
                sendKey(kEnter, 1, true, false);
                releaseModifiers();
                break;
            case '{': {
                const std::size_t end = sequence.find('}', i + 1);
                const std::string text =
                    sequence.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
                if (text.size() >= kMaxCommand) {
                    KH_LOG(eWarning, "CSendKeys: a command of %u characters ends the sequence",
                           static_cast<unsigned>(text.size()));
                    stopped_ = Result::eCommandTooLong;
                    break;
                }
                command(text);
                i = end == std::string::npos ? sequence.size() : end;
                break;
            }
            default: i += typeCharacter(sequence, i) - 1; break;
        }
    }
    // Whatever way it ended, nothing stays pressed.
    inGroup_ = false;
    releaseModifiers();
    desktop.setPumpAfterEachEvent(false);
    const Result result = stopped_;
    running_ = false;
    target_ = nullptr;
    stopped_ = Result::eDone;
    return result;
}

bool CSendKeys::mayPress() {
    if (!running_) return true;
    if (stopped_ != Result::eDone) return false;
    if (timeLeft() == 0) {
        stop(Result::eTimeUp);
        return false;
    }
    if (target_ != nullptr && platform::autoTypeDesktop().foregroundWindow() != target_) {
        stop(Result::eWindowLeft);
        return false;
    }
    return true;
}

std::uint64_t CSendKeys::timeLeft() {
    const std::uint64_t spent = platform::autoTypeDesktop().tickMilliseconds() - started_;
    return spent >= kMaxSequenceTime ? 0 : kMaxSequenceTime - spent;
}

void CSendKeys::stop(Result why) {
    if (stopped_ != Result::eDone) return;
    stopped_ = why;
    switch (why) {
        case Result::eTimeUp:
            KH_LOG(eWarning, "CSendKeys: the sequence ran for %u seconds; the rest of it is dropped",
                   static_cast<unsigned>(kMaxSequenceTime / 1000));
            break;
        case Result::eWindowLeft:
            KH_LOG(eWarning, "CSendKeys: the window typed into is no longer in front; the rest of the sequence is "
                             "dropped");
            break;
        case Result::eNoCharacter:
            KH_LOG(eWarning, "CSendKeys: the sequence holds bytes that are no character; the rest of it is dropped");
            break;
        default: break;
    }
}

std::size_t CSendKeys::typeOne(const std::string& text, std::size_t at) {
    // Not even a modifier the character needs goes down once the sequence
    // has stopped.
    if (!mayPress()) return 1;
    std::size_t length = 0;
    platform::autoTypeDesktop().typeCharacter(text, at, length, [this] {
        delay();
        return mayPress();
    });
    if (length == 0) {
        stop(Result::eNoCharacter);
        return 1;
    }
    return length;
}

std::size_t CSendKeys::typeCharacter(const std::string& sequence, std::size_t at) {
    const std::size_t length = typeOne(sequence, at);
    releaseModifiers();
    return length;
}

void CSendKeys::command(const std::string& text) {
    if (beginsIgnoringCase(text, "VKEY")) {
        long long value = 0;
        if (!readNumber(text, 4, value) || value < 0 || value >= 0xFFFF) return;
        sendWithShiftState(static_cast<std::uint16_t>(value), 1);
        releaseModifiers();
    } else if (beginsIgnoringCase(text, "BEEP")) {
        const std::string numbers = tail(text, 5);
        const std::size_t blank = numbers.find(' ');
        if (blank == std::string::npos) return;
        long long frequency = 0;
        if (!readNumber(numbers, 0, frequency) || frequency <= 0 || frequency > 0xFFFF) return;
        std::uint32_t duration = pauseFrom(numbers, blank + 1);
        // The beep ends with the sequence's time.
        if (running_ && duration > timeLeft()) duration = static_cast<std::uint32_t>(timeLeft());
        if (duration > 0) platform::autoTypeDesktop().beep(static_cast<unsigned>(frequency), duration);
    } else if (beginsIgnoringCase(text, "APPACTIVATE")) {
        const std::string title = tail(text, 12);
        if (title.empty()) return;
        platform::WindowHandle window = activate(title.c_str(), nullptr);
        // The keys after it are meant for the window it brought forward.
        if (window != nullptr && target_ != nullptr) target_ = window;
    } else if (beginsIgnoringCase(text, "DELAY")) {
        if (text.size() > 5 && text[5] == '=')
            standingDelay_ = pauseFrom(text, 6);
        else
            nextDelay_ = pauseFrom(text, 5);
    } else {
        namedKey(text);
    }
}

bool CSendKeys::knowsCommand(const std::string& text) {
    for (const char* prefix : {"VKEY", "BEEP", "APPACTIVATE", "DELAY"})
        if (beginsIgnoringCase(text, prefix)) return true;
    return findKeyName(text.substr(0, text.find(' '))) != nullptr;
}

void CSendKeys::namedKey(const std::string& text) {
    const std::size_t blank = text.find(' ');
    const KeyName* key = findKeyName(text.substr(0, blank));
    if (key == nullptr) return;  // held modifiers stay down for the next key
    long long count = 1;
    if (blank != std::string::npos && readNumber(text, blank + 1, count)) {
        if (count < 0) count = 0;
        if (count > kMaxRepeat) count = kMaxRepeat;
    }
    if (key->character) {
        // Typed as that character, as a plain character would be.
        const std::string character(1, static_cast<char>(key->code));
        for (long long n = 0; n < count && (!running_ || stopped_ == Result::eDone); ++n) typeOne(character, 0);
        releaseModifiers();
        return;
    }
    const std::uint16_t vk = key->code;
    sendWithShiftState(vk, static_cast<int>(count));
    releaseModifiers();
}

void CSendKeys::sendWithShiftState(std::uint16_t vk, int count) {
    if (count <= 0 || !mayPress()) return;
    const bool shift = (vk & kShiftBit) != 0;
    const bool ctrl = (vk & kCtrlBit) != 0;
    const bool alt = (vk & kAltBit) != 0;
    if (shift) sendEvent(kShift, true);
    if (ctrl) sendEvent(kCtrl, true);
    if (alt) sendEvent(kAlt, true);
    sendKey(vk, count, true, true);
    if (shift) keyUp(kShift);
    if (ctrl) keyUp(kCtrl);
    if (alt) keyUp(kAlt);
}

void CSendKeys::sendKey(std::uint16_t vk, int count, bool release, bool delayed) {
    if (count <= 0) return;
    if (count > kMaxRepeat) count = kMaxRepeat;
    const std::uint8_t key = static_cast<std::uint8_t>(vk & 0xFF);
    if (key == kNumLock) {
        numLock(count, delayed);
        return;
    }
    for (int i = 0; i < count; ++i) {
        if (delayed) delay();
        if (!mayPress()) return;
        sendEvent(key, true);
        if (release) sendEvent(key, false);
    }
}

void CSendKeys::keyUp(std::uint16_t vk) { sendEvent(static_cast<std::uint8_t>(vk & 0xFF), false); }

void CSendKeys::releaseModifiers() {
    if (inGroup_) return;
    if (shiftHeld_) keyUp(kShift);
    if (ctrlHeld_) keyUp(kCtrl);
    if (altHeld_) keyUp(kAlt);
    if (winHeld_) keyUp(kLeftWin);
    shiftHeld_ = ctrlHeld_ = altHeld_ = winHeld_ = false;
}

bool CSendKeys::appActivate(const char* title, const char* windowClass) {
    return activate(title, windowClass) != nullptr;
}

platform::WindowHandle CSendKeys::activate(const char* title, const char* windowClass) {
    const bool noTitle = title == nullptr || *title == '\0';
    const bool noClass = windowClass == nullptr || *windowClass == '\0';
    // An empty title is not a title: looked up as one it would find some
    // window without a title.
    if (noTitle && noClass) return nullptr;
    platform::AutoTypeDesktop& desktop = platform::autoTypeDesktop();
    platform::WindowHandle window = desktop.findWindow(noClass ? nullptr : windowClass, noTitle ? nullptr : title);
    if (window == nullptr) return nullptr;
    desktop.activateWindow(window);
    return window;
}

void CSendKeys::pressModifier(std::uint8_t vk, bool& held) {
    if (!mayPress()) return;
    sendEvent(vk, true);
    held = true;
}

void CSendKeys::sendEvent(std::uint8_t vk, bool down) {
    platform::AutoTypeDesktop& desktop = platform::autoTypeDesktop();
    desktop.keyEvent(vk, down);
    if (wait_) desktop.pumpMessages();
}

// NumLock goes straight out, without the messages being handled after it.
void CSendKeys::numLock(int count, bool delayed) {
    platform::AutoTypeDesktop& desktop = platform::autoTypeDesktop();
    for (int i = 0; i < count; ++i) {
        if (delayed) delay();
        if (!mayPress()) return;
        desktop.keyEvent(kNumLock, true);
        desktop.keyEvent(kNumLock, false);
    }
}

void CSendKeys::delay() {
    if (running_ && stopped_ != Result::eDone) return;  // nothing more is typed
    if (nextDelay_ == 0) nextDelay_ = standingDelay_;
    std::uint32_t pause = nextDelay_;
    nextDelay_ = 0;
    // A pause ends with the sequence's time.
    if (running_ && pause > timeLeft()) pause = static_cast<std::uint32_t>(timeLeft());
    if (pause != 0) platform::autoTypeDesktop().sleep(pause);
}
