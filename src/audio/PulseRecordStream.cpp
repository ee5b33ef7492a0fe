#include "audio/PulseRecordStream.h"

#include <cmath>

namespace palaverly {

namespace {

// The fragments the server hands out. Small, so that a stop finds little still in the server
// and the first sound of a take is not held back until a large fragment fills. With
// PA_STREAM_ADJUST_LATENCY they also set the source's latency, and for a monitor its sink's: a
// PulseAudio sink renders up to its latency ahead (a null sink 2 s when nobody asks for less), and
// a monitor stream gets only what is rendered after it was opened, held back by that much (see
// docs/ARCHITECTURE-notes.md, "Sound servers").
constexpr uint32_t kFragmentMs = 10;
// Two placements closer than this are the same (timing readings jitter by a few milliseconds);
// a stream that strays further, by clock drift or a device that changed, is put back in place.
constexpr uint32_t kToleranceMs = 12;
// A sudden change of a stream's timing up to this is the server's latency changing, not sound
// that went missing (PipeWire's graph cycles reach about 40 ms).
constexpr uint32_t kLatencyStepMs = 100;
// A stream that brings nothing for this long is not waiting to bring more (fragments come every
// few milliseconds, a busy PipeWire graph every few tens).
constexpr pa_usec_t kQuietUsec = 100 * PA_USEC_PER_MSEC;
// A timing reading further than this from the moment it was taken is not believed.
constexpr double kBelievableUsec = 10.0 * PA_USEC_PER_SEC;

} // namespace

PulseRecordStream::PulseRecordStream(Setup setup, Callbacks callbacks)
    : m_setup(setup)
    , m_callbacks(std::move(callbacks))
    , m_timeline(setup.sampleFormat.channels, setup.sampleFormat.rate * kToleranceMs / 1000,
          setup.sampleFormat.rate * kLatencyStepMs / 1000)
{
}

PulseRecordStream::~PulseRecordStream()
{
    close();
}

bool PulseRecordStream::open(pa_context* context, const std::string& source)
{
    close();
    m_timeline.restart(m_callbacks.onPieces);
    m_source = source;
    m_readFrames = 0;
    m_lastDataAt = pa_rtclock_now();
    m_failureReported = false;
    const bool mapFits
        = pa_channel_map_valid(&m_setup.channelMap) && m_setup.channelMap.channels == m_setup.sampleFormat.channels;
    m_stream = pa_stream_new(context, m_setup.name, &m_setup.sampleFormat, mapFits ? &m_setup.channelMap : nullptr);
    if (!m_stream)
        return false;
    pa_stream_set_state_callback(m_stream, &PulseRecordStream::stateChanged, this);
    pa_stream_set_read_callback(m_stream, &PulseRecordStream::readable, this);
    pa_stream_set_moved_callback(m_stream, &PulseRecordStream::moved, this);
    if (m_setup.playbackStream != PA_INVALID_INDEX)
        pa_stream_set_monitor_stream(m_stream, m_setup.playbackStream);
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = static_cast<uint32_t>(-1);
    attributes.prebuf = static_cast<uint32_t>(-1);
    attributes.minreq = static_cast<uint32_t>(-1);
    attributes.fragsize
        = static_cast<uint32_t>(pa_usec_to_bytes(kFragmentMs * PA_USEC_PER_MSEC, &m_setup.sampleFormat));
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE);
    return pa_stream_connect_record(m_stream, source.c_str(), &attributes, flags) == 0;
}

void PulseRecordStream::close()
{
    if (!m_stream)
        return;
    // Detached first, so that disconnecting calls none of our callbacks.
    pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    pa_stream_set_read_callback(m_stream, nullptr, nullptr);
    pa_stream_set_moved_callback(m_stream, nullptr, nullptr);
    pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
    m_stream = nullptr;
}

pa_stream_state_t PulseRecordStream::state() const
{
    return m_stream ? pa_stream_get_state(m_stream) : PA_STREAM_TERMINATED;
}

