#pragma once

#include "audio/AudioBuffer.h"

#include <functional>
#include <vector>

namespace palaverly {

// A capture stream's sound cut into its owner's buffers (interleaved 32-bit float): exactly
// `framesPerBuffer` frames each when the owner asks for that, the last one of a take holding
// what is left; else as the sound comes, in buffers of at most 100 ms.
//
// Not thread-safe: the capture back end's delivery thread (or its owner, loop locked).
class CaptureFeed {
public:
    CaptureFeed(AudioFormat format, uint32_t framesPerBuffer, std::function<void(const AudioBuffer&)> onBuffer);

    // `frames` interleaved frames (null: silence).
    void take(const float* samples, size_t frames);
    // Hands on what is left as a last, shorter buffer.
    void flush();

private:
    void hand(size_t from, size_t count);

    const AudioFormat m_format;
    const uint32_t m_framesPerBuffer;
    const bool m_asTheyCome;
    const std::function<void(const AudioBuffer&)> m_onBuffer;
    std::vector<float> m_pending;
};

} // namespace palaverly
