#include "FakeChatService.h"

namespace palaverly::test {

namespace {

constexpr const char* kPath = "/v1/chat/completions";

FakeAnswer apiError(int status, const std::string& message, const std::string& type)
{
    return FakeAnswer::json(status, {{"error", {{"message", message}, {"type", type}, {"code", status}}}});
}

std::optional<FakeChatService::Call> readCall(const std::string& body)
{
    auto document = nlohmann::json::parse(body, nullptr, false);
    if (!document.is_object() || !document.contains("model") || !document["model"].is_string()
        || !document.contains("messages") || !document["messages"].is_array() || document["messages"].empty())
        return std::nullopt;
    FakeChatService::Call call;
    call.model = document["model"].get<std::string>();
    for (const auto& message : document["messages"]) {
        if (!message.is_object() || !message.contains("role") || !message["role"].is_string()
            || !message.contains("content") || !message["content"].is_string())
            return std::nullopt;
        call.messages.push_back({message["role"].get<std::string>(), message["content"].get<std::string>()});
    }
    call.body = std::move(document);
    return call;
}

} // namespace

FakeChatService::FakeChatService(std::string apiKey)
    : m_apiKey(std::move(apiKey))
    , m_responder([](const Call&) { return reply("Готово"); })
    , m_server({[this](const RecordedRequest& request) { return respond(request); },
          [this](const RecordedRequest& request) { return respondBeforeBody(request); }})
{
}

std::string FakeChatService::endpointUrl() const
{
    return baseUrl() + kPath;
}

void FakeChatService::scriptAnswers(std::vector<FakeAnswer> answers)
{
    std::lock_guard lock(m_mutex);
    m_script.insert(m_script.end(), answers.begin(), answers.end());
}

void FakeChatService::setResponder(Responder responder)
{
    std::lock_guard lock(m_mutex);
    m_responder = std::move(responder);
}

FakeAnswer FakeChatService::reply(const std::string& content)
{
    return replyChoices({content});
}

FakeAnswer FakeChatService::replyChoices(const std::vector<std::string>& contents)
{
    nlohmann::json choices = nlohmann::json::array();
    for (std::size_t i = 0; i < contents.size(); ++i)
        choices.push_back(
            {{"index", i}, {"message", {{"role", "assistant"}, {"content", contents[i]}}}, {"finish_reason", "stop"}});
    return FakeAnswer::json(200,
        {{"id", "chatcmpl-fake"}, {"object", "chat.completion"}, {"created", 1767225600}, {"model", "qwen-summary"},
            {"choices", choices}, {"usage", {{"prompt_tokens", 10}, {"completion_tokens", 5}, {"total_tokens", 15}}}});
}

std::vector<FakeChatService::Call> FakeChatService::calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::optional<FakeAnswer> FakeChatService::respondBeforeBody(const RecordedRequest& request)
{
    if (request.target != kPath || request.method != "POST")
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    if (m_script.empty())
        return std::nullopt;
    const auto kind = m_script.front().kind;
    if (kind != FakeAnswer::Kind::stallWhileReceiving && kind != FakeAnswer::Kind::reset)
        return std::nullopt;
    FakeAnswer answer = m_script.front();
    m_script.pop_front();
    return answer;
}

FakeAnswer FakeChatService::respond(const RecordedRequest& request)
{
    if (request.target != kPath)
        return apiError(404, "Not Found", "invalid_request_error");
    if (request.method != "POST")
        return apiError(405, "Method Not Allowed", "invalid_request_error");
    if (request.header("Authorization") != "Bearer " + m_apiKey)
        return apiError(401, "Invalid API key", "authentication_error");
    auto call = readCall(request.body);
    if (!call)
        return apiError(400, "Invalid request body", "invalid_request_error");

    Responder responder;
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(*call);
        if (!m_script.empty()) {
            FakeAnswer answer = m_script.front();
            m_script.pop_front();
            return answer;
        }
        responder = m_responder;
    }
    return responder(*call);
}

} // namespace palaverly::test
