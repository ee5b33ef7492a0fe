#pragma once

#include "common/Expected.h"
#include "common/Sleeper.h"
#include "services/Transcriber.h"

#include <QLoggingCategory>
#include <functional>
#include <stop_token>

namespace palaverly {

namespace http {
struct Error;
}

// What a failed HTTP exchange means to an upload for transcription: a stop is Cancelled, an
// answer past the size bound an invalid response, an unreadable audio file a file error, the
// rest a transport failure.
Transcriber::Failure transcriptionFailure(http::Error error);

// The upload rule of both speech protocols: up to 4 attempts, 2, 4 and 8 seconds apart; an HTTP
// 4xx answer or a cancellation ends it at once, and after the last attempt its failure is
// returned. Each retry is logged to `category` as "Submit attempt N failed, retrying in Ds: why".
template <class T>
Expected<T, Transcriber::Failure> withUploadAttempts(const std::function<Expected<T, Transcriber::Failure>()>& attempt,
    Sleeper& sleeper, const QLoggingCategory& category, std::stop_token stop);

inline constexpr int kUploadAttempts = 4;

// Logs the retry line and waits 2^attempt seconds; false when the stop came first.
bool waitBeforeUploadRetry(int attempt, const Transcriber::Failure& failure, Sleeper& sleeper,
    const QLoggingCategory& category, std::stop_token stop);

template <class T>
Expected<T, Transcriber::Failure> withUploadAttempts(const std::function<Expected<T, Transcriber::Failure>()>& attempt,
    Sleeper& sleeper, const QLoggingCategory& category, std::stop_token stop)
{
    for (int number = 1;; ++number) {
        auto outcome = attempt();
        if (outcome)
            return outcome;
        Transcriber::Failure failure = std::move(outcome.error());
        if (failure.isCancelled())
            return unexpected(std::move(failure));
        if (const auto* error = failure.serviceError(); error && error->isClientError())
            return unexpected(std::move(failure));
        if (number >= kUploadAttempts)
            return unexpected(std::move(failure));
        if (!waitBeforeUploadRetry(number, failure, sleeper, category, stop))
            return unexpected(Cancelled{});
    }
}

} // namespace palaverly
