#include "audio/StreamTimeline.h"
#include "audio/PlaybackMix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <vector>

using namespace palaverly;

namespace {

// What a timeline or a mix handed on, mono, checked to be one gapless run from frame 0.
struct HandedOn {
    std::vector<float> samples;
    bool gapless = true;

    StreamTimeline::Emit emit()
    {
        return [this](int64_t start, const float* from, size_t frames) {
            gapless = gapless && start == static_cast<int64_t>(samples.size());
            for (size_t i = 0; i < frames; ++i)
                samples.push_back(from ? from[i] : 0.0f);
        };
    }
};

// `frames` samples counting up from `first`, so that each frame tells where it came from.
std::vector<float> counting(float first, size_t frames)
{
    std::vector<float> samples(frames);
    std::iota(samples.begin(), samples.end(), first);
    return samples;
}

} // namespace

TEST(StreamTimelineTest, PlacesAStreamByItsTimingFillingWhatItMissedAndDroppingWhatFallsOutside)
{
    // A stream that starts 100 frames late, its readings jittering by a frame or two: its first
    // frame lands at 100, silence before it, and the jitter moves nothing.
    HandedOn late;
    StreamTimeline timeline(1, 10, 100);
    const auto stream = counting(1, 400);
    const auto push = [&](size_t i) {
        timeline.push(stream.data() + i * 10, 10, 100 + static_cast<int64_t>(i * 10) + (i % 3) - 1, late.emit());
    };
    for (size_t i = 0; i < 30; ++i)
        push(i);
    EXPECT_EQ(timeline.reach(), 400);
    timeline.limit(450); // the stop: nothing from 450 on
    for (size_t i = 30; i < 40; ++i)
        push(i);
    timeline.finish(450, late.emit());
    ASSERT_TRUE(late.gapless);
    ASSERT_EQ(late.samples.size(), 450u);
    EXPECT_EQ(late.samples[99], 0);
    EXPECT_EQ(late.samples[100], 1);
    EXPECT_EQ(late.samples[449], 350);

    // A stream that holds sound from before the start: that part is left out. One that brings
    // nothing before the end is silence up to it.
    HandedOn early;
    StreamTimeline before(1, 10, 100);
    for (size_t i = 0; i < 10; ++i)
        before.push(stream.data() + i * 10, 10, static_cast<int64_t>(i * 10) - 30, early.emit());
    before.finish(120, early.emit());
    ASSERT_TRUE(early.gapless);
    ASSERT_EQ(early.samples.size(), 120u);
    EXPECT_EQ(early.samples[0], 31);
    EXPECT_EQ(early.samples[69], 100);
    EXPECT_EQ(early.samples[70], 0);
    HandedOn nothing;
    StreamTimeline silent(1, 10, 100);
    silent.finish(50, nothing.emit());
    EXPECT_EQ(nothing.samples.size(), 50u);
}

TEST(StreamTimelineTest, ADriftOrALostStretchMovesTheStreamALatencyJumpDoesNotAndAReopenedOneStartsANewRun)
{
    HandedOn out;
    StreamTimeline timeline(1, 10, 100);
    const auto stream = counting(1, 20000);
    int64_t streamFrame = 0;
    // `blocks` pushes of 10 frames whose readings put them `late` frames after where they are.
    const auto push = [&](int blocks, const std::function<int64_t()>& late) {
        for (int i = 0; i < blocks; ++i) {
            timeline.push(stream.data() + streamFrame, 10, streamFrame + late(), out.emit());
            streamFrame += 10;
        }
    };
    const auto zeros = [&] { return std::count(out.samples.begin(), out.samples.end(), 0.0f); };
    push(30, [] { return 0; });
    push(30, [] { return 8; }); // within the tolerance
    push(30, [] { return 48; }); // a jump of 40: the server's latency changed, the sound did not
    EXPECT_EQ(out.samples.size(), 900u);
    EXPECT_EQ(zeros(), 0);
    push(30, [] { return 248; }); // a jump beyond a latency: a stretch went missing, filled
    EXPECT_EQ(zeros(), 200);
    push(30, [] { return 48; }); // back by as much: what it brings twice is left out
    EXPECT_EQ(out.samples.size(), 1520u);
    EXPECT_EQ(out.samples.back(), 1320);
    const int64_t driftFrom = streamFrame;
    push(1200, [&] { return 48 + (streamFrame - driftFrom) / 1000; }); // a clock that drifts
    EXPECT_EQ(zeros(), 211);
    ASSERT_TRUE(out.gapless);

    // The device went away and the stream was opened again: its frames count from 0 anew and
    // go where their own timing says.
    const auto reopenedAt = static_cast<int64_t>(out.samples.size()) + 100;
    timeline.restart(out.emit());
    for (int i = 0; i < 5; ++i)
        timeline.push(stream.data() + i * 10, 10, reopenedAt + i * 10, out.emit());
    timeline.finish(reopenedAt + 100, out.emit());
    ASSERT_TRUE(out.gapless);
    EXPECT_EQ(out.samples[static_cast<size_t>(reopenedAt)], 1);
    EXPECT_EQ(out.samples.size(), static_cast<size_t>(reopenedAt + 100));
}

TEST(PlaybackMixTest, SumsTheProgramsAtTheClocksPaceWaitingForOneThatTrailsOnlySoLong)
{
    HandedOn out;
    PlaybackMix mix(1, 50);
    const auto emit = out.emit();
    const std::vector<float> ones(100, 1.0f), twos(100, 2.0f);

    mix.advance(100, emit); // nothing plays: silence at the clock's pace
    EXPECT_EQ(out.samples.size(), 100u);
    mix.add(1, 100, ones.data(), 100, emit);
    mix.add(2, 150, twos.data(), 50, emit); // a second program, 50 frames later
    mix.advance(200, emit);
    ASSERT_EQ(out.samples.size(), 200u);
    EXPECT_EQ(out.samples[120], 1.0f);
    EXPECT_EQ(out.samples[170], 3.0f);

    // Program 2 trails: the clock waits for it, but no more than 50 frames.
    mix.add(1, 200, ones.data(), 100, emit);
    mix.advance(230, emit);
    EXPECT_EQ(out.samples.size(), 200u);
    mix.advance(300, emit);
    EXPECT_EQ(out.samples.size(), 250u);
    mix.add(2, 200, twos.data(), 100, emit); // its first 50 frames came too late
    EXPECT_EQ(out.samples.size(), 300u);
    EXPECT_EQ(out.samples[240], 1.0f);
    EXPECT_EQ(out.samples[260], 3.0f);

    // A program that has gone holds nothing back; a new one is waited for from where it joins.
    mix.expect(3, 300);
    mix.add(1, 300, ones.data(), 20, emit);
    mix.remove(2, emit);
    mix.advance(320, emit);
    EXPECT_EQ(out.samples.size(), 300u);
    mix.remove(3, emit);
    EXPECT_EQ(out.samples.size(), 320u);
    // The finish hands on what is there up to the end, whoever trails.
    mix.add(1, 320, ones.data(), 100, emit);
    mix.expect(4, 330);
    mix.finish(400, emit);
    mix.advance(500, emit);
    ASSERT_TRUE(out.gapless);
    ASSERT_EQ(out.samples.size(), 400u);
    EXPECT_EQ(out.samples[399], 1.0f);
}
