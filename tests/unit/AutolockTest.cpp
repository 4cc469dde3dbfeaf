// The automatic lock: its settings, the countdown after an operation, the
// pause while an operation runs, and the thread's end at unload.
#include <chrono>
#include <thread>

#include "Autolock.h"
#include "Execute.h"
#include "LockThread.h"
#include "LockTimer.h"
#include "StoreFixture.h"

namespace {

using namespace std::chrono_literals;

const char kStoreText[] =
    "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"1A91D62F7CA67399625A4368A6AB5D4A3BAA6073\">"
    "<folder name=\"Mail\" id=\"2\"><file name=\"Gmail\" id=\"3\"/></folder></pswd>";

class AutolockTest : public StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        setAutolockTickForTesting(2ms);
        desktop.active = desktop.foreground = reinterpret_cast<void*>(0x77);
    }
    void TearDown() override {
        StoreFixture::TearDown();
        setAutolockTickForTesting(1000ms);
    }
    // Starts the plug-in with these AUTOLOCK settings and opens the store.
    void open(const std::string& autolockSettings) {
        files.content[store] = kStoreText;
        start("[MAIN]\nNewEntryFolder=1\n[AUTOLOCK]\n" + autolockSettings);
        willType("pw");
        list("\\");
        ASSERT_TRUE(navigation().databaseLoaded);
    }
    bool locked() {
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        return navigation().isLocked();
    }
    // True once the store is locked; false when it stays open for `limit`.
    bool lockedWithin(std::chrono::milliseconds limit) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (locked()) return true;
            std::this_thread::sleep_for(1ms);
        }
        return locked();
    }
    // What a host call that touches the store does around its work.
    void operation() { CStoreActivity activity; }
    bool unlockWith(const std::string& password) {
        willType(password);
        return unlock();
    }
};

struct TimeoutCase {
    const char* setting;  // the AUTOLOCK lines
    std::int32_t timeout;
    bool invalid;
};

class TimeoutSettingTest : public AutolockTest, public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(TimeoutSettingTest, ShortOrBrokenTimeOutsFallBackToThirtySeconds) {
    start(std::string("[AUTOLOCK]\n") + GetParam().setting);
    ASSERT_TRUE(theApp().m_lockTimer);
    EXPECT_EQ(theApp().m_lockTimer->timeout(), GetParam().timeout) << GetParam().setting;
    EXPECT_EQ(log.has(eTroubleShoot, "TimeOut invalid. Using default."), GetParam().invalid) << GetParam().setting;
    EXPECT_TRUE(log.has(eTroubleShoot, "Timeout is " + std::to_string(GetParam().timeout) + " seconds."));
    EXPECT_TRUE(log.has(eTroubleShoot, "Autolock ENABLED !!"));
    EXPECT_TRUE(theApp().m_lockThread->isRunning());
}

INSTANTIATE_TEST_SUITE_P(Values, TimeoutSettingTest,
                         ::testing::Values(TimeoutCase{"", 30, false}, TimeoutCase{"TimeOutLock=5\n", 5, false},
                                           TimeoutCase{"TimeOutLock=4\n", 30, true},
                                           TimeoutCase{"TimeOutLock=0\n", 30, true},
                                           TimeoutCase{"TimeOutLock=-1\n", 30, true},
                                           TimeoutCase{"TimeOutLock=soon\n", 30, true},
                                           TimeoutCase{"TimeOutLock=2147483647\n", 2147483647, false},
                                           TimeoutCase{"TimeOutLock=99999999999999\n", 2147483647, false}));

TEST_F(AutolockTest, LocksOnceTheTimeOutHasRunAfterAnOperation) {
    open("TimeOutLock=5\n");
    EXPECT_FALSE(locked()) << "nothing counts before the first operation ends";
    operation();
    ASSERT_TRUE(lockedWithin(5s));
    theApp().stopThreads();  // everything the thread did is visible now
    EXPECT_TRUE(log.has(eImportant, "Timeout reached. "));
    EXPECT_FALSE(theApp().m_lockTimer->isStarted());
    ASSERT_EQ(desktop.posted.size(), 1u) << "the host is asked to re-read its panel";
    EXPECT_EQ(desktop.posted[0].message, 1075u);
    EXPECT_EQ(desktop.posted[0].wParam, 540u);
    EXPECT_EQ(list("\\"), std::vector<std::string>{"UnLock Keyhold"});
}

TEST_F(AutolockTest, AnOperationThatRunsLongPausesTheCountdown) {
    setAutolockTickForTesting(20ms);  // five steps: 100 ms
    open("TimeOutLock=5\n");
    operation();
    {
        CStoreActivity longOne;  // e.g. a dialog that stays open
        EXPECT_FALSE(lockedWithin(600ms));
    }
    EXPECT_TRUE(lockedWithin(5s)) << "the end of the operation starts the countdown again";
}

