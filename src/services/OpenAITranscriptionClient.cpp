#include "services/OpenAITranscriptionClient.h"

#include "common/Uuid.h"
#include "services/HttpTransfer.h"
#include "services/ServiceAnswers.h"
#include "services/ServiceConfig.h"
#include "services/UploadAttempts.h"

#include <QLoggingCategory>
#include <atomic>

Q_LOGGING_CATEGORY(lcOpenAITranscriptionClient, "OpenAITranscriptionClient")

namespace palaverly {

namespace {

std::string field(const std::string& boundary, const std::string& name, const std::string& value)
{
    return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
}

} // namespace

OpenAITranscriptionClient::OpenAITranscriptionClient(Service service, std::shared_ptr<Sleeper> sleeper)
    : OpenAITranscriptionClient(std::move(service), std::move(sleeper), Timeouts{})
{
}

OpenAITranscriptionClient::OpenAITranscriptionClient(
    Service service, std::shared_ptr<Sleeper> sleeper, Timeouts timeouts)
    : m_service(std::move(service))
    , m_endpointUrl(openAIEndpoint(m_service.address, kPath))
    , m_sleeper(std::move(sleeper))
    , m_timeouts(timeouts)
{
    if (!m_sleeper)
        m_sleeper = std::make_shared<SteadySleeper>();
    if (m_service.model.empty())
        m_service.model = kDefaultModel;
}

Transcriber::Result OpenAITranscriptionClient::run(
    const std::filesystem::path& audioFile, std::string_view, std::stop_token stop, const Uploaded& uploaded) const
{
    // The service works on the audio from the moment the first complete upload is in.
    std::atomic_bool told = false;
    const std::function<void()> sent = [&] {
        if (uploaded && !told.exchange(true))
            uploaded({});
    };
    return withUploadAttempts<Transcript>(
        [&] { return attempt(audioFile, stop, sent); }, *m_sleeper, lcOpenAITranscriptionClient(), stop);
}

Transcriber::Result OpenAITranscriptionClient::attempt(
    const std::filesystem::path& audioFile, std::stop_token stop, const std::function<void()>& sent) const
{
    const std::string boundary = "Boundary-" + Uuid::generate().toString();
    std::string fields = "\r\n" + field(boundary, "model", m_service.model)
        + field(boundary, "response_format", "verbose_json") + field(boundary, "timestamp_granularities[]", "segment");
    if (!m_service.language.empty())
        fields += field(boundary, "language", m_service.language);
    fields += "--" + boundary + "--\r\n";

    http::Request request;
    request.method = "POST";
    request.url = m_endpointUrl;
    if (!m_service.apiKey.empty())
        request.headers.push_back("Authorization: Bearer " + m_service.apiKey);
    request.headers.push_back("Content-Type: multipart/form-data; boundary=" + boundary);
    request.body
        = {http::BodyPart::text("--" + boundary + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\""
               + audioFile.filename().string() + "\"\r\nContent-Type: audio/wav\r\n\r\n"),
            http::BodyPart::fileContent(audioFile), http::BodyPart::text(std::move(fields))};
    request.idleTimeout = m_timeouts.uploadIdle;
    request.answerIdleTimeout = m_timeouts.answerIdle;
    request.totalTimeout = m_timeouts.resource;
    request.bodySent = sent;

    auto answer = http::perform(request, stop);
    if (!answer)
        return unexpected(transcriptionFailure(std::move(answer.error())));
    const long status = answer->status;
    if (status < 100)
        return unexpected(ASRError::invalidResponse());
    if (status < 200 || status > 299)
        return unexpected(ASRError::submitFailed(static_cast<int>(status), http::utf8OrEmpty(answer->body)));
    auto transcript = decodeAnswer(answer->body);
    if (!transcript)
        return unexpected(std::move(transcript.error()));
    if (!m_service.segments) {
        transcript->segments.reset();
        transcript->numSpeakers.reset();
    }
    return std::move(*transcript);
}

Expected<Transcript, ASRError> OpenAITranscriptionClient::decodeAnswer(const std::string& body)
{
    auto transcript = decodeTranscriptionAnswer(body, kSpeaker);
    if (!transcript)
        return unexpected(ASRError::invalidResponse());
    return std::move(*transcript);
}

} // namespace palaverly
