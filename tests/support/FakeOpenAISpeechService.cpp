#include "FakeOpenAISpeechService.h"

namespace palaverly::test {

namespace {

constexpr const char* kPath = "/v1/audio/transcriptions";

// The form with its file part "file" set apart; nothing when there is none.
std::optional<FakeOpenAISpeechService::Upload> readUpload(const RecordedRequest& request)
{
    auto form = readForm(request);
    if (!form)
        return std::nullopt;
    FakeOpenAISpeechService::Upload upload;
    upload.boundary = form->boundary;
    bool haveFile = false;
    for (FormPart& part : form->parts) {
        if (part.name == "file" && part.filename) {
            haveFile = true;
            upload.filename = *part.filename;
            upload.fileContentType = part.contentType;
            upload.audio = std::move(part.content);
        } else {
            upload.fields[part.name] = std::move(part.content);
        }
    }
    if (!haveFile)
        return std::nullopt;
    return upload;
}

FakeAnswer apiError(int status, const std::string& message)
{
    return FakeAnswer::json(status, {{"error", {{"message", message}, {"code", status}}}});
}

} // namespace

FakeOpenAISpeechService::FakeOpenAISpeechService(std::string apiKey)
    : m_apiKey(std::move(apiKey))
    , m_segments({{0.0, 2.5, "Добрый день, начнём."}, {2.5, 5.0, "Сегодня обсудим бюджет."}})
    , m_duration(5.25)
    , m_server({[this](const RecordedRequest& request) { return respond(request); }, {}})
{
}

void FakeOpenAISpeechService::scriptAnswers(std::vector<FakeAnswer> answers)
{
    std::lock_guard lock(m_mutex);
    m_script.insert(m_script.end(), answers.begin(), answers.end());
}

void FakeOpenAISpeechService::setSegments(std::vector<Segment> segments, double duration)
{
    std::lock_guard lock(m_mutex);
    m_segments = std::move(segments);
    m_duration = duration;
}

FakeAnswer FakeOpenAISpeechService::verboseJson(const std::vector<Segment>& segments, double duration)
{
    nlohmann::json list = nlohmann::json::array();
    std::string text;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        // As the services send them: a leading space, tokens and scores beside the text.
        list.push_back({{"id", i}, {"seek", 0}, {"start", segments[i].start}, {"end", segments[i].end},
            {"text", " " + segments[i].text}, {"tokens", {50365, 1234}}, {"temperature", 0.0}, {"avg_logprob", -0.2},
            {"compression_ratio", 1.1}, {"no_speech_prob", 0.01}});
        text += " " + segments[i].text;
    }
    return FakeAnswer::json(200,
        {{"task", "transcribe"}, {"language", "russian"}, {"duration", duration}, {"text", text}, {"segments", list}});
}

std::vector<FakeOpenAISpeechService::Upload> FakeOpenAISpeechService::uploads() const
{
    std::lock_guard lock(m_mutex);
    return m_uploads;
}

FakeAnswer FakeOpenAISpeechService::respond(const RecordedRequest& request)
{
    if (request.target != kPath)
        return apiError(404, "Not Found");
    if (!m_apiKey.empty() && request.header("Authorization") != "Bearer " + m_apiKey)
        return apiError(401, "Incorrect API key provided");
    auto upload = readUpload(request);
    if (!upload)
        return apiError(400, "Could not parse multipart form");

    std::lock_guard lock(m_mutex);
    m_uploads.push_back(std::move(*upload));
    if (!m_script.empty()) {
        FakeAnswer answer = m_script.front();
        m_script.pop_front();
        return answer;
    }
    return verboseJson(m_segments, m_duration);
}

} // namespace palaverly::test
