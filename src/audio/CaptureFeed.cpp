#include "audio/CaptureFeed.h"

namespace palaverly {

namespace {

// Buffers handed on as they come are at most this long (a late start's silence, say).
constexpr uint32_t kLongestBufferMs = 100;

} // namespace

CaptureFeed::CaptureFeed(AudioFormat format, uint32_t framesPerBuffer, std::function<void(const AudioBuffer&)> onBuffer)
    : m_format(format)
    , m_framesPerBuffer(
          framesPerBuffer ? framesPerBuffer : static_cast<uint32_t>(format.sampleRate) * kLongestBufferMs / 1000)
    , m_asTheyCome(framesPerBuffer == 0)
    , m_onBuffer(std::move(onBuffer))
{
}

void CaptureFeed::take(const float* samples, size_t frames)
{
    const size_t channels = m_format.channelCount;
    if (samples)
        m_pending.insert(m_pending.end(), samples, samples + frames * channels);
    else
        m_pending.insert(m_pending.end(), frames * channels, 0.0f);
    const size_t chunk = static_cast<size_t>(m_framesPerBuffer) * channels;
    size_t used = 0;
    while (m_pending.size() - used >= chunk) {
        hand(used, chunk);
        used += chunk;
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(used));
    if (m_asTheyCome)
        flush();
}

void CaptureFeed::flush()
{
    if (!m_pending.empty())
        hand(0, m_pending.size());
    m_pending.clear();
}

void CaptureFeed::hand(size_t from, size_t count)
{
    if (m_onBuffer)
        m_onBuffer(AudioBuffer::fromFloat(m_format.sampleRate, m_format.channelCount, SampleLayout::interleaved,
            std::span<const float>(m_pending).subspan(from, count)));
}

} // namespace palaverly
