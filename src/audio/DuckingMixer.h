#pragma once

#include <vector>

namespace palaverly {

// Mixes the system sound with the microphone in a meeting, lowering (ducking) the microphone
// while the system side is loud. Both sides arrive as 48 kHz mono float samples at their own
// pace; what one side has ahead of the other waits in its queue.
//
// The microphone gain follows a target per block: 0.05 when the block's system RMS is strictly
// above 0.02, else 3.0. The gain moves towards the target per sample, fast when falling
// (attack, ~10 ms) and slowly when rising (release, ~150 ms), and carries over between blocks.
//
// Not thread-safe: it lives on the recording session's write queue.
class DuckingMixer {
public:
    static constexpr float kMicBaseGain = 3.0f;
    static constexpr float kMicDuckedGain = 0.05f;
    static constexpr float kDuckThresholdRMS = 0.02f;
    static constexpr float kDuckAttackCoef = 0.00208f;
    static constexpr float kDuckReleaseCoef = 0.000139f;

    // Converted samples not yet mixed; the converters append to them. Samples must be finite.
    std::vector<float>& systemQueue() { return m_system; }
    std::vector<float>& micQueue() { return m_mic; }

    // Replaces `block` with the mix of the samples both queues have (the shorter length) and
    // removes them from the queues. An empty block when either queue is empty.
    void mixAvailable(std::vector<float>& block);

    // Replaces `block` with everything still queued, the shorter side padded with silence, mixed
    // at the current gain without a new ducking decision; empties both queues.
    void flush(std::vector<float>& block);

    // The current microphone gain (3.0 at start).
    float micGain() const { return m_gain; }

private:
    std::vector<float> m_system;
    std::vector<float> m_mic;
    float m_gain = kMicBaseGain;
};

} // namespace palaverly
