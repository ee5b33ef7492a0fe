#include "audio/DuckingMixer.h"

#include <algorithm>
#include <cmath>

namespace palaverly {

namespace {

inline float clipped(float x)
{
    return std::clamp(x, -1.0f, 1.0f);
}

} // namespace

void DuckingMixer::mixAvailable(std::vector<float>& block)
{
    const size_t n = std::min(m_system.size(), m_mic.size());
    block.resize(n);
    if (n == 0)
        return;

    // Summed in double so that a constant block's RMS comes out as exactly that constant.
    double sumOfSquares = 0.0;
    for (size_t i = 0; i < n; ++i)
        sumOfSquares += static_cast<double>(m_system[i]) * m_system[i];
    const float rms = static_cast<float>(std::sqrt(sumOfSquares / static_cast<double>(n)));
    const float target = rms > kDuckThresholdRMS ? kMicDuckedGain : kMicBaseGain;

    float g = m_gain;
    for (size_t i = 0; i < n; ++i) {
        const float coefficient = target < g ? kDuckAttackCoef : kDuckReleaseCoef;
        g = g + (target - g) * coefficient;
        block[i] = clipped(m_system[i] + g * m_mic[i]);
    }
    m_gain = g;

    m_system.erase(m_system.begin(), m_system.begin() + static_cast<std::ptrdiff_t>(n));
    m_mic.erase(m_mic.begin(), m_mic.begin() + static_cast<std::ptrdiff_t>(n));
}

void DuckingMixer::flush(std::vector<float>& block)
{
    const size_t n = std::max(m_system.size(), m_mic.size());
    block.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const float system = i < m_system.size() ? m_system[i] : 0.0f;
        const float mic = i < m_mic.size() ? m_mic[i] : 0.0f;
        block[i] = clipped(system + m_gain * mic);
    }
    m_system.clear();
    m_mic.clear();
}

} // namespace palaverly
