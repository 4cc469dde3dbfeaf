// The worker-thread base: start message, posting, stopping, the log lines of
// a thread's end, and exceptions and faults kept inside the thread.
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <stdexcept>
#include <thread>

#include "NPException.h"
#include "Runnable.h"
#include "TestSupport.h"
#include "platform/Threads.h"

namespace {

using namespace std::chrono_literals;

// A runnable whose body the test supplies.
class Worker : public CRunnable {
public:
    explicit Worker(std::function<int(Worker&)> body) : m_body(std::move(body)) {}
    ~Worker() override { stop(); }
    std::atomic<int> runs{0};
    // The thread's number as the body saw it (the log lines carry it).
    std::atomic<unsigned long> bodyThread{0};
    std::string bodyId() const { return std::to_string(bodyThread.load()); }
    // The body's view of the queue.
    void next(tThreadMessage& m) { getMessage(m); }
    bool quitWithin(std::chrono::milliseconds t) { return quitArrives(t); }

protected:
    int run() override {
        bodyThread = platform::threads().currentThreadId();
        ++runs;
        return m_body(*this);
    }

private:
    std::function<int(Worker&)> m_body;
};

// Waits (without a time limit the test would notice) until the thread ended.
void waitUntilEnded(const CRunnable& r) {
    for (int i = 0; i < 5000 && r.isRunning(); ++i) std::this_thread::sleep_for(1ms);
}

class RunnableTest : public PlatformFixture {};

TEST_F(RunnableTest, PostingBeforeTheStartPostsNothing) {
    Worker w([](Worker&) { return 0; });
    EXPECT_FALSE(w.postMessage(kMsgUser, 0, 0));
    EXPECT_FALSE(w.isRunning());
    EXPECT_EQ(w.threadId(), 0xFFFFFFFFul);
}

TEST_F(RunnableTest, StartingTwiceMakesOneThreadThatReceivesThePosts) {
    std::promise<unsigned> received;
    Worker w([&](Worker& self) {
        tThreadMessage m;
        self.next(m);
        received.set_value(m.message);
        self.next(m);  // the quit of stop()
        return 7;
    });
    w.setName("Twice");
    ASSERT_TRUE(w.start());
    const unsigned long id = w.threadId();
    EXPECT_NE(id, 0xFFFFFFFFul);
    EXPECT_TRUE(w.start());
    EXPECT_EQ(w.threadId(), id);
    EXPECT_TRUE(w.postMessage(0x0401, 5, 6));
    EXPECT_EQ(received.get_future().get(), 0x0401u);
    EXPECT_TRUE(w.stop());
    EXPECT_EQ(w.runs, 1);
    EXPECT_EQ(w.result(), 7);
    EXPECT_FALSE(w.isRunning());
    EXPECT_FALSE(w.postMessage(kMsgUser, 0, 0));
    EXPECT_EQ(threads.moduleHolds, 1);
    EXPECT_EQ(threads.moduleReleases, 1) << "the library is held exactly while the thread lives";
}

TEST_F(RunnableTest, ABodyThatReturnsAtOnceStillLogsItsEnd) {
    Worker w([](Worker&) { return 3; });
    w.setName("Quick");
    ASSERT_TRUE(w.start());
    waitUntilEnded(w);
    w.stop();
    const std::string id = w.bodyId();
    EXPECT_EQ(w.result(), 3);
    EXPECT_TRUE(log.has(eRubbish, "* Thread(Quick," + id + ") finalized."));
    EXPECT_TRUE(log.has(eRubbish, "* Thread(Quick," + id + ") KERNEL_MODE = 0 miliseconds"));
    EXPECT_TRUE(log.has(eRubbish, "* Thread(Quick," + id + ") USER_MODE = 0 miliseconds"));
    EXPECT_EQ(w.threadId(), 0u);
    // A body that ended by itself can be started again.
    ASSERT_TRUE(w.start());
    waitUntilEnded(w);
    w.stop();
    EXPECT_EQ(w.runs, 2);
}

struct EndCase {
    const char* name;
    std::function<int(Worker&)> body;
    const char* described;  // the description logged, or null for none
};

class RunnableEndTest : public RunnableTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(RunnableEndTest, ExceptionsAndFaultsEndTheThreadWithOne) {
    Worker w(GetParam().body);
    w.setName("Faulty");
    ASSERT_TRUE(w.start());
    waitUntilEnded(w);
    w.stop();
    const std::string id = w.bodyId();
    EXPECT_EQ(w.result(), 1);
    const std::string line =
        std::string("* Thread(Faulty,") + id + ") Exception catched, DESCRIPTION_IS: " +
        (GetParam().described ? GetParam().described : "") + ".";
    EXPECT_EQ(log.has(eRubbish, line), GetParam().described != nullptr) << line;
    EXPECT_FALSE(log.has(eRubbish, "* Thread(Faulty," + id + ") finalized."));
    EXPECT_TRUE(log.has(eRubbish, "* Thread(Faulty," + id + ") USER_MODE = 0 miliseconds"));
    // The process goes on: another thread runs normally.
    Worker after([](Worker&) { return 0; });
    ASSERT_TRUE(after.start());
    waitUntilEnded(after);
    after.stop();
    EXPECT_EQ(after.result(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, RunnableEndTest,
    ::testing::Values(EndCase{"Ours", [](Worker&) -> int { throw CNPException("the store went away"); },
                              "the store went away"},
                      EndCase{"Other", [](Worker&) -> int { throw std::runtime_error("x"); }, nullptr},
                      EndCase{"Fault",
                              [](Worker&) -> int {
                                  platform::MemoryThreads::fault(0xC0000005u);
                                  return 0;
                              },
                              "simulated fault"}),
    [](const ::testing::TestParamInfo<EndCase>& info) { return std::string(info.param.name); });

TEST_F(RunnableTest, StopEndsABodyWaitingForItsQuit) {
    Worker w([](Worker& self) {
        // Counts in steps until asked to quit.
        while (!self.quitWithin(10ms)) {
        }
        return 0;
    });
    ASSERT_TRUE(w.start());
    EXPECT_TRUE(w.stop());
    EXPECT_FALSE(w.isRunning());
    EXPECT_EQ(w.result(), 0);
}

TEST_F(RunnableTest, AThreadSlowToEndIsWaitedForNotLeftRunning) {
    std::atomic<bool> bodyDone{false};
    Worker w([&](Worker& self) {
        tThreadMessage m;
        self.next(m);  // the quit
        std::this_thread::sleep_for(CRunnable::kStopWait + 300ms);
        bodyDone = true;
        return 0;
    });
    w.setName("Slow");
    ASSERT_TRUE(w.start());
    const std::string id = std::to_string(w.threadId());  // still running here
    EXPECT_TRUE(w.stop());
    EXPECT_TRUE(bodyDone) << "stop returned while the body still ran";
    EXPECT_TRUE(log.has(eWarning, "* Thread(Slow," + id + ") has not ended yet; waiting for it."));
    EXPECT_EQ(threads.moduleReleases, threads.moduleHolds.load());
}

}  // namespace
