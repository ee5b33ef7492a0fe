// PulseAudio back end of CaptureBackend (also what PipeWire's pulse server speaks).
//
// One threaded main loop per back end: its thread runs every callback below, so the record
// streams deliver one buffer at a time on that one thread. The owner's thread only enters with
// the loop locked (start, stop). Following the default devices: the back end subscribes to
// server changes and moves its streams to the new default's source; a stream the server killed
// (its device was removed) is opened again on the new default with the same sample format.
#include "audio/CaptureBackend.h"

#include "common/Log.h"

#include <pulse/pulseaudio.h>

#include <QLoggingCategory>
#include <QString>

#include <cstring>

Q_LOGGING_CATEGORY(lcCaptureBackend, "CaptureBackend")

namespace palaverly {

namespace {

constexpr pa_usec_t kStartTimeout = 5 * PA_USEC_PER_SEC;
constexpr uint32_t kDefaultBufferMs = 20;

class PulseCaptureBackend final : public CaptureBackend {
public:
    explicit PulseCaptureBackend(std::string threadName)
        : m_threadName(std::move(threadName))
    {
    }
    ~PulseCaptureBackend() override { stop(); }

    std::optional<StartError> start(Request request) override;
    void stop() override;
    bool isRunning() const override { return m_running; }

private:
    struct StreamState {
        PulseCaptureBackend* owner = nullptr;
        Stream wanted;
        pa_stream* stream = nullptr;
        std::string deviceName;
        pa_sample_spec sampleFormat{};
        pa_channel_map channelMap{};
        AudioFormat format;
        std::vector<float> pending; // samples waiting to fill a fixed-size buffer
        bool failureReported = false;
    };

    struct DeviceInfo {
        bool found = false;
        std::string sourceName; // the source to record: the device itself, or a sink's monitor
        pa_sample_spec sampleFormat{};
        pa_channel_map channelMap{};
    };

    // Owner's thread, loop locked.
    bool waitUntil(const std::function<bool()>& done);
    bool waitFor(pa_operation* operation);
    std::optional<StartError> connectContext();
    std::optional<StartError> queryDefaults();
    DeviceInfo queryDevice(CaptureDevice device);
    StartError failure(const char* what) const;
    void teardown();

    // Loop thread (or owner's thread with the loop locked).
    bool openStream(StreamState& state, const std::string& sourceName);
    void closeStream(StreamState& state);
    void deliver(StreamState& state, const void* data, size_t bytes);
    void reportFailure(StreamState* state);
    void followDefaults(const pa_server_info* info);
    void moveStreams(CaptureDevice device, const std::string& sourceName);

    static void contextStateChanged(pa_context* context, void* self);
    static void streamStateChanged(pa_stream* stream, void* state);
    static void streamReadable(pa_stream* stream, size_t bytes, void* state);
    static void streamMoved(pa_stream* stream, void* state);
    static void serverChanged(pa_context* context, pa_subscription_event_type_t type, uint32_t index, void* self);
    // Asks the server for its defaults and follows them.
    static void recheckDefaults(pa_context* context, void* self);
    static void timedOut(pa_mainloop_api* api, pa_time_event* event, const struct timeval* tv, void* self);

