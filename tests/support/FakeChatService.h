#pragma once

#include "FakeHttpServer.h"

#include <deque>
#include <nlohmann/json.hpp>

namespace palaverly::test {

// An OpenAI-style chat-completions endpoint on 127.0.0.1:
//   POST /v1/chat/completions with "Authorization: Bearer <key>" and a JSON body
//   {"model": "...", "messages": [{"role": "...", "content": "..."}, ...], ...}; the answer is
//   200 {"id", "object": "chat.completion", "model", "choices": [{"index", "message":
//   {"role": "assistant", "content"}, "finish_reason"}], "usage"}.
// A missing or wrong key gets 401 and a body that is not such a request 400, before any script
// is consulted; other paths get 404, other methods 405.
// Thread-safe: the test thread scripts and inspects while server threads answer.
class FakeChatService {
public:
    static constexpr const char* kDefaultKey = "sk-fake-0123456789abcdefg";

    struct Message {
        std::string role;
        std::string content;
    };
    // An authorised, well-formed request as the endpoint read it.
    struct Call {
        std::string model;
        std::vector<Message> messages;
        nlohmann::json body;
    };
    using Responder = std::function<FakeAnswer(const Call&)>;

    explicit FakeChatService(std::string apiKey = kDefaultKey);

    std::string baseUrl() const { return m_server.baseUrl(); }
    // baseUrl() + "/v1/chat/completions".
    std::string endpointUrl() const;
    const std::string& apiKey() const { return m_apiKey; }
    FakeHttpServer& server() { return m_server; }

    // Answers for the next authorised, well-formed requests, in order. stallWhileReceiving and
    // reset take effect before the body is read.
    void scriptAnswers(std::vector<FakeAnswer> answers);
    // Answers when no scripted answer is left; by default reply("Готово").
    void setResponder(Responder responder);

    // 200 with one choice per content, in order.
    static FakeAnswer reply(const std::string& content);
    static FakeAnswer replyChoices(const std::vector<std::string>& contents);

    std::vector<RecordedRequest> requests() const { return m_server.requests(); }
    std::vector<Call> calls() const;

private:
    FakeAnswer respond(const RecordedRequest& request);
    std::optional<FakeAnswer> respondBeforeBody(const RecordedRequest& request);

    std::string m_apiKey;
    mutable std::mutex m_mutex;
    std::deque<FakeAnswer> m_script;
    Responder m_responder;
    std::vector<Call> m_calls;
    // Last member: destroyed first, so no server thread runs while the state above goes away.
    FakeHttpServer m_server;
};

} // namespace palaverly::test
