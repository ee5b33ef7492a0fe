#include "audio/DuckingMixer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace palaverly;

namespace {

void push(std::vector<float>& queue, size_t n, float value)
{
    queue.insert(queue.end(), n, value);
}

// The gain after `n` samples of smoothing towards `target` with `coefficient`, in float as the
// mixer does it.
float smoothed(float gain, float target, float coefficient, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        gain = gain + (target - gain) * coefficient;
    return gain;
}

} // namespace

TEST(DuckingMixerTest, ThresholdIsStrictlyGreaterAndDecidedOncePerBlockFromTheSystemSide)
{
    DuckingMixer mixer;
    std::vector<float> block;
    // RMS exactly 0.02: no ducking, the gain stays at 3.0.
    push(mixer.systemQueue(), 480, DuckingMixer::kDuckThresholdRMS);
    push(mixer.micQueue(), 480, 0.1f);
    mixer.mixAvailable(block);
    ASSERT_EQ(block.size(), 480u);
    EXPECT_EQ(mixer.micGain(), 3.0f);
    EXPECT_FLOAT_EQ(block[479], 0.02f + 3.0f * 0.1f);

    // Half the block silent, half above the threshold: the RMS over the whole block decides.
    push(mixer.systemQueue(), 240, 0.0f);
    push(mixer.systemQueue(), 240, 0.03f); // RMS = 0.03 / sqrt(2) = 0.0212 > 0.02
    push(mixer.micQueue(), 480, 0.0f);
    mixer.mixAvailable(block);
    EXPECT_LT(mixer.micGain(), 3.0f);

    // A loud microphone alone never ducks.
    DuckingMixer quiet;
    push(quiet.systemQueue(), 480, 0.0f);
    push(quiet.micQueue(), 480, 0.9f);
    quiet.mixAvailable(block);
    EXPECT_EQ(quiet.micGain(), 3.0f);
    EXPECT_EQ(block[0], 1.0f); // 2.7 clipped
}

// (The fall with the attack coefficient, sample by sample, is checked in the recording session
// test, in the file it writes.)
TEST(DuckingMixerTest, GainClimbsBackWithReleasePerSampleOnceTheSystemSideIsQuiet)
{
    DuckingMixer mixer;
    std::vector<float> block;
    const float mic = 0.1f;
    push(mixer.systemQueue(), 480, 0.5f);
    push(mixer.micQueue(), 480, mic);
    mixer.mixAvailable(block);
    const float afterAttack = smoothed(3.0f, 0.05f, DuckingMixer::kDuckAttackCoef, 480);
    ASSERT_FLOAT_EQ(mixer.micGain(), afterAttack);

    // Silence on the system side: back towards 3.0, much slower than it fell.
    push(mixer.systemQueue(), 7200, 0.0f);
    push(mixer.micQueue(), 7200, mic);
    mixer.mixAvailable(block);
    const float afterRelease = smoothed(afterAttack, 3.0f, DuckingMixer::kDuckReleaseCoef, 7200);
    EXPECT_FLOAT_EQ(mixer.micGain(), afterRelease);
    EXPECT_FLOAT_EQ(block[7199], afterRelease * mic);
    EXPECT_NEAR(afterRelease, 3.0f - (3.0f - afterAttack) * std::exp(-7200 * 0.000139f), 1e-3f);
    EXPECT_TRUE(std::is_sorted(block.begin(), block.end())); // rising, never overshooting
    EXPECT_LT(block.back(), 3.0f * mic);
}
