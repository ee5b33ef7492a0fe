#include "SteppedTone.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

namespace palaverly::test {

namespace {

constexpr int kPitches = 60;
constexpr size_t kStepFrames = static_cast<size_t>(SteppedTone::kRate * SteppedTone::kStepSeconds);
constexpr size_t kPeriodFrames = kStepFrames * kPitches;
// A stretch this long always holds a change of pitch, which pins its place in the tone.
constexpr size_t kWindowFrames = kStepFrames + kStepFrames / 5;

// Step k sounds pitch (37 k mod 60): neighbouring steps lie far apart. Each step is a whole
// number of periods long, so every step starts at phase 0.
int pitchOfStep(long step)
{
    return static_cast<int>(((step % kPitches + kPitches) % kPitches) * 37 % kPitches);
}

double frequencyOfPitch(int pitch)
{
    return 300.0 + 50.0 * pitch;
}

const std::vector<float>& oneCycle()
{
    static const std::vector<float> samples = [] {
        std::vector<float> tone(kPeriodFrames);
        for (size_t i = 0; i < kPeriodFrames; ++i)
            tone[i] = SteppedTone::sampleAt(static_cast<double>(i) / SteppedTone::kRate);
        return tone;
    }();
    return samples;
}

// The energy at `frequency` in `samples` (Goertzel).
double energyAt(std::span<const float> samples, double frequency)
{
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * frequency / SteppedTone::kRate);
    double s1 = 0, s2 = 0;
    for (const float x : samples) {
        const double s0 = x + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coefficient * s1 * s2;
}

// Normalised correlation of `stretch` with the tone from frame `offset` of the tone on.
double likeness(std::span<const float> stretch, long offset)
{
    const auto& tone = oneCycle();
    const long period = static_cast<long>(kPeriodFrames);
    size_t index = static_cast<size_t>(((offset % period) + period) % period);
    double dot = 0, energy = 0, toneEnergy = 0;
    for (const float x : stretch) {
        const float y = tone[index];
        dot += static_cast<double>(x) * y;
        energy += static_cast<double>(x) * x;
        toneEnergy += static_cast<double>(y) * y;
        if (++index == kPeriodFrames)
            index = 0;
    }
    return energy > 0 && toneEnergy > 0 ? dot / std::sqrt(energy * toneEnergy) : 0;
}

} // namespace

float SteppedTone::sampleAt(double seconds)
{
    const long step = static_cast<long>(std::floor(seconds / kStepSeconds));
    const double into = seconds - static_cast<double>(step) * kStepSeconds;
    return static_cast<float>(std::sin(2 * std::numbers::pi * frequencyOfPitch(pitchOfStep(step)) * into));
}

std::optional<double> SteppedTone::positionOf(std::span<const float> recording, size_t at, double guess, bool backwards)
{
    if (backwards ? at < kWindowFrames : at + kWindowFrames > recording.size())
        return std::nullopt;
    const size_t first = backwards ? at - kWindowFrames : at;
    const auto stretch = recording.subspan(first, kWindowFrames);
    // Which pitch the stretch opens with gives its step up to a whole cycle of the tone...
    const auto opening = stretch.first(kStepFrames / 2);
    int pitch = 0;
    double loudest = -1;
    for (int p = 0; p < kPitches; ++p)
        if (const double energy = energyAt(opening, frequencyOfPitch(p)); energy > loudest) {
            loudest = energy;
            pitch = p;
        }
    long step = static_cast<long>(pitch) * 13 % kPitches; // 37 * 13 = 1 (mod 60)
    const double guessedStart = guess - static_cast<double>(at - first) / kRate;
    const long guessedStep = static_cast<long>(std::floor(guessedStart / kStepSeconds));
    step += std::lround(static_cast<double>(guessedStep - step) / kPitches) * kPitches;
    // ...and the change of pitch inside it pins it to the frame: coarse steps, then every frame.
    const long from = (step - 1) * static_cast<long>(kStepFrames);
    const long to = (step + 1) * static_cast<long>(kStepFrames);
    long best = from;
    double bestLikeness = -2;
    for (long offset = from; offset <= to; offset += 8)
        if (const double l = likeness(stretch, offset); l > bestLikeness) {
            bestLikeness = l;
            best = offset;
        }
    for (long offset = best - 8; offset <= best + 8; ++offset)
        if (const double l = likeness(stretch, offset); l > bestLikeness) {
            bestLikeness = l;
            best = offset;
        }
    if (bestLikeness < 0.8)
        return std::nullopt;
    return (static_cast<double>(best) + static_cast<double>(at - first)) / kRate;
}

struct SteppedTone::Player {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    double amplitude = 0;
    uint64_t written = 0;
    std::atomic<int> dropouts = 0;

