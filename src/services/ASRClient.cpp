#include "services/ASRClient.h"

#include "common/BuildConfig.h"
#include "common/Log.h"
#include "common/Uuid.h"
#include "services/HttpTransfer.h"
#include "services/ServiceAnswers.h"
#include "services/UploadAttempts.h"

#include <QLoggingCategory>
#include <optional>

Q_LOGGING_CATEGORY(lcASRClient, "ASRClient")

namespace palaverly {

namespace {

using Failure = ASRClient::Failure;

void logError(const std::string& line)
{
    log::error(lcASRClient(), QString::fromStdString(line));
}

// The one part of the upload, up to the audio bytes.
std::string partHeader(const std::string& boundary, const std::filesystem::path& audioFile)
{
    return "--" + boundary + "\r\n" + "Content-Disposition: form-data; name=\"audio\"; filename=\""
        + audioFile.filename().string() + "\"\r\n" + "Content-Type: audio/wav\r\n" + "\r\n";
}

std::string closingDelimiter(const std::string& boundary)
{
    return "\r\n--" + boundary + "--\r\n";
}

} // namespace

ASRClient::ASRClient()
    : ASRClient(build::kAsrBaseUrl, std::make_shared<SteadySleeper>())
{
}

ASRClient::ASRClient(std::string baseUrl, std::shared_ptr<Sleeper> sleeper)
    : ASRClient(std::move(baseUrl), std::move(sleeper), Timeouts{})
{
}

ASRClient::ASRClient(std::string baseUrl, std::shared_ptr<Sleeper> sleeper, Timeouts timeouts)
    : ASRClient(std::move(baseUrl), std::move(sleeper), timeouts, {})
{
}

ASRClient::ASRClient(std::string baseUrl, std::shared_ptr<Sleeper> sleeper, Timeouts timeouts, std::string apiKey)
    : m_baseUrl(std::move(baseUrl))
    , m_apiKey(std::move(apiKey))
    , m_sleeper(std::move(sleeper))
    , m_timeouts(timeouts)
{
    if (!m_sleeper)
        m_sleeper = std::make_shared<SteadySleeper>();
    if (!m_baseUrl.empty() && m_baseUrl.back() == '/')
        m_baseUrl.pop_back();
}

ASRClient& ASRClient::shared()
{
    // Deliberately never destroyed: jobs may still hold it while the program exits.
    static ASRClient* const client = new ASRClient();
    return *client;
}

ASRClient::Result<std::string> ASRClient::submitJob(
    const std::filesystem::path& audioFile, std::string_view endpoint, std::stop_token stop) const
{
    const std::string url = m_baseUrl + std::string(endpoint);
    return withUploadAttempts<std::string>(
        [&] { return submitOnce(audioFile, url, stop); }, *m_sleeper, lcASRClient(), stop);
}

ASRClient::Result<std::string> ASRClient::submitOnce(
    const std::filesystem::path& audioFile, const std::string& url, std::stop_token stop) const
{
    const std::string boundary = "Boundary-" + Uuid::generate().toString();
    http::Request request;
    request.method = "POST";
    request.url = url;
    request.headers = headers();
    request.headers.push_back("Content-Type: multipart/form-data; boundary=" + boundary);
    request.body = {http::BodyPart::text(partHeader(boundary, audioFile)), http::BodyPart::fileContent(audioFile),
        http::BodyPart::text(closingDelimiter(boundary))};
    request.idleTimeout = m_timeouts.uploadIdle;
    request.totalTimeout = m_timeouts.resource;

    auto answer = http::perform(request, stop);
    if (!answer)
        return unexpected(transcriptionFailure(std::move(answer.error())));
    const long status = answer->status;
    if (status >= 200 && status <= 299) {
        auto jobId = decodeJobId(answer->body);
        if (!jobId)
            return unexpected(std::move(jobId.error()));
        return std::move(*jobId);
    }
    if (status < 100)
        return unexpected(ASRError::invalidResponse());
    return unexpected(ASRError::submitFailed(static_cast<int>(status), http::utf8OrEmpty(answer->body)));
}

ASRClient::Result<Transcript> ASRClient::pollJob(const std::string& jobId, std::stop_token stop) const
{
    http::Request request;
    request.url = m_baseUrl + "/api/jobs/" + jobId;
    request.headers = headers();
    request.idleTimeout = m_timeouts.requestIdle;
    request.totalTimeout = m_timeouts.resource;

    for (;;) {
        if (!m_sleeper->wait(kPollInterval, stop))
            return unexpected(Cancelled{});

        auto answer = http::perform(request, stop);
        if (!answer) {
            Failure failure = transcriptionFailure(std::move(answer.error()));
            // Our own errors (an answer past the size bound) end the job; the network gets
            // another chance.
            if (failure.isCancelled() || failure.serviceError())
                return unexpected(std::move(failure));
            logError("Poll error, retrying: " + failure.description());
            continue;
        }
        if (answer->status != 200) {
            logError("Poll non-200");
            continue;
        }
        auto job = decodeJobStatus(answer->body);
        if (!job) {
            logError("Poll error, retrying: " + job.error().description());
            continue;
        }

        if (job->status == "pending" || job->status == "processing")
            continue;
        if (job->status == "completed") {
            if (!job->result)
                return unexpected(ASRError::invalidResponse());
            return std::move(*job->result);
        }
        if (job->status == "failed")
            return unexpected(ASRError::jobFailed(job->error.value_or("unknown")));
        return unexpected(ASRError::invalidResponse());
    }
}

std::vector<std::string> ASRClient::headers() const
{
    if (m_apiKey.empty())
        return {};
    return {"Authorization: Bearer " + m_apiKey};
}

Transcriber::Result ASRClient::run(const std::filesystem::path& audioFile, std::string_view endpoint,
    std::stop_token stop, const Uploaded& uploaded) const
{
    auto jobId = submitJob(audioFile, endpoint, stop);
    if (!jobId)
        return unexpected(std::move(jobId.error()));
    if (uploaded)
        uploaded(*jobId);
    else
        log::info(
            lcASRClient(), QString::fromStdString("ASR job submitted: " + *jobId + " (" + std::string(endpoint) + ")"));
    return pollJob(*jobId, stop);
}

} // namespace palaverly
