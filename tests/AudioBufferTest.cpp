#include "audio/AudioBuffer.h"

#include <gtest/gtest.h>

#include <limits>

using namespace palaverly;

TEST(AudioBufferTest, LayoutsAndSampleTypesReadOnTheFloatScale)
{
    const std::vector<float> samples = {0.1f, -0.2f, 0.3f, -0.4f, 0.5f, -0.6f};
    const auto interleaved = AudioBuffer::fromFloat(44100, 2, SampleLayout::interleaved, samples);
    const auto planar = AudioBuffer::fromFloat(44100, 2, SampleLayout::planar, samples);
    ASSERT_EQ(interleaved.frameLength(), 3u);
    EXPECT_FLOAT_EQ(interleaved.sample(1, 0), 0.3f);
    EXPECT_FLOAT_EQ(interleaved.sample(1, 1), -0.4f);
    EXPECT_FLOAT_EQ(planar.sample(1, 0), -0.2f);
    EXPECT_FLOAT_EQ(planar.sample(1, 1), 0.5f);
    EXPECT_EQ(interleaved.sample(3, 0), 0.0f); // out of range reads as silence
    EXPECT_TRUE(interleaved.int16Samples().empty());

    const std::vector<int16_t> ints = {-32768, 16384, 0};
    const auto pcm = AudioBuffer::fromInt16(16000, 1, SampleLayout::interleaved, ints);
    EXPECT_FLOAT_EQ(pcm.sample(0, 0), -1.0f);
    EXPECT_FLOAT_EQ(pcm.sample(1, 0), 0.5f);
    EXPECT_FLOAT_EQ(pcm.peak(), 1.0f);

    AudioBuffer wide({48000, 1, SampleType::int32, SampleLayout::planar}, 2);
    wide.setSample(0, 0, 0.25f);
    wide.setSample(1, 0, 7.0f); // saturates instead of wrapping
    EXPECT_EQ(wide.int32Samples()[0], 1 << 29);
    EXPECT_EQ(wide.int32Samples()[1], std::numeric_limits<int32_t>::max());
}

TEST(AudioBufferTest, PeakIgnoresNonFiniteSamples)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_FLOAT_EQ(
        AudioBuffer::fromFloat(48000, 2, SampleLayout::planar, std::vector<float>{-0.8f, 0.5f, nan, -inf}).peak(),
        0.8f);
    EXPECT_EQ(AudioBuffer().peak(), 0.0f);
    EXPECT_EQ(AudioBuffer({48000, 2, SampleType::float32, SampleLayout::planar}, 0).peak(), 0.0f);
}
