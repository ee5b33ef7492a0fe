#pragma once

#include "model/Recording.h"
#include "recorder/JobStates.h"

#include <filesystem>
#include <optional>

namespace palaverly {

// Whether the file holds recorded sound: more than the bare header of an empty WAV (a start that
// failed leaves one of those). Reads only the file's size.
bool hasRecordedAudio(const std::filesystem::path& audioFile);

// Whether a recording's transcript may be asked for again: it has recorded audio and no
// transcript with text (the job failed, never ran or was cut off by a quit or a crash), it is
// not the recording being made, and no transcription runs or waits for it.
bool canRetryTranscription(
    const Recording& recording, const TranscribingState& state, const std::optional<Uuid>& currentRecordingID);

} // namespace palaverly
