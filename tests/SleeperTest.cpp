#include "common/Sleeper.h"

#include <gtest/gtest.h>

using namespace palaverly;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// (A stop from another thread during the wait is part of the ASR and chat client tests.)
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