    // Loop locked: asks the server for the stream's timing and waits for the answer.
    const pa_timing_info* freshTiming()
    {
        pa_operation* update = pa_stream_update_timing_info(
            stream,
            [](pa_stream*, int, void* loop) {
                pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
            },
            loop);
        if (!update)
            return nullptr;
        while (pa_operation_get_state(update) == PA_OPERATION_RUNNING)
            pa_threaded_mainloop_wait(loop);
        pa_operation_unref(update);
        return pa_stream_get_timing_info(stream);
    }

    // Loop locked: seconds into the tone heard now.
    std::optional<double> heard()
    {
        const pa_timing_info* timing = freshTiming();
        if (!timing || timing->read_index_corrupt)
            return std::nullopt;
        const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, 48000, 1};
        const double position = static_cast<double>(pa_bytes_to_usec(
                                    static_cast<uint64_t>(std::max<int64_t>(timing->read_index, 0)), &format))
            - static_cast<double>(timing->sink_usec); // at `timestamp`, the server's moment
        return (position + static_cast<double>(pa_timeval_age(&timing->timestamp))) / PA_USEC_PER_SEC;
    }
};

SteppedTone::SteppedTone(const std::string& sink, double amplitude, int latencyMs)
    : m_player(std::make_unique<Player>())
{
    Player& p = *m_player;
    p.amplitude = amplitude;
    p.loop = pa_threaded_mainloop_new();
    pa_threaded_mainloop_start(p.loop);
    pa_threaded_mainloop_lock(p.loop);
    p.context = pa_context_new(pa_threaded_mainloop_get_api(p.loop), "stepped tone");
    pa_context_set_state_callback(
        p.context,
        [](pa_context*, void* loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0); },
        p.loop);
    pa_context_connect(p.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
    while (PA_CONTEXT_IS_GOOD(pa_context_get_state(p.context)) && pa_context_get_state(p.context) != PA_CONTEXT_READY)
        pa_threaded_mainloop_wait(p.loop);
    if (pa_context_get_state(p.context) == PA_CONTEXT_READY) {
        const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, 48000, 1};
        p.stream = pa_stream_new(p.context, "stepped tone", &format, nullptr);
        pa_stream_set_state_callback(
            p.stream,
            [](pa_stream*, void* loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0); },
            p.loop);
        pa_stream_set_write_callback(
            p.stream,
            [](pa_stream* stream, size_t bytes, void* player) {
                auto* me = static_cast<Player*>(player);
                std::vector<float> samples(bytes / sizeof(float));
                for (float& sample : samples)
                    sample = static_cast<float>(me->amplitude * sampleAt(static_cast<double>(me->written++) / kRate));
                pa_stream_write(stream, samples.data(), samples.size() * sizeof(float), nullptr, 0, PA_SEEK_RELATIVE);
            },
            &p);
        pa_stream_set_underflow_callback(
            p.stream, [](pa_stream*, void* player) { ++static_cast<Player*>(player)->dropouts; }, &p);
        pa_buffer_attr attributes{};
        attributes.maxlength = static_cast<uint32_t>(-1);
        attributes.tlength
            = static_cast<uint32_t>(pa_usec_to_bytes(static_cast<pa_usec_t>(latencyMs) * PA_USEC_PER_MSEC, &format));
        attributes.prebuf = static_cast<uint32_t>(-1);
        attributes.minreq = static_cast<uint32_t>(-1);
        attributes.fragsize = static_cast<uint32_t>(-1);
        pa_stream_connect_playback(p.stream, sink.c_str(), &attributes, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr);
        while (PA_STREAM_IS_GOOD(pa_stream_get_state(p.stream)) && pa_stream_get_state(p.stream) != PA_STREAM_READY)
            pa_threaded_mainloop_wait(p.loop);
    }
    pa_threaded_mainloop_unlock(p.loop);
    // A sink that idled renders far ahead and plays nothing new until that runs out: wait until
    // the tone moves as fast as the clock.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    double before = -1;
    while (playing() && std::chrono::steady_clock::now() < deadline) {
        const double now = heardAt(std::chrono::steady_clock::now());
        if (before >= 0 && now - before > 0.04)
            return;
        before = now;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

SteppedTone::~SteppedTone()
{
    Player& p = *m_player;
    if (!p.loop)
        return;
    pa_threaded_mainloop_lock(p.loop);
    if (p.stream) {
        pa_stream_set_write_callback(p.stream, nullptr, nullptr);
        pa_stream_set_underflow_callback(p.stream, nullptr, nullptr);
        pa_stream_set_state_callback(p.stream, nullptr, nullptr);
        pa_stream_disconnect(p.stream);
        pa_stream_unref(p.stream);
    }
    pa_context_set_state_callback(p.context, nullptr, nullptr);
    pa_context_disconnect(p.context);
    pa_context_unref(p.context);
    pa_threaded_mainloop_unlock(p.loop);
    pa_threaded_mainloop_stop(p.loop);
    pa_threaded_mainloop_free(p.loop);
}

bool SteppedTone::playing() const
{
    pa_threaded_mainloop_lock(m_player->loop);
    const bool ready = m_player->stream && pa_stream_get_state(m_player->stream) == PA_STREAM_READY;
    pa_threaded_mainloop_unlock(m_player->loop);
    return ready;
}

int SteppedTone::dropouts() const
{
    return m_player->dropouts;
}

double SteppedTone::heardAt(std::chrono::steady_clock::time_point moment) const
{
    pa_threaded_mainloop_lock(m_player->loop);
    const auto heardNow = m_player->heard();
    const auto now = std::chrono::steady_clock::now();
    pa_threaded_mainloop_unlock(m_player->loop);
    return heardNow.value_or(0) - std::chrono::duration<double>(now - moment).count();
}

std::optional<ToneEnds> measureToneEnds(std::span<const float> recording, double startHeard, double stopHeard)
{
    constexpr float kSound = 0.02f;
    const auto loud = [&](float x) { return std::fabs(x) > kSound; };
    const auto firstSound = std::find_if(recording.begin(), recording.end(), loud);
    if (firstSound == recording.end())
        return std::nullopt;
    const auto lastSound = std::find_if(recording.rbegin(), recording.rend(), loud);
    const auto first = static_cast<size_t>(firstSound - recording.begin());
    const auto pastLast = static_cast<size_t>(recording.rend() - lastSound);
    const double rate = SteppedTone::kRate;
    const auto begins = SteppedTone::positionOf(recording, first, startHeard + static_cast<double>(first) / rate);
    const auto ends
        = SteppedTone::positionOf(recording, pastLast, startHeard + static_cast<double>(pastLast) / rate, true);
    if (!begins || !ends)
        return std::nullopt;
    return ToneEnds{
        *begins - startHeard, stopHeard - *ends, static_cast<double>(first) / rate - (*begins - startHeard)};
}

} // namespace palaverly::test
