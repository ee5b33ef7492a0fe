#include "services/UploadAttempts.h"

#include "common/Log.h"
#include "services/HttpTransfer.h"

namespace palaverly {

Transcriber::Failure transcriptionFailure(http::Error error)
{
    switch (error.kind) {
    case http::Error::Kind::cancelled:
        return Cancelled{};
    case http::Error::Kind::responseTooLarge:
        return ASRError::invalidResponse();
    case http::Error::Kind::file:
        return ASRError::fileError(std::move(error.fileText));
    case http::Error::Kind::transport:
        break;
    }
    return std::move(error.transport);
}

bool waitBeforeUploadRetry(int attempt, const Transcriber::Failure& failure, Sleeper& sleeper,
    const QLoggingCategory& category, std::stop_token stop)
{
    const long delaySeconds = 1L << attempt;
    log::error(category,
        QString::fromStdString("Submit attempt " + std::to_string(attempt) + " failed, retrying in "
            + std::to_string(delaySeconds) + "s: " + failure.description()));
    return sleeper.wait(std::chrono::seconds(delaySeconds), stop);
}

} // namespace palaverly
