#pragma once

#include "audio/AudioBuffer.h"

#include <atomic>

namespace palaverly {

// Turns the buffers of one capture source into one smoothed peak level on the linear sample
// scale (1.0 = full scale; no decibels, no floor, no clipping). A one-pole follower run once per
// buffer with the per-sample factor raised to the buffer's frame count, so the result does not
// depend on how the source cuts its stream into buffers.
//
// Threads: feed on the one thread that delivers the buffers; level / setLevel on any thread
// (the owner reads it on the main thread and resets it to 0 when a recording ends).
class AudioLevelMeter {
public:
    static constexpr float kAttackCoef = 0.004f;
    static constexpr float kReleaseCoef = 0.00008f;

    // Allocates nothing; NaN and infinite samples count as silence.
    void feed(const AudioBuffer& buffer);

    float level() const { return m_level.load(std::memory_order_relaxed); }
    void setLevel(float level) { m_level.store(level, std::memory_order_relaxed); }

private:
    std::atomic<float> m_level{0.0f};
};

} // namespace palaverly
