// The global hot key: the HotKey text and what it registers, the handler's
// start codes, its thread and window, stopping and starting again, and the
// wait for the user to let go of the keys. The Win32 desktop of auto-type
// carries them out, here over the in-memory hot keys.
#include <atomic>
#include <chrono>
#include <thread>

#include "StoreFixture.h"
#include "SendKeys/SendKeys.h"
#include "hkhandler/KeyholdHK.h"
#include "platform/AutoTypeDesktop.h"
#include "platform/Win32HotkeyHandler.h"

namespace {

using namespace std::chrono_literals;

constexpr unsigned kCtrlShift = kModControl | kModShift;

class HotKeyTest : public StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        useWin32AutoType();
    }
    void TearDown() override {
        StoreFixture::TearDown();
        CKeyholdHK::setKeyReleaseWaitForTesting(CKeyholdHK::kKeyReleaseWait);
    }
    bool logged(int level, const std::string& message) {
        std::lock_guard<std::mutex> guard(log.mutex);
        return log.has(level, message);
    }
    int loggedCount(const std::string& message) {
        std::lock_guard<std::mutex> guard(log.mutex);
        return log.count(message);
    }
    // Waits until the thread of a handler whose stop was given up on has
    // made its last call of the platform.
    bool classGone() {
        for (int i = 0; i < 5000; ++i) {
            if (hotKeys.classes().empty()) return true;
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }
};

// --- the HotKey text --------------------------------------------------------

struct ParseCase {
    const char* text;
    bool valid;
    unsigned modifiers;
    unsigned key;
    const char* error;  // the eError line, for invalid texts
};

class HotKeyTextTest : public HotKeyTest, public ::testing::WithParamInterface<ParseCase> {};

