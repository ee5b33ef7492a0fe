// PulseAudio back end of CaptureBackend (also what PipeWire's pulse server speaks).
//
// One threaded main loop per back end: its thread runs every callback below, so the record
// streams deliver one buffer at a time on that one thread. The owner's thread only enters with
// the loop locked (start, stop). Following the default devices: the back end subscribes to
// server changes and moves its streams to the new default's source; a stream the server killed
// (its device was removed) is opened again on the new default with the same sample format.
//
// Where the sound comes from and how it is placed in time is the business of PulseRecordStream
// (one record stream on the request's timeline) and PulseSystemSound (other programs' playback
// on the default output); this file connects, opens what a request asks for, follows the
// defaults and cuts the streams' sound into the owner's buffers.
#include "audio/CaptureBackend.h"
#include "audio/CaptureFeed.h"
#include "audio/PulseRecordStream.h"
#include "audio/PulseSystemSound.h"

#include "common/Log.h"

#include <pulse/pulseaudio.h>

#include <QLoggingCategory>
#include <QString>

#include <algorithm>

Q_LOGGING_CATEGORY(lcCaptureBackend, "CaptureBackend")

namespace palaverly {

namespace {

constexpr pa_usec_t kStartTimeout = 5 * PA_USEC_PER_SEC;
// How long a stop waits for the streams to bring the sound captured up to the stop.
constexpr pa_usec_t kDrainTimeout = 500 * PA_USEC_PER_MSEC;
constexpr pa_usec_t kDrainPollUsec = 10 * PA_USEC_PER_MSEC;

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
    // One requested stream: the microphone's record stream, or the system sound's streams.
    struct Channel {
        Channel(AudioFormat format, Stream wanted)
            : wanted(std::move(wanted))
            , feed(format, this->wanted.framesPerBuffer, this->wanted.onBuffer)
        {
        }
        PulseRecordStream& clock() { return system ? system->clock() : *microphone; }
        bool isSystem() const { return wanted.device == CaptureDevice::systemSound; }
        bool reaches(int64_t end)
        {
            return clock().state() != PA_STREAM_READY || (system ? system->reaches(end) : microphone->reaches(end));
        }

        Stream wanted;
        CaptureFeed feed;
        std::unique_ptr<PulseRecordStream> microphone;
        std::unique_ptr<PulseSystemSound> system;
        bool failureReported = false;
    };

    struct DeviceInfo {
        bool found = false;
        std::string sourceName; // the source to record: the device itself, or a sink's monitor
        uint32_t sinkIndex = PA_INVALID_INDEX;
        std::string sinkName;
        pa_sample_spec sampleFormat{};
        pa_channel_map channelMap{};
    };

    // Owner's thread, loop locked.
    bool waitUntil(const std::function<bool()>& done);
    bool waitFor(pa_operation* operation);
    void armTimeout(pa_usec_t after);
    void disarmTimeout();
    std::optional<StartError> connectContext();
    std::optional<StartError> queryDefaults();
    // Opens every stream of the request on the current defaults and waits until they record;
    // the first time it also makes the channels (the streams' formats come from their devices).
    std::optional<StartError> openStreams();
    DeviceInfo queryDevice(CaptureDevice device);
    Channel& makeChannel(size_t index, const DeviceInfo& device);
    void drain(pa_usec_t stoppedAt);
    StartError failure(const char* what) const;
    void teardown();

    // Loop thread (or owner's thread with the loop locked).
    void reportFailure(Channel* channel);
    void followDefaults(const pa_server_info* info);
    void followOutput(const pa_sink_info& sink);
    void followInput(const std::string& sourceName);
    void signalOwner();

    static void contextStateChanged(pa_context* context, void* self);
    static void serverChanged(pa_context* context, pa_subscription_event_type_t type, uint32_t index, void* self);
    // Asks the server for its defaults and follows them.
    static void recheckDefaults(pa_context* context, void* self);
    static void timedOut(pa_mainloop_api* api, pa_time_event* event, const struct timeval* tv, void* self);

