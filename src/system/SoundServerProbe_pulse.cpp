#include "system/SoundServerProbe.h"

#include <functional>
#include <optional>
#include <pulse/pulseaudio.h>
#include <string>

namespace palaverly {

namespace {

using Clock = std::chrono::steady_clock;

// One short-lived connection on a private, non-threaded main loop that this thread turns until
// an answer arrives or the deadline passes. Nothing of it outlives check().
class PulseSession {
public:
    PulseSession(const QByteArray& server, std::chrono::milliseconds timeout)
        : m_server(server)
        , m_deadline(Clock::now() + timeout)
        , m_loop(pa_mainloop_new())
        , m_context(m_loop ? pa_context_new(pa_mainloop_get_api(m_loop), "palaverly") : nullptr)
    {
    }

    ~PulseSession()
    {
        if (m_context) {
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
        }
        if (m_loop)
            pa_mainloop_free(m_loop);
    }

    PulseSession(const PulseSession&) = delete;
    PulseSession& operator=(const PulseSession&) = delete;

    bool connect()
    {
        if (!m_context
            || pa_context_connect(
                   m_context, m_server.isEmpty() ? nullptr : m_server.constData(), PA_CONTEXT_NOAUTOSPAWN, nullptr)
                < 0)
            return false;
        runUntil([this] {
            const pa_context_state_t state = pa_context_get_state(m_context);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        });
        return pa_context_get_state(m_context) == PA_CONTEXT_READY;
    }

    struct Defaults {
        std::string source;
        std::string sink;
    };

    std::optional<Defaults> defaults()
    {
        struct Reply {
            bool done = false;
            std::optional<Defaults> value;
        } reply;
        const auto callback = [](pa_context*, const pa_server_info* info, void* userdata) {
            auto* r = static_cast<Reply*>(userdata);
            r->done = true;
            if (info)
                r->value = Defaults{info->default_source_name ? info->default_source_name : "",
                    info->default_sink_name ? info->default_sink_name : ""};
        };
        if (!await(pa_context_get_server_info(m_context, callback, &reply), reply.done))
            return std::nullopt;
        return reply.value;
    }

    bool sourceExists(const std::string& name)
    {
        struct Reply {
            bool done = false;
            bool found = false;
        } reply;
        const auto callback = [](pa_context*, const pa_source_info* info, int eol, void* userdata) {
            auto* r = static_cast<Reply*>(userdata);
            if (eol != 0)
                r->done = true;
            else if (info)
                r->found = true;
        };
        return await(pa_context_get_source_info_by_name(m_context, name.c_str(), callback, &reply), reply.done)
            && reply.found;
    }

    std::optional<std::string> monitorOf(const std::string& sink)
    {
        struct Reply {
            bool done = false;
            std::optional<std::string> monitor;
        } reply;
        const auto callback = [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
            auto* r = static_cast<Reply*>(userdata);
            if (eol != 0)
                r->done = true;
            else if (info && info->monitor_source_name && *info->monitor_source_name)
                r->monitor = info->monitor_source_name;
        };
        if (!await(pa_context_get_sink_info_by_name(m_context, sink.c_str(), callback, &reply), reply.done))
            return std::nullopt;
        return reply.monitor;
    }

    // Opens a corked record stream on `source` and closes it again once the server accepted it.
    bool canRecord(const std::string& source)
    {
        const pa_sample_spec sampleFormat{PA_SAMPLE_S16LE, 48000, 1};
        pa_stream* stream = pa_stream_new(m_context, "palaverly permission check", &sampleFormat, nullptr);
        if (!stream)
            return false;
        bool ready = false;
        if (pa_stream_connect_record(stream, source.c_str(), nullptr,
                static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_DONT_MOVE))
            == 0) {
            runUntil([stream] {
                const pa_stream_state_t state = pa_stream_get_state(stream);
                return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
            });
            ready = pa_stream_get_state(stream) == PA_STREAM_READY;
            pa_stream_disconnect(stream);
        }
        pa_stream_unref(stream);
        return ready;
    }

private:
    // Turns the loop until `done` holds; false when the deadline passed or the loop failed.
    bool runUntil(const std::function<bool()>& done)
    {
        while (!done()) {
            const auto remaining = std::chrono::duration_cast<std::chrono::microseconds>(m_deadline - Clock::now());
            if (remaining.count() <= 0)
                return false;
            if (pa_mainloop_prepare(m_loop, static_cast<int>(remaining.count())) < 0 || pa_mainloop_poll(m_loop) < 0
                || pa_mainloop_dispatch(m_loop) < 0)
                return false;
        }
        return true;
    }

    bool await(pa_operation* operation, const bool& done)
    {
        if (!operation)
            return false;
        runUntil([&] { return done || pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
        pa_operation_unref(operation);
        return done;
    }

    QByteArray m_server;
    Clock::time_point m_deadline;
    pa_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
};

class PulseSoundServerProbe final : public SoundServerProbe {
public:
    explicit PulseSoundServerProbe(QByteArray server)
        : m_server(std::move(server))
    {
    }

    Result check() override
    {
        PulseSession session(m_server, kTimeout);
        if (!session.connect())
            return {};
        const auto defaults = session.defaults();
        if (!defaults)
            return {};
        Result result;
        result.defaultInput = !defaults->source.empty() && session.sourceExists(defaults->source);
        if (!defaults->sink.empty())
            if (const auto monitor = session.monitorOf(defaults->sink))
                result.outputMonitor = session.canRecord(*monitor);
        return result;
    }

private:
    QByteArray m_server;
};

} // namespace

std::unique_ptr<SoundServerProbe> SoundServerProbe::create(const QByteArray& server)
{
    return std::make_unique<PulseSoundServerProbe>(server);
}

} // namespace palaverly
