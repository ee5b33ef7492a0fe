#include "audio/AudioConverter.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace palaverly {

namespace {

// Samples far above full scale are legal in float audio, but values near the float limit would
// overflow inside the filter and turn its state into NaN for the rest of the stream.
constexpr float kMaxMagnitude = 1.0e4f;

inline float sanitized(float x)
{
    return std::isfinite(x) ? std::clamp(x, -kMaxMagnitude, kMaxMagnitude) : 0.0f;
}

inline float normalized(float x)
{
    return sanitized(x);
}

inline float normalized(int16_t x)
{
    return static_cast<float>(x) * (1.0f / 32768.0f);
}

inline float normalized(int32_t x)
{
    return static_cast<float>(static_cast<double>(x) * (1.0 / 2147483648.0));
}

template <typename T>
void averageChannels(std::span<const T> samples, uint32_t frames, uint32_t channels, SampleLayout layout, float* out)
{
    if (channels == 1) {
        for (uint32_t i = 0; i < frames; ++i)
            out[i] = normalized(samples[i]);
        return;
    }
    const float scale = 1.0f / static_cast<float>(channels);
    if (layout == SampleLayout::interleaved) {
        const T* p = samples.data();
        for (uint32_t i = 0; i < frames; ++i) {
            float sum = 0.0f;
            for (uint32_t c = 0; c < channels; ++c)
                sum += normalized(*p++);
            out[i] = sum * scale;
        }
    } else {
        std::fill_n(out, frames, 0.0f);
        for (uint32_t c = 0; c < channels; ++c) {
            const T* p = samples.data() + static_cast<size_t>(c) * frames;
            for (uint32_t i = 0; i < frames; ++i)
                out[i] += normalized(p[i]);
        }
        for (uint32_t i = 0; i < frames; ++i)
            out[i] *= scale;
    }
}

} // namespace

std::unique_ptr<AudioConverter> AudioConverter::create(const AudioFormat& input)
{
    if (!input.isValid() || input.sampleRate < kMinInputRate || input.sampleRate > kMaxInputRate)
        return nullptr;
    soxr_error_t error = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_t resampler = soxr_create(input.sampleRate, kOutputRate, 1, &error, &io, &quality, &runtime);
    if (error || !resampler) {
        soxr_delete(resampler);
        return nullptr;
    }
    return std::unique_ptr<AudioConverter>(new AudioConverter(input.sampleRate, resampler));
}

AudioConverter::AudioConverter(double inputRate, soxr* resampler)
    : m_inputRate(inputRate)
    , m_resampler(resampler)
{
}

AudioConverter::~AudioConverter()
{
    soxr_delete(m_resampler);
}

uint32_t AudioConverter::outputCapacity(double inputRate, uint32_t inputFrames)
{
    const double capacity = kOutputRate / inputRate * static_cast<double>(inputFrames) + 1024.0;
    if (!(capacity < 4294967295.0)) // also catches NaN
        return std::numeric_limits<uint32_t>::max();
    return static_cast<uint32_t>(capacity);
}

void AudioConverter::downmix(const AudioBuffer& input)
{
    const uint32_t frames = input.frameLength();
    const uint32_t channels = input.channelCount();
    const SampleLayout layout = input.format().layout;
    m_mono.resize(frames);
    switch (input.format().sampleType) {
    case SampleType::float32:
        averageChannels(input.floatSamples(), frames, channels, layout, m_mono.data());
        break;
    case SampleType::int16:
        averageChannels(input.int16Samples(), frames, channels, layout, m_mono.data());
        break;
    case SampleType::int32:
        averageChannels(input.int32Samples(), frames, channels, layout, m_mono.data());
        break;
    }
}

AudioConverter::Status AudioConverter::convert(const AudioBuffer& input, std::vector<float>& output, std::string* error)
{
    const uint32_t capacity = outputCapacity(m_inputRate, input.frameLength());
    if (capacity > kMaxOutputFrames)
        return Status::dropped;
    if (input.frameLength() == 0 || input.channelCount() == 0)
        return Status::converted;

    downmix(input);
    if (m_out.size() < capacity)
        m_out.resize(capacity);
    size_t consumed = 0;
    size_t produced = 0;
    // The resampler always takes the whole input; what does not fit into `capacity` stays in its
    // output store and comes out with the next buffer.
    const soxr_error_t failure
        = soxr_process(m_resampler, m_mono.data(), m_mono.size(), &consumed, m_out.data(), capacity, &produced);
    if (failure) {
        if (error)
            *error = failure;
        return Status::failed;
    }
    output.insert(output.end(), m_out.begin(), m_out.begin() + static_cast<std::ptrdiff_t>(produced));
    return Status::converted;
}

} // namespace palaverly