    const std::string m_threadName;
    // Set by the owner's thread before the loop starts and after it has stopped; read on the loop.
    Request m_request;
    bool m_running = false;
    pa_usec_t m_startedAt = 0; // timeline frame 0, on pa_rtclock_now()'s clock
    // Loop-locked state below.
    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_time_event* m_timeout = nullptr;
    bool m_timedOut = false;
    bool m_stopping = false;
    bool m_following = false; // the streams are open: changed defaults are followed
    bool m_contextFailureReported = false;
    std::string m_defaultSink;
    std::string m_defaultSource;
    std::vector<std::unique_ptr<Channel>> m_channels;
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

void PulseCaptureBackend::armTimeout(pa_usec_t after)
{
    disarmTimeout();
    m_timedOut = false;
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_loop);
    struct timeval deadline { };
    pa_timeval_add(pa_gettimeofday(&deadline), after);
    m_timeout = api->time_new(api, &deadline, &PulseCaptureBackend::timedOut, this);
}

void PulseCaptureBackend::disarmTimeout()
{
    if (m_timeout)
        pa_threaded_mainloop_get_api(m_loop)->time_free(m_timeout);
    m_timeout = nullptr;
}

std::optional<CaptureBackend::StartError> PulseCaptureBackend::start(Request request)
{
    if (m_running)
        return StartError{StartError::Kind::failed, "захват уже идёт"};
    m_startedAt = pa_rtclock_now();
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
    m_contextFailureReported = false;
    armTimeout(kStartTimeout);

    m_following = false;
    std::optional<StartError> error = connectContext();
    if (!error)
        error = queryDefaults();
    if (!error) {
        // Subscribed before the streams open and list the playing programs: a program that starts
        // meanwhile is then in the list or announced, never missed.
        const bool withSystem = std::any_of(m_request.streams.begin(), m_request.streams.end(),
            [](const auto& stream) { return stream.device == CaptureDevice::systemSound; });
        pa_context_set_subscribe_callback(m_context, &PulseCaptureBackend::serverChanged, this);
        pa_operation* subscription = pa_context_subscribe(m_context,
            static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SERVER
                | (withSystem ? PA_SUBSCRIPTION_MASK_SINK_INPUT : PA_SUBSCRIPTION_MASK_NULL)),
            nullptr, nullptr);
        if (subscription)
            pa_operation_unref(subscription);
        error = openStreams();
    }
    if (!error) {
        // A default that changed while the streams were being opened (a server that has just
        // come up is still setting its own) is followed now.
        m_following = true;
        recheckDefaults(m_context, this);
    }
    disarmTimeout();
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
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Palaverly");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "org.quorvane.palaverly");
    pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "production");
    m_context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(m_loop), "Palaverly", properties);
    pa_proplist_free(properties);
    if (!m_context)
        return StartError{StartError::Kind::failed, "не удалось подключиться к PulseAudio"};
    pa_context_set_state_callback(m_context, &PulseCaptureBackend::contextStateChanged, this);
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
    if (device == CaptureDevice::systemSound) {
        if (m_defaultSink.empty())
            return {};
        operation = pa_context_get_sink_info_by_name(
            m_context, m_defaultSink.c_str(),
            [](pa_context*, const pa_sink_info* info, int eol, void* data) {
                auto* r = static_cast<Reply*>(data);
                if (eol == 0 && info && info->monitor_source_name && *info->monitor_source_name)
                    r->info = {
                        true, info->monitor_source_name, info->index, info->name, info->sample_spec, info->channel_map};
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
                    r->info = {true, info->name, PA_INVALID_INDEX, {}, info->sample_spec, info->channel_map};
                pa_threaded_mainloop_signal(r->self->m_loop, 0);
            },
            &reply);
    }
    waitFor(operation);
    return reply.info;
}

