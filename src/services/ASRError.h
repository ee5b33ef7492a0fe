#pragma once

#include <string>

namespace palaverly {

// The speech-recognition service's own failures, whichever protocol reached it;
// description() is the sentence shown to the user.
class ASRError {
public:
    enum class Case { submitFailed, jobFailed, fileError, invalidResponse };

    // The upload was answered with an HTTP status outside 200..299; `body` is the answer as
    // text (empty when it is not UTF-8).
    static ASRError submitFailed(int statusCode, std::string body);
    // The job ended with status "failed".
    static ASRError jobFailed(std::string message);
    // The audio file could not be opened or read; `underlying` says why.
    static ASRError fileError(std::string underlying);
    static ASRError invalidResponse();

    Case kind() const { return m_case; }
    // submitFailed only.
    int statusCode() const { return m_statusCode; }
    // The body (submitFailed), the message (jobFailed) or the underlying text (fileError).
    const std::string& text() const { return m_text; }
    // submitFailed with a status of 400..499: the request itself is refused, sending it again
    // cannot help.
    bool isClientError() const { return m_case == Case::submitFailed && m_statusCode >= 400 && m_statusCode <= 499; }
    std::string description() const;

    bool operator==(const ASRError&) const = default;

private:
    ASRError(Case kind, int statusCode, std::string text);

    Case m_case = Case::invalidResponse;
    int m_statusCode = 0;
    std::string m_text;
};

} // namespace palaverly
