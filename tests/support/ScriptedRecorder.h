#pragma once

#include "ui/logic/LibraryRecorder.h"

#include <map>
#include <vector>

namespace palaverly::test {

// A recorder whose state the test sets; commands are counted, not carried out (unless the
// test installs a handler).
class ScriptedRecorder : public LibraryRecorder {
public:
    bool isRecording() const override { return m_currentID.has_value(); }
    std::optional<RecordingKind> currentKind() const override { return m_kind; }
    std::optional<Uuid> currentRecordingID() const override { return m_currentID; }
    std::optional<std::chrono::system_clock::time_point> recordingStartedAt() const override { return m_startedAt; }
    float inputLevel() const override { return m_level; }
    std::optional<std::string> captureWarning() const override { return m_warning; }
    TranscribingState transcribingState(const Uuid& id) const override;
    SummarizingState summarizingState(const Uuid& id) const override;
    void toggleMeeting() override;
    void toggleNote() override;
    void resummarize(const Recording& recording) override { resummarized.push_back(recording.id); }
    bool transcriptionServiceSetUp() const override { return serviceSetUp; }
    void openServiceSettings() override { ++serviceSettingsOpened; }
    void retryTranscription(const std::vector<Uuid>& ids) override { retried.push_back(ids); }

    // A recording in progress, or none.
    void startRecording(const Uuid& id, RecordingKind kind, std::chrono::system_clock::time_point startedAt);
    void stopRecording();
    void setInputLevel(float level);
    void setCaptureWarning(std::optional<std::string> warning);
    void setTranscribing(const Uuid& id, TranscribingState state);
    void setSummarizing(const Uuid& id, SummarizingState state);

    int meetingToggles = 0;
    int noteToggles = 0;
    std::vector<Uuid> resummarized;
    bool serviceSetUp = true;
    int serviceSettingsOpened = 0;
    std::vector<std::vector<Uuid>> retried;

private:
    std::optional<Uuid> m_currentID;
    std::optional<RecordingKind> m_kind;
    std::optional<std::chrono::system_clock::time_point> m_startedAt;
    float m_level = 0;
    std::optional<std::string> m_warning;
    std::map<Uuid, TranscribingState> m_transcribing;
    std::map<Uuid, SummarizingState> m_summarizing;
};

} // namespace palaverly::test
