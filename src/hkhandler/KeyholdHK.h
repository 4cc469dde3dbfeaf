// The plug-in's global hot key: the HotKey setting parsed into a key
// combination, registered with the desktop (platform::AutoTypeDesktop), and
// the auto-type dispatch (onHotKey) as the callback of that combination.
//
// The text is the names of the keys joined by "-", in any case: the modifier
// names CTRL, ALT and SHIFT, and one key given as a single character (a
// letter or a digit: "CTRL-SHIFT-Q", "ALT-1"). Empty parts are dropped, so
// doubled, leading or trailing dashes change nothing; of several one-character
// parts the last one counts. Any other part ("F1", "WIN") makes the text
// invalid, and so does a text without a key ("CTRL-SHIFT"): then nothing is
// registered and the plug-in works without auto-type.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>


class CKeyholdHK {
public:
    CKeyholdHK();
    ~CKeyholdHK();
    CKeyholdHK(const CKeyholdHK&) = delete;
    CKeyholdHK& operator=(const CKeyholdHK&) = delete;

    // Parses the text; when it is valid, registers the combination with
    // onHotKey as its callback. True when it was valid (the registration
    // itself may still have failed: see the log). Once the hot key has been
    // stopped, the next call registers its own combination in place of the
    // earlier one; while it runs, the registration stays.
    bool setHotKey(const std::string& text);
    // Unregisters the combination and ends the desktop's hot-key thread (it
    // must end before the host unloads the plug-in): the thread's exit code,
    // 0 when it was not running.
    int stopHandler();
    bool isStarted();
    // Waits until none of Ctrl, Alt, Shift and the parsed key reads as held,
    // looking every kKeyPollInterval, for at most kKeyReleaseWait: a key that
    // stays down does not hold the thread. True when all were released.
    bool waitForKeysReleased();

    // The last valid combination parsed, and the parts of the last text.
    std::uint16_t modifiers() const { return m_modifiers; }
    std::uint16_t key() const { return m_key; }
    int parts() const { return m_parts; }

    static constexpr std::chrono::milliseconds kKeyPollInterval{10};
    static constexpr std::chrono::milliseconds kKeyReleaseWait{5000};
    // Tests only: a shorter bound.
    static void setKeyReleaseWaitForTesting(std::chrono::milliseconds wait);

private:
    bool parse(const std::string& text);

    // Read by the hot-key thread while the host may parse a new text.
    std::atomic<std::uint16_t> m_modifiers{0};
    std::atomic<std::uint16_t> m_key{0};
    std::atomic<int> m_parts{0};
};

// The plug-in's hot-key object (not visible), made on first use.
CKeyholdHK& keyholdHotKey();