    const std::string m_threadName;
    // Set by the owner's thread before the loop starts and after it has stopped; read on the loop.
    Request m_request;
    bool m_running = false;
    // Loop-locked state below.
    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_time_event* m_timeout = nullptr;
    bool m_timedOut = false;
    bool m_stopping = false;
    bool m_contextFailureReported = false;
    std::string m_defaultSink;
    std::string m_defaultSource;
    std::vector<std::unique_ptr<StreamState>> m_streams;
};

CaptureBackend::StartError PulseCaptureBackend::failure(const char* what) const
{
    std::string reason = what;
    if (m_timedOut)
        reason += ": " + std::string(pa_strerror(PA_ERR_TIMEOUT));
    else if (m_context)
        reason += ": " + std::string(pa_strerror(pa_context_errno(m_context)));
    return {StartError::Kind::failed, reason};
}

bool PulseCaptureBackend::waitUntil(const std::function<bool()>& done)
{
    while (!done()) {
        if (m_timedOut)
            return false;
        pa_threaded_mainloop_wait(m_loop);
    }
    return true;
}

bool PulseCaptureBackend::waitFor(pa_operation* operation)
{
    if (!operation)
        return false;
    const bool finished = waitUntil([&] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
    const bool done = finished && pa_operation_get_state(operation) == PA_OPERATION_DONE;
    if (!finished)
        pa_operation_cancel(operation);
    pa_operation_unref(operation);
    return done;
}

std::optional<CaptureBackend::StartError> PulseCaptureBackend::start(Request request)
{
    if (m_running)
        return StartError{StartError::Kind::failed, "захват уже идёт"};
    m_request = std::move(request);
    m_loop = pa_threaded_mainloop_new();
    if (!m_loop)
        return StartError{StartError::Kind::failed, "не удалось создать цикл событий PulseAudio"};
    pa_threaded_mainloop_set_name(m_loop, m_threadName.c_str());
    if (pa_threaded_mainloop_start(m_loop) < 0) {
        pa_threaded_mainloop_free(m_loop);
        m_loop = nullptr;
        return StartError{StartError::Kind::failed, "не удалось запустить цикл событий PulseAudio"};
    }
    pa_threaded_mainloop_lock(m_loop);
    m_stopping = false;
    m_timedOut = false;
    m_contextFailureReported = false;

    std::optional<StartError> error = connectContext();
    if (!error)
        error = queryDefaults();
    for (size_t i = 0; !error && i < m_request.streams.size(); ++i) {
        auto state = std::make_unique<StreamState>();
        state->owner = this;
        state->wanted = m_request.streams[i];
        const DeviceInfo device = queryDevice(state->wanted.device);
        if (!device.found) {
            error = state->wanted.device == CaptureDevice::defaultOutputMonitor
                ? StartError{StartError::Kind::noOutputMonitor, {}}
                : failure("нет микрофона по умолчанию");
            break;
        }
        state->sampleFormat = {PA_SAMPLE_FLOAT32LE, device.sampleFormat.rate, device.sampleFormat.channels};
        if (const auto& wanted = state->wanted.format) {
            state->sampleFormat.rate = static_cast<uint32_t>(wanted->sampleRate);
            state->sampleFormat.channels = static_cast<uint8_t>(wanted->channelCount);
        }
        state->channelMap = device.channelMap;
        state->format = {static_cast<double>(state->sampleFormat.rate), state->sampleFormat.channels,
            SampleType::float32, SampleLayout::interleaved};
        if (m_request.onStreamFormat) {
            // Called without the lock, so the owner may log or do what it likes.
            pa_threaded_mainloop_unlock(m_loop);
            m_request.onStreamFormat(i, state->format);
            pa_threaded_mainloop_lock(m_loop);
        }
        StreamState& stream = *state;
        m_streams.push_back(std::move(state));
        if (!openStream(stream, device.sourceName)) {
            error = failure("не удалось открыть поток записи");
            break;
        }
        if (!waitUntil([&] {
                const auto s = pa_stream_get_state(stream.stream);
                return s == PA_STREAM_READY || s == PA_STREAM_FAILED || s == PA_STREAM_TERMINATED;
            })
            || pa_stream_get_state(stream.stream) != PA_STREAM_READY)
            error = failure("поток записи не запустился");
    }
    if (!error) {
        pa_context_set_subscribe_callback(m_context, &PulseCaptureBackend::serverChanged, this);
        pa_operation* subscription = pa_context_subscribe(m_context, PA_SUBSCRIPTION_MASK_SERVER, nullptr, nullptr);
        if (subscription)
            pa_operation_unref(subscription);
        // A default that changed while the streams were being opened (a server that has just
        // come up is still setting its own) is followed now.
        recheckDefaults(m_context, this);
    }
    if (m_timeout) {
        pa_threaded_mainloop_get_api(m_loop)->time_free(m_timeout);
        m_timeout = nullptr;
    }
    if (error) {
        teardown();
        return error;
    }
    m_running = true;
    pa_threaded_mainloop_unlock(m_loop);
    return std::nullopt;
}

std::optional<CaptureBackend::StartError> PulseCaptureBackend::connectContext()
{
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_loop);
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Palaverly");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "org.quorvane.palaverly");
    pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "production");
    m_context = pa_context_new_with_proplist(api, "Palaverly", properties);
    pa_proplist_free(properties);
    if (!m_context)
        return StartError{StartError::Kind::failed, "не удалось подключиться к PulseAudio"};
    pa_context_set_state_callback(m_context, &PulseCaptureBackend::contextStateChanged, this);

