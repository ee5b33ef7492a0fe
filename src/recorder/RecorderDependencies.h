#pragma once

#include "audio/CaptureBackend.h"
#include "services/OpenRouterClient.h"
#include "services/Transcriber.h"

#include <chrono>
#include <functional>
#include <memory>

namespace palaverly {

// What RecorderModel talks to outside the process. The program hands in the services the user
// chose; tests point them at loopback services and may give their own capture back end.
struct RecorderDependencies {
    // A new capture back end for each recording; empty: the platform's own.
    std::function<std::unique_ptr<CaptureBackend>()> makeCaptureBackend;
    // The speech-recognition client of a transcription about to start, asked once per job, so a
    // change of the chosen service reaches the next job and never the running one. Empty: the
    // compiled-in job service (ASRClient::shared()).
    TranscriberSource transcriber;
    // Likewise the language-model client of a title or summary job. Empty: the compiled-in
    // endpoint and key.
    std::function<std::shared_ptr<const OpenRouterClient>()> chat;
    // The monotonic clock the capture checks measure their spans with; steady_clock when empty.
    std::function<std::chrono::steady_clock::time_point()> steadyNow;
};

} // namespace palaverly
