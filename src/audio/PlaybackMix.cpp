#include "audio/PlaybackMix.h"

#include <algorithm>
#include <vector>

namespace palaverly {

namespace {

// Sound placed further ahead of what was handed on is not believed (a timing reading gone wild).
constexpr int64_t kFurthestAheadFrames = 48000 * 30;

} // namespace

PlaybackMix::PlaybackMix(uint32_t channels, int64_t maxLagFrames)
    : m_channels(std::max<uint32_t>(channels, 1))
    , m_maxLag(maxLagFrames)
{
}

void PlaybackMix::add(uint32_t program, int64_t start, const float* samples, size_t frames, const Emit& emit)
{
    if (m_finished || start - m_handedOn > kFurthestAheadFrames)
        return;
    const int64_t end = start + static_cast<int64_t>(frames);
    const auto [known, isNew] = m_reach.try_emplace(program, end);
    known->second = std::max(known->second, end);
    if (end > m_handedOn && samples) {
        if (start < m_handedOn) {
            samples += (m_handedOn - start) * m_channels;
            start = m_handedOn;
        }
        const size_t first = static_cast<size_t>(start - m_handedOn) * m_channels;
        const size_t last = static_cast<size_t>(end - m_handedOn) * m_channels;
        if (m_sum.size() < last)
            m_sum.resize(last, 0.0f);
        for (size_t i = first; i < last; ++i)
            m_sum[i] += *samples++;
    }
    release(m_clock, emit);
}

void PlaybackMix::expect(uint32_t program, int64_t from)
{
    if (!m_finished)
        m_reach.try_emplace(program, std::max(from, m_handedOn));
}

void PlaybackMix::remove(uint32_t program, const Emit& emit)
{
    if (m_reach.erase(program))
        release(m_clock, emit);
}

void PlaybackMix::advance(int64_t end, const Emit& emit)
{
    if (m_finished)
        return;
    m_clock = std::max(m_clock, end);
    release(m_clock, emit);
}

void PlaybackMix::finish(int64_t end, const Emit& emit)
{
    if (m_finished)
        return;
    m_reach.clear();
    release(end, emit);
    m_finished = true;
    m_sum.clear();
}

void PlaybackMix::release(int64_t upTo, const Emit& emit)
{
    // Wait for programs that trail the clock, but never more than the allowed lag.
    int64_t ready = upTo;
    for (const auto& [program, reach] : m_reach)
        ready = std::min(ready, std::max(reach, upTo - m_maxLag));
    if (ready <= m_handedOn)
        return;
    const size_t frames = static_cast<size_t>(ready - m_handedOn);
    const size_t held = std::min(m_sum.size(), frames * m_channels);
    if (held == 0) {
        emit(m_handedOn, nullptr, frames);
    } else {
        std::vector<float> block(frames * m_channels, 0.0f);
        std::copy(m_sum.begin(), m_sum.begin() + static_cast<std::ptrdiff_t>(held), block.begin());
        m_sum.erase(m_sum.begin(), m_sum.begin() + static_cast<std::ptrdiff_t>(held));
        emit(m_handedOn, block.data(), frames);
    }
    m_handedOn = ready;
}

} // namespace palaverly