// An operation that runs inside another one (the host lists while an entry
// dialog or the chooser is open, on the same thread or on another) ends
// first: the outer one still runs, so nothing may count down or lock.
TEST_F(AutolockTest, AnInnerOperationThatEndsLeavesTheOuterOnePaused) {
    setAutolockTickForTesting(20ms);  // five steps: 100 ms
    open("TimeOutLock=5\n");
    operation();
    for (bool sameThread : {true, false}) {
        SCOPED_TRACE(sameThread ? "inner operation on the same thread" : "inner operation on another thread");
        {
            CStoreActivity outer;
            if (sameThread) {
                operation();
            } else {
                std::thread([this] { operation(); }).join();
            }
            EXPECT_FALSE(theApp().m_lockTimer->isStarted()) << "the outer operation still runs";
            EXPECT_FALSE(lockedWithin(600ms));
            // A countdown that ran out just as the outer one began does not lock under it either.
            autolockStore();
            EXPECT_FALSE(locked());
        }
        EXPECT_TRUE(lockedWithin(5s)) << "the end of the outer operation starts the countdown";
        ASSERT_TRUE(unlockWith("pw"));
    }
}

// The user takes their time over an entry while the host lists on its other
// thread: the store stays open, and the change is stored.
TEST_F(AutolockTest, AnEntryModifiedWhileTheHostListsIsStored) {
    constexpr int kModify = 3, kUserName = 3012;
    open("TimeOutLock=5\n");
    dialogs.users.push_back([this](platform::MemoryDialogControls& c) {
        std::thread([this] {
            CStoreActivity activity;
            list("\\Mail");
        }).join();
        std::this_thread::sleep_for(300ms);  // thirty times the time-out
        c.click(kModify);
        c.replace(kUserName, "bob");
        c.click(1);
    });
    {
        CStoreActivity activity;  // what the export does around it
        EXPECT_EQ(ExecuteFile("\\Mail\\Gmail", "open"), wfx::FS_EXEC_OK);
    }
    EXPECT_TRUE(shownMessages().empty());
    TiXmlDocument d = parsedStore();
    TiXmlElement* gmail = d.RootElement()->FirstChildElement("folder")->FirstChildElement("file");
    ASSERT_NE(gmail, nullptr);
    ASSERT_NE(gmail->FirstChildElement("username"), nullptr) << "the modified entry was discarded";
    EXPECT_STREQ(gmail->FirstChildElement("username")->GetText(), "bob");
}

TEST_F(AutolockTest, AnOperationOnALockedStoreLeavesTheCountdownStopped) {
    open("TimeOutLock=5\n");
    lock();
    operation();
    EXPECT_FALSE(theApp().m_lockTimer->isStarted());
}

TEST_F(AutolockTest, WithoutAStoreNothingCountsOrLocks) {
    start("[AUTOLOCK]\nTimeOutLock=5\n");
    operation();
    EXPECT_FALSE(theApp().m_lockTimer->isStarted());
    autolockStore();
    EXPECT_FALSE(navigation().databaseLoaded);
    EXPECT_TRUE(desktop.posted.empty());
}

TEST_F(AutolockTest, WithAutolockOffThereIsNoThreadAndNoLock) {
    open("Autolock=0\nTimeOutLock=5\n");
    EXPECT_TRUE(log.has(eTroubleShoot, "Autolock DISABLED !!"));
    EXPECT_FALSE(theApp().m_lockThread->isRunning());
    operation();
    EXPECT_FALSE(lockedWithin(200ms));
    EXPECT_FALSE(theApp().m_lockThread->postMessage(kMsgUser, 0, 0));
}

TEST_F(AutolockTest, AnUnexpectedMessageEndsTheThread) {
    open("TimeOutLock=5\n");
    CLockThread& thread = *theApp().m_lockThread;
    ASSERT_TRUE(thread.postMessage(0x0401, 0, 0));
    for (int i = 0; i < 5000 && thread.isRunning(); ++i) std::this_thread::sleep_for(1ms);
    theApp().stopThreads();
    EXPECT_EQ(thread.result(), 1);
    EXPECT_TRUE(log.has(eInformation, "ERROR: invalid message: 1025"));
    EXPECT_FALSE(thread.postMessage(kMsgUser, 0, 0));
}

TEST_F(AutolockTest, UnloadingWhileCountingDownEndsTheThreadAtOnce) {
    setAutolockTickForTesting(1000ms);  // as in the plug-in
    open("TimeOutLock=30\n");
    operation();
    std::this_thread::sleep_for(50ms);  // counting now
    const auto before = std::chrono::steady_clock::now();
    theApp().stopThreads();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);
    EXPECT_FALSE(theApp().m_lockThread->isRunning());
    EXPECT_TRUE(log.has(eInformation, "The CLockThread thread has ending. "));
    EXPECT_FALSE(locked());
}

TEST(LockTimerTest, ExpiryIsTakenOnlyWhenStartedAndAtZero) {
    CLockTimer timer(2);
    timer.decrement();
    timer.decrement();
    EXPECT_TRUE(timer.expired());
    EXPECT_FALSE(timer.takeExpiry()) << "not started";
    timer.startTimer();
    EXPECT_TRUE(timer.takeExpiry());
    EXPECT_FALSE(timer.isStarted());
    EXPECT_EQ(timer.remaining(), 2);
    EXPECT_FALSE(timer.takeExpiry()) << "taken once";
    timer.startTimer();
    timer.decrement();
    timer.decrement();
    timer.decrement();  // never below zero
    EXPECT_EQ(timer.remaining(), 0);
    timer.stopTimer();
    EXPECT_FALSE(timer.takeExpiry()) << "an operation stopped it first";
}

}  // namespace
