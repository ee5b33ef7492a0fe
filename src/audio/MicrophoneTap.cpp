#include "audio/MicrophoneTap.h"

#include "audio/ReconnectingCaptureBackend.h"
#include "common/Log.h"

#include <QLoggingCategory>
#include <QString>

Q_LOGGING_CATEGORY(lcMicrophoneTap, "MicrophoneTap")

namespace palaverly {

namespace {

constexpr long kPeakLogInterval = 50;

} // namespace

std::string MicrophoneTap::MicError::description() const
{
    return "PulseAudio microphone start failed: " + reason;
}

MicrophoneTap::MicrophoneTap(std::unique_ptr<CaptureBackend> backend)
    : m_backend(
        std::make_unique<ReconnectingCaptureBackend>(backend ? std::move(backend) : CaptureBackend::create("mic.tap")))
{
}

MicrophoneTap::~MicrophoneTap()
{
    if (m_backend->isRunning())
        stop();
}

std::optional<MicrophoneTap::MicError> MicrophoneTap::start()
{
    CaptureBackend::Request request;
    request.streams.push_back(
        {CaptureDevice::defaultInput, kFramesPerBuffer, [this](const AudioBuffer& buffer) { deliver(buffer); }});
    request.onStreamFormat = [](size_t, const AudioFormat& format) {
        log::info(lcMicrophoneTap(),
            QStringLiteral("Mic format: %1 Hz, %2 ch").arg(format.sampleRate, 0, 'f', 0).arg(format.channelCount));
    };
    request.onConnectionLost = [this](const std::string&) {
        if (onServerLost)
            onServerLost();
    };
    request.onReconnected = [this] {
        if (onServerBack)
            onServerBack();
    };
    if (const auto error = m_backend->start(std::move(request)))
        return MicError{error->reason};
    log::info(lcMicrophoneTap(), QStringLiteral("Mic capture started"));
    return std::nullopt;
}

void MicrophoneTap::stop()
{
    m_backend->stop();
    m_bufferCounter = 0;
    log::info(lcMicrophoneTap(), QStringLiteral("Mic capture stopped"));
}

bool MicrophoneTap::isRunning() const
{
    return m_backend->isRunning();
}

void MicrophoneTap::deliver(const AudioBuffer& buffer)
{
    if (buffer.frameLength() == 0)
        return;
    const long count = m_bufferCounter.fetch_add(1, std::memory_order_relaxed) + 1;
    if (count % kPeakLogInterval == 0)
        log::info(
            lcMicrophoneTap(), QStringLiteral("mic peak %1 (buffer #%2)").arg(buffer.peak(), 0, 'f', 4).arg(count));
    if (onBuffer)
        onBuffer(buffer);
}

} // namespace palaverly
