#include "audio/AudioLevelMeter.h"

#include <cmath>

namespace palaverly {

void AudioLevelMeter::feed(const AudioBuffer& buffer)
{
    const float peak = buffer.peak();
    const float frames = static_cast<float>(buffer.frameLength());
    const float level = m_level.load(std::memory_order_relaxed);
    const float retention = level < peak ? 1.0f - kAttackCoef : 1.0f - kReleaseCoef;
    const float k = std::pow(retention, frames);
    m_level.store(level + (1.0f - k) * (peak - level), std::memory_order_relaxed);
}

} // namespace palaverly
