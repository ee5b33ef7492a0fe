#include "FakeOpenAISpeechService.h"

namespace palaverly::test {

namespace {

constexpr const char* kPath = "/v1/audio/transcriptions";

std::optional<std::string> quoted(const std::string& line, const std::string& name)
{
    const std::size_t start = line.find("; " + name + "=\"");
    if (start == std::string::npos)
        return std::nullopt;
    const std::size_t from = start + name.size() + 4;
    const std::size_t end = line.find('"', from);
    return end == std::string::npos ? std::nullopt : std::optional(line.substr(from, end - from));
}

// Every part of a multipart/form-data body; nothing when the body is not one with a file part.
std::optional<FakeOpenAISpeechService::Upload> readForm(const RecordedRequest& request)
{
    const std::string contentType = request.header("Content-Type").value_or("");
    const std::string prefix = "multipart/form-data; boundary=";
    if (!contentType.starts_with(prefix) || contentType.size() == prefix.size())
        return std::nullopt;
    FakeOpenAISpeechService::Upload upload;
    upload.boundary = contentType.substr(prefix.size());
    const std::string& body = request.body;
    const std::string delimiter = "--" + upload.boundary;
    if (!body.starts_with(delimiter + "\r\n") || !body.ends_with("\r\n" + delimiter + "--\r\n"))
        return std::nullopt;

    bool haveFile = false;
    std::size_t at = delimiter.size() + 2;
    while (at < body.size()) {
        const std::size_t headersEnd = body.find("\r\n\r\n", at);
        const std::size_t next = body.find("\r\n" + delimiter, at);
        if (headersEnd == std::string::npos || next == std::string::npos || headersEnd > next)
            return std::nullopt;
        std::string name;
        std::optional<std::string> filename;
        std::string partType;
        for (std::size_t line = at; line < headersEnd + 2;) {
            const std::size_t lineEnd = body.find("\r\n", line);
            const std::string text = body.substr(line, lineEnd - line);
            if (text.starts_with("Content-Disposition: form-data;")) {
                name = quoted(text, "name").value_or("");
                filename = quoted(text, "filename");
            } else if (text.starts_with("Content-Type: ")) {
                partType = text.substr(14);
            }
            line = lineEnd + 2;
        }
        std::string content = body.substr(headersEnd + 4, next - headersEnd - 4);
        if (filename && name == "file") {
            haveFile = true;
            upload.filename = *filename;
            upload.fileContentType = partType;
            upload.audio = std::move(content);
        } else {
            upload.fields[name] = std::move(content);
        }
        at = next + 2 + delimiter.size();
        if (body.compare(at, 2, "--") == 0)
            break;
        at += 2;
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
    auto upload = readForm(request);
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
