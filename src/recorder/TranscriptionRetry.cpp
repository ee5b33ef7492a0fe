#include "recorder/TranscriptionRetry.h"

#include <system_error>

namespace palaverly {

namespace {
// RIFF, fmt and data chunk headers of a mono 16-bit PCM file.
constexpr std::uintmax_t kEmptyWavBytes = 44;
} // namespace

bool hasRecordedAudio(const std::filesystem::path& audioFile)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(audioFile, error);
    return !error && size > kEmptyWavBytes;
}

bool canRetryTranscription(
    const Recording& recording, const TranscribingState& state, const std::optional<Uuid>& currentRecordingID)
{
    if (currentRecordingID == recording.id || state.kind == TranscribingState::Kind::running
        || state.kind == TranscribingState::Kind::queued)
        return false;
    if (recording.transcript && recording.transcript->hasContent())
        return false;
    return hasRecordedAudio(recording.audioURL());
}

} // namespace palaverly
