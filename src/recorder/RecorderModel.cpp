#include "recorder/RecorderModel.h"

#include "audio/AudioLevelMeter.h"
#include "audio/MicrophoneTap.h"
#include "audio/RecordingSession.h"
#include "audio/SystemAudioCapture.h"
#include "common/AtomicFile.h"
#include "common/BackgroundJob.h"
#include "common/Log.h"
#include "model/RecordingStore.h"
#include "recorder/ProcessingPrompts.h"
#include "recorder/RecorderDependencies.h"
#include "services/ASRClient.h"

#include <algorithm>

Q_LOGGING_CATEGORY(lcRecorderModel, "RecorderModel")

namespace palaverly {

namespace {
constexpr std::chrono::milliseconds kLevelPublishInterval{33};
constexpr const char* kSoundServerGone = "Нет звукового сервера — запись ждёт";
} // namespace

RecorderModel::RecorderModel(
    RecordingStore& store, AppSettings* settings, std::unique_ptr<RecorderDependencies> dependencies, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_settings(settings)
    , m_deps(dependencies ? std::move(dependencies) : std::make_unique<RecorderDependencies>())
    , m_systemMeter(std::make_shared<AudioLevelMeter>())
    , m_micMeter(std::make_shared<AudioLevelMeter>())
{
    if (!m_deps->transcriber)
        m_deps->transcriber = fixedTranscriber(ASRClient::shared());
    if (!m_deps->chat)
        m_deps->chat = [client = std::make_shared<const OpenRouterClient>()] { return client; };
    if (!m_deps->steadyNow)
        m_deps->steadyNow = [] { return std::chrono::steady_clock::now(); };
    m_levelTimer.setInterval(kLevelPublishInterval);
    m_levelTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_levelTimer, &QTimer::timeout, this, &RecorderModel::publishLevel);
    connect(&m_store, &RecordingStore::recordingsChanged, this, &RecorderModel::measureCutOffRecordings);
    measureCutOffRecordings();
}

RecorderModel::~RecorderModel()
{
    // Stop the sources before the session goes, and let every job end while this object is still
    // whole: a job posts back to it until its thread is joined. A start still coming up is waited
    // for (its capture gives up after its own timeout) and its capture stopped.
    m_pendingStart.reset();
    if (m_meetingCapture)
        m_meetingCapture->stop();
    if (m_noteMic)
        m_noteMic->stop();
    for (TaskMap* tasks : {&m_transcribeTasks, &m_summaryTasks, &m_titleTasks})
        for (auto& [id, task] : *tasks)
            task.job->cancel();
    for (auto& [serial, job] : m_retiredJobs)
        job->cancel();
    m_transcribeTasks.clear();
    m_summaryTasks.clear();
    m_titleTasks.clear();
    m_retiredJobs.clear();
}

TranscribingState RecorderModel::transcribingState(const Uuid& id) const
{
    const auto it = m_transcribingStates.find(id);
    return it == m_transcribingStates.end() ? TranscribingState{} : it->second;
}

SummarizingState RecorderModel::summarizingState(const Uuid& id) const
{
    const auto it = m_summarizingStates.find(id);
    return it == m_summarizingStates.end() ? SummarizingState{} : it->second;
}

void RecorderModel::toggleMeeting()
{
    if (m_isRecording)
        stop();
    else if (!m_pendingStart)
        startMeeting();
}

void RecorderModel::toggleNote()
{
    if (m_isRecording)
        stop();
    else if (!m_pendingStart)
        startNote();
}

void RecorderModel::stopCurrent()
{
    // A start that is coming up is still idle: it goes on, and the recording can be stopped once
    // it shows.
    if (!m_isRecording || !m_currentKind)
        return;
    if (*m_currentKind == RecordingKind::note)
        toggleNote();
    else
        toggleMeeting();
}

namespace {

// Writes the first meta.json of a new recording; the failure text when it cannot.
std::optional<std::string> writeNewMeta(const std::filesystem::path& folder, const Uuid& id, RecordingKind kind)
{
    const auto now = std::chrono::system_clock::now();
    const RecordingMeta meta{id, prompts::defaultName(now, kind), nowSeconds(), 0, kind};
    return writeFileAtomically(folder / "meta.json", RecordingStore::encode(meta.toJson()));
}

// How the start lines of the log name a kind.
QString startLabel(RecordingKind kind)
{
    return kind == RecordingKind::note ? QStringLiteral("Note") : QStringLiteral("Meeting");
}

// The start of a capture source as the start's thread runs it: the failure's text, or nothing.
template <typename Source> std::function<std::optional<std::string>()> startOf(Source& source)
{
    return [&source]() -> std::optional<std::string> {
        if (const auto failure = source.start())
            return failure->description();
        return std::nullopt;
    };
}

// Capture thread: hand the buffer on to the session (while it lives) and meter it, nothing else.
std::function<void(const AudioBuffer&)> forwardTo(std::weak_ptr<RecordingSession> session,
    void (RecordingSession::*append)(AudioBuffer), std::shared_ptr<AudioLevelMeter> meter)
{
    return [session = std::move(session), append, meter = std::move(meter)](const AudioBuffer& buffer) {
        if (const auto target = session.lock())
            ((*target).*append)(buffer);
        meter->feed(buffer);
    };
}

} // namespace

std::shared_ptr<RecordingSession> RecorderModel::createSession(const Uuid& id, RecordingKind kind)
{
    const auto folder = m_store.recordingFolder(kind, id);
    const auto mode
        = kind == RecordingKind::note ? RecordingSession::Mode::micOnly : RecordingSession::Mode::meetingMix;
    auto created = RecordingSession::create(folder, mode);
    if (!created.session) {
        startFailed(kind, created.error->description());
        return nullptr;
    }
    if (const auto failure = writeNewMeta(folder, id, kind)) {
        startFailed(kind, *failure);
        return nullptr;
    }
    return std::move(created.session);
}

std::unique_ptr<RecorderModel::PendingStart> RecorderModel::prepareStart(RecordingKind kind)
{
    auto pending = std::make_unique<PendingStart>();
    pending->id = Uuid::generate();
    pending->kind = kind;
    pending->session = createSession(pending->id, kind);
    if (!pending->session)
        return nullptr;
    return pending;
}

std::unique_ptr<CaptureBackend> RecorderModel::newCaptureBackend() const
{
    return m_deps->makeCaptureBackend ? m_deps->makeCaptureBackend() : std::unique_ptr<CaptureBackend>{};
}

void RecorderModel::startMeeting()
{
    auto pending = prepareStart(RecordingKind::meeting);
    if (!pending)
        return;
    pending->meetingCapture = std::make_unique<SystemAudioCapture>(newCaptureBackend());
    SystemAudioCapture& capture = *pending->meetingCapture;
    capture.onSystemBuffer = forwardTo(pending->session, &RecordingSession::appendSystem, m_systemMeter);
    capture.onMicBuffer = forwardTo(pending->session, &RecordingSession::appendMic, m_micMeter);
    capture.onServerLost = soundServerNotice(pending->id, true);
    capture.onServerBack = soundServerNotice(pending->id, false);
    launchStart(std::move(pending), startOf(capture));
}

void RecorderModel::startNote()
{
    auto pending = prepareStart(RecordingKind::note);
    if (!pending)
        return;
    pending->noteMic = std::make_unique<MicrophoneTap>(newCaptureBackend());
    MicrophoneTap& tap = *pending->noteMic;
    tap.onBuffer = forwardTo(pending->session, &RecordingSession::appendMic, m_micMeter);
    tap.onServerLost = soundServerNotice(pending->id, true);
    tap.onServerBack = soundServerNotice(pending->id, false);
    launchStart(std::move(pending), startOf(tap));
}

void RecorderModel::launchStart(
    std::unique_ptr<PendingStart> pending, std::function<std::optional<std::string>()> startCapture)
{
    // The sound server may take its time to answer, or not answer at all (the capture gives up
    // after its own timeout): the main thread does not wait for it.
    m_pendingStart = std::move(pending);
    m_pendingStart->job
        = std::make_unique<BackgroundJob>([this, startCapture = std::move(startCapture)](std::stop_token) {
              const std::optional<std::string> failure = startCapture();
              postTo(this, [this, failure] { captureStartFinished(failure); });
          });
}

void RecorderModel::captureStartFinished(const std::optional<std::string>& failure)
{
    std::unique_ptr<PendingStart> start = std::move(m_pendingStart);
    if (!start)
        return;
    start->job.reset(); // its thread has nothing left to do but end
    if (failure) {
        startFailed(start->kind, *failure);
        return;
    }
    m_meetingCapture = std::move(start->meetingCapture);
    m_noteMic = std::move(start->noteMic);
    recordingStarted(start->id, start->kind, std::move(start->session));
}

void RecorderModel::recordingStarted(const Uuid& id, RecordingKind kind, std::shared_ptr<RecordingSession> session)
{
    m_session = std::move(session);
    setCurrentRecordingID(id);
    setCurrentKind(kind);
    setRecordingStartedAt(std::chrono::system_clock::now());
    setRecording(true);
    setLastError(std::nullopt);
    startLevelPublishing();
    m_store.reload();
}

void RecorderModel::startFailed(RecordingKind kind, const std::string& error)
{
    setLastError(error);
    log::error(
        lcRecorderModel(), QStringLiteral("%1 start failed: %2").arg(startLabel(kind), QString::fromStdString(error)));
}

std::function<void()> RecorderModel::soundServerNotice(const Uuid& id, bool lost)
{
    // The model outlives every capture it starts: its destructor stops them first.
    return [this, id, lost] { postTo(this, [this, id, lost] { soundServerChanged(id, lost); }); };
}

void RecorderModel::soundServerChanged(const Uuid& id, bool lost)
{
    // A late notice of a recording that has ended changes nothing.
    if (m_currentRecordingID != id || m_soundServerLost == lost)
        return;
    m_soundServerLost = lost;
    if (lost)
        log::error(lcRecorderModel(),
            QStringLiteral("capture failed (%1): %2")
                .arg(QString::fromStdString(id.toString()),
                    QStringLiteral("the sound server is gone; recording "
                                   "silence until it is back")));
    else
        log::info(lcRecorderModel(),
            QStringLiteral("capture resumed (%1): the sound server is back")
                .arg(QString::fromStdString(id.toString())));
    updateCaptureWarning();
}

void RecorderModel::stop()
{
    if (m_meetingCapture)
        m_meetingCapture->stop();
    if (m_noteMic)
        m_noteMic->stop();

    std::optional<std::filesystem::path> audioFile;
    double duration = 0;
    if (m_session) {
        m_session->finalizeAndWait();
        audioFile = m_session->audioPath();
        duration = static_cast<double>(m_session->framesWritten()) / m_session->sampleRate();
    }
    const auto id = m_currentRecordingID;
    const auto kind = m_currentKind;

    m_session.reset(); // closes audio.wav
    m_meetingCapture.reset();
    m_noteMic.reset();
    setCurrentRecordingID(std::nullopt);
    setCurrentKind(std::nullopt);
    setRecordingStartedAt(std::nullopt);
    m_soundServerLost = false;
    updateCaptureWarning();
    setRecording(false);
    stopLevelPublishing();

    if (!id || !kind || !audioFile)
        return;
    m_store.updateDuration(*id, *kind, duration);
    m_store.reload();
    log::info(lcRecorderModel(),
        QStringLiteral("Saved %1: %2 (%3s)")
            .arg(QLatin1String(rawValue(*kind).data()), QString::fromStdString(audioFile->string()),
                QString::number(duration, 'f', 2)));
    startTranscription(*id, *audioFile, *kind);
}

void RecorderModel::startLevelPublishing()
{
    m_systemMeter->setLevel(0);
    m_micMeter->setLevel(0);
    setInputLevel(0);
    m_otherSide.reset();
    publishLevel();
    m_levelTimer.start();
}

void RecorderModel::stopLevelPublishing()
{
    m_levelTimer.stop();
    setInputLevel(0);
    m_otherSide.reset();
    updateCaptureWarning();
}

void RecorderModel::publishLevel()
{
    const float system = m_systemMeter->level();
    const float mic = m_micMeter->level();
    setInputLevel(std::max(system, mic));
    if (m_meetingCapture)
        watchOtherSide(system, mic);
}

void RecorderModel::watchOtherSide(float systemLevel, float micLevel)
{
    const bool was = m_otherSide.isWarning();
    if (m_otherSide.update(m_deps->steadyNow(), systemLevel, micLevel) == was)
        return;
    const QString id = m_currentRecordingID ? QString::fromStdString(m_currentRecordingID->toString()) : QString();
    if (was)
        log::info(lcRecorderModel(), QStringLiteral("System sound heard again (%1)").arg(id));
    else
        log::info(lcRecorderModel(),
            QStringLiteral("No system sound for %1 s while the microphone carries speech (%2); "
                           "the call may be playing on another output device")
                .arg(SilentCallDetector::kSilenceSpan.count())
                .arg(id));
    updateCaptureWarning();
}

void RecorderModel::updateCaptureWarning()
{
    // A lost sound server explains a silent other side too, so it goes first.
    std::optional<std::string> warning;
    if (m_soundServerLost)
        warning = kSoundServerGone;
    else if (m_otherSide.isWarning())
        warning = kOtherSideSilentWarning;
    setCaptureWarning(std::move(warning));
}

void RecorderModel::setRecording(bool recording)
{
    if (m_isRecording == recording)
        return;
    m_isRecording = recording;
    emit isRecordingChanged();
}

void RecorderModel::setCurrentKind(std::optional<RecordingKind> kind)
{
    if (m_currentKind == kind)
        return;
    m_currentKind = kind;
    emit currentKindChanged();
}

void RecorderModel::setCurrentRecordingID(std::optional<Uuid> id)
{
    if (m_currentRecordingID == id)
        return;
    m_currentRecordingID = id;
    emit currentRecordingIDChanged();
}

void RecorderModel::setRecordingStartedAt(std::optional<std::chrono::system_clock::time_point> date)
{
    if (m_recordingStartedAt == date)
        return;
    m_recordingStartedAt = date;
    emit recordingStartedAtChanged();
}

void RecorderModel::setInputLevel(float level)
{
    if (m_inputLevel == level)
        return;
    m_inputLevel = level;
    emit inputLevelChanged();
}

void RecorderModel::setLastError(std::optional<std::string> error)
{
    if (m_lastError == error)
        return;
    m_lastError = std::move(error);
    emit lastErrorChanged();
}

void RecorderModel::setCaptureWarning(std::optional<std::string> warning)
{
    if (m_captureWarning == warning)
        return;
    m_captureWarning = std::move(warning);
    emit captureWarningChanged();
}

void RecorderModel::setTranscribing(const Uuid& id, std::optional<TranscribingState> state)
{
    if (state)
        m_transcribingStates[id] = std::move(*state);
    else
        m_transcribingStates.erase(id);
    emit transcribingStatesChanged();
}

void RecorderModel::setSummarizing(const Uuid& id, std::optional<SummarizingState> state)
{
    if (state)
        m_summarizingStates[id] = std::move(*state);
    else
        m_summarizingStates.erase(id);
    emit summarizingStatesChanged();
}

} // namespace palaverly
