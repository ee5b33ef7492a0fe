#include "FakeSpeechService.h"

namespace palaverly::test {

namespace {

constexpr std::string_view kJobsPrefix = "/api/jobs/";

bool isUploadEndpoint(const std::string& target)
{
    return target == "/api/diarize/async" || target == "/api/transcribe/async";
}

// A multipart/form-data body with exactly one file part named "audio"; nothing otherwise.
std::optional<FakeSpeechService::Upload> readUpload(const RecordedRequest& request)
{
    auto form = readForm(request);
    if (!form || form->parts.size() != 1 || form->parts[0].name != "audio" || !form->parts[0].filename)
        return std::nullopt;
    FormPart& part = form->parts[0];
    return FakeSpeechService::Upload{
        request.target, form->boundary, part.name, *part.filename, part.contentType, std::move(part.content)};
}

FakeAnswer problem(int status, const std::string& detail)
{
    return FakeAnswer::json(status, {{"detail", detail}});
}

} // namespace

FakeSpeechService::FakeSpeechService()
    : m_transcript(sampleTranscript())
    , m_server({[this](const RecordedRequest& request) { return respond(request); },
          [this](const RecordedRequest& request) { return respondBeforeBody(request); }})
{
}

void FakeSpeechService::scriptUploads(std::vector<FakeAnswer> answers)
{
    std::lock_guard lock(m_mutex);
    m_uploadScript.insert(m_uploadScript.end(), answers.begin(), answers.end());
}

void FakeSpeechService::scriptPolls(std::vector<FakeAnswer> answers)
{
    std::lock_guard lock(m_mutex);
    m_pollScript.insert(m_pollScript.end(), answers.begin(), answers.end());
}

void FakeSpeechService::setTranscript(nlohmann::json result)
{
    std::lock_guard lock(m_mutex);
    m_transcript = std::move(result);
}

void FakeSpeechService::setPollsBeforeCompletion(int polls)
{
    std::lock_guard lock(m_mutex);
    m_pollsBeforeCompletion = polls;
}

FakeAnswer FakeSpeechService::accepted(const std::string& jobId)
{
    return FakeAnswer::json(200, {{"job_id", jobId}});
}

FakeAnswer FakeSpeechService::jobStatus(const std::string& status)
{
    return FakeAnswer::json(200, {{"status", status}, {"result", nullptr}, {"error", nullptr}});
}

FakeAnswer FakeSpeechService::jobCompleted(const nlohmann::json& result)
{
    return FakeAnswer::json(200, {{"status", "completed"}, {"result", result}, {"error", nullptr}});
}

FakeAnswer FakeSpeechService::jobFailed(const std::optional<std::string>& error)
{
    nlohmann::json body = {{"status", "failed"}, {"result", nullptr}};
    if (error)
        body["error"] = *error;
    return FakeAnswer::json(200, body);
}

nlohmann::json FakeSpeechService::sampleTranscript()
{
    return {
        {"text", "Добрый день. Начнём. Да, давайте."},
        {"segments",
            {
                {{"speaker", "SPEAKER_00"}, {"text", "Добрый день."}, {"start", 0.0}, {"end", 1.5}},
                {{"speaker", "SPEAKER_00"}, {"text", "Начнём."}, {"start", 1.5}, {"end", 2.25}},
                {{"speaker", "SPEAKER_01"}, {"text", "Да, давайте."}, {"start", 2.5}, {"end", 4.0}},
            }},
        {"num_speakers", 2},
        {"duration_sec", 4.0},
        {"processing_time_sec", 0.5},
        {"rtf", 0.125},
    };
}

std::vector<FakeSpeechService::Upload> FakeSpeechService::uploads() const
{
    std::lock_guard lock(m_mutex);
    return m_uploads;
}

std::vector<RecordedRequest> FakeSpeechService::uploadRequests() const
{
    std::vector<RecordedRequest> out;
    for (auto& request : m_server.requests())
        if (isUploadEndpoint(request.target))
            out.push_back(std::move(request));
    return out;
}

std::vector<RecordedRequest> FakeSpeechService::pollRequests() const
{
    std::vector<RecordedRequest> out;
    for (auto& request : m_server.requests())
        if (request.target.starts_with(kJobsPrefix))
            out.push_back(std::move(request));
    return out;
}

std::optional<FakeAnswer> FakeSpeechService::respondBeforeBody(const RecordedRequest& request)
{
    std::lock_guard lock(m_mutex);
    std::deque<FakeAnswer>* script = nullptr;
    if (request.method == "POST" && isUploadEndpoint(request.target))
        script = &m_uploadScript;
    else if (request.method == "GET" && request.target.starts_with(kJobsPrefix))
        script = &m_pollScript;
    if (!script || script->empty())
        return std::nullopt;
    const auto kind = script->front().kind;
    if (kind != FakeAnswer::Kind::stallWhileReceiving && kind != FakeAnswer::Kind::reset)
        return std::nullopt;
    FakeAnswer answer = script->front();
    script->pop_front();
    return answer;
}

FakeAnswer FakeSpeechService::respond(const RecordedRequest& request)
{
    if (isUploadEndpoint(request.target)) {
        if (request.method != "POST")
            return problem(405, "Method Not Allowed");
        return answerUpload(request);
    }
    if (request.target.starts_with(kJobsPrefix)) {
        if (request.method != "GET")
            return problem(405, "Method Not Allowed");
        return answerPoll(request.target.substr(kJobsPrefix.size()));
    }
    return problem(404, "Not Found");
}

FakeAnswer FakeSpeechService::answerUpload(const RecordedRequest& request)
{
    auto upload = readUpload(request);
    if (!upload)
        return problem(400, "expected multipart/form-data with a file field \"audio\"");
    std::lock_guard lock(m_mutex);
    m_uploads.push_back(std::move(*upload));
    if (!m_uploadScript.empty()) {
        FakeAnswer answer = m_uploadScript.front();
        m_uploadScript.pop_front();
        registerJobIn(answer);
        return answer;
    }
    const std::string jobId = "job-" + std::to_string(m_nextJob++);
    m_pollsByJob[jobId] = 0;
    return accepted(jobId);
}

void FakeSpeechService::registerJobIn(const FakeAnswer& answer)
{
    if (answer.kind != FakeAnswer::Kind::reply || answer.status < 200 || answer.status > 299)
        return;
    const auto body = nlohmann::json::parse(answer.body, nullptr, false);
    if (body.is_object() && body.contains("job_id") && body["job_id"].is_string())
        m_pollsByJob.emplace(body["job_id"].get<std::string>(), 0);
}

FakeAnswer FakeSpeechService::answerPoll(const std::string& jobId)
{
    std::lock_guard lock(m_mutex);
    if (!m_pollScript.empty()) {
        FakeAnswer answer = m_pollScript.front();
        m_pollScript.pop_front();
        return answer;
    }
    const auto job = m_pollsByJob.find(jobId);
    if (job == m_pollsByJob.end())
        return problem(404, "Job not found");
    if (job->second++ < m_pollsBeforeCompletion)
        return jobStatus("processing");
    return jobCompleted(m_transcript);
}

} // namespace palaverly::test
