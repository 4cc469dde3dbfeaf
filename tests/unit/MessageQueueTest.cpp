// A thread's queue: nudges that say "look again" queue once however often
// they come, other messages queue in their order, and a waiting thread is
// woken by what it waits for even when other messages are queued already.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "MessageQueue.h"

namespace {

using namespace std::chrono_literals;

TEST(MessageQueueTest, NudgesQueueOnceAndOtherMessagesInTheirOrder) {
    CMessageQueue queue;
    for (int i = 0; i < 1000; ++i) ASSERT_TRUE(queue.postUnlessQueued({kMsgUser, 0, 0}));
    ASSERT_TRUE(queue.post({kMsgUser + 1, 7, 0}));
    ASSERT_TRUE(queue.postUnlessQueued({kMsgUser + 1, 8, 0}));  // one of that number waits
    ASSERT_TRUE(queue.post({kMsgUser, 9, 0}));                  // a plain post always queues

    tThreadMessage m;
    queue.get(m);
    EXPECT_EQ(m.message, kMsgUser);
    queue.get(m);
    EXPECT_EQ(m.message, kMsgUser + 1u);
    EXPECT_EQ(m.lParam, 7);
    queue.get(m);
    EXPECT_EQ(m.lParam, 9);
    EXPECT_TRUE(queue.waitForMessage(0ms)) << "nothing more was queued";

    // Once taken, the next nudge queues again.
    ASSERT_TRUE(queue.postUnlessQueued({kMsgUser, 0, 0}));
    EXPECT_FALSE(queue.waitForMessage(0ms));

    queue.close();
    EXPECT_FALSE(queue.postUnlessQueued({kMsgUser + 2, 0, 0}));
}

TEST(MessageQueueTest, AWaitingThreadIsWokenByWhatItWaitsFor) {
    CMessageQueue queue;
    // Waiting for any message, the first one wakes it.
    auto got = std::async(std::launch::async, [&] {
        tThreadMessage m;
        queue.get(m);
        return m.message;
    });
    std::this_thread::sleep_for(20ms);
    queue.postUnlessQueued({kMsgUser, 0, 0});
    ASSERT_EQ(got.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(got.get(), kMsgUser);

    // Waiting for a quit behind other queued messages, the quit wakes it at
    // once, long before its time is up.
    queue.post({kMsgUser, 0, 0});
    auto quit = std::async(std::launch::async, [&] {
        const auto start = std::chrono::steady_clock::now();
        const bool arrived = queue.waitForQuit(60s);
        return std::make_pair(arrived, std::chrono::steady_clock::now() - start);
    });
    std::this_thread::sleep_for(20ms);
    queue.post({kMsgUser + 1, 0, 0});
    queue.post({kMsgQuit, 0, 0});
    ASSERT_EQ(quit.wait_for(5s), std::future_status::ready) << "the quit did not wake the waiting thread";
    auto result = quit.get();
    EXPECT_TRUE(result.first);
    EXPECT_LT(result.second, 30s);
}

}  // namespace
