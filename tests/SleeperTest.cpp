#include "common/Sleeper.h"

#include <gtest/gtest.h>
#include <thread>

using namespace palaverly;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(SleeperTest, SteadySleeperWaitsTheWholeDurationUnlessStopped)
{
    SteadySleeper sleeper;
    const auto start = Clock::now();
    EXPECT_TRUE(sleeper.wait(40ms, {}));
    EXPECT_GE(Clock::now() - start, 40ms);

    std::stop_source stopped;
    stopped.request_stop();
    const auto before = Clock::now();
    EXPECT_FALSE(sleeper.wait(10min, stopped.get_token()));
    EXPECT_LT(Clock::now() - before, 100ms);
}

TEST(SleeperTest, SteadySleeperWakesAtOnceWhenStoppedFromAnotherThread)
{
    SteadySleeper sleeper;
    std::stop_source source;
    bool completed = true;
    Clock::time_point returned;
    std::thread waiter([&] {
        completed = sleeper.wait(10min, source.get_token());
        returned = Clock::now();
    });
    std::this_thread::sleep_for(50ms);
    const auto stopAt = Clock::now();
    source.request_stop();
    waiter.join();
    EXPECT_FALSE(completed);
    EXPECT_LT(returned - stopAt, 200ms);
}
