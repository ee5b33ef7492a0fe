#pragma once

#include "model/Recording.h"
#include "recorder/JobStates.h"

#include <QObject>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace palaverly {

// What the library window reads from the recorder and asks of it. The program hands the window
// a RecorderModelLink over its RecorderModel; the window's tests drive a scripted one. Main
// thread only; each signal fires after the values it names have changed.
class LibraryRecorder : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual bool isRecording() const = 0;
    virtual std::optional<RecordingKind> currentKind() const = 0;
    virtual std::optional<Uuid> currentRecordingID() const = 0;
    virtual std::optional<std::chrono::system_clock::time_point> recordingStartedAt() const = 0;
    // The live input level on the linear sample scale (1.0 = full scale).
    virtual float inputLevel() const = 0;
    // While recording: what the user should know about the sound (no sound server, the other
    // side not heard); none when all is well.
    virtual std::optional<std::string> captureWarning() const = 0;
    // idle when the recorder holds no state for the id.
    virtual TranscribingState transcribingState(const Uuid& id) const = 0;
    virtual SummarizingState summarizingState(const Uuid& id) const = 0;

    // Start a meeting / a note when idle, else stop the running recording.
    virtual void toggleMeeting() = 0;
    virtual void toggleNote() = 0;
    virtual void resummarize(const Recording& recording) = 0;
    // Transcribes the recordings again, one after another; those that cannot be now are skipped.
    virtual void retryTranscription(const std::vector<Uuid>& ids) = 0;

    // Whether the recording's transcription may be retried now.
    bool canRetryTranscription(const Recording& recording) const;

    // Stops whatever runs, through the toggle of its kind.
    void stopCurrent();

    // False while recordings cannot be transcribed because the speech-recognition service is not
    // set up (its address is still the placeholder of a build without one).
    virtual bool transcriptionServiceSetUp() const { return true; }
    // Opens the settings window on the pane where the services are chosen.
    virtual void openServiceSettings() { }

signals:
    // isRecording, currentKind or recordingStartedAt.
    void recordingStateChanged();
    void currentRecordingIDChanged();
    void inputLevelChanged();
    void captureWarningChanged();
    void transcribingStatesChanged();
    void summarizingStatesChanged();
};

} // namespace palaverly
