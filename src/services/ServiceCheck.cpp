#include "services/ServiceCheck.h"

#include "common/Text.h"
#include "common/Uuid.h"
#include "services/HttpTransfer.h"
#include "services/OpenAITranscriptionClient.h"

#include <nlohmann/json.hpp>

namespace palaverly::serviceCheck {

namespace {

constexpr std::size_t kDetailCharacters = 200;
constexpr std::size_t kMaxAnswerBytes = 64 * 1024;

std::vector<std::string> authorization(const std::string& key)
{
    if (key.empty())
        return {};
    return {"Authorization: Bearer " + key};
}

// Half a second of silence (16 kHz, mono, 16-bit PCM): long enough for every recognizer to take.
std::string silentWav()
{
    constexpr std::uint32_t kRate = 16000;
    constexpr std::uint32_t kDataBytes = kRate / 2 * 2;
    std::string wav;
    const auto put32 = [&wav](std::uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8)
            wav.push_back(static_cast<char>((value >> shift) & 0xFF));
    };
    const auto put16 = [&wav](std::uint16_t value) {
        wav.push_back(static_cast<char>(value & 0xFF));
        wav.push_back(static_cast<char>(value >> 8));
    };
    wav += "RIFF";
    put32(36 + kDataBytes);
    wav += "WAVEfmt ";
    put32(16);
    put16(1); // PCM
    put16(1); // mono
    put32(kRate);
    put32(kRate * 2);
    put16(2);
    put16(16);
    wav += "data";
    put32(kDataBytes);
    wav.append(kDataBytes, '\0');
    return wav;
}

Outcome outcomeOf(Expected<http::Response, http::Error> answer, bool notFoundAnswers)
{
    if (!answer) {
        if (answer.error().kind == http::Error::Kind::cancelled)
            return {Outcome::Kind::cancelled, 0, {}};
        if (answer.error().kind == http::Error::Kind::transport)
            return {Outcome::Kind::unreachable, 0, answer.error().transport.description()};
        return {Outcome::Kind::unexpected, 0, {}};
    }
    const int status = static_cast<int>(answer->status);
    if (status == 401 || status == 403)
        return {Outcome::Kind::keyRefused, status, {}};
    if ((status >= 200 && status <= 299) || (notFoundAnswers && status == 404))
        return {Outcome::Kind::answers, status, {}};
    std::string detail = trimmedWhitespace(http::utf8OrEmpty(answer->body));
    if (detail.size() > kDetailCharacters) {
        detail.resize(kDetailCharacters);
        // Never end inside a UTF-8 sequence.
        while (!detail.empty() && (static_cast<unsigned char>(detail.back()) & 0xC0) == 0x80)
            detail.pop_back();
        if (!detail.empty() && static_cast<unsigned char>(detail.back()) >= 0xC0)
            detail.pop_back();
        detail += "…";
    }
    return {Outcome::Kind::unexpected, status, std::move(detail)};
}

http::Request baseRequest(std::string url, const std::string& key)
{
    http::Request request;
    request.url = std::move(url);
    request.headers = authorization(key);
    request.idleTimeout = kTimeout;
    request.totalTimeout = kTimeout;
    request.maxResponseBytes = kMaxAnswerBytes;
    return request;
}

} // namespace

Outcome transcription(const ServiceConfig& config, std::stop_token stop)
{
    if (config.transcriptionApi == TranscriptionApi::jobs) {
        // Unknown to the service: it answers 404, or refuses the key.
        std::string base = trimmedWhitespace(config.transcriptionUrl);
        while (!base.empty() && base.back() == '/')
            base.pop_back();
        auto request = baseRequest(base + "/api/jobs/check-" + Uuid::generate().toString(), config.transcriptionKey);
        return outcomeOf(http::perform(request, stop), true);
    }

    const std::string boundary = "Boundary-" + Uuid::generate().toString();
    const auto field = [&boundary](const std::string& name, const std::string& value) {
        return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
    };
    std::string body = "--" + boundary
        + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"check.wav\"\r\nContent-Type: audio/wav\r\n\r\n"
        + silentWav() + "\r\n"
        + field("model",
            config.transcriptionModel.empty() ? OpenAITranscriptionClient::kDefaultModel : config.transcriptionModel)
        + field("response_format", "json");
    if (!config.transcriptionLanguage.empty())
        body += field("language", config.transcriptionLanguage);
    body += "--" + boundary + "--\r\n";

    auto request = baseRequest(
        openAIEndpoint(config.transcriptionUrl, OpenAITranscriptionClient::kPath), config.transcriptionKey);
    request.method = "POST";
    request.headers.push_back("Content-Type: multipart/form-data; boundary=" + boundary);
    request.body = {http::BodyPart::text(std::move(body))};
    return outcomeOf(http::perform(request, stop), false);
}

Outcome chat(const ServiceConfig& config, std::stop_token stop)
{
    nlohmann::ordered_json body;
    body["model"] = config.chatModel.empty() ? std::string(OpenRouterClient::kModel) : config.chatModel;
    body["messages"] = nlohmann::ordered_json::array({nlohmann::ordered_json{{"role", "user"}, {"content", "ping"}}});
    body["max_tokens"] = 1;
    body["reasoning"] = nlohmann::ordered_json{{"enabled", false}};

    auto request = baseRequest(openAIEndpoint(config.chatUrl, "chat/completions"), config.chatKey);
    request.method = "POST";
    request.headers.push_back("Content-Type: application/json");
    request.body = {http::BodyPart::text(body.dump())};
    return outcomeOf(http::perform(request, stop), false);
}

} // namespace palaverly::serviceCheck
