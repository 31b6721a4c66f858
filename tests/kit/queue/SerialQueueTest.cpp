#include "kit/SerialQueue.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace ombrelay;

TEST(SerialQueue, RunsJobsOneAtATimeInOrder)
{
    SerialQueue queue(QStringLiteral("test"));
    std::vector<int> seen;
    std::atomic<int> running{0};
    bool overlapped = false;
    for (int i = 0; i < 200; ++i)
        queue.post(nullptr, [&, i] {
            if (running.fetch_add(1) != 0)
                overlapped = true;
            seen.push_back(i);
            running.fetch_sub(1);
        });
    queue.drain();
    ASSERT_EQ(seen.size(), 200u);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(seen[size_t(i)], i);
    EXPECT_FALSE(overlapped);
}

TEST(SerialQueue, CancelDropsQueuedJobsAndWaitsForTheRunningOne)
{
    SerialQueue queue(QStringLiteral("test"));
    int owner = 0;
    std::atomic<bool> started{false};
    std::atomic<bool> finished{false};
    std::atomic<bool> sawCancel{false};
    std::atomic<int> later{0};
    // The running job holds on until cancel() has dropped the queued ones (left: itself and the other
    // owner's job), so cancel() surely waits for it.
    queue.post(&owner, [&] {
        started = true;
        for (int i = 0; i < 10000 && !sawCancel; ++i) {
            sawCancel = queue.pendingCount() == 2;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        finished = true;
    });
    for (int i = 0; i < 10; ++i)
        queue.post(&owner, [&] { ++later; });
    int other = 0;
    std::atomic<int> others{0};
    queue.post(&other, [&] { ++others; });
    for (int i = 0; i < 1000 && !started; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(started);
    queue.cancel(&owner);
    EXPECT_TRUE(sawCancel);
    EXPECT_TRUE(finished);
    queue.drain();
    EXPECT_EQ(later, 0);
    EXPECT_EQ(others, 1);
}

TEST(SerialQueue, JobsPostedAheadPassTheWaitingOnesInTheirOwnOrder)
{
    SerialQueue queue(QStringLiteral("test"));
    std::atomic<bool> started{false};
    std::atomic<bool> release{false};
    queue.post(nullptr, [&] {
        started = true;
        for (int i = 0; i < 10000 && !release; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    // Jobs posted ahead go before every waiting one, so the first must be running before they come.
    for (int i = 0; i < 10000 && !started; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(started);
    std::vector<std::string> seen;
    int dropped = 0;
    queue.post(nullptr, [&] { seen.push_back("write 1"); });
    queue.postAhead(&dropped, [&] { seen.push_back("dropped"); });
    queue.post(nullptr, [&] { seen.push_back("write 2"); });
    queue.postAhead(nullptr, [&] { seen.push_back("verdict 1"); });
    queue.postAhead(nullptr, [&] { seen.push_back("verdict 2"); });
    queue.cancel(&dropped);
    queue.postAhead(nullptr, [&] { seen.push_back("verdict 3"); });
    release = true;
    queue.drain();
    EXPECT_EQ(seen, (std::vector<std::string>{"verdict 1", "verdict 2", "verdict 3", "write 1", "write 2"}));
}

TEST(SerialQueue, PostsOfARefusedOwnerAreDroppedUntilItIsAcceptedAgain)
{
    SerialQueue first(QStringLiteral("first"));
    SerialQueue second(QStringLiteral("second"));
    int owner = 0;
    int other = 0;
    std::atomic<bool> started{false};
    std::atomic<bool> release{false};
    std::atomic<int> ran{0};
    // The owner's running job posts to the other queue after that queue was cancelled, while cancel waits
    // for it: refused, those posts are dropped.
    first.post(&owner, [&] {
        started = true;
        for (int i = 0; i < 10000 && !release; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        second.post(&owner, [&] { ran += 1; });
        second.postAhead(&owner, [&] { ran += 1; });
    });
    for (int i = 0; i < 10000 && !started; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(started);
    first.refuseJobsFrom(&owner);
    second.refuseJobsFrom(&owner);
    second.post(&other, [&] { ran += 100; });
    second.cancel(&owner);
    release = true;
    first.cancel(&owner);
    first.acceptJobsFrom(&owner);
    second.acceptJobsFrom(&owner);
    second.post(&owner, [&] { ran += 10; });
    second.drain();
    EXPECT_EQ(ran, 110);
}
