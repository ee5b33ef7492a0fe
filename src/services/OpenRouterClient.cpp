#include "services/OpenRouterClient.h"

#include "common/BuildConfig.h"
#include "common/Log.h"
#include "common/Text.h"
#include "services/HttpTransfer.h"
#include "services/ServiceAnswers.h"

#include <QLoggingCategory>
#include <nlohmann/json.hpp>

Q_LOGGING_CATEGORY(lcOpenRouterClient, "OpenRouterClient")

namespace palaverly {

namespace {

using Failure = OpenRouterClient::Failure;
using ClientError = OpenRouterClient::ClientError;

// Compact, keys in the order model, messages, reasoning; role before content.
std::string encodeRequest(const std::string& model, const std::string& system, const std::string& user)
{
    nlohmann::ordered_json body;
    body["model"] = model;
    body["messages"] = nlohmann::ordered_json::array({
        nlohmann::ordered_json{{"role", "system"}, {"content", system}},
        nlohmann::ordered_json{{"role", "user"}, {"content", user}},
    });
    body["reasoning"] = nlohmann::ordered_json{{"enabled", false}};
    return body.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

} // namespace

OpenRouterClient::ClientError::ClientError(Case kind, int statusCode, std::string body)
    : m_case(kind)
    , m_statusCode(statusCode)
    , m_body(std::move(body))
{
}

OpenRouterClient::ClientError OpenRouterClient::ClientError::httpFailed(int statusCode, std::string body)
{
    return {Case::httpFailed, statusCode, std::move(body)};
}

OpenRouterClient::ClientError OpenRouterClient::ClientError::invalidResponse()
{
    return {Case::invalidResponse, 0, {}};
}

OpenRouterClient::ClientError OpenRouterClient::ClientError::empty()
{
    return {Case::empty, 0, {}};
}

std::string OpenRouterClient::ClientError::description() const
{
    switch (m_case) {
    case Case::httpFailed:
        return "Сервер итогов вернул HTTP " + std::to_string(m_statusCode) + ": " + m_body;
    case Case::invalidResponse:
        return "Сервер итогов вернул некорректный ответ";
    case Case::empty:
        break;
    }
    return "Сервер итогов вернул пустой ответ";
}

OpenRouterClient::OpenRouterClient()
    : OpenRouterClient(build::kChatUrl, build::kChatApiKey, std::make_shared<SteadySleeper>())
{
}

OpenRouterClient::OpenRouterClient(std::string endpointUrl, std::string apiKey, std::shared_ptr<Sleeper> sleeper)
    : OpenRouterClient(std::move(endpointUrl), std::move(apiKey), std::move(sleeper), Timeouts{})
{
}

OpenRouterClient::OpenRouterClient(
    std::string endpointUrl, std::string apiKey, std::shared_ptr<Sleeper> sleeper, Timeouts timeouts)
    : OpenRouterClient(std::move(endpointUrl), std::move(apiKey), kModel, std::move(sleeper), timeouts)
{
}

OpenRouterClient::OpenRouterClient(
    std::string endpointUrl, std::string apiKey, std::string model, std::shared_ptr<Sleeper> sleeper, Timeouts timeouts)
    : m_endpointUrl(std::move(endpointUrl))
    , m_apiKey(std::move(apiKey))
    , m_model(model.empty() ? std::string(kModel) : std::move(model))
    , m_sleeper(std::move(sleeper))
    , m_timeouts(timeouts)
{
    if (!m_sleeper)
        m_sleeper = std::make_shared<SteadySleeper>();
}

OpenRouterClient::Result OpenRouterClient::complete(
    const std::string& system, const std::string& user, std::stop_token stop) const
{
    const std::string body = encodeRequest(m_model, system, user);
    for (int attempt = 1;; ++attempt) {
        auto outcome = this->attempt(body, stop);
        if (outcome)
            return outcome;
        Failure failure = std::move(outcome.error());
        if (failure.isCancelled())
            return unexpected(std::move(failure));
        if (const auto* error = failure.serviceError(); error && error->kind() == ClientError::Case::httpFailed
            && error->statusCode() >= 400 && error->statusCode() <= 499)
            return unexpected(std::move(failure));
        if (attempt >= kAttempts)
            return unexpected(std::move(failure));

        const long delaySeconds = 1L << attempt;
        log::error(lcOpenRouterClient(),
            QString::fromStdString("Summary attempt " + std::to_string(attempt) + " failed, retry in "
                + std::to_string(delaySeconds) + "s: " + failure.description()));
        if (!m_sleeper->wait(std::chrono::seconds(delaySeconds), stop))
            return unexpected(Cancelled{});
    }
}

OpenRouterClient::Result OpenRouterClient::attempt(const std::string& body, std::stop_token stop) const
{
    http::Request request;
    request.method = "POST";
    request.url = m_endpointUrl;
    request.headers = {"Content-Type: application/json", "Authorization: Bearer " + m_apiKey};
    request.body = {http::BodyPart::text(body)};
    request.idleTimeout = m_timeouts.requestIdle;
    request.totalTimeout = m_timeouts.resource;

    auto answer = http::perform(request, stop);
    if (!answer) {
        switch (answer.error().kind) {
        case http::Error::Kind::cancelled:
            return unexpected(Cancelled{});
        case http::Error::Kind::transport:
            return unexpected(std::move(answer.error().transport));
        case http::Error::Kind::responseTooLarge:
        case http::Error::Kind::file:
            break;
        }
        return unexpected(ClientError::invalidResponse());
    }
    const long status = answer->status;
    if (status < 100)
        return unexpected(ClientError::invalidResponse());
    if (status < 200 || status > 299)
        return unexpected(ClientError::httpFailed(static_cast<int>(status), http::utf8OrEmpty(answer->body)));
    auto content = decodeChatContent(answer->body);
    if (!content)
        return unexpected(std::move(content.error()));
    std::string text = trimmedWhitespace(*content);
    if (text.empty())
        return unexpected(ClientError::empty());
    return text;
}

} // namespace palaverly
