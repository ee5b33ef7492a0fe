#include "audio/RecordingSession.h"

#include "audio/AudioConverter.h"
#include "audio/DuckingMixer.h"
#include "audio/WavWriter.h"
#include "common/AtomicFile.h"
#include "common/Log.h"

#include <QLoggingCategory>
#include <QString>

#include <algorithm>
#include <system_error>

Q_LOGGING_CATEGORY(lcRecordingSession, "RecordingSession")

namespace palaverly {

const char* RecordingSession::modeName(Mode mode)
{
    return mode == Mode::meetingMix ? "meetingMix" : "micOnly";
}

std::string RecordingSession::SessionError::description() const
{
    switch (kind) {
    case Kind::folderCreationFailed:
        return underlying;
    case Kind::fileCreationFailed:
        return "Не удалось создать аудиофайл: " + underlying;
    case Kind::formatCreationFailed:
        return "Не удалось создать целевой аудиоформат";
    }
    return underlying;
}

RecordingSession::RecordingSession(std::filesystem::path directory, Mode mode)
    : m_directory(std::move(directory))
    , m_audioPath(m_directory / "audio.wav")
    , m_mode(mode)
    , m_mixer(std::make_unique<DuckingMixer>())
    , m_writeQueue(kWriteQueueLabel)
{
}

RecordingSession::~RecordingSession() = default;

RecordingSession::Created RecordingSession::create(const std::filesystem::path& directory, Mode mode)
{
    std::shared_ptr<RecordingSession> session(new RecordingSession(directory, mode));

    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    if (ec)
        return {nullptr,
            SessionError{
                SessionError::Kind::folderCreationFailed, fileErrorText("создать папку", directory, ec.value())}};

    if (!WavWriter::formatSupported(static_cast<int>(kSampleRate)))
        return {nullptr, SessionError{SessionError::Kind::formatCreationFailed, {}}};

    std::string reason;
    session->m_outputFile = WavWriter::create(session->m_audioPath, static_cast<int>(kSampleRate), &reason);
    if (!session->m_outputFile)
        return {nullptr, SessionError{SessionError::Kind::fileCreationFailed, reason}};

    log::info(lcRecordingSession(),
        QStringLiteral("Recording session at %1 mode=%2")
            .arg(QString::fromStdString(session->m_audioPath.string()), QString::fromLatin1(modeName(mode))));
    return {std::move(session), std::nullopt};
}

void RecordingSession::appendSystem(AudioBuffer buffer)
{
    if (m_mode == Mode::micOnly)
        return;
    m_writeQueue.async([weak = weak_from_this(), buffer = std::move(buffer)] {
        if (auto self = weak.lock())
            self->processSystem(buffer);
    });
}

void RecordingSession::appendMic(AudioBuffer buffer)
{
    m_writeQueue.async([weak = weak_from_this(), buffer = std::move(buffer)] {
        if (auto self = weak.lock())
            self->processMic(buffer);
    });
}

bool RecordingSession::convert(
    std::unique_ptr<AudioConverter>& converter, const AudioBuffer& buffer, std::vector<float>& output)
{
    if (!converter)
        converter = AudioConverter::create(buffer.format());
    if (!converter)
        return false;
    std::string error;
    switch (converter->convert(buffer, output, &error)) {
    case AudioConverter::Status::converted:
        return true;
    case AudioConverter::Status::dropped:
        return false;
    case AudioConverter::Status::failed:
        log::error(lcRecordingSession(),
            QStringLiteral("convert failed: %1")
                .arg(error.empty() ? QStringLiteral("unknown") : QString::fromStdString(error)));
        return false;
    }
    return false;
}

void RecordingSession::processSystem(const AudioBuffer& buffer)
{
    if (convert(m_systemConverter, buffer, m_mixer->systemQueue()))
        mixAndWrite();
}

void RecordingSession::processMic(const AudioBuffer& buffer)
{
    if (m_mode == Mode::meetingMix) {
        if (convert(m_micConverter, buffer, m_mixer->micQueue()))
            mixAndWrite();
        return;
    }
    m_block.clear();
    if (!convert(m_micConverter, buffer, m_block) || m_block.empty())
        return;
    for (float& sample : m_block)
        sample = std::clamp(sample * DuckingMixer::kMicBaseGain, -1.0f, 1.0f);
    writeBlock(true);
}

void RecordingSession::mixAndWrite()
{
    m_mixer->mixAvailable(m_block);
    if (!m_block.empty())
        writeBlock(true);
}

void RecordingSession::writeBlock(bool logFailure)
{
    const auto failure = m_outputFile->write(m_block);
    m_framesWritten.store(m_outputFile->frames(), std::memory_order_release);
    if (failure && logFailure)
        log::error(lcRecordingSession(), QStringLiteral("write failed: %1").arg(QString::fromStdString(*failure)));
}

void RecordingSession::finalize()
{
    if (m_isFinalized)
        return;
    if (m_mode == Mode::meetingMix) {
        m_mixer->flush(m_block);
        if (!m_block.empty())
            writeBlock(false);
    }
    m_isFinalized = true;
    log::info(lcRecordingSession(),
        QStringLiteral("Finalized: %1 frames @ 48 kHz").arg(static_cast<qlonglong>(m_outputFile->frames())));
}

void RecordingSession::finalizeAndWait()
{
    m_writeQueue.sync([this] { finalize(); });
}

} // namespace palaverly
