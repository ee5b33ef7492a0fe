#pragma once

#include "audio/CaptureBackend.h"
#include "services/ASRClient.h"
#include "services/OpenRouterClient.h"

#include <chrono>
#include <functional>
#include <memory>

namespace palaverly {

// What RecorderModel talks to outside the process. The program uses the defaults; tests point
// the clients at loopback services and may give their own capture back end.
struct RecorderDependencies {
    // A new capture back end for each recording; empty: the platform's own.
    std::function<std::unique_ptr<CaptureBackend>()> makeCaptureBackend;
    // The speech-recognition client; ASRClient::shared() when null.
    const ASRClient* asr = nullptr;
    // The language-model client; a new one for the compiled-in endpoint when null.
    std::shared_ptr<const OpenRouterClient> openRouter;
    // The monotonic clock the capture checks measure their spans with; steady_clock when empty.
    std::function<std::chrono::steady_clock::time_point()> steadyNow;
};

} // namespace palaverly
