#pragma once

#include "ui/logic/LibraryRecorder.h"

#include <functional>

namespace palaverly {

class RecorderModel;

// The library window's view of the application's RecorderModel: forwards the reads, the
// commands and the change signals. The model must outlive the link. Main thread only.
class RecorderModelLink : public LibraryRecorder {
public:
    // What the window asks about the remote services; empty members: set up, nothing to open.
    struct Services {
        std::function<bool()> transcriptionSetUp;
        std::function<void()> openSettings;
    };

    explicit RecorderModelLink(RecorderModel& model, QObject* parent = nullptr);
    RecorderModelLink(RecorderModel& model, Services services, QObject* parent = nullptr);

    bool isRecording() const override;
    std::optional<RecordingKind> currentKind() const override;
    std::optional<Uuid> currentRecordingID() const override;
    std::optional<std::chrono::system_clock::time_point> recordingStartedAt() const override;
    float inputLevel() const override;
    std::optional<std::string> captureWarning() const override;
    TranscribingState transcribingState(const Uuid& id) const override;
    SummarizingState summarizingState(const Uuid& id) const override;
    void toggleMeeting() override;
    void toggleNote() override;
    void resummarize(const Recording& recording) override;
    bool transcriptionServiceSetUp() const override;
    void openServiceSettings() override;
    void retryTranscription(const std::vector<Uuid>& ids) override;

private:
    RecorderModel& m_model;
    Services m_services;
};

} // namespace palaverly
