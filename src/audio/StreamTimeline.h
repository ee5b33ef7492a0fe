#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace palaverly {

// Places one record stream's frames on the recording's timeline, where frame t is the sound
// captured t / rate seconds after the recording began. A sound server hands out a stream that
// starts and ends with latencies of its own, may leave holes and runs on the device's clock; the
// back end says where the server's timing puts each stretch it reads, and this class hands on
// one gapless sequence from frame 0: silence where the stream brought nothing (a late start, a
// hole, a stream that fell behind) and nothing of what it brought twice or too early (sound from
// before the start or after the end, a stream that ran ahead).
//
// Timing readings jitter by several milliseconds, so the place of a run is settled from the
// median of its first readings and moved only when the median of the recent ones strays further
// than the tolerance; between moves the frames follow each other unchanged.
//
// Readings also jump while the sound goes on unbroken: PipeWire's pulse server reports no
// latency and hands out each stream a graph cycle at a time, so its readings move by a cycle's
// length whenever another program joins or leaves and the cycle changes. A clock drifts slowly;
// a stretch the server lost moves the readings at once. So a reading that jumps by no more than
// `stepFrames` is taken as the server's new latency and the frames stay where they were (moving
// them would cut or gap the sound); only a slow stray, or a jump beyond that, moves them.
//
// Not thread-safe: one thread at a time (the capture back end's delivery thread, or its owner
// with the back end's loop locked).
class StreamTimeline {
public:
    // `frames` frames at timeline frame `start`; null samples stand for silence.
    using Emit = std::function<void(int64_t start, const float* samples, size_t frames)>;

    StreamTimeline(uint32_t channels, uint32_t toleranceFrames, uint32_t stepFrames);

    // The next `frames` interleaved frames of the stream (null: a hole the server reported).
    // `measuredStart` is where the server's timing puts the first of them on the timeline, when
    // the server has said; a run is held until a few readings have settled its place.
    void push(const float* samples, size_t frames, std::optional<int64_t> measuredStart, const Emit& emit);
    // The stream was opened again (its device went away): the next frames begin a new run,
    // placed by their own timing. What was handed on stays.
    void restart(const Emit& emit);
    // Nothing at or after `end` will be handed on (the recording stops there).
    void limit(int64_t end) { m_end = std::max(end, m_next); }
    // Hands on what is held up to `end` and silence for what the stream did not bring; nothing
    // is handed on after this. A run no reading has placed is taken to end at `end`.
    void finish(int64_t end, const Emit& emit);

    // The timeline frame just past the last one pushed, by the current placement (or the first
    // readings while a run is settling). Shows whether the stream has brought its sound up to a
    // moment.
    int64_t reach() const;

private:
    struct Reading {
        int64_t streamFrame; // run frame the reading was taken for
        int64_t measuredStart;
    };

    void settle(const Emit& emit);
    void follow(int64_t deviation);
    void place(int64_t streamFrame, const float* samples, size_t frames, const Emit& emit);
    int64_t median(std::vector<int64_t> values) const;

    const uint32_t m_channels;
    const int64_t m_tolerance;
    int64_t m_next = 0; // timeline frame handed on next
    int64_t m_runFrames = 0; // frames pushed in the current run
    bool m_placed = false; // the run's offset is settled
    int64_t m_offset = 0; // timeline frame = run frame + offset
    std::vector<Reading> m_firstReadings; // of a run that is settling
    std::vector<float> m_held; // its samples meanwhile (NaN-free; holes as zeros)
    const int64_t m_step;
    std::vector<int64_t> m_deviations; // recent readings minus the placement and the latency
    int64_t m_latency = 0; // jumps of the readings taken as the server's latency
    int64_t m_calmAt = 0; // run frame at which the readings last agreed with the placement
    bool m_finished = false;
    int64_t m_end = INT64_MAX;
};

} // namespace palaverly
