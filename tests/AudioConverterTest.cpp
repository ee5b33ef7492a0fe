#include "audio/AudioConverter.h"

#include "WavFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

using namespace palaverly;
using palaverly::test::maxDeviationFromSine;

namespace {

constexpr double kPi = std::numbers::pi;

// Frame sizes a capture source might deliver, deliberately uneven.
constexpr uint32_t kChunkFrames[] = {441, 100, 1023, 7, 4410, 1, 960, 2048, 333};

double sineAt(double frequency, double rate, uint32_t frame)
{
    return std::sin(2 * kPi * frequency * frame / rate);
}

} // namespace

// One second of a sine in each format, fed through one converter in uneven chunks; channel 0
// carries `amplitude0`, the others `amplitudeRest`, so the mono mix is their average.
TEST(AudioConverterTest, EveryFormatComesOutAsTheSameSineAt48kWithoutClicks)
{
    struct Case {
        AudioFormat format;
        double frequency;
        double amplitude0;
        double amplitudeRest;
    };
    for (const Case& c : {Case{{44100, 2, SampleType::float32, SampleLayout::interleaved}, 1000, 0.8, 0},
             Case{{44100, 2, SampleType::float32, SampleLayout::planar}, 1000, 0.8, 0},
             Case{{24000, 1, SampleType::float32, SampleLayout::planar}, 440, 0.5, 0},
             Case{{16000, 2, SampleType::int16, SampleLayout::interleaved}, 700, 0.5, 0.5}}) {
        const double rate = c.format.sampleRate;
        SCOPED_TRACE(rate);
        auto converter = AudioConverter::create(c.format);
        ASSERT_TRUE(converter);
        std::vector<float> out;
        const auto total = static_cast<uint32_t>(rate);
        for (uint32_t done = 0, i = 0; done < total; ++i) {
            const uint32_t count = std::min(kChunkFrames[i % std::size(kChunkFrames)], total - done);
            AudioBuffer chunk(c.format, count);
            for (uint32_t f = 0; f < count; ++f)
                for (uint32_t ch = 0; ch < c.format.channelCount; ++ch)
                    chunk.setSample(f, ch,
                        static_cast<float>(
                            (ch == 0 ? c.amplitude0 : c.amplitudeRest) * sineAt(c.frequency, rate, done + f)));
            ASSERT_EQ(converter->convert(chunk, out), AudioConverter::Status::converted);
            done += count;
        }
        // The resampler keeps a few milliseconds of history; nothing more is missing and nothing
        // added. Past the start-up of the filter the output is the same sine: same frequency,
        // phase and amplitude, and no discontinuity where the input buffers met.
        EXPECT_LE(out.size(), 48000u + 1);
        EXPECT_GE(out.size(), 48000u - 2400);
        const double amplitude = (c.amplitude0 + c.amplitudeRest * (c.format.channelCount - 1)) / c.format.channelCount;
        EXPECT_LT(maxDeviationFromSine(out, c.frequency, 48000.0, amplitude, 480, out.size() - 480), 2e-3f);
    }
}

TEST(AudioConverterTest, BadInputIsRefusedOrReadAsSilenceWithoutPoisoningTheStream)
{
    // Rates no device has and empty formats: no converter, so the session drops those buffers.
    EXPECT_FALSE(AudioConverter::create({1, 1, SampleType::float32, SampleLayout::planar}));
    EXPECT_FALSE(AudioConverter::create({10'000'000, 1, SampleType::float32, SampleLayout::planar}));
    EXPECT_FALSE(AudioConverter::create({std::nan(""), 1, SampleType::float32, SampleLayout::planar}));
    EXPECT_FALSE(AudioConverter::create({48000, 0, SampleType::float32, SampleLayout::planar}));
    EXPECT_EQ(
        AudioConverter::outputCapacity(1, std::numeric_limits<uint32_t>::max()), std::numeric_limits<uint32_t>::max());

    // Twelve channels, NaN and infinities in the middle: averaged, non-finite read as 0.
    const double rate = 44100;
    auto converter = AudioConverter::create({rate, 12, SampleType::float32, SampleLayout::interleaved});
    ASSERT_TRUE(converter);
    std::vector<float> out;
    EXPECT_EQ(converter->convert(AudioBuffer({rate, 12, SampleType::float32, SampleLayout::interleaved}, 0), out),
        AudioConverter::Status::converted);
    EXPECT_TRUE(out.empty());
    for (uint32_t block = 0; block < 20; ++block) {
        AudioBuffer b({rate, 12, SampleType::float32, SampleLayout::interleaved}, 441);
        for (uint32_t i = 0; i < 441; ++i)
            for (uint32_t c = 0; c < 12; ++c)
                b.setSample(i, c, static_cast<float>(0.5 * sineAt(1000, rate, block * 441 + i)));
        if (block == 5) {
            b.floatSamples()[100] = std::numeric_limits<float>::quiet_NaN();
            b.floatSamples()[101] = std::numeric_limits<float>::infinity();
            b.floatSamples()[102] = -std::numeric_limits<float>::infinity();
            b.floatSamples()[103] = std::numeric_limits<float>::max();
        }
        ASSERT_EQ(converter->convert(b, out), AudioConverter::Status::converted);
    }
    ASSERT_GT(out.size(), 8000u);
    for (const float s : out)
        ASSERT_TRUE(std::isfinite(s));
    // Well after the damaged block the signal is the clean sine again.
    EXPECT_LT(maxDeviationFromSine(out, 1000, 48000, 0.5, 4800, out.size() - 4800), 2e-3f);

    // A later buffer in another layout and sample type goes through the same converter.
    const std::vector<int16_t> loud(441 * 3, 16384);
    const size_t before = out.size();
    EXPECT_EQ(converter->convert(AudioBuffer::fromInt16(rate, 3, SampleLayout::planar, loud), out),
        AudioConverter::Status::converted);
    EXPECT_GT(out.size(), before);
}
