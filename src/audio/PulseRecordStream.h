#pragma once

#include "audio/StreamTimeline.h"

#include <pulse/pulseaudio.h>

#include <functional>
#include <optional>
#include <string>

namespace palaverly {

// One PulseAudio record stream (PipeWire's pulse server too) whose frames go onto the
// recording's timeline. The server hands its data out in fragments of a few milliseconds, so
// little waits in the server at any time; each fragment is placed by the server's timing of the
// stream (what it is capturing now, its device's and its own latency), so a stream that starts
// late, runs ahead or drifts lands where its sound was heard.
//
// Loop thread of the capture back end (or its owner with the loop locked); every callback runs
// there.
class PulseRecordStream {
public:
    struct Setup {
        const char* name = "";
        pa_sample_spec sampleFormat{};
        pa_channel_map channelMap{}; // used when valid for the sample format's channel count
        pa_usec_t startedAt = 0; // pa_rtclock_now() at timeline frame 0
        // Records what this one playback stream (sink input) plays instead of the whole source.
        uint32_t playbackStream = PA_INVALID_INDEX;
    };

    struct Callbacks {
        StreamTimeline::Emit onPieces; // the stream's sound in timeline order
        std::function<void()> onChange; // after each batch of fragments and each change of state
        std::function<void()> onFailed; // once per connection, when the server ends the stream
    };

    PulseRecordStream(Setup setup, Callbacks callbacks);
    ~PulseRecordStream();
    PulseRecordStream(const PulseRecordStream&) = delete;
    PulseRecordStream& operator=(const PulseRecordStream&) = delete;

    // Connects to `source` (a source name); a stream opened before is closed first and the
    // timeline starts a new run. False when the server refused at once.
    bool open(pa_context* context, const std::string& source);
    void close();

    pa_stream_state_t state() const;
    bool isOpen() const { return m_stream != nullptr; }
    // The server-side index (of the source output), PA_INVALID_INDEX when closed.
    uint32_t index() const;
    // The source the stream records from; follows moves the server makes.
    const std::string& source() const { return m_source; }
    void setSource(std::string source) { m_source = std::move(source); }

    // The timeline frame of a moment on pa_rtclock_now()'s clock.
    int64_t frameAt(pa_usec_t time) const;
    // Whether the stream has brought everything it captured up to timeline frame `end`, or has
    // brought nothing for so long that it is not going to (a device that stalls, a server that
    // renders far ahead and had what belongs there before this stream was connected).
    bool reaches(int64_t end) const;
    // Nothing from `end` on is handed on any more.
    void limit(int64_t end) { m_timeline.limit(end); }
    // Hands on the rest up to `end` (silence where nothing came); nothing after.
    void finish(int64_t end) { m_timeline.finish(end, m_callbacks.onPieces); }

private:
    static void stateChanged(pa_stream* stream, void* self);
    static void readable(pa_stream* stream, size_t bytes, void* self);
    static void moved(pa_stream* stream, void* self);

    // Where the server's timing puts the frames just peeked; nothing until the server has timed
    // the stream while it delivered.
    std::optional<int64_t> measuredStart() const;

    const Setup m_setup;
    const Callbacks m_callbacks;
    StreamTimeline m_timeline;
    pa_stream* m_stream = nullptr;
    std::string m_source;
    int64_t m_readFrames = 0; // of the current connection, holes included
    pa_usec_t m_lastDataAt = 0; // when fragments last came (or the stream was opened)
    bool m_failureReported = false;
};

} // namespace palaverly
