#pragma once

#include "services/ServiceConfig.h"

#include <stop_token>
#include <string>

// One small request that tells whether a configured service answers and accepts its key,
// spending at most one token: the job service is asked for a job that does not exist, an
// OpenAI-compatible recognizer gets half a second of silence, the chat endpoint a one-word
// prompt with an answer of at most one token. Each blocks its calling thread (a worker thread)
// for at most kTimeout; a stop ends it with `cancelled`.
namespace palaverly::serviceCheck {

struct Outcome {
    enum class Kind {
        answers, // the service answered and took the request (and the key, when one was sent)
        keyRefused, // HTTP 401 or 403
        unreachable, // no HTTP answer at all
        unexpected, // another HTTP answer: a wrong address or model, a failing service
        cancelled,
    };
    Kind kind = Kind::unreachable;
    // unexpected and keyRefused: the HTTP status.
    int status = 0;
    // unreachable: the transport failure's sentence; unexpected: the start of the answer's text.
    std::string detail;

    bool operator==(const Outcome&) const = default;
};

inline constexpr std::chrono::seconds kTimeout{20};

Outcome transcription(const ServiceConfig& config, std::stop_token stop);
Outcome chat(const ServiceConfig& config, std::stop_token stop);

} // namespace palaverly::serviceCheck