    struct timeval deadline { };
    pa_timeval_add(pa_gettimeofday(&deadline), kStartTimeout);
    m_timeout = api->time_new(api, &deadline, &PulseCaptureBackend::timedOut, this);

    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return failure("звуковой сервер недоступен");
    const bool settled = waitUntil([&] {
        const auto s = pa_context_get_state(m_context);
        return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
    });
    if (!settled || pa_context_get_state(m_context) != PA_CONTEXT_READY)
        return failure("звуковой сервер недоступен");
    return std::nullopt;
}

std::optional<CaptureBackend::StartError> PulseCaptureBackend::queryDefaults()
{
    bool received = false;
    struct Reply {
        PulseCaptureBackend* self;
        bool* received;
    } reply{this, &received};
    pa_operation* operation = pa_context_get_server_info(
        m_context,
        [](pa_context*, const pa_server_info* info, void* data) {
            auto* r = static_cast<Reply*>(data);
            if (info) {
                r->self->m_defaultSink = info->default_sink_name ? info->default_sink_name : "";
                r->self->m_defaultSource = info->default_source_name ? info->default_source_name : "";
                *r->received = true;
            }
            pa_threaded_mainloop_signal(r->self->m_loop, 0);
        },
        &reply);
    if (!waitFor(operation) || !received)
        return failure("не удалось узнать устройства по умолчанию");
    return std::nullopt;
}

PulseCaptureBackend::DeviceInfo PulseCaptureBackend::queryDevice(CaptureDevice device)
{
    struct Reply {
        PulseCaptureBackend* self;
        DeviceInfo info;
    } reply{this, {}};
    pa_operation* operation = nullptr;
    if (device == CaptureDevice::defaultOutputMonitor) {
        if (m_defaultSink.empty())
            return {};
        operation = pa_context_get_sink_info_by_name(
            m_context, m_defaultSink.c_str(),
            [](pa_context*, const pa_sink_info* info, int eol, void* data) {
                auto* r = static_cast<Reply*>(data);
                if (eol == 0 && info && info->monitor_source_name && *info->monitor_source_name)
                    r->info = {true, info->monitor_source_name, info->sample_spec, info->channel_map};
                pa_threaded_mainloop_signal(r->self->m_loop, 0);
            },
            &reply);
    } else {
        if (m_defaultSource.empty())
            return {};
        operation = pa_context_get_source_info_by_name(
            m_context, m_defaultSource.c_str(),
            [](pa_context*, const pa_source_info* info, int eol, void* data) {
                auto* r = static_cast<Reply*>(data);
                if (eol == 0 && info)
                    r->info = {true, info->name, info->sample_spec, info->channel_map};
                pa_threaded_mainloop_signal(r->self->m_loop, 0);
            },
            &reply);
    }
    waitFor(operation);
    return reply.info;
}

void PulseCaptureBackend::closeStream(StreamState& state)
{
    if (!state.stream)
        return;
    // Detached first, so that disconnecting calls none of our callbacks.
    pa_stream_set_state_callback(state.stream, nullptr, nullptr);
    pa_stream_set_read_callback(state.stream, nullptr, nullptr);
    pa_stream_set_moved_callback(state.stream, nullptr, nullptr);
    pa_stream_disconnect(state.stream);
    pa_stream_unref(state.stream);
    state.stream = nullptr;
}

bool PulseCaptureBackend::openStream(StreamState& state, const std::string& sourceName)
{
    closeStream(state);
    state.deviceName = sourceName;
    state.failureReported = false;
    state.pending.clear();
    const char* name = state.wanted.device == CaptureDevice::defaultOutputMonitor ? "System audio" : "Microphone";
    state.stream = pa_stream_new(m_context, name, &state.sampleFormat,
        pa_channel_map_valid(&state.channelMap) && state.channelMap.channels == state.sampleFormat.channels
            ? &state.channelMap
            : nullptr);
    if (!state.stream)
        return false;
    pa_stream_set_state_callback(state.stream, &PulseCaptureBackend::streamStateChanged, &state);
    pa_stream_set_read_callback(state.stream, &PulseCaptureBackend::streamReadable, &state);
    pa_stream_set_moved_callback(state.stream, &PulseCaptureBackend::streamMoved, &state);
    const uint32_t frameBytes = static_cast<uint32_t>(pa_frame_size(&state.sampleFormat));
    const uint32_t frames = state.wanted.framesPerBuffer ? state.wanted.framesPerBuffer
                                                         : state.sampleFormat.rate * kDefaultBufferMs / 1000;
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = static_cast<uint32_t>(-1);
    attributes.prebuf = static_cast<uint32_t>(-1);
    attributes.minreq = static_cast<uint32_t>(-1);
    attributes.fragsize = frames * frameBytes;
    return pa_stream_connect_record(state.stream, sourceName.c_str(), &attributes, PA_STREAM_ADJUST_LATENCY) == 0;
}

void PulseCaptureBackend::deliver(StreamState& state, const void* data, size_t bytes)
{
    const uint32_t channels = state.format.channelCount;
    const size_t samples = bytes / sizeof(float) / channels * channels;
    if (samples == 0 || !state.wanted.onBuffer)
        return;
    const auto* floats = static_cast<const float*>(data);
    if (state.wanted.framesPerBuffer == 0) {
        AudioBuffer buffer(state.format, static_cast<uint32_t>(samples / channels));
        if (floats) // a hole in the stream stays silent
            std::memcpy(buffer.floatSamples().data(), floats, samples * sizeof(float));
        state.wanted.onBuffer(buffer);
        return;
    }
    if (floats)
        state.pending.insert(state.pending.end(), floats, floats + samples);
    else
        state.pending.insert(state.pending.end(), samples, 0.0f);
    const size_t chunk = static_cast<size_t>(state.wanted.framesPerBuffer) * channels;
    size_t used = 0;
    while (state.pending.size() - used >= chunk) {
        state.wanted.onBuffer(AudioBuffer::fromFloat(state.format.sampleRate, channels, SampleLayout::interleaved,
            std::span<const float>(state.pending).subspan(used, chunk)));
        used += chunk;
    }
    state.pending.erase(state.pending.begin(), state.pending.begin() + static_cast<std::ptrdiff_t>(used));
}

void PulseCaptureBackend::reportFailure(StreamState* state)
{
    if (!m_running || m_stopping)
        return;
    const std::string reason = pa_strerror(pa_context_errno(m_context));
    if (!state) {
        if (m_contextFailureReported)
            return;
        m_contextFailureReported = true;
        if (m_request.onConnectionLost)
            m_request.onConnectionLost(reason);
        return;
    }
    // A dead connection takes every stream with it; that is reported once, by the context.
    if (state->failureReported || pa_context_get_state(m_context) != PA_CONTEXT_READY)
        return;
    state->failureReported = true;
    if (m_request.onStreamError)
        m_request.onStreamError(reason);
}

void PulseCaptureBackend::contextStateChanged(pa_context* context, void* self)
{
    auto* backend = static_cast<PulseCaptureBackend*>(self);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        backend->reportFailure(nullptr);
    pa_threaded_mainloop_signal(backend->m_loop, 0);
}

void PulseCaptureBackend::streamStateChanged(pa_stream* stream, void* data)
{
    auto* state = static_cast<StreamState*>(data);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
        state->owner->reportFailure(state);
    pa_threaded_mainloop_signal(state->owner->m_loop, 0);
}

void PulseCaptureBackend::streamReadable(pa_stream* stream, size_t, void* data)
{
    auto* state = static_cast<StreamState*>(data);
    const void* samples = nullptr;
    size_t bytes = 0;
    while (pa_stream_peek(stream, &samples, &bytes) == 0 && bytes > 0) {
        state->owner->deliver(*state, samples, bytes);
        pa_stream_drop(stream);
    }
}

void PulseCaptureBackend::streamMoved(pa_stream* stream, void* data)
{
    // The server moves streams by itself too (when their device disappears).
    if (const char* device = pa_stream_get_device_name(stream))
        static_cast<StreamState*>(data)->deviceName = device;
}

void PulseCaptureBackend::serverChanged(pa_context* context, pa_subscription_event_type_t type, uint32_t, void* self)
{
    if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SERVER)
        recheckDefaults(context, self);
}

