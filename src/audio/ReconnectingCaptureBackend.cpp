#include "audio/ReconnectingCaptureBackend.h"

#include "common/Log.h"

#include <QLoggingCategory>
#include <QString>

#include <algorithm>
#include <cmath>

Q_LOGGING_CATEGORY(lcReconnectingCaptureBackend, "ReconnectingCaptureBackend")

namespace palaverly {

ReconnectingCaptureBackend::ReconnectingCaptureBackend(std::unique_ptr<CaptureBackend> inner)
    : m_inner(std::move(inner))
{
}

ReconnectingCaptureBackend::~ReconnectingCaptureBackend()
{
    stop();
}

std::optional<CaptureBackend::StartError> ReconnectingCaptureBackend::start(Request request)
{
    if (m_running)
        return StartError{StartError::Kind::failed, "захват уже идёт"};
    m_request = std::move(request);
    // Set before the wrapped back end's thread exists; from then on only the delivering thread
    // touches them.
    m_streams.assign(m_request.streams.size(), StreamTime{{}, Clock::now()});
    m_lost = false;
    Request inner = innerRequest();
    inner.onStreamFormat = [this](size_t index, const AudioFormat& format) {
        m_streams[index].format = format;
        if (m_request.onStreamFormat)
            m_request.onStreamFormat(index, format);
    };
    if (auto error = m_inner->start(std::move(inner))) {
        m_request = {};
        m_streams.clear();
        return error;
    }
    m_running = true;
    m_reconnect = std::jthread([this](std::stop_token stop) { superviseConnection(stop); });
    return std::nullopt;
}

void ReconnectingCaptureBackend::stop()
{
    if (!m_running)
        return;
    m_reconnect.request_stop();
    if (m_reconnect.joinable())
        m_reconnect.join();
    m_inner->stop();
    // Nothing delivers any more. While the server is away the streams keep their silence up to
    // this moment, like the owner's clock.
    bool lost = false;
    {
        std::lock_guard lock(m_mutex);
        lost = m_lost;
    }
    const auto now = Clock::now();
    for (size_t i = 0; lost && i < m_streams.size(); ++i)
        fillSilence(i, now);
    m_running = false;
    m_request = {};
    m_streams.clear();
}

CaptureBackend::Request ReconnectingCaptureBackend::innerRequest()
{
    Request inner;
    for (size_t i = 0; i < m_request.streams.size(); ++i) {
        Stream stream = m_request.streams[i];
        stream.onBuffer = [this, i](const AudioBuffer& buffer) { deliver(i, buffer); };
        if (i < m_streams.size() && m_streams[i].format.isValid())
            stream.format = m_streams[i].format;
        inner.streams.push_back(std::move(stream));
    }
    inner.onStreamError = m_request.onStreamError;
    inner.onConnectionLost = [this](const std::string& reason) { connectionLost(reason); };
    return inner;
}

void ReconnectingCaptureBackend::deliver(size_t index, const AudioBuffer& buffer)
{
    m_streams[index].coveredUntil = Clock::now();
    if (const auto& handler = m_request.streams[index].onBuffer)
        handler(buffer);
}

void ReconnectingCaptureBackend::connectionLost(const std::string& reason)
{
    // The owner hears of the loss and of the return in the order they happened.
    std::lock_guard lock(m_mutex);
    m_lost = true;
    m_wake.notify_all();
    if (m_request.onConnectionLost)
        m_request.onConnectionLost(reason);
}

void ReconnectingCaptureBackend::fillSilence(size_t index, Clock::time_point until)
{
    StreamTime& stream = m_streams[index];
    const Stream& wanted = m_request.streams[index];
    if (until <= stream.coveredUntil || !stream.format.isValid() || !wanted.onBuffer)
        return;
    const double rate = stream.format.sampleRate;
    const double seconds = std::chrono::duration<double>(until - stream.coveredUntil).count();
    // A stream of fixed-size buffers gets whole buffers, the nearest count; the rest of the gap
    // is left for the next fill.
    const uint64_t chunk = wanted.framesPerBuffer ? wanted.framesPerBuffer : static_cast<uint64_t>(rate / 10);
    uint64_t frames = static_cast<uint64_t>(std::llround(seconds * rate));
    if (wanted.framesPerBuffer)
        frames = (frames + chunk / 2) / chunk * chunk;
    if (frames == 0)
        return;
    stream.coveredUntil += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(frames / rate));
    while (frames > 0) {
        const auto length = static_cast<uint32_t>(std::min(frames, chunk));
        wanted.onBuffer(AudioBuffer(stream.format, length));
        frames -= length;
    }
}

void ReconnectingCaptureBackend::superviseConnection(std::stop_token stop)
{
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            if (!m_wake.wait(lock, stop, [this] { return m_lost; }))
                return;
        }
        m_inner->stop(); // its delivery thread is gone from here on
        const auto lostAt = Clock::now();
        log::info(
            lcReconnectingCaptureBackend(), QStringLiteral("Sound server gone; recording silence until it is back"));
        for (;;) {
            for (size_t i = 0; i < m_streams.size(); ++i)
                fillSilence(i, Clock::now());
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait_for(lock, stop, kRetryInterval, [] { return false; });
                if (stop.stop_requested())
                    return;
                m_lost = false; // a loss reported by the new connection counts
            }
            // The wrapped back end hands on each stream's time from the moment it is started
            // (silence for a stream that starts late): the gap ends there.
            const auto attempt = Clock::now();
            for (size_t i = 0; i < m_streams.size(); ++i)
                fillSilence(i, attempt);
            if (!m_inner->start(innerRequest()))
                break;
        }
        std::lock_guard lock(m_mutex);
        log::info(lcReconnectingCaptureBackend(),
            QStringLiteral("Sound server back after %1 s; streams reopened")
                .arg(std::chrono::duration<double>(Clock::now() - lostAt).count(), 0, 'f', 1));
        if (!m_lost && m_request.onReconnected)
            m_request.onReconnected();
    }
}

} // namespace palaverly
