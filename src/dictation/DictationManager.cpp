#include "dictation/DictationManager.h"

#include "audio/RecordingSession.h"
#include "common/BackgroundJob.h"
#include "common/Log.h"
#include "common/Sleeper.h"
#include "common/Text.h"
#include "common/Uuid.h"
#include "dictation/TextInjector.h"
#include "model/Transcript.h"
#include "services/ASRClient.h"

#include <QLoggingCategory>
#include <system_error>

Q_LOGGING_CATEGORY(lcDictation, "Dictation")

namespace palaverly {

DictationManager::DictationManager(QObject* parent)
    : DictationManager(Dependencies{}, parent)
{
}

DictationManager::DictationManager(Dependencies dependencies, QObject* parent)
    : QObject(parent)
    , m_deps(std::move(dependencies))
{
    if (!m_deps.microphone)
        m_deps.microphone = std::make_unique<MicrophoneTap>();
    if (!m_deps.transcriber)
        m_deps.transcriber = fixedTranscriber(ASRClient::shared());
    if (!m_deps.sleeper)
        m_deps.sleeper = std::make_shared<SteadySleeper>();
    if (!m_deps.paste) {
        m_injector = std::make_unique<TextInjector>();
        connect(m_injector.get(), &TextInjector::textNotPlaced, this, &DictationManager::textNotPlaced);
        m_deps.paste
            = [injector = m_injector.get()](const std::string& text) { injector->paste(QString::fromStdString(text)); };
    }
    if (m_deps.temporaryRoot.empty()) {
        std::error_code error;
        m_deps.temporaryRoot = std::filesystem::temp_directory_path(error);
        if (error)
            m_deps.temporaryRoot = "/tmp";
    }
    m_levelTimer.setInterval(kLevelInterval);
    m_levelTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_levelTimer, &QTimer::timeout, this, &DictationManager::publishLevel);
}

DictationManager::~DictationManager()
{
    // The capture thread and the workers go first, so nothing touches what follows.
    if (m_deps.microphone->isRunning())
        m_deps.microphone->stop();
    m_deps.microphone->onBuffer = nullptr;
    m_levelTimer.stop();
    m_transcribeJob.reset();
    m_resetJobs.clear();
    m_session.reset();
    if (m_tempDir) {
        std::error_code ignored;
        std::filesystem::remove_all(*m_tempDir, ignored);
    }
}

void DictationManager::start()
{
    if (m_state.kind != State::Kind::idle)
        return; // a press during recognition or during the error display
    if (canStart && !canStart()) {
        log::info(lcDictation(), QStringLiteral("Dictation skipped — another recording is in progress"));
        return;
    }

    const std::filesystem::path folder = m_deps.temporaryRoot / ("dictation-" + Uuid::generate().toString());
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        startFailed(
            RecordingSession::SessionError{RecordingSession::SessionError::Kind::folderCreationFailed, error.message()}
                .description());
        return;
    }
    RecordingSession::Created created = RecordingSession::create(folder, RecordingSession::Mode::micOnly);
    if (!created.session) {
        std::filesystem::remove_all(folder, error);
        startFailed(created.error ? created.error->description() : std::string{});
        return;
    }

    // Capture thread: hand the buffer on and meter it, nothing else. The session is held weakly,
    // so buffers arriving after the owner let go of it are dropped.
    std::weak_ptr<RecordingSession> session = created.session;
    m_deps.microphone->onBuffer = [session, meter = m_meter](const AudioBuffer& buffer) {
        if (const auto target = session.lock())
            target->appendMic(buffer);
        meter->feed(buffer);
    };
    m_deps.microphone->onServerLost
        = [this, serial = ++m_recordingSerial] { postTo(this, [this, serial] { soundServerLost(serial); }); };
    if (const auto micError = m_deps.microphone->start()) {
        m_deps.microphone->onBuffer = nullptr;
        created.session.reset();
        // Nothing else knows of the folder yet; a failed start leaves nothing behind.
        std::filesystem::remove_all(folder, error);
        startFailed(micError->description());
        return;
    }

    m_session = std::move(created.session);
    m_tempDir = folder;
    setState(State::recording());
    m_meter->setLevel(0);
    m_levelTimer.start();
}

void DictationManager::startFailed(const std::string& error)
{
    log::error(lcDictation(), QStringLiteral("Dictation start failed: %1").arg(QString::fromStdString(error)));
    cleanup();
    setState(State::error(error));
    startErrorReset();
}