void PulseCaptureBackend::recheckDefaults(pa_context* context, void* self)
{
    pa_operation* operation = pa_context_get_server_info(
        context,
        [](pa_context*, const pa_server_info* info, void* backend) {
            if (info)
                static_cast<PulseCaptureBackend*>(backend)->followDefaults(info);
        },
        self);
    if (operation)
        pa_operation_unref(operation);
}

void PulseCaptureBackend::followDefaults(const pa_server_info* info)
{
    if (m_stopping)
        return;
    const std::string sink = info->default_sink_name ? info->default_sink_name : "";
    const std::string source = info->default_source_name ? info->default_source_name : "";
    if (sink != m_defaultSink) {
        m_defaultSink = sink;
        if (!sink.empty()) {
            pa_operation* operation = pa_context_get_sink_info_by_name(
                m_context, sink.c_str(),
                [](pa_context*, const pa_sink_info* sinkInfo, int eol, void* backend) {
                    if (eol == 0 && sinkInfo && sinkInfo->monitor_source_name)
                        static_cast<PulseCaptureBackend*>(backend)->moveStreams(
                            CaptureDevice::defaultOutputMonitor, sinkInfo->monitor_source_name);
                },
                this);
            if (operation)
                pa_operation_unref(operation);
        }
    }
    if (source != m_defaultSource) {
        m_defaultSource = source;
        if (!source.empty())
            moveStreams(CaptureDevice::defaultInput, source);
    }
}

