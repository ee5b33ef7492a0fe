#include "services/OpenAITranscriptionClient.h"

#include "FakeOpenAISpeechService.h"
#include "LogCapture.h"
#include "RecordingSleeper.h"
#include "UploadBytes.h"
#include "common/Uuid.h"

#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>

using namespace palaverly;
using namespace palaverly::test;
using namespace std::chrono_literals;

namespace {

constexpr const char* kKey = "sk-local-0123456789";

class OpenAITranscriptionClientTest : public ::testing::Test {
protected:
    std::filesystem::path writeAudio(const std::string& bytes)
    {
        const auto path = std::filesystem::path(m_dir.path().toStdString()) / "audio.wav";
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    OpenAITranscriptionClient client(std::string language = {}, std::string key = kKey)
    {
        return OpenAITranscriptionClient(
            {service.baseUrl(), "whisper-large-v3", std::move(language), std::move(key)}, sleeper);
    }

    QTemporaryDir m_dir;
    FakeOpenAISpeechService service{kKey};
    std::shared_ptr<RecordingSleeper> sleeper = std::make_shared<RecordingSleeper>();
    LogCapture log;
};

} // namespace

TEST_F(OpenAITranscriptionClientTest, StreamsTheFormByteForByteAndMapsTheAnswer)
{
    const std::string audio = uploadBytes(3 * 1024 * 1024 + 17);
    const auto file = writeAudio(audio);
    int uploadedCalls = 0;
    std::string jobId = "unset";
    auto transcript = client("ru").transcribe(file, "/api/diarize/async", {}, [&](const std::string& id) {
        ++uploadedCalls;
        jobId = id;
    });
    ASSERT_TRUE(transcript) << transcript.error().description();

    const RecordedRequest request = service.requests().at(0);
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/v1/audio/transcriptions");
    EXPECT_EQ(request.header("Authorization"), std::string("Bearer ") + kKey);
    const std::string contentType = request.header("Content-Type").value_or("");
    const std::string prefix = "multipart/form-data; boundary=Boundary-";
    ASSERT_TRUE(contentType.starts_with(prefix)) << contentType;
    const std::string boundary = contentType.substr(prefix.size() - 9);
    ASSERT_TRUE(Uuid::parse(boundary.substr(9))) << boundary;
    const auto field = [&](const std::string& name, const std::string& value) {
        return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
    };
    const std::string expected = "--" + boundary + "\r\n"
        + "Content-Disposition: form-data; name=\"file\"; filename=\"audio.wav\"\r\n" + "Content-Type: audio/wav\r\n"
        + "\r\n" + audio + "\r\n" + field("model", "whisper-large-v3") + field("response_format", "verbose_json")
        + field("timestamp_granularities[]", "segment") + field("language", "ru") + "--" + boundary + "--\r\n";
    EXPECT_EQ(request.body.size(), expected.size());
    EXPECT_TRUE(request.body == expected);
    EXPECT_EQ(request.header("Content-Length"), std::to_string(expected.size()));

    // One speaker for every segment, texts without the protocol's leading space, the duration of
    // the answer; the service's work began once the upload was in, and it has no job id.
    EXPECT_EQ(transcript->segments,
        (std::vector<TranscriptSegment>{
            {"SPEAKER_00", "Добрый день, начнём.", 0.0, 2.5}, {"SPEAKER_00", "Сегодня обсудим бюджет.", 2.5, 5.0}}));
    EXPECT_EQ(transcript->numSpeakers, 1);
    EXPECT_DOUBLE_EQ(transcript->durationSec, 5.25);
    EXPECT_EQ(transcript->text, " Добрый день, начнём. Сегодня обсудим бюджет.");
    EXPECT_EQ(uploadedCalls, 1);
    EXPECT_EQ(jobId, "");

    // Without a language and a key: neither the field nor the header.
    FakeOpenAISpeechService open;
    const auto plain
        = OpenAITranscriptionClient({open.baseUrl() + "/v1/", "", "", ""}, sleeper).transcribe(file, "", {});
    ASSERT_TRUE(plain) << plain.error().description();
    EXPECT_EQ(open.requests().at(0).header("Authorization"), std::nullopt);
    EXPECT_EQ(open.uploads().at(0).fields,
        (std::map<std::string, std::string>{
            {"model", "whisper-1"}, {"response_format", "verbose_json"}, {"timestamp_granularities[]", "segment"}}));
    EXPECT_TRUE(sleeper->delays().empty());
}

TEST_F(OpenAITranscriptionClientTest, RetriesServerErrorsButNeitherClientErrorsNorGarbage)
{
    const auto file = writeAudio(uploadBytes(2000));

    // A refused key is not sent again.
    auto refused = client({}, "sk-wrong").transcribe(file, "", {});
    ASSERT_FALSE(refused);
    EXPECT_TRUE(refused.error().description().starts_with("Не удалось отправить на расшифровку: HTTP 401 — "))
        << refused.error().description();
    EXPECT_EQ(service.requests().size(), 1u);
    EXPECT_TRUE(sleeper->delays().empty());

    // A failing service gets four attempts, 2, 4 and 8 seconds apart, each retry logged.
    service.scriptAnswers(std::vector<FakeAnswer>(3, FakeAnswer::reply(503, "перегружен", "text/plain")));
    auto recovered = client().transcribe(file, "", {});
    ASSERT_TRUE(recovered) << recovered.error().description();
    EXPECT_EQ(service.requests().size(), 5u);
    EXPECT_EQ(sleeper->delays(), (std::vector<std::chrono::milliseconds>{2s, 4s, 8s}));
    EXPECT_EQ(log.errors("OpenAITranscriptionClient"),
        (std::vector<QString>{
            "Submit attempt 1 failed, retrying in 2s: Не удалось отправить на расшифровку: HTTP 503 — перегружен",
            "Submit attempt 2 failed, retrying in 4s: Не удалось отправить на расшифровку: HTTP 503 — перегружен",
            "Submit attempt 3 failed, retrying in 8s: Не удалось отправить на расшифровку: HTTP 503 — перегружен"}));

    // An answer that is no transcript ends as the service's invalid answer, said in plain words.
    for (const auto& garbage : {FakeAnswer::reply(200, "<html>Bad gateway</html>", "text/html"),
             FakeAnswer::json(200, {{"segments", {{{"start", 0}, {"end", 1}}}}, {"text", "x"}})}) {
        service.scriptAnswers(std::vector<FakeAnswer>(4, garbage));
        auto failed = client().transcribe(file, "", {});
        ASSERT_FALSE(failed);
        EXPECT_EQ(failed.error().description(), "Сервер расшифровки вернул некорректный ответ");
    }

    // A stop ends it at once, as a cancellation.
    std::stop_source stop;
    stop.request_stop();
    auto cancelled = client().transcribe(file, "", stop.get_token());
    ASSERT_FALSE(cancelled);
    EXPECT_TRUE(cancelled.error().isCancelled());
}
