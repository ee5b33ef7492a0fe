#include "audio/SerialQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace palaverly;

TEST(SerialQueueTest, RunsClosuresFromManyThreadsOneAtATimeInSubmissionOrder)
{
    SerialQueue queue("org.quorvane.palaverly.test");
    std::vector<int> seen; // touched only on the queue
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    std::vector<std::thread> producers;
    for (int p = 0; p < 4; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < 500; ++i)
                queue.async([&, value = p * 1000 + i] {
                    if (running.fetch_add(1) != 0)
                        overlapped = true;
                    seen.push_back(value);
                    running.fetch_sub(1);
                });
        });
    }
    for (auto& t : producers)
        t.join();
    queue.sync([] {});
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(seen.size(), 2000u);
    // Per producer, the order of submission is kept.
    std::vector<int> last(4, -1);
    for (const int v : seen) {
        EXPECT_GT(v % 1000, last[v / 1000]);
        last[v / 1000] = v % 1000;
    }
}

TEST(SerialQueueTest, SyncWaitsForEverythingBeforeAndRunsInPlaceOnItsOwnThread)
{
    SerialQueue queue("test");
    int counter = 0;
    for (int i = 0; i < 100; ++i)
        queue.async([&] { ++counter; });
    int observed = -1;
    queue.sync([&] {
        observed = counter;
        EXPECT_TRUE(queue.isCurrent());
        queue.sync([&] { ++counter; }); // nested: no deadlock
    });
    EXPECT_EQ(observed, 100);
    EXPECT_EQ(counter, 101);
    EXPECT_FALSE(queue.isCurrent());
}

TEST(SerialQueueTest, DestructionRunsWhatIsQueuedAndMayHappenOnTheQueueItself)
{
    std::atomic<int> ran{0};
    {
        SerialQueue queue("test");
        for (int i = 0; i < 50; ++i)
            queue.async([&] { ++ran; });
    }
    EXPECT_EQ(ran, 50);

    // The last owner lets go inside one of the queue's own closures.
    struct Owner {
        SerialQueue queue{"test"};
    };
    auto owner = std::make_shared<Owner>();
    std::atomic<bool> released{false};
    owner->queue.async([&ran, &released, keep = owner]() mutable {
        keep.reset();
        ++ran;
        released = true;
    });
    owner.reset();
    while (!released)
        std::this_thread::yield();
    EXPECT_EQ(ran, 51);
}
