#pragma once

#include <cstdint>
#include <span>
#include <variant>
#include <vector>

namespace palaverly {

enum class SampleType { int16, int32, float32 };

// Interleaved: frame after frame, the channels of one frame side by side.
// Planar: channel after channel, each holding all frames.
enum class SampleLayout { interleaved, planar };

struct AudioFormat {
    double sampleRate = 0;
    uint32_t channelCount = 0;
    SampleType sampleType = SampleType::float32;
    SampleLayout layout = SampleLayout::planar;

    // A positive, finite sample rate and at least one channel.
    bool isValid() const;

    friend bool operator==(const AudioFormat&, const AudioFormat&) = default;
};

// One block of PCM audio as a plain value: its format, its length in frames and the samples.
// Capture sources produce it, the recording session and the level meters consume it. Copying
// copies the samples; a buffer is never shared between threads, each thread gets its own copy.
class AudioBuffer {
public:
    AudioBuffer() = default;
    // `frameLength` frames of silence.
    AudioBuffer(const AudioFormat& format, uint32_t frameLength);

    // A float buffer holding `samples` laid out as `layout` says; the frame length is
    // samples.size() / channelCount (a trailing partial frame is dropped).
    static AudioBuffer fromFloat(
        double sampleRate, uint32_t channelCount, SampleLayout layout, std::span<const float> samples);
    // A 16-bit buffer likewise.
    static AudioBuffer fromInt16(
        double sampleRate, uint32_t channelCount, SampleLayout layout, std::span<const int16_t> samples);

    const AudioFormat& format() const { return m_format; }
    double sampleRate() const { return m_format.sampleRate; }
    uint32_t channelCount() const { return m_format.channelCount; }
    uint32_t frameLength() const { return m_frameLength; }

    // The raw samples of the buffer's own sample type; empty spans for the other types.
    std::span<const float> floatSamples() const;
    std::span<float> floatSamples();
    std::span<const int16_t> int16Samples() const;
    std::span<int16_t> int16Samples();
    std::span<const int32_t> int32Samples() const;
    std::span<int32_t> int32Samples();

    // One sample on the float scale (full scale = 1.0; integers divided by 2^15 or 2^31).
    float sample(uint32_t frame, uint32_t channel) const;
    void setSample(uint32_t frame, uint32_t channel, float value);

    // The largest absolute sample value over all channels on the float scale, 0 without samples.
    // NaN and infinite samples count as silence.
    float peak() const;

private:
    size_t indexOf(uint32_t frame, uint32_t channel) const;

    AudioFormat m_format;
    uint32_t m_frameLength = 0;
    std::variant<std::vector<float>, std::vector<int16_t>, std::vector<int32_t>> m_samples;
};

} // namespace palaverly