void PulseCaptureBackend::moveStreams(CaptureDevice device, const std::string& sourceName)
{
    if (m_stopping)
        return;
    for (auto& state : m_streams) {
        if (state->wanted.device != device || state->deviceName == sourceName)
            continue;
        log::info(lcCaptureBackend(),
            QStringLiteral("Following the new default %1: %2")
                .arg(device == CaptureDevice::defaultOutputMonitor ? QStringLiteral("output") : QStringLiteral("input"),
                    QString::fromStdString(sourceName)));
        if (state->stream && pa_stream_get_state(state->stream) == PA_STREAM_READY) {
            state->deviceName = sourceName;
            pa_operation* operation = pa_context_move_source_output_by_name(
                m_context, pa_stream_get_index(state->stream), sourceName.c_str(), nullptr, nullptr);
            if (operation)
                pa_operation_unref(operation);
        } else {
            openStream(*state, sourceName); // the old one is gone; same format on the new device
        }
    }
}

void PulseCaptureBackend::timedOut(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self)
{
    auto* backend = static_cast<PulseCaptureBackend*>(self);
    backend->m_timedOut = true;
    pa_threaded_mainloop_signal(backend->m_loop, 0);
}

void PulseCaptureBackend::teardown()
{
    // Loop locked on entry; the loop is gone on return.
    m_stopping = true;
    for (auto& state : m_streams)
        closeStream(*state);
    if (m_context) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
    pa_threaded_mainloop_unlock(m_loop);
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
    m_loop = nullptr;
    m_streams.clear();
    m_running = false;
    m_request = {};
}

void PulseCaptureBackend::stop()
{
    if (!m_running)
        return;
    pa_threaded_mainloop_lock(m_loop);
    teardown();
}

} // namespace

std::unique_ptr<CaptureBackend> CaptureBackend::create(const std::string& threadName)
{
    return std::make_unique<PulseCaptureBackend>(threadName);
}

} // namespace palaverly
