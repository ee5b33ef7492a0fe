#pragma once

#include "common/IsoDate.h"
#include "common/Uuid.h"
#include "model/Recording.h"
#include "recorder/JobStates.h"
#include "recorder/SilentCallDetector.h"

#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

namespace palaverly {

class RecordingStore;
class AppSettings;
class AudioLevelMeter;
class BackgroundJob;
class CaptureBackend;
class MicrophoneTap;
class RecordingSession;
class SystemAudioCapture;
struct RecorderDependencies;

// Makes recordings: starts and stops meetings and notes, publishes the live input level, and
// runs the transcription, title and summary jobs of each recording. Main thread only; every
// observable field has a change signal that fires only on a real change (map fields fire on
// every modification).
class RecorderModel : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kOtherSideSilentWarning
        = "Не слышно собеседников — звук звонка может идти на другое устройство";

    // `dependencies` (capture back ends, remote clients) default to the real ones of the program.
    RecorderModel(RecordingStore& store, AppSettings* settings, std::unique_ptr<RecorderDependencies> dependencies = {},
        QObject* parent = nullptr);
    ~RecorderModel() override;

    bool isRecording() const { return m_isRecording; }
    std::optional<RecordingKind> currentKind() const { return m_currentKind; }
    std::optional<Uuid> currentRecordingID() const { return m_currentRecordingID; }
    // When capture started, for the elapsed clock.
    std::optional<std::chrono::system_clock::time_point> recordingStartedAt() const { return m_recordingStartedAt; }
    // The larger of the system and microphone levels, about 30 times a second while recording.
    float inputLevel() const { return m_inputLevel; }
    // Text of the last failed start; cleared only by a successful start.
    std::optional<std::string> lastError() const { return m_lastError; }
    // What the user should know about the sound while it records (no sound server, the other
    // side of a meeting not heard); nothing when all is well. The recording goes on either way.
    std::optional<std::string> captureWarning() const { return m_captureWarning; }
    const std::map<Uuid, TranscribingState>& transcribingStates() const { return m_transcribingStates; }
    const std::map<Uuid, SummarizingState>& summarizingStates() const { return m_summarizingStates; }
    TranscribingState transcribingState(const Uuid& id) const;
    SummarizingState summarizingState(const Uuid& id) const;

    RecordingStore& store() const { return m_store; }
    AppSettings* settings() const { return m_settings; }

    // Start a meeting / a note when idle, otherwise stop whatever runs. Return at once: the
    // capture comes up on a thread of its own, and the model stays idle until it has (a start
    // that fails ends with lastError and its log line). A toggle while a start is coming up is
    // ignored; that start already answers it.
    void toggleMeeting();
    void toggleNote();
    // The stop command: the toggle of the running kind; nothing while idle, which a start that
    // is coming up still is.
    void stopCurrent();
    // A start is waiting for its capture to come up.
    bool isStarting() const { return m_pendingStart != nullptr; }
    // Asks the language model for a summary of the recording's transcript.
    void resummarize(const Recording& recording);

    // Hands a stopped recording to the speech-recognition service; its transcript, then its
    // automatic title follow. Called by stop.
    void startTranscription(const Uuid& id, const std::filesystem::path& audioFile, RecordingKind kind);

    // Whether retryTranscription would take the recording now (see canRetryTranscription in
    // TranscriptionRetry.h).
    bool canRetryTranscription(const Recording& recording) const;
    // Transcribes the recordings again through the same job as after a recording, the title
    // following as usual; several run one after another, the waiting ones `queued`. Those that
    // cannot be retried now are left alone. Only ever runs when asked.
    void retryTranscription(const std::vector<Uuid>& ids);

    // Jobs currently running, by kind (for tests and diagnostics).
    bool hasTranscribeTask(const Uuid& id) const { return m_transcribeTasks.count(id) > 0; }
    bool hasSummaryTask(const Uuid& id) const { return m_summaryTasks.count(id) > 0; }
    bool hasTitleTask(const Uuid& id) const { return m_titleTasks.count(id) > 0; }

signals:
    void isRecordingChanged();
    void currentKindChanged();
    void currentRecordingIDChanged();
    void recordingStartedAtChanged();
    void inputLevelChanged();
    void lastErrorChanged();
    void captureWarningChanged();
    void transcribingStatesChanged();
    void summarizingStatesChanged();

private:
    // A running job and its serial number: a job that was replaced by a newer one of the same
    // kind for the same recording finds a different serial in the map and leaves the map alone.
    struct Task {
        std::uint64_t serial = 0;
        std::unique_ptr<BackgroundJob> job;
    };
    using TaskMap = std::map<Uuid, Task>;

    // A start whose capture is coming up on its own thread. Until that thread reports back, the
    // capture source belongs to it.
    struct PendingStart {
        Uuid id;
        RecordingKind kind = RecordingKind::meeting;
        std::shared_ptr<RecordingSession> session;
        std::unique_ptr<SystemAudioCapture> meetingCapture;
        std::unique_ptr<MicrophoneTap> noteMic;
        std::unique_ptr<BackgroundJob> job; // last: joined before the sources go
    };

