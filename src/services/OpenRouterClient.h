#pragma once

#include "common/Expected.h"
#include "common/Sleeper.h"
#include "services/ServiceFailure.h"

#include <chrono>
#include <memory>
#include <stop_token>
#include <string>

namespace palaverly {

// Sends one chat-completion request (a system and a user message) to the OpenAI-style
// chat-completions endpoint and returns the first choice's text, trimmed. The model is
// "qwen-summary" unless the user named another one.
//
// complete() blocks its calling thread until it ends, so it is run on a worker thread
// (std::jthread), never on the GUI thread. The client holds no mutable state: the summary and
// title jobs of several recordings may use one instance at once. A stop requested on the token
// aborts a request in flight or a wait between attempts and yields Cancelled.
class OpenRouterClient {
public:
    // The endpoint's own failures; description() is the sentence shown to the user.
    class ClientError {
    public:
        enum class Case { httpFailed, invalidResponse, empty };

        // An HTTP status outside 200..299; `body` is the answer as text (empty when it is not UTF-8).
        static ClientError httpFailed(int statusCode, std::string body);
        static ClientError invalidResponse();
        // The first choice was empty or blank, or there was no choice.
        static ClientError empty();

        Case kind() const { return m_case; }
        // httpFailed only.
        int statusCode() const { return m_statusCode; }
        const std::string& body() const { return m_body; }
        std::string description() const;

        bool operator==(const ClientError&) const = default;

    private:
        ClientError(Case kind, int statusCode, std::string body);

        Case m_case = Case::invalidResponse;
        int m_statusCode = 0;
        std::string m_body;
    };

    using Failure = ServiceFailure<ClientError>;
    using Result = Expected<std::string, Failure>;

    struct Timeouts {
        // A request fails when no byte moves for this long.
        std::chrono::milliseconds requestIdle{std::chrono::seconds(60)};
        // Upper bound of one request.
        std::chrono::milliseconds resource{std::chrono::seconds(600)};
    };

    static constexpr int kAttempts = 3;
    static constexpr const char* kModel = "qwen-summary";

    // The compiled-in endpoint and key, real waits.
    OpenRouterClient();
    // `endpointUrl` is the full URL of "/v1/chat/completions"; `apiKey` goes into the
    // Authorization header and nowhere else (no log line or error text carries it); a null
    // sleeper means real waits.
    OpenRouterClient(std::string endpointUrl, std::string apiKey, std::shared_ptr<Sleeper> sleeper);
    OpenRouterClient(std::string endpointUrl, std::string apiKey, std::shared_ptr<Sleeper> sleeper, Timeouts timeouts);
    // The same with another model than "qwen-summary" (an empty name keeps that one).
    OpenRouterClient(std::string endpointUrl, std::string apiKey, std::string model, std::shared_ptr<Sleeper> sleeper,
        Timeouts timeouts);

    // The reply text, trimmed of white space at both ends and never empty. Up to 3 attempts, 2
    // and 4 seconds apart; an HTTP 4xx answer or a cancellation ends it at once. After the last
    // attempt its failure is returned (ClientError, TransportError or DecodingError).
    Result complete(const std::string& system, const std::string& user, std::stop_token stop) const;

    const std::string& endpointUrl() const { return m_endpointUrl; }
    // The model named in every request, and in the summaries it writes.
    const std::string& model() const { return m_model; }

private:
    Result attempt(const std::string& body, std::stop_token stop) const;

    std::string m_endpointUrl;
    std::string m_apiKey;
    std::string m_model;
    std::shared_ptr<Sleeper> m_sleeper;
    Timeouts m_timeouts;
};

} // namespace palaverly
