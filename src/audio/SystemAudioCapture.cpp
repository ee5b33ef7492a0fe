#include "audio/SystemAudioCapture.h"

#include "audio/ReconnectingCaptureBackend.h"
#include "common/Log.h"

#include <QLoggingCategory>
#include <QString>

Q_LOGGING_CATEGORY(lcSystemAudioCapture, "SystemAudioCapture")

namespace palaverly {

namespace {

constexpr long kPeakLogInterval = 50;

} // namespace

std::string SystemAudioCapture::CaptureError::description() const
{
    switch (kind) {
    case Kind::startFailed:
        return "Не удалось запустить захват звука: " + reason;
    case Kind::noSystemSource:
        return "Не найден источник системного звука";
    }
    return reason;
}

SystemAudioCapture::SystemAudioCapture(std::unique_ptr<CaptureBackend> backend)
    : m_backend(std::make_unique<ReconnectingCaptureBackend>(
        backend ? std::move(backend) : CaptureBackend::create("audio.capture")))
{
}

SystemAudioCapture::~SystemAudioCapture()
{
    stop();
}

std::optional<SystemAudioCapture::CaptureError> SystemAudioCapture::start()
{
    CaptureBackend::Request request;
    request.streams.push_back({CaptureDevice::systemSound, 0,
        [this](const AudioBuffer& buffer) { deliver(buffer, m_systemBufferCounter, "system", onSystemBuffer); }});
    request.streams.push_back({CaptureDevice::defaultInput, 0,
        [this](const AudioBuffer& buffer) { deliver(buffer, m_micBufferCounter, "mic", onMicBuffer); }});
    request.onStreamError = [](const std::string& reason) {
        log::error(lcSystemAudioCapture(),
            QStringLiteral("Stream stopped with error: %1").arg(QString::fromStdString(reason)));
    };
    request.onConnectionLost = [this](const std::string& reason) {
        log::error(lcSystemAudioCapture(),
            QStringLiteral("Stream stopped with error: %1").arg(QString::fromStdString(reason)));
        if (onServerLost)
            onServerLost();
    };
    request.onReconnected = [this] {
        if (onServerBack)
            onServerBack();
    };
    if (const auto error = m_backend->start(std::move(request))) {
        if (error->kind == CaptureBackend::StartError::Kind::noOutputMonitor)
            return CaptureError{CaptureError::Kind::noSystemSource, {}};
        return CaptureError{CaptureError::Kind::startFailed, error->reason};
    }
    log::info(lcSystemAudioCapture(), QStringLiteral("PulseAudio capture started (system audio + mic)"));
    return std::nullopt;
}

void SystemAudioCapture::stop()
{
    if (!m_backend->isRunning())
        return;
    m_backend->stop();
    m_systemBufferCounter = 0;
    m_micBufferCounter = 0;
    log::info(lcSystemAudioCapture(), QStringLiteral("PulseAudio capture stopped"));
}

bool SystemAudioCapture::isCapturing() const
{
    return m_backend->isRunning();
}

void SystemAudioCapture::deliver(
    const AudioBuffer& buffer, std::atomic<long>& counter, const char* side, const BufferHandler& handler)
{
    if (buffer.frameLength() == 0)
        return;
    const long count = counter.fetch_add(1, std::memory_order_relaxed) + 1;
    if (count % kPeakLogInterval == 0)
        log::info(lcSystemAudioCapture(),
            QStringLiteral("%1 peak %2 (buffer #%3)")
                .arg(QLatin1String(side))
                .arg(buffer.peak(), 0, 'f', 4)
                .arg(count));
    if (handler)
        handler(buffer);
}

} // namespace palaverly