    // A new id with its session (folder, audio.wav, first meta.json); nothing when that failed,
    // which has been reported.
    std::unique_ptr<PendingStart> prepareStart(RecordingKind kind);
    std::unique_ptr<CaptureBackend> newCaptureBackend() const;
    void startMeeting();
    void startNote();
    // Makes the recording's folder, audio.wav and first meta.json; on failure reports it and
    // gives nothing.
    std::shared_ptr<RecordingSession> createSession(const Uuid& id, RecordingKind kind);
    // Runs `startCapture` (which returns the failure text) on the start's own thread.
    void launchStart(std::unique_ptr<PendingStart> pending, std::function<std::optional<std::string>()> startCapture);
    // Main thread, when the start's thread has reported back.
    void captureStartFinished(const std::optional<std::string>& failure);
    void recordingStarted(const Uuid& id, RecordingKind kind, std::shared_ptr<RecordingSession> session);
    void stop();
    void startFailed(RecordingKind kind, const std::string& error);
    // For a capture source's onServerLost / onServerBack: called on a capture thread, tells the
    // main thread that the sound server of recording `id` went away or came back.
    std::function<void()> soundServerNotice(const Uuid& id, bool lost);
    void soundServerChanged(const Uuid& id, bool lost);
    void startLevelPublishing();
    void stopLevelPublishing();
    void publishLevel();
    // Main thread, with every published level of a meeting: follows whether the other side is heard.
    void watchOtherSide(float systemLevel, float micLevel);
    void updateCaptureWarning();
    // Main thread, after each reload: writes the length of a recording that was cut off (a crash
    // or a kill while recording) from its WAV header, so that the library no longer takes it for
    // a recording still being made and offers its transcription.
    void measureCutOffRecordings();

    void setRecording(bool recording);
    void setCurrentKind(std::optional<RecordingKind> kind);
    void setCurrentRecordingID(std::optional<Uuid> id);
    void setRecordingStartedAt(std::optional<std::chrono::system_clock::time_point> date);
    void setInputLevel(float level);
    void setLastError(std::optional<std::string> error);
    void setCaptureWarning(std::optional<std::string> warning);
    void setTranscribing(const Uuid& id, std::optional<TranscribingState> state);
    void setSummarizing(const Uuid& id, std::optional<SummarizingState> state);

    // Jobs (RecorderPipeline.cpp).
    std::uint64_t launch(TaskMap& tasks, const Uuid& id, std::function<void(std::stop_token, std::uint64_t)> work);
    bool isCurrent(const TaskMap& tasks, const Uuid& id, std::uint64_t serial) const;
    void finish(TaskMap& tasks, const Uuid& id, std::uint64_t serial);
    void startTitle(const Uuid& id, RecordingKind kind, const Transcript& transcript);
    void startSummary(const Uuid& id, RecordingKind kind, const Transcript& transcript);
    // A transcription job of the recording has reported back for the last time.
    void transcriptionEnded(const Uuid& id);
    void startNextRetry();

    RecordingStore& m_store;
    AppSettings* m_settings = nullptr;
    std::unique_ptr<RecorderDependencies> m_deps;

    bool m_isRecording = false;
    std::optional<RecordingKind> m_currentKind;
    std::optional<Uuid> m_currentRecordingID;
    std::optional<std::chrono::system_clock::time_point> m_recordingStartedAt;
    float m_inputLevel = 0;
    std::optional<std::string> m_lastError;
    std::optional<std::string> m_captureWarning;
    bool m_soundServerLost = false; // of the running recording
    std::map<Uuid, TranscribingState> m_transcribingStates;
    std::map<Uuid, SummarizingState> m_summarizingStates;

    std::unique_ptr<PendingStart> m_pendingStart;
    std::unique_ptr<SystemAudioCapture> m_meetingCapture;
    std::unique_ptr<MicrophoneTap> m_noteMic;
    std::shared_ptr<RecordingSession> m_session;
    // Fed on the capture thread, read here; shared so a late callback never sees a dead meter.
    std::shared_ptr<AudioLevelMeter> m_systemMeter;
    std::shared_ptr<AudioLevelMeter> m_micMeter;
    QTimer m_levelTimer;
    SilentCallDetector m_otherSide;

    std::uint64_t m_nextSerial = 1;
    TaskMap m_transcribeTasks;
    TaskMap m_summaryTasks;
    TaskMap m_titleTasks;
    // Retries waiting for their turn, and the one whose job runs now.
    std::deque<Uuid> m_retryQueue;
    // Recordings whose missing length measureCutOffRecordings has looked at once.
    std::set<Uuid> m_lengthChecked;
    std::optional<Uuid> m_retryRunning;
    // Replaced jobs that have not reported back yet; destroyed when they do.
    std::map<std::uint64_t, std::unique_ptr<BackgroundJob>> m_retiredJobs;
};

} // namespace palaverly
