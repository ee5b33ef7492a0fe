#pragma once

#include "ui/logic/LibraryRecorder.h"

namespace palaverly {

class RecorderModel;

// The library window's view of the application's RecorderModel: forwards the reads, the
// commands and the change signals. The model must outlive the link. Main thread only.
class RecorderModelLink : public LibraryRecorder {
public:
    explicit RecorderModelLink(RecorderModel& model, QObject* parent = nullptr);

    bool isRecording() const override;
    std::optional<RecordingKind> currentKind() const override;
    std::optional<Uuid> currentRecordingID() const override;
    std::optional<std::chrono::system_clock::time_point> recordingStartedAt() const override;
    float inputLevel() const override;
    TranscribingState transcribingState(const Uuid& id) const override;
    SummarizingState summarizingState(const Uuid& id) const override;
    std::optional<std::string> captureWarning() const override;
    void toggleMeeting() override;
    void toggleNote() override;
    void resummarize(const Recording& recording) override;
    void retryTranscription(const std::vector<Uuid>& ids) override;

private:
    RecorderModel& m_model;
};

} // namespace palaverly
