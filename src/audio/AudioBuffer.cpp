#include "audio/AudioBuffer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>

namespace palaverly {

namespace {

constexpr float kInt16Scale = 1.0f / 32768.0f;
constexpr double kInt32Scale = 1.0 / 2147483648.0;

template <typename T> float toFloat(T value)
{
    if constexpr (std::is_same_v<T, float>)
        return value;
    else if constexpr (std::is_same_v<T, int16_t>)
        return static_cast<float>(value) * kInt16Scale;
    else
        return static_cast<float>(static_cast<double>(value) * kInt32Scale);
}

template <typename T> T storedSample(float value)
{
    if constexpr (std::is_same_v<T, float>) {
        return value;
    } else {
        if (!std::isfinite(value))
            return 0;
        const double scaled
            = std::nearbyint(static_cast<double>(value) * (std::is_same_v<T, int16_t> ? 32768.0 : 2147483648.0));
        return static_cast<T>(std::clamp(scaled, static_cast<double>(std::numeric_limits<T>::min()),
            static_cast<double>(std::numeric_limits<T>::max())));
    }
}

} // namespace

bool AudioFormat::isValid() const
{
    return std::isfinite(sampleRate) && sampleRate > 0 && channelCount > 0;
}

AudioBuffer::AudioBuffer(const AudioFormat& format, uint32_t frameLength)
    : m_format(format)
    , m_frameLength(frameLength)
{
    const size_t count = static_cast<size_t>(frameLength) * format.channelCount;
    switch (format.sampleType) {
    case SampleType::float32:
        m_samples = std::vector<float>(count, 0.0f);
        break;
    case SampleType::int16:
        m_samples = std::vector<int16_t>(count, 0);
        break;
    case SampleType::int32:
        m_samples = std::vector<int32_t>(count, 0);
        break;
    }
}

AudioBuffer AudioBuffer::fromFloat(
    double sampleRate, uint32_t channelCount, SampleLayout layout, std::span<const float> samples)
{
    const uint32_t frames = channelCount == 0 ? 0 : static_cast<uint32_t>(samples.size() / channelCount);
    AudioBuffer buffer({sampleRate, channelCount, SampleType::float32, layout}, frames);
    std::copy_n(samples.begin(), buffer.floatSamples().size(), buffer.floatSamples().begin());
    return buffer;
}

AudioBuffer AudioBuffer::fromInt16(
    double sampleRate, uint32_t channelCount, SampleLayout layout, std::span<const int16_t> samples)
{
    const uint32_t frames = channelCount == 0 ? 0 : static_cast<uint32_t>(samples.size() / channelCount);
    AudioBuffer buffer({sampleRate, channelCount, SampleType::int16, layout}, frames);
    std::copy_n(samples.begin(), buffer.int16Samples().size(), buffer.int16Samples().begin());
    return buffer;
}

std::span<const float> AudioBuffer::floatSamples() const
{
    const auto* v = std::get_if<std::vector<float>>(&m_samples);
    return v ? std::span<const float>(*v) : std::span<const float>();
}

std::span<float> AudioBuffer::floatSamples()
{
    auto* v = std::get_if<std::vector<float>>(&m_samples);
    return v ? std::span<float>(*v) : std::span<float>();
}

std::span<const int16_t> AudioBuffer::int16Samples() const
{
    const auto* v = std::get_if<std::vector<int16_t>>(&m_samples);
    return v ? std::span<const int16_t>(*v) : std::span<const int16_t>();
}

std::span<int16_t> AudioBuffer::int16Samples()
{
    auto* v = std::get_if<std::vector<int16_t>>(&m_samples);
    return v ? std::span<int16_t>(*v) : std::span<int16_t>();
}

std::span<const int32_t> AudioBuffer::int32Samples() const
{
    const auto* v = std::get_if<std::vector<int32_t>>(&m_samples);
    return v ? std::span<const int32_t>(*v) : std::span<const int32_t>();
}

std::span<int32_t> AudioBuffer::int32Samples()
{
    auto* v = std::get_if<std::vector<int32_t>>(&m_samples);
    return v ? std::span<int32_t>(*v) : std::span<int32_t>();
}

size_t AudioBuffer::indexOf(uint32_t frame, uint32_t channel) const
{
    if (m_format.layout == SampleLayout::interleaved)
        return static_cast<size_t>(frame) * m_format.channelCount + channel;
    return static_cast<size_t>(channel) * m_frameLength + frame;
}

float AudioBuffer::sample(uint32_t frame, uint32_t channel) const
{
    if (frame >= m_frameLength || channel >= m_format.channelCount)
        return 0.0f;
    return std::visit([&](const auto& v) { return toFloat(v[indexOf(frame, channel)]); }, m_samples);
}

void AudioBuffer::setSample(uint32_t frame, uint32_t channel, float value)
{
    if (frame >= m_frameLength || channel >= m_format.channelCount)
        return;
    std::visit(
        [&](auto& v) {
            using T = typename std::decay_t<decltype(v)>::value_type;
            v[indexOf(frame, channel)] = storedSample<T>(value);
        },
        m_samples);
}

float AudioBuffer::peak() const
{
    return std::visit(
        [](const auto& v) {
            float peak = 0.0f;
            for (const auto s : v) {
                const float a = std::fabs(toFloat(s));
                if (a > peak && std::isfinite(a))
                    peak = a;
            }
            return peak;
        },
        m_samples);
}

} // namespace palaverly
