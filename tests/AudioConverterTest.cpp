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

// Feeds `totalFrames` of a sine through one converter in uneven chunks, using `makeChunk(first,
// count)` to build each buffer; returns the 48 kHz output.
template <typename MakeChunk>
std::vector<float> convertInChunks(const AudioFormat& format, uint32_t totalFrames, MakeChunk makeChunk)
{
    auto converter = AudioConverter::create(format);
    EXPECT_TRUE(converter);
    std::vector<float> out;
    if (!converter)
        return out;
    uint32_t done = 0;
    for (size_t i = 0; done < totalFrames; ++i) {
        const uint32_t count = std::min(kChunkFrames[i % std::size(kChunkFrames)], totalFrames - done);
        const AudioBuffer chunk = makeChunk(done, count);
        EXPECT_EQ(converter->convert(chunk, out), AudioConverter::Status::converted);
        done += count;
    }
    return out;
}

double sineAt(double frequency, double rate, uint32_t frame)
{
    return std::sin(2 * kPi * frequency * frame / rate);
}

void expectCleanSine(const std::vector<float>& out, double inputRate, uint32_t inputFrames, double frequency,
    double amplitude, float tolerance)
{
    const double expectedLength = inputFrames * 48000.0 / inputRate;
    // The resampler keeps a few milliseconds of history; nothing more is missing and nothing added.
    EXPECT_LE(out.size(), static_cast<size_t>(expectedLength) + 1);
    EXPECT_GE(out.size(), static_cast<size_t>(expectedLength) - 2400);
    // Past the start-up of the filter the output is the same sine: same frequency, phase and
    // amplitude, and no discontinuity where the input buffers met.
    EXPECT_LT(maxDeviationFromSine(out, frequency, 48000.0, amplitude, 480, out.size() - 480), tolerance);
}

} // namespace

TEST(AudioConverterTest, StereoFloatAt44kIsAveragedAndResampledWithoutClicks)
{
    const double rate = 44100;
    const uint32_t total = 44100; // one second
    for (const SampleLayout layout : {SampleLayout::interleaved, SampleLayout::planar}) {
        const auto out
            = convertInChunks({rate, 2, SampleType::float32, layout}, total, [&](uint32_t first, uint32_t n) {
                  AudioBuffer b({rate, 2, SampleType::float32, layout}, n);
                  for (uint32_t i = 0; i < n; ++i) {
                      // The left channel carries the tone, the right is silent: the mono mix is half of it.
                      b.setSample(i, 0, static_cast<float>(0.8 * sineAt(1000, rate, first + i)));
                      b.setSample(i, 1, 0.0f);
                  }
                  return b;
              });
        expectCleanSine(out, rate, total, 1000, 0.4, 2e-3f);
    }
}

TEST(AudioConverterTest, MonoAt24kAndInt16InterleavedAt16kComeOutAt48k)
{
    {
        const double rate = 24000;
        const auto out = convertInChunks(
            {rate, 1, SampleType::float32, SampleLayout::planar}, 24000, [&](uint32_t first, uint32_t n) {
                AudioBuffer b({rate, 1, SampleType::float32, SampleLayout::planar}, n);
                for (uint32_t i = 0; i < n; ++i)
                    b.setSample(i, 0, static_cast<float>(0.5 * sineAt(440, rate, first + i)));
                return b;
            });
        expectCleanSine(out, rate, 24000, 440, 0.5, 2e-3f);
    }
    {
        const double rate = 16000;
        const auto out = convertInChunks(
            {rate, 2, SampleType::int16, SampleLayout::interleaved}, 16000, [&](uint32_t first, uint32_t n) {
                std::vector<int16_t> samples;
                for (uint32_t i = 0; i < n; ++i) {
                    const auto s = static_cast<int16_t>(std::lrint(16384 * sineAt(700, rate, first + i)));
                    samples.push_back(s);
                    samples.push_back(s);
                }
                return AudioBuffer::fromInt16(rate, 2, SampleLayout::interleaved, samples);
            });
        expectCleanSine(out, rate, 16000, 700, 0.5, 2e-3f);
    }
}

TEST(AudioConverterTest, OutputCapacityRule)
{
    EXPECT_EQ(AudioConverter::outputCapacity(24000, 1000), 2u * 1000 + 1024);
    EXPECT_EQ(AudioConverter::outputCapacity(48000, 480), 480u + 1024);
    EXPECT_EQ(AudioConverter::outputCapacity(44100, 441), 480u + 1024);
    EXPECT_EQ(
        AudioConverter::outputCapacity(1, std::numeric_limits<uint32_t>::max()), std::numeric_limits<uint32_t>::max());
}

TEST(AudioConverterTest, BadInputIsRefusedOrReadAsSilenceWithoutPoisoningTheStream)
{
    // Rates no device has and empty formats: no converter, so the session drops those buffers.
    EXPECT_FALSE(AudioConverter::create({1, 1, SampleType::float32, SampleLayout::planar}));
    EXPECT_FALSE(AudioConverter::create({10'000'000, 1, SampleType::float32, SampleLayout::planar}));
    EXPECT_FALSE(AudioConverter::create({std::nan(""), 1, SampleType::float32, SampleLayout::planar}));
    EXPECT_FALSE(AudioConverter::create({48000, 0, SampleType::float32, SampleLayout::planar}));

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