void DictationManager::soundServerLost(std::uint64_t serial)
{
    if (m_state.kind != State::Kind::recording || serial != m_recordingSerial)
        return;
    m_deps.microphone->stop();
    m_deps.microphone->onBuffer = nullptr;
    m_levelTimer.stop();
    m_session.reset(); // what was recorded is dropped with the temporary folder
    log::error(
        lcDictation(), QStringLiteral("Dictation recording failed: %1").arg(QString::fromUtf8(kSoundServerGone)));
    cleanup();
    setState(State::error(kSoundServerGone));
    startErrorReset();
}

void DictationManager::stop()
{
    if (m_state.kind != State::Kind::recording)
        return;
    m_deps.microphone->stop();
    m_deps.microphone->onBuffer = nullptr;
    m_levelTimer.stop();

    std::optional<std::filesystem::path> audioFile;
    double seconds = 0;
    if (m_session) {
        m_session->finalizeAndWait();
        audioFile = m_session->audioPath();
        seconds = static_cast<double>(m_session->framesWritten()) / RecordingSession::kSampleRate;
    }
    m_session.reset(); // closes the file

    if (audioFile && seconds >= kMinimumSeconds) {
        setState(State::transcribing());
        startTranscription(*audioFile);
    } else {
        cleanup();
        setState(State::idle());
    }
}

void DictationManager::startTranscription(const std::filesystem::path& audioFile)
{
    // An earlier transcription has reported back by now (the state went through idle), but a
    // late report of one must not act on this dictation: it finds another serial.
    const std::uint64_t serial = ++m_transcribeSerial;
    m_transcribeJob.reset();
    std::shared_ptr<const Transcriber> client = m_deps.transcriber();
    m_transcribeJob = std::make_unique<BackgroundJob>([this, client, audioFile, serial](std::stop_token stop) {
        auto result = client->transcribe(audioFile, kTranscribeEndpoint, stop);
        std::optional<Transcript> transcript;
        bool cancelled = false;
        std::string error;
        if (result)
            transcript = std::move(result).value();
        else if (result.error().isCancelled())
            cancelled = true;
        else
            error = result.error().description();
        postTo(this, [this, serial, transcript = std::move(transcript), cancelled, error = std::move(error)] {
            transcriptionFinished(serial, transcript, cancelled, error);
        });
    });
}

void DictationManager::transcriptionFinished(
    std::uint64_t serial, const std::optional<Transcript>& transcript, bool cancelled, const std::string& error)
{
    if (serial != m_transcribeSerial)
        return;
    m_transcribeJob.reset(); // its thread has nothing left to do but end

    if (transcript) {
        const std::string text = trimmedWhitespace(transcript->plainText());
        if (!text.empty())
            m_deps.paste(text);
        cleanup();
        setState(State::idle());
    } else if (cancelled) {
        cleanup();
        setState(State::idle());
    } else {
        log::error(lcDictation(), QStringLiteral("Dictation transcribe failed: %1").arg(QString::fromStdString(error)));
        cleanup();
        setState(State::error(error));
        startErrorReset();
    }
}

void DictationManager::startErrorReset()
{
    // Any error showing when the wait ends is cleared, so a second failure within the 3 seconds
    // may be cleared by the first wait.
    const std::uint64_t serial = ++m_resetSerial;
    std::shared_ptr<Sleeper> sleeper = m_deps.sleeper;
    m_resetJobs.emplace(serial, std::make_unique<BackgroundJob>([this, sleeper, serial](std::stop_token stop) {
        if (!sleeper->wait(kErrorDisplay, stop))
            return; // the manager is going away
        postTo(this, [this, serial] {
            m_resetJobs.erase(serial); // its thread has nothing left to do but end
            if (m_state.kind == State::Kind::error)
                setState(State::idle());
        });
    }));
}

void DictationManager::cleanup()
{
    if (m_tempDir) {
        std::error_code ignored;
        std::filesystem::remove_all(*m_tempDir, ignored);
    }
    m_tempDir.reset();
    m_session.reset();
    m_meter->setLevel(0);
    setInputLevel(0);
}

void DictationManager::publishLevel()
{
    setInputLevel(m_meter->level());
}

void DictationManager::setState(State state)
{
    if (state == m_state)
        return;
    m_state = std::move(state);
    emit stateChanged();
}

void DictationManager::setInputLevel(float level)
{
    if (level == m_inputLevel)
        return;
    m_inputLevel = level;
    emit inputLevelChanged();
}

} // namespace palaverly