PulseCaptureBackend::Channel& PulseCaptureBackend::makeChannel(size_t index, const DeviceInfo& device)
{
    pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32LE, device.sampleFormat.rate, device.sampleFormat.channels};
    if (const auto& wanted = m_request.streams[index].format) {
        sampleFormat.rate = static_cast<uint32_t>(wanted->sampleRate);
        sampleFormat.channels = static_cast<uint8_t>(wanted->channelCount);
    }
    const AudioFormat format{
        static_cast<double>(sampleFormat.rate), sampleFormat.channels, SampleType::float32, SampleLayout::interleaved};
    if (m_request.onStreamFormat) {
        // Called without the lock, so the owner may log or do what it likes.
        pa_threaded_mainloop_unlock(m_loop);
        m_request.onStreamFormat(index, format);
        pa_threaded_mainloop_lock(m_loop);
    }
    auto channel = std::make_unique<Channel>(format, m_request.streams[index]);
    Channel* c = channel.get();
    PulseRecordStream::Setup setup;
    setup.sampleFormat = sampleFormat;
    setup.channelMap = device.channelMap;
    setup.startedAt = m_startedAt;
    const auto pieces = [c](int64_t, const float* samples, size_t frames) { c->feed.take(samples, frames); };
    const auto onChange = [this] { signalOwner(); };
    const auto onFailed = [this, c] { reportFailure(c); };
    if (c->isSystem()) {
        setup.name = "System audio";
        c->system = std::make_unique<PulseSystemSound>(setup, pieces, onChange, onFailed);
    } else {
        setup.name = "Microphone";
        c->microphone
            = std::make_unique<PulseRecordStream>(setup, PulseRecordStream::Callbacks{pieces, onChange, onFailed});
    }
    m_channels.push_back(std::move(channel));
    return *c;
}

std::optional<CaptureBackend::StartError> PulseCaptureBackend::openStreams()
{
    for (size_t i = 0; i < m_request.streams.size(); ++i) {
        const CaptureDevice wanted = m_request.streams[i].device;
        const DeviceInfo device = queryDevice(wanted);
        if (!device.found)
            return wanted == CaptureDevice::systemSound ? StartError{StartError::Kind::noOutputMonitor, {}}
                                                        : failure("нет микрофона по умолчанию");
        Channel& channel = i < m_channels.size() ? *m_channels[i] : makeChannel(i, device);
        channel.failureReported = false;
        const bool opened = channel.system
            ? channel.system->open(m_context, {device.sinkIndex, device.sinkName, device.sourceName})
            : channel.microphone->open(m_context, device.sourceName);
        if (!opened)
            return failure("не удалось открыть поток записи");
    }
    for (auto& channel : m_channels) {
        PulseRecordStream& stream = channel->clock();
        if (!waitUntil([&] {
                const auto s = stream.state();
                return s == PA_STREAM_READY || s == PA_STREAM_FAILED || s == PA_STREAM_TERMINATED;
            })
            || stream.state() != PA_STREAM_READY)
            return failure("поток записи не запустился");
    }
    return std::nullopt;
}

void PulseCaptureBackend::reportFailure(Channel* channel)
{
    if (!m_running || m_stopping)
        return;
    const std::string reason = pa_strerror(pa_context_errno(m_context));
    if (!channel) {
        if (m_contextFailureReported)
            return;
        m_contextFailureReported = true;
        if (m_request.onConnectionLost)
            m_request.onConnectionLost(reason);
        return;
    }
    // A dead connection takes every stream with it; that is reported once, by the context.
    if (channel->failureReported || pa_context_get_state(m_context) != PA_CONTEXT_READY)
        return;
    channel->failureReported = true;
    if (m_request.onStreamError)
        m_request.onStreamError(reason);
}

void PulseCaptureBackend::signalOwner()
{
    pa_threaded_mainloop_signal(m_loop, 0);
}

void PulseCaptureBackend::contextStateChanged(pa_context* context, void* self)
{
    auto* backend = static_cast<PulseCaptureBackend*>(self);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        backend->reportFailure(nullptr);
    pa_threaded_mainloop_signal(backend->m_loop, 0);
}

