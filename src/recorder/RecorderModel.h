#pragma once

#include "common/IsoDate.h"
#include "common/Uuid.h"
#include "model/Recording.h"

#include <QObject>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace palaverly {

class RecordingStore;
class AppSettings;

// State of the transcription job of one recording. A recording without an entry is idle.
struct TranscribingState {
    enum class Kind { idle, running, failed };
    Kind kind = Kind::idle;
    // running: "uploading" or "processing"; failed: the error text.
    std::string detail;

    static TranscribingState running(std::string stage) { return {Kind::running, std::move(stage)}; }
    static TranscribingState failed(std::string message) { return {Kind::failed, std::move(message)}; }
    bool operator==(const TranscribingState&) const = default;
};

// State of the summary job of one recording. A recording without an entry is idle.
struct SummarizingState {
    enum class Kind { idle, running, failed };
    Kind kind = Kind::idle;
    std::string message; // failed: the error text

    static SummarizingState running() { return {Kind::running, {}}; }
    static SummarizingState failed(std::string message) { return {Kind::failed, std::move(message)}; }
    bool operator==(const SummarizingState&) const = default;
};

// Makes recordings: starts and stops meetings and notes, publishes the live input level, and
// runs the transcription, title and summary jobs of each recording. Main thread only; every
// observable field has a change signal that fires only on a real change (map fields fire on
// every modification).
class RecorderModel : public QObject {
    Q_OBJECT

public:
    struct Dependencies; // capture back ends, remote clients, sleeper; see RecorderModel.cpp
    RecorderModel(RecordingStore& store, AppSettings* settings, std::unique_ptr<Dependencies> dependencies,
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
    const std::map<Uuid, TranscribingState>& transcribingStates() const { return m_transcribingStates; }
    const std::map<Uuid, SummarizingState>& summarizingStates() const { return m_summarizingStates; }
    TranscribingState transcribingState(const Uuid& id) const;
    SummarizingState summarizingState(const Uuid& id) const;

    RecordingStore& store() const { return m_store; }
    AppSettings* settings() const { return m_settings; }

    // Start a meeting / a note when idle, otherwise stop whatever runs. Return at once.
    void toggleMeeting();
    void toggleNote();
    // The stop command: nothing while idle, else the toggle of the running kind.
    void stopCurrent();
    // Asks the language model for a summary of the recording's transcript.
    void resummarize(const Recording& recording);

    // The name a new recording gets: "Встреча — 4 дек., 09:05" / "Заметка — ...".
    static std::string defaultName(std::chrono::system_clock::time_point date, RecordingKind kind);

signals:
    void isRecordingChanged();
    void currentKindChanged();
    void currentRecordingIDChanged();
    void recordingStartedAtChanged();
    void inputLevelChanged();
    void lastErrorChanged();
    void transcribingStatesChanged();
    void summarizingStatesChanged();

private:
    RecordingStore& m_store;
    AppSettings* m_settings = nullptr;
    std::unique_ptr<Dependencies> m_deps;

    bool m_isRecording = false;
    std::optional<RecordingKind> m_currentKind;
    std::optional<Uuid> m_currentRecordingID;
    std::optional<std::chrono::system_clock::time_point> m_recordingStartedAt;
    float m_inputLevel = 0;
    std::optional<std::string> m_lastError;
    std::map<Uuid, TranscribingState> m_transcribingStates;
    std::map<Uuid, SummarizingState> m_summarizingStates;
};

} // namespace palaverly
