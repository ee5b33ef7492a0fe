#include "services/ServiceConfig.h"

#include "common/BuildConfig.h"
#include "common/PlaceholderAddress.h"
#include "common/Text.h"
#include "services/ASRClient.h"
#include "services/OpenAITranscriptionClient.h"

namespace palaverly {

std::string_view rawValue(TranscriptionApi api)
{
    return api == TranscriptionApi::openai ? "openai" : "jobs";
}

std::optional<TranscriptionApi> transcriptionApiFrom(std::string_view raw)
{
    if (raw == "jobs")
        return TranscriptionApi::jobs;
    if (raw == "openai")
        return TranscriptionApi::openai;
    return std::nullopt;
}

ServiceConfig ServiceConfig::compiledIn()
{
    ServiceConfig config;
    config.transcriptionUrl = build::kAsrBaseUrl;
    config.transcriptionModel = OpenAITranscriptionClient::kDefaultModel;
    config.chatUrl = build::kChatUrl;
    config.chatKey = build::kChatApiKey;
    return config;
}

bool ServiceConfig::transcriptionSetUp() const
{
    return !isPlaceholderAddress(transcriptionUrl);
}

bool ServiceConfig::chatSetUp() const
{
    return !isPlaceholderAddress(chatUrl);
}

std::string openAIEndpoint(std::string_view address, std::string_view path)
{
    std::string url = trimmedWhitespace(address);
    while (!url.empty() && url.back() == '/')
        url.pop_back();
    const std::string full = "/v1/" + std::string(path);
    if (url.size() >= full.size() && url.compare(url.size() - full.size(), full.size(), full) == 0)
        return url;
    if (url.size() >= 3 && url.compare(url.size() - 3, 3, "/v1") == 0)
        return url + "/" + std::string(path);
    return url + full;
}

std::shared_ptr<const Transcriber> makeTranscriber(
    const ServiceConfig& config, std::shared_ptr<Sleeper> sleeper, TranscriptUse use)
{
    if (config.transcriptionApi == TranscriptionApi::openai) {
        return std::make_shared<OpenAITranscriptionClient>(
            OpenAITranscriptionClient::Service{config.transcriptionUrl, config.transcriptionModel,
                config.transcriptionLanguage, config.transcriptionKey, use == TranscriptUse::recording},
            std::move(sleeper));
    }
    return std::make_shared<ASRClient>(
        trimmedWhitespace(config.transcriptionUrl), std::move(sleeper), ASRClient::Timeouts{}, config.transcriptionKey);
}

std::shared_ptr<const OpenRouterClient> makeChatClient(const ServiceConfig& config, std::shared_ptr<Sleeper> sleeper)
{
    return std::make_shared<OpenRouterClient>(openAIEndpoint(config.chatUrl, "chat/completions"), config.chatKey,
        config.chatModel, std::move(sleeper), OpenRouterClient::Timeouts{});
}

} // namespace palaverly
