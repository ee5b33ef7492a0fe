#pragma once

#include "common/Sleeper.h"
#include "services/OpenRouterClient.h"
#include "services/Transcriber.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace palaverly {

// How recordings reach the speech-recognition service.
enum class TranscriptionApi {
    jobs, // upload, job id, polling; meetings have their speakers told apart
    openai, // one request to an OpenAI-compatible "/v1/audio/transcriptions"
};

// The stored names: "jobs" and "openai".
std::string_view rawValue(TranscriptionApi api);
std::optional<TranscriptionApi> transcriptionApiFrom(std::string_view raw);

// The services the program talks to, as plain values: what a job needs to make its client.
struct ServiceConfig {
    TranscriptionApi transcriptionApi = TranscriptionApi::jobs;
    // jobs: the service's origin; openai: an origin, the origin with "/v1", or the endpoint.
    std::string transcriptionUrl;
    // openai only.
    std::string transcriptionModel = "whisper-1";
    std::string transcriptionLanguage;
    // Empty: no Authorization header.
    std::string transcriptionKey;
    // An origin, the origin with "/v1", or the whole "/v1/chat/completions" URL.
    std::string chatUrl;
    std::string chatModel = OpenRouterClient::kModel;
    std::string chatKey;

    // The values this build was configured with (the CMake cache), the default of every field.
    static ServiceConfig compiledIn();

    // False while the address is still the placeholder of a build without that service.
    bool transcriptionSetUp() const;
    bool chatSetUp() const;

    bool operator==(const ServiceConfig&) const = default;
};

// The URL of an OpenAI-style endpoint such as "audio/transcriptions" from the address the user
// gave: "http://host:8000", "http://host:8000/v1" and the whole endpoint URL all lead to
// "http://host:8000/v1/audio/transcriptions".
std::string openAIEndpoint(std::string_view address, std::string_view path);

// What a transcript is for: a recording keeps its timed segments; dictation wants the words.
enum class TranscriptUse { recording, dictation };

// The clients for `config`; a null sleeper means real waits.
std::shared_ptr<const Transcriber> makeTranscriber(
    const ServiceConfig& config, std::shared_ptr<Sleeper> sleeper = {}, TranscriptUse use = TranscriptUse::recording);
std::shared_ptr<const OpenRouterClient> makeChatClient(
    const ServiceConfig& config, std::shared_ptr<Sleeper> sleeper = {});

} // namespace palaverly