void PulseCaptureBackend::serverChanged(
    pa_context* context, pa_subscription_event_type_t type, uint32_t index, void* self)
{
    auto* backend = static_cast<PulseCaptureBackend*>(self);
    if (backend->m_stopping)
        return;
    const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    if (facility == PA_SUBSCRIPTION_EVENT_SINK_INPUT) {
        for (auto& channel : backend->m_channels)
            if (channel->system)
                channel->system->playbackStreamChanged(type, index);
        return;
    }
    if (facility == PA_SUBSCRIPTION_EVENT_SERVER && backend->m_following)
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
                        static_cast<PulseCaptureBackend*>(backend)->followOutput(*sinkInfo);
                },
                this);
            if (operation)
                pa_operation_unref(operation);
        }
    }
    if (source != m_defaultSource) {
        m_defaultSource = source;
        if (!source.empty())
            followInput(source);
    }
}

void PulseCaptureBackend::followOutput(const pa_sink_info& sink)
{
    if (m_stopping)
        return;
    for (auto& channel : m_channels) {
        if (!channel->system || channel->system->output().index == sink.index)
            continue;
        log::info(lcCaptureBackend(),
            QStringLiteral("Following the new default output: %1").arg(QString::fromUtf8(sink.monitor_source_name)));
        channel->system->follow({sink.index, sink.name, sink.monitor_source_name});
    }
}

void PulseCaptureBackend::followInput(const std::string& sourceName)
{
    if (m_stopping)
        return;
    for (auto& channel : m_channels) {
        if (!channel->microphone || channel->microphone->source() == sourceName)
            continue;
        log::info(lcCaptureBackend(),
            QStringLiteral("Following the new default input: %1").arg(QString::fromStdString(sourceName)));
        PulseRecordStream& stream = *channel->microphone;
        if (stream.state() == PA_STREAM_READY) {
            stream.setSource(sourceName);
            pa_operation* operation = pa_context_move_source_output_by_name(
                m_context, stream.index(), sourceName.c_str(), nullptr, nullptr);
            if (operation)
                pa_operation_unref(operation);
        } else {
            stream.open(m_context, sourceName); // the old one is gone; same format on the new device
        }
    }
}

void PulseCaptureBackend::timedOut(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self)
{
    auto* backend = static_cast<PulseCaptureBackend*>(self);
    backend->m_timedOut = true;
    pa_threaded_mainloop_signal(backend->m_loop, 0);
}

void PulseCaptureBackend::drain(pa_usec_t stoppedAt)
{
    // Loop locked. What was captured up to the stop may still be on its way (a fragment in the
    // server, the device's own latency): wait for it, then hand on the rest of every timeline.
    for (auto& channel : m_channels) {
        if (channel->system)
            channel->system->limit(channel->clock().frameAt(stoppedAt));
        else
            channel->microphone->limit(channel->clock().frameAt(stoppedAt));
    }
    const auto allThere = [&] {
        return std::all_of(m_channels.begin(), m_channels.end(),
            [&](const auto& channel) { return channel->reaches(channel->clock().frameAt(stoppedAt)); });
    };
    while (!allThere() && pa_rtclock_now() - stoppedAt < kDrainTimeout) {
        armTimeout(kDrainPollUsec); // wakes the wait at the latest then, to look at the clock again
        pa_threaded_mainloop_wait(m_loop);
    }
    disarmTimeout();
    for (auto& channel : m_channels) {
        const int64_t end = channel->clock().frameAt(stoppedAt);
        if (channel->system)
            channel->system->finish(end);
        else
            channel->microphone->finish(end);
        channel->feed.flush();
    }
}

void PulseCaptureBackend::teardown()
{
    // Loop locked on entry; the loop is gone on return.
    m_stopping = true;
    for (auto& channel : m_channels) {
        if (channel->system)
            channel->system->close();
        if (channel->microphone)
            channel->microphone->close();
    }
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
    m_channels.clear();
    m_running = false;
    m_request = {};
}

void PulseCaptureBackend::stop()
{
    if (!m_running)
        return;
    const pa_usec_t stoppedAt = pa_rtclock_now();
    pa_threaded_mainloop_lock(m_loop);
    drain(stoppedAt);
    teardown();
}

} // namespace

std::unique_ptr<CaptureBackend> CaptureBackend::create(const std::string& threadName)
{
    return std::make_unique<PulseCaptureBackend>(threadName);
}

} // namespace palaverly
