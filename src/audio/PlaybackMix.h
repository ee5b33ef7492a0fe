#pragma once

#include "audio/StreamTimeline.h"

#include <cstdint>
#include <deque>
#include <map>

namespace palaverly {

// Sums the sound of several programs' playback streams at the pace of a clock (the output
// device's own monitor, which keeps running when nothing plays): for each stretch of the
// timeline the clock has covered it hands on the sum of what the programs placed there, and
// silence where none played. A program whose sound trails the clock by more than the allowed lag
// misses that stretch rather than holding the others back; a program that stops leaves silence,
// never a gap.
//
// Not thread-safe: the capture back end's delivery thread (or its owner, loop locked).
class PlaybackMix {
public:
    using Emit = StreamTimeline::Emit;

    PlaybackMix(uint32_t channels, int64_t maxLagFrames);

    // `frames` interleaved frames of program `program` at timeline frame `start` (null: silence).
    void add(uint32_t program, int64_t start, const float* samples, size_t frames, const Emit& emit);
    // The program plays from timeline frame `from` on: its sound is waited for from there (when
    // it was not waited for already).
    void expect(uint32_t program, int64_t from);
    // The program has gone or paused; the clock no longer waits for it.
    void remove(uint32_t program, const Emit& emit);
    // The clock has covered the timeline up to `end`.
    void advance(int64_t end, const Emit& emit);
    // Hands on everything up to `end` and stops.
    void finish(int64_t end, const Emit& emit);

private:
    void release(int64_t upTo, const Emit& emit);

    const uint32_t m_channels;
    const int64_t m_maxLag;
    int64_t m_handedOn = 0; // timeline frame handed on next
    int64_t m_clock = 0; // covered by the clock
    std::deque<float> m_sum; // interleaved, from m_handedOn on
    std::map<uint32_t, int64_t> m_reach; // per program: timeline frame its sound has reached
    bool m_finished = false;
};

} // namespace palaverly