uint32_t PulseRecordStream::index() const
{
    return m_stream ? pa_stream_get_index(m_stream) : PA_INVALID_INDEX;
}

bool PulseRecordStream::reaches(int64_t end) const
{
    return m_timeline.reach() >= end || pa_rtclock_now() - m_lastDataAt > kQuietUsec;
}

int64_t PulseRecordStream::frameAt(pa_usec_t time) const
{
    const double usec = static_cast<double>(time) - static_cast<double>(m_setup.startedAt);
    return std::llround(usec * m_setup.sampleFormat.rate / PA_USEC_PER_SEC);
}

std::optional<int64_t> PulseRecordStream::measuredStart() const
{
    // The server's last word on the stream: at `timestamp` (the server's own moment, not when the
    // answer arrived: a busy client takes its time) it had written `write_index` bytes into the
    // stream; the device held `source_usec` more that had been captured, and a monitor hands out
    // what its output will play `sink_usec` later. Taken as it was then, not interpolated
    // (interpolation runs on while a stream stalls), and only once the stream delivered: a device
    // that starts late makes the first word, at connection, wrong.
    const pa_timing_info* timing = pa_stream_get_timing_info(m_stream);
    if (!timing || timing->write_index_corrupt || timing->write_index <= 0)
        return std::nullopt;
    const double rate = m_setup.sampleFormat.rate;
    const double now = static_cast<double>(pa_rtclock_now()) - static_cast<double>(m_setup.startedAt);
    const double takenAt = now - static_cast<double>(pa_timeval_age(&timing->timestamp));
    const double position
        = static_cast<double>(pa_bytes_to_usec(static_cast<uint64_t>(timing->write_index), &m_setup.sampleFormat))
        + static_cast<double>(timing->source_usec) - static_cast<double>(timing->sink_usec);
    const double firstCaptured = takenAt - (position - static_cast<double>(m_readFrames) * PA_USEC_PER_SEC / rate);
    if (std::fabs(firstCaptured - now) > kBelievableUsec)
        return std::nullopt;
    return std::llround(firstCaptured * rate / PA_USEC_PER_SEC);
}

void PulseRecordStream::stateChanged(pa_stream* stream, void* self)
{
    auto* me = static_cast<PulseRecordStream*>(self);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)) && !me->m_failureReported) {
        me->m_failureReported = true;
        if (me->m_callbacks.onFailed)
            me->m_callbacks.onFailed();
    }
    if (me->m_callbacks.onChange)
        me->m_callbacks.onChange();
}

void PulseRecordStream::readable(pa_stream* stream, size_t, void* self)
{
    auto* me = static_cast<PulseRecordStream*>(self);
    const size_t frameBytes = pa_frame_size(&me->m_setup.sampleFormat);
    const void* data = nullptr;
    size_t bytes = 0;
    me->m_lastDataAt = pa_rtclock_now();
    while (pa_stream_peek(stream, &data, &bytes) == 0 && bytes > 0) {
        const size_t frames = bytes / frameBytes;
        if (frames > 0 && me->m_readFrames == 0)
            pa_operation_unref(pa_stream_update_timing_info(stream, nullptr, nullptr)); // a word while it delivers
        if (frames > 0) {
            me->m_timeline.push(static_cast<const float*>(data), frames, me->measuredStart(), me->m_callbacks.onPieces);
            me->m_readFrames += static_cast<int64_t>(frames);
        }
        pa_stream_drop(stream);
    }
    if (me->m_callbacks.onChange)
        me->m_callbacks.onChange();
}

void PulseRecordStream::moved(pa_stream* stream, void* self)
{
    // The server moves streams by itself too (when their device disappears).
    if (const char* device = pa_stream_get_device_name(stream))
        static_cast<PulseRecordStream*>(self)->m_source = device;
}

} // namespace palaverly
