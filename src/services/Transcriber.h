#pragma once

#include "common/Expected.h"
#include "model/Transcript.h"
#include "services/ASRError.h"
#include "services/ServiceFailure.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

namespace palaverly {

// Turns a WAV file into a Transcript through a speech-recognition service. The processing
// pipeline and dictation know only this; which protocol answers (the job service, an
// OpenAI-compatible endpoint) is chosen when their job starts.
//
// transcribe() blocks its calling thread until it ends, so it runs on a worker thread. An
// implementation holds no mutable state: any number of transcriptions may run on one instance.
// A stop requested on the token ends it promptly with Cancelled.
class Transcriber {
public:
    using Failure = ServiceFailure<ASRError>;
    using Result = Expected<Transcript, Failure>;
    // Told on the calling thread, once, when the audio has reached the service and the service is
    // working on it. `jobId` is the service's job id where the protocol has jobs, empty otherwise.
    using Uploaded = std::function<void(const std::string& jobId)>;

    virtual ~Transcriber() = default;

    // `endpoint` is the job path that says what is wanted: "/api/diarize/async" (speakers told
    // apart, for meetings) or "/api/transcribe/async" (notes, dictation). A protocol without job
    // paths reads only that intent. The file is read, never changed, never held in memory whole.
    Result transcribe(const std::filesystem::path& audioFile, std::string_view endpoint, std::stop_token stop,
        const Uploaded& uploaded = {}) const
    {
        return run(audioFile, endpoint, std::move(stop), uploaded);
    }

protected:
    virtual Result run(const std::filesystem::path& audioFile, std::string_view endpoint, std::stop_token stop,
        const Uploaded& uploaded) const = 0;
};

// Hands out the transcriber for a job that is about to start. Asked on the main thread once
// per job, so a job keeps the service it started with while the next one takes the current
// choice.
using TranscriberSource = std::function<std::shared_ptr<const Transcriber>()>;

// A source that always hands out `transcriber`, which must outlive every job.
inline TranscriberSource fixedTranscriber(const Transcriber& transcriber)
{
    return [&transcriber] { return std::shared_ptr<const Transcriber>(&transcriber, [](const Transcriber*) {}); };
}

} // namespace palaverly
