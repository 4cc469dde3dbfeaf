// Work spread over threads: every item done once, whatever the number of
// items and threads; really on several threads; a failure reaches the caller.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "ParallelWork.h"

namespace {

class ParallelWorkTest : public ::testing::Test {
protected:
    void TearDown() override { parallel::setThreadCountForTesting(0); }
};

TEST_F(ParallelWorkTest, EveryItemIsDoneExactlyOnce) {
    struct Case {
        std::size_t items, threads, perThread;
    };
    const Case cases[] = {{0, 4, 32}, {1, 4, 32}, {15, 2, 1}, {16, 2, 1}, {17, 2, 1},
                          {1000, 1, 32}, {1000, 3, 1}, {1000, 8, 32}, {4099, 8, 1}};
    for (const Case& c : cases) {
        parallel::setThreadCountForTesting(c.threads);
        std::unique_ptr<std::atomic<int>[]> done(new std::atomic<int>[c.items + 1]);
        for (std::size_t i = 0; i <= c.items; ++i) done[i] = 0;
        parallel::forEachIndex(
            c.items, [&done](std::size_t i) { ++done[i]; }, c.perThread);
        for (std::size_t i = 0; i < c.items; ++i)
            ASSERT_EQ(done[i].load(), 1) << "item " << i << " of " << c.items << " on " << c.threads << " threads";
        EXPECT_EQ(done[c.items].load(), 0) << "an item past the end was done";
    }
}

// The first item waits until another thread works on a later one: with one
// thread that never happens (the wait runs out), with two it happens at once,
// also when there are only two items.
TEST_F(ParallelWorkTest, TheItemsAreShared) {
    for (std::size_t items : {64, 2})
    for (std::size_t threads : {1, 2}) {
        parallel::setThreadCountForTesting(threads);
        std::mutex m;
        std::condition_variable cv;
        std::thread::id first;
        bool otherThreadWorked = false;
        parallel::forEachIndex(
            items,
            [&](std::size_t i) {
                std::unique_lock<std::mutex> lock(m);
                if (i == 0) {
                    first = std::this_thread::get_id();
                    cv.wait_for(lock, std::chrono::milliseconds(threads == 1 ? 50 : 10000),
                                [&] { return otherThreadWorked; });
                } else if (first != std::thread::id() && std::this_thread::get_id() != first) {
                    otherThreadWorked = true;
                    cv.notify_all();
                }
            },
            1);
        EXPECT_EQ(otherThreadWorked, threads == 2) << items << " items, " << threads << " threads";
    }
}

TEST_F(ParallelWorkTest, AFailureReachesTheCallerOnceEveryThreadHasStopped) {
    parallel::setThreadCountForTesting(4);
    std::atomic<int> running{0}, afterReturn{0};
    std::atomic<bool> returned{false};
    try {
        parallel::forEachIndex(
            10000,
            [&](std::size_t i) {
                ++running;
                if (returned) ++afterReturn;
                if (i == 100) throw std::runtime_error("item 100 failed");
                --running;
            },
            1);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        returned = true;
        EXPECT_STREQ(e.what(), "item 100 failed");
    }
    EXPECT_EQ(running.load(), 1);  // only the item that threw was left unfinished
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(afterReturn.load(), 0);
}

}  // namespace
