#include "ui/logic/LibraryRecorder.h"

namespace palaverly {

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