TEST_P(HotKeyTextTest, RegistersTheCombinationOfAValidTextAndNothingForAnInvalidOne) {
    const ParseCase& c = GetParam();
    EXPECT_EQ(keyholdHotKey().setHotKey(c.text), c.valid) << c.text;
    std::vector<platform::MemoryHotKeys::Registration> r = hotKeys.registrations();
    EXPECT_TRUE(logged(eRubbish, "Entering setHotKey"));
    EXPECT_TRUE(logged(eImportant, "Parsing hot key"));
    if (c.valid) {
        ASSERT_EQ(r.size(), 1u) << c.text;
        EXPECT_EQ(r[0].modifiers, c.modifiers) << c.text;
        EXPECT_EQ(r[0].key, c.key) << c.text;
        EXPECT_TRUE(logged(eRubbish, "Leaving setHotKey"));
        EXPECT_EQ(loggedCount("Error initializing HotKey: 4"), 0);
    } else {
        EXPECT_TRUE(r.empty()) << c.text;
        EXPECT_EQ(hotKeys.registerCalls(), 0) << c.text;
        EXPECT_TRUE(hotKeys.windows().empty()) << c.text;
        EXPECT_FALSE(keyholdHotKey().isStarted()) << c.text;
        EXPECT_TRUE(logged(eError, c.error)) << c.text;
        EXPECT_FALSE(logged(eRubbish, "Leaving setHotKey")) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, HotKeyTextTest,
    ::testing::Values(ParseCase{"CTRL-SHIFT-Q", true, kCtrlShift, 0x51, ""},
                      ParseCase{"ctrl-shift-q", true, kCtrlShift, 0x51, ""},
                      ParseCase{"ALT-1", true, kModAlt, 0x31, ""},
                      ParseCase{"shift-ctrl-alt-z", true, kCtrlShift | kModAlt, 0x5A, ""},
                      // Doubled, leading and trailing dashes are empty parts, dropped.
                      ParseCase{"--Ctrl--Alt--x--", true, kModControl | kModAlt, 0x58, ""},
                      // Of several keys the last one counts.
                      ParseCase{"CTRL-A-B", true, kModControl, 0x42, ""},
                      ParseCase{"CTRL-SHIFT-F1", false, 0, 0, "Invalid key: F1"},
                      ParseCase{"win-q", false, 0, 0, "Invalid key: WIN"},
                      ParseCase{"CTRL+Q", false, 0, 0, "Invalid key: CTRL+Q"},
                      // Modifiers alone name no key, nor does an empty text.
                      ParseCase{"CTRL-SHIFT", false, 0, 0, "Hot key names no key: CTRL-SHIFT"},
                      ParseCase{"", false, 0, 0, "Hot key names no key: "},
                      ParseCase{"-", false, 0, 0, "Hot key names no key: -"},
                      ParseCase{"---", false, 0, 0, "Hot key names no key: ---"}));

TEST_F(HotKeyTest, PartsAreLoggedAndCountedUpToTheInvalidOne) {
    keyholdHotKey().setHotKey("ctrl-a-f1-b");
    EXPECT_EQ(keyholdHotKey().parts(), 3);
    EXPECT_TRUE(logged(eInformation, "key part: CTRL"));
    EXPECT_TRUE(logged(eInformation, "key part: A"));
    EXPECT_FALSE(logged(eInformation, "key part: B"));
    EXPECT_TRUE(logged(eError, "Invalid key: F1"));
}

TEST_F(HotKeyTest, TheStartUpRegistersTheSettingAndAnUnloadEndsTheThreadAndFreesEverything) {
    start("[MAIN]\nHotKey=alt-1\n");
    ASSERT_EQ(hotKeys.registrations().size(), 1u);
    EXPECT_EQ(hotKeys.registrations()[0].modifiers, kModAlt);
    EXPECT_EQ(hotKeys.registrations()[0].key, 0x31u);
    EXPECT_EQ(hotKeys.windows().size(), 1u);
    EXPECT_EQ(hotKeys.liveAtoms(), 1u);
    EXPECT_EQ(threads.moduleHolds - threads.moduleReleases, 2);  // the hot-key and the autolock thread

    theApp().stopThreads();  // FsContentPluginUnloading
    EXPECT_FALSE(keyholdHotKey().isStarted());
    EXPECT_TRUE(hotKeys.registrations().empty());
    EXPECT_EQ(hotKeys.unregisterCalls(), 1);
    EXPECT_TRUE(hotKeys.windows().empty());
    EXPECT_TRUE(hotKeys.classes().empty());
    EXPECT_EQ(hotKeys.liveAtoms(), 0u);
    EXPECT_EQ(threads.moduleHolds.load(), threads.moduleReleases.load());

    // Loaded again, with the setting changed meanwhile: the new key alone.
    start("[MAIN]\nHotKey=CTRL-SHIFT-Q\n");
    ASSERT_EQ(hotKeys.registrations().size(), 1u);
    EXPECT_EQ(hotKeys.registrations()[0].modifiers, kCtrlShift);
    EXPECT_EQ(hotKeys.registrations()[0].key, 0x51u);
    EXPECT_EQ(win32AutoType.handler().slots().size(), 1u);
}

TEST_F(HotKeyTest, ACombinationTakenByAnotherProgramIsReportedAndLeavesNothingBehind) {
    hotKeys.refused.insert({kCtrlShift, 0x51});
    EXPECT_TRUE(keyholdHotKey().setHotKey("CTRL-SHIFT-Q"));
    EXPECT_TRUE(logged(eImportant, "Error initializing HotKey: 4"));
    EXPECT_TRUE(hotKeys.registrations().empty());
    EXPECT_EQ(hotKeys.liveAtoms(), 0u);
    EXPECT_TRUE(hotKeys.windows().empty());
    EXPECT_TRUE(hotKeys.classes().empty());
    EXPECT_EQ(threads.moduleHolds.load(), threads.moduleReleases.load());
}

TEST_F(HotKeyTest, WithoutGlobalHotKeysOnTheDesktopNothingStartsAndTheLogSaysSoOnce) {
    hotKeys.isAvailable = false;
    start();
    EXPECT_EQ(loggedCount("Global hot key not available on this desktop"), 1);
    EXPECT_TRUE(logged(eImportant, "Error initializing HotKey: 1"));
    EXPECT_EQ(hotKeys.registerCalls(), 0);
    EXPECT_TRUE(hotKeys.loopThreads().empty());
    EXPECT_TRUE(hotKeys.mutexHeld() == false);
}

#if !defined(_WIN32)
// The Linux build without an X display: the plug-in starts, registers
// nothing, and says so once.
TEST_F(HotKeyTest, TheLinuxDesktopWithoutADisplayHasNoHotKeyAndTheLogSaysSoOnce) {
    platform::AutoTypeDesktop& native = *platform::nativeServices().autoTypeDesktop;
    if (native.hotKeyAvailable()) GTEST_SKIP() << "an X display is there";
    platform::services().autoTypeDesktop = &native;
    start();
    EXPECT_EQ(loggedCount("Global hot key not available on this desktop"), 1);
    EXPECT_TRUE(logged(eImportant, "Error initializing HotKey: 5"));
    EXPECT_FALSE(keyholdHotKey().isStarted());
    EXPECT_EQ(keyholdHotKey().stopHandler(), 0);
    // Nothing can be typed there: a sequence stops at its first character.
    CSendKeys keys;
    EXPECT_EQ(keys.send("a{TAB}", false), CSendKeys::Result::eNoCharacter);
}
#endif

// --- the handler ------------------------------------------------------------

class HandlerTest : public HotKeyTest {};

TEST_F(HandlerTest, StartCodes) {
    struct Case {
        const char* what;
        std::function<void(platform::MemoryHotKeys&)> system;
        int code;
    };
    const Case cases[] = {
        {"class", [](platform::MemoryHotKeys& h) { h.classFails = true; }, eHK_NoWindowClass},
        {"window", [](platform::MemoryHotKeys& h) { h.windowFails = true; }, eHK_NoWindow},
        {"atom", [](platform::MemoryHotKeys& h) { h.atomFails = true; }, eHK_NotRegistered},
        {"refused", [](platform::MemoryHotKeys& h) { h.refused.insert({kModAlt, 0x31}); }, eHK_NotRegistered},
        {"mutex", [](platform::MemoryHotKeys& h) { h.mutexFails = true; }, eHK_NoMutex},
    };
    for (const Case& c : cases) {
        platform::MemoryHotKeys system;
        c.system(system);
        {
            CHotkeyHandler handler(system);
            std::size_t index = 9;
            handler.addHotKey(kCtrlShift, 0x51, [](std::uint32_t) {}, index);
            handler.addHotKey(kModAlt, 0x31, [](std::uint32_t) {}, index);
            EXPECT_EQ(index, 1u);
            EXPECT_EQ(handler.startHandler(0), c.code) << c.what;
            // Whatever was made on the way is gone again.
            EXPECT_TRUE(system.registrations().empty()) << c.what;
            EXPECT_EQ(system.liveAtoms(), 0u) << c.what;
            EXPECT_TRUE(system.windows().empty()) << c.what;
            EXPECT_TRUE(system.classes().empty()) << c.what;
            EXPECT_FALSE(system.mutexHeld()) << c.what;
            EXPECT_EQ(threads.moduleHolds.load(), threads.moduleReleases.load()) << c.what;
            // A failed start counts as started (not tried again) -- except
            // when the mutex could not be had, where nothing began.
            EXPECT_EQ(handler.isStarted(), c.code != eHK_NoMutex) << c.what;
            EXPECT_EQ(handler.startHandler(0), c.code == eHK_NoMutex ? c.code : eHK_Ok) << c.what;
            EXPECT_EQ(handler.stopHandler(), 0) << c.what;
            EXPECT_FALSE(handler.isStarted()) << c.what;
        }
    }
}

TEST_F(HandlerTest, NoSlotGivesThreeAndStartsNothing) {
    CHotkeyHandler handler(hotKeys);
    EXPECT_EQ(handler.startHandler(0), eHK_NoSlot);
    EXPECT_FALSE(handler.isStarted());
    EXPECT_TRUE(hotKeys.loopThreads().empty());
    EXPECT_EQ(hotKeys.lastMutexName(), "");
}

TEST_F(HandlerTest, NamesOfTheSystemObjects) {
    CHotkeyHandler handler(hotKeys);
    std::size_t index;
    handler.addHotKey(kCtrlShift, 0x51, [](std::uint32_t) {}, index);
    ASSERT_EQ(handler.startHandler(0), eHK_Ok);
    EXPECT_EQ(hotKeys.lastMutexName(), "{97B7C451-2467-4C3C-BB91-25AC918C2430}");
    EXPECT_EQ(hotKeys.classes(), std::set<std::string>{"HKWND-CLS-BC090410-3872-49E5-BDF7-1BB8056BF696"});
    ASSERT_EQ(hotKeys.windows().size(), 1u);
    EXPECT_EQ(hotKeys.windows().begin()->second, "CHotkeyHandlerWindow");
    EXPECT_EQ(CHotkeyHandler::atomName(kCtrlShift, 0x51), "ED7D65EB-B139-44BB-B455-7BB83FE361DE-00060051");
    EXPECT_EQ(CHotkeyHandler::atomName(kModAlt, 0xFFFF), "ED7D65EB-B139-44BB-B455-7BB83FE361DE-0001FFFF");
    EXPECT_EQ(handler.slots().at(0).atom, hotKeys.registrations().at(0).id);
    EXPECT_NE(handler.slots().at(0).atom, 0);
}

TEST_F(HandlerTest, StartedTwiceRegistersOnceAndAnAddedCombinationIsReused) {
    CHotkeyHandler handler(hotKeys);
    std::size_t first = 9, again = 9;
    handler.addHotKey(kCtrlShift, 0x51, [](std::uint32_t) {}, first);
    handler.addHotKey(kCtrlShift, 0x51, [](std::uint32_t) {}, again);
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(again, 0u);
    EXPECT_EQ(handler.slots().size(), 1u);
    EXPECT_EQ(handler.startHandler(0), eHK_Ok);
    EXPECT_EQ(handler.startHandler(0), eHK_Ok);
    EXPECT_EQ(hotKeys.registerCalls(), 1);
    EXPECT_EQ(hotKeys.windows().size(), 1u);
}

TEST_F(HandlerTest, APressRunsTheCallbackOnTheHandlerThreadWithTheUserValue) {
    CHotkeyHandler handler(hotKeys);
    std::atomic<std::uint32_t> seen{0};
    std::atomic<int> otherCalls{0};
    std::thread::id callbackThread;
    std::size_t index;
    handler.addHotKey(kCtrlShift, 0x51, [&](std::uint32_t user) {
        seen = user;
        callbackThread = std::this_thread::get_id();
    }, index);
    handler.addHotKey(kModAlt, 0x31, [&](std::uint32_t) { ++otherCalls; }, index);
    ASSERT_EQ(handler.startHandler(77), eHK_Ok);
    ASSERT_TRUE(hotKeys.press(kCtrlShift, 0x51));
    EXPECT_EQ(seen.load(), 77u);
    EXPECT_EQ(otherCalls.load(), 0);
    ASSERT_EQ(hotKeys.loopThreads().size(), 1u);
    EXPECT_EQ(callbackThread, hotKeys.loopThreads()[0]);
    EXPECT_NE(callbackThread, std::this_thread::get_id());
    EXPECT_FALSE(hotKeys.press(kModShift, 0x51));  // not ours
}

TEST_F(HandlerTest, AnExceptionInTheCallbackKeepsTheThreadGoing) {
    CHotkeyHandler handler(hotKeys);
    std::atomic<int> calls{0};
    std::size_t index;
    handler.addHotKey(kCtrlShift, 0x51, [&](std::uint32_t) {
        ++calls;
        throw std::runtime_error("boom");
    }, index);
    ASSERT_EQ(handler.startHandler(0), eHK_Ok);
    ASSERT_TRUE(hotKeys.press(kCtrlShift, 0x51));
    ASSERT_TRUE(hotKeys.press(kCtrlShift, 0x51));
    EXPECT_EQ(calls.load(), 2);
    EXPECT_TRUE(logged(eError, "Hot key: the dispatch ended with an exception"));
}

TEST_F(HandlerTest, StopUnregistersOnTheHandlerThreadAndTheKeyCanBeRegisteredAgain) {
    CHotkeyHandler handler(hotKeys);
    std::atomic<int> calls{0};
    std::size_t index;
    handler.addHotKey(kCtrlShift, 0x51, [&](std::uint32_t) { ++calls; }, index);
    ASSERT_EQ(handler.startHandler(0), eHK_Ok);
    EXPECT_EQ(handler.stopHandler(), 0);
    EXPECT_TRUE(hotKeys.registrations().empty());
    EXPECT_EQ(hotKeys.unregisterCalls(), 1);
    EXPECT_EQ(hotKeys.liveAtoms(), 0u);
    EXPECT_TRUE(hotKeys.windows().empty());
    EXPECT_EQ(handler.slots().at(0).atom, 0);
    EXPECT_EQ(threads.moduleHolds.load(), threads.moduleReleases.load());
    EXPECT_FALSE(hotKeys.press(kCtrlShift, 0x51));
    EXPECT_EQ(handler.stopHandler(), 0);  // not running

    // Another handler (another host process, say) may have it now.
    {
        CHotkeyHandler other(hotKeys);
        other.addHotKey(kCtrlShift, 0x51, [](std::uint32_t) {}, index);
        EXPECT_EQ(other.startHandler(0), eHK_Ok);
    }
    ASSERT_EQ(handler.startHandler(0), eHK_Ok);
    EXPECT_TRUE(hotKeys.press(kCtrlShift, 0x51));
    EXPECT_EQ(calls.load(), 1);
}

TEST_F(HandlerTest, StopWaitsPastItsBoundForADispatchThatIsStillRunning) {
    CHotkeyHandler handler(hotKeys);
    std::atomic<bool> inside{false}, release{false}, finished{false};
    std::size_t index;
    handler.addHotKey(kCtrlShift, 0x51, [&](std::uint32_t) {
        inside = true;
        while (!release) std::this_thread::sleep_for(1ms);
        finished = true;
    }, index);
    ASSERT_EQ(handler.startHandler(0), eHK_Ok);
    ASSERT_TRUE(hotKeys.pressAsync(kCtrlShift, 0x51));
    while (!inside) std::this_thread::sleep_for(1ms);
    std::thread user([&] {
        std::this_thread::sleep_for(CHotkeyHandler::kStopWait + 300ms);
        release = true;
    });
    EXPECT_EQ(handler.stopHandler(), 0);
    EXPECT_TRUE(finished);  // never cut off
    EXPECT_GT(hotKeys.sentChecks(), 0);  // what the thread sends the waiter is handled meanwhile
    EXPECT_TRUE(logged(eWarning, "The hot-key thread has not ended yet; waiting for it."));
    EXPECT_TRUE(hotKeys.registrations().empty());
    EXPECT_EQ(threads.moduleHolds.load(), threads.moduleReleases.load());
    user.join();
}

TEST_F(HandlerTest, AtTheProcessEndTheThreadIsLetGoWithoutAWord) {
    // Outlives the test: its thread is let go, not joined.
    static CHotkeyHandler handler(hotKeys);
    std::atomic<bool> inside{false};
    static std::atomic<bool> release{false};
    std::size_t index;
    handler.addHotKey(kCtrlShift, 0x51, [&inside](std::uint32_t) {
        inside = true;
        while (!release) std::this_thread::sleep_for(1ms);
    }, index);
    ASSERT_EQ(handler.startHandler(0), eHK_Ok);
    ASSERT_TRUE(hotKeys.pressAsync(kCtrlShift, 0x51));
    while (!inside) std::this_thread::sleep_for(1ms);
    const void* window = hotKeys.windows().begin()->first;
    // The system has stopped the thread in the middle of its dispatch: it is
    // asked nothing (a message or a wake-up meant for a thread that is gone
    // can leave what carries it waiting for that thread for ever).
    threads.ending = true;
    EXPECT_EQ(handler.stopHandler(), 0);
    EXPECT_FALSE(handler.isStarted());
    EXPECT_EQ(hotKeys.quitRequests(), 0);
    EXPECT_EQ(threads.moduleHolds - threads.moduleReleases, 1);  // never given back
    threads.ending = false;
    // Here the system would take the thread with the process; the test ends it.
    release = true;
    hotKeys.requestQuit(const_cast<void*>(window));
    EXPECT_TRUE(classGone());  // its last call of the platform
}

// --- letting go of the keys -------------------------------------------------

TEST_F(HotKeyTest, WaitsUntilTheKeysAreReleasedAndGivesUpOnAStuckKey) {
    keyholdHotKey().setHotKey("CTRL-SHIFT-Q");
    hotKeys.holdKey(0x11, 3);  // Ctrl, for three more looks
    hotKeys.holdKey(0x51, 5);  // the Q a little longer
    EXPECT_TRUE(keyholdHotKey().waitForKeysReleased());
    EXPECT_GE(hotKeys.keyPolls(), 6 + 4);  // the last pass looks at all four

    CKeyholdHK::setKeyReleaseWaitForTesting(40ms);
    hotKeys.holdKey(0x10, -1);  // Shift stuck
    auto began = std::chrono::steady_clock::now();
    EXPECT_FALSE(keyholdHotKey().waitForKeysReleased());
    EXPECT_GE(std::chrono::steady_clock::now() - began, 40ms);
}

}  // namespace
