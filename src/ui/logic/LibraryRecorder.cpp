#include "ui/logic/LibraryRecorder.h"

#include "recorder/TranscriptionRetry.h"

namespace palaverly {

bool LibraryRecorder::canRetryTranscription(const Recording& recording) const
{
    return palaverly::canRetryTranscription(recording, transcribingState(recording.id), currentRecordingID());
}

void LibraryRecorder::stopCurrent()
{
    if (!isRecording())
        return;
    if (currentKind() == RecordingKind::note)
        toggleNote();
    else
        toggleMeeting();
}

} // namespace palaverly
