#pragma once

#include "audio/PlaybackMix.h"
#include "audio/PulseRecordStream.h"

#include <pulse/pulseaudio.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace palaverly {

// The sound other programs play on one output device, this process's own playback left out:
// one record stream per playback stream (sink input) of the device that does not belong to this
// process, following those that appear, move or end while recording, summed at the pace of the
// device's own monitor. The monitor keeps running when nothing plays, so silence comes through
// at the device's pace too. Nothing on the server is moved, loaded or changed.
//
// Loop thread of the capture back end (or its owner with the loop locked).
class PulseSystemSound {
public:
    struct Output {
        uint32_t index = PA_INVALID_INDEX; // the sink
        std::string name;
        std::string monitor; // its monitor source
    };

    PulseSystemSound(PulseRecordStream::Setup setup, StreamTimeline::Emit onPieces, std::function<void()> onChange,
        std::function<void()> onClockFailed);
    ~PulseSystemSound();
    PulseSystemSound(const PulseSystemSound&) = delete;
    PulseSystemSound& operator=(const PulseSystemSound&) = delete;

    // Starts recording `output` over `context`: its monitor as the clock, and every playback
    // stream on it. Streams opened before are closed first; the timeline goes on.
    bool open(pa_context* context, const Output& output);
    // Follows a new default output: the clock moves there, the playback streams are taken anew.
    void follow(const Output& output);
    // A sink input event of the context's subscription.
    void playbackStreamChanged(pa_subscription_event_type_t type, uint32_t index);

    PulseRecordStream& clock() { return m_clock; }
    const Output& output() const { return m_output; }
    // Whether the clock and every program's stream have brought their sound up to `end`.
    bool reaches(int64_t end) const;
    // Nothing from `end` on is handed on any more.
    void limit(int64_t end);
    // Hands on everything up to `end` and stops.
    void finish(int64_t end);
    void close();

private:
    // Looks up every playback stream and records those of the output.
    void takePrograms();
    void inspect(uint32_t index);
    void inspected(const pa_sink_input_info& info);
    void openProgram(uint32_t index);
    void closePrograms();
    void track(pa_operation* operation);

    pa_context* m_context = nullptr;
    const PulseRecordStream::Setup m_setup;
    const StreamTimeline::Emit m_onPieces;
    const std::function<void()> m_onChange;
    PlaybackMix m_mix;
    PulseRecordStream m_clock;
    Output m_output;
    std::map<uint32_t, std::unique_ptr<PulseRecordStream>> m_programs; // by sink input index
    std::vector<pa_operation*> m_operations; // pending look-ups, cancelled on close
};

} // namespace palaverly
