#pragma once

#include "model/RecordingStore.h"
#include "recorder/RecorderDependencies.h"
#include "recorder/RecorderModel.h"
#include "services/ASRClient.h"

#include "FakeChatService.h"
#include "FakeSpeechService.h"
#include "QtWait.h"
#include "RecordingSleeper.h"
#include "TempLibrary.h"

#include <functional>
#include <memory>

namespace palaverly::test {

// A RecorderModel over a temporary library, talking to loopback speech and chat services whose
// retries never wait. Fixtures derive from it (or hold one) and use the members directly.
class RecorderRig {
public:
    // `adjust` may change the dependencies further (a clock or a capture back end of the test's own).
    explicit RecorderRig(AppSettings* settings = nullptr, const std::function<void(RecorderDependencies&)>& adjust = {})
    {
        auto deps = std::make_unique<RecorderDependencies>();
        deps->transcriber = [this] { return transcriber(); };
        deps->chat = [client = std::make_shared<const OpenRouterClient>(chat.endpointUrl(), chat.apiKey(), sleeper)] {
            return client;
        };
        if (adjust)
            adjust(*deps);
        model = std::make_unique<RecorderModel>(store, settings, std::move(deps));
    }

    // Runs the event loop until no start is coming up any more.
    bool startSettled(int timeoutMs = 15000) const
    {
        return waitUntil([this] { return !model->isStarting(); }, timeoutMs);
    }

    ~RecorderRig()
    {
        if (model && model->isRecording())
            model->stopCurrent();
    }

    RecorderRig(const RecorderRig&) = delete;
    RecorderRig& operator=(const RecorderRig&) = delete;

    TempLibrary library;
    RecordingStore store{library.base()};
    FakeSpeechService speech;
    FakeChatService chat;
    std::shared_ptr<RecordingSleeper> sleeper = std::make_shared<RecordingSleeper>();
    ASRClient asr{speech.baseUrl(), sleeper};
    // The speech client of the next transcription: the job service unless a test chooses another.
    TranscriberSource transcriber = fixedTranscriber(asr);
    std::unique_ptr<RecorderModel> model;
};

} // namespace palaverly::test
