#include "audio/AudioLevelMeter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

using namespace palaverly;

namespace {

AudioBuffer constant(uint32_t frames, float value, uint32_t channels = 1)
{
    return AudioBuffer::fromFloat(48000, channels, SampleLayout::planar, std::vector<float>(frames * channels, value));
}

} // namespace

TEST(AudioLevelMeterTest, FollowsPeaksPerBufferWithTheCoefficientRaisedToItsLength)
{
    AudioLevelMeter meter;
    EXPECT_EQ(meter.level(), 0.0f);
    meter.feed(constant(480, 1.0f));
    EXPECT_NEAR(meter.level(), 1 - std::pow(0.996, 480), 1e-5); // 0.854

    meter.setLevel(1.0f);
    meter.feed(constant(480, 0.0f));
    EXPECT_NEAR(meter.level(), std::pow(0.99992, 480), 1e-5); // 0.962

    // A peak equal to the level, and an empty buffer, change nothing.
    meter.setLevel(0.5f);
    meter.feed(constant(100, -0.5f));
    EXPECT_EQ(meter.level(), 0.5f);
    meter.feed(constant(0, 1.0f));
    EXPECT_EQ(meter.level(), 0.5f);

    // The peak is taken over every channel.
    meter.setLevel(0.0f);
    AudioBuffer stereo = constant(480, 0.0f, 2);
    stereo.setSample(7, 1, -0.8f);
    meter.feed(stereo);
    EXPECT_NEAR(meter.level(), 0.8f * (1 - std::pow(0.996f, 480.0f)), 1e-5f);
}

TEST(AudioLevelMeterTest, DoesNotClipAndDoesNotDependOnBufferSize)
{
    AudioLevelMeter meter;
    meter.feed(constant(48000, 2.0f));
    EXPECT_NEAR(meter.level(), 2.0f, 1e-4f);

    AudioLevelMeter whole;
    AudioLevelMeter pieces;
    whole.feed(constant(960, 0.7f));
    pieces.feed(constant(480, 0.7f));
    pieces.feed(constant(480, 0.7f));
    EXPECT_NEAR(whole.level(), pieces.level(), 1e-5f);
}

TEST(AudioLevelMeterTest, NonFiniteSamplesCountAsSilence)
{
    AudioLevelMeter meter;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    meter.feed(AudioBuffer::fromFloat(
        48000, 1, SampleLayout::planar, std::vector<float>{nan, std::numeric_limits<float>::infinity(), 0.25f}));
    EXPECT_TRUE(std::isfinite(meter.level()));
    EXPECT_GT(meter.level(), 0.0f);
    EXPECT_LT(meter.level(), 0.25f);
}

TEST(AudioLevelMeterTest, CaptureThreadFeedsWhileTheMainThreadReadsAndResets)
{
    AudioLevelMeter meter;
    std::atomic<bool> stop{false};
    std::thread capture([&] {
        const AudioBuffer loud = constant(480, 0.9f);
        while (!stop)
            meter.feed(loud);
    });
    for (int i = 0; i < 2000; ++i) {
        const float level = meter.level();
        EXPECT_GE(level, 0.0f);
        EXPECT_LE(level, 0.9f + 1e-6f);
        if (i % 100 == 0)
            meter.setLevel(0.0f);
    }
    stop = true;
    capture.join();
}
