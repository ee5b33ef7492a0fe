#include "services/ASRClient.h"

#include "FakeSpeechService.h"
#include "LogCapture.h"
#include "RecordingSleeper.h"
#include "StopWhen.h"
#include "UploadBytes.h"
#include "common/Uuid.h"

#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>

using namespace palaverly;
using namespace palaverly::test;
using namespace std::chrono_literals;
using ASRError = ASRClient::ASRError;

namespace {

constexpr const char* kDiarize = "/api/diarize/async";
constexpr const char* kTranscribe = "/api/transcribe/async";

class ASRClientTest : public ::testing::Test {
protected:
    std::filesystem::path writeAudio(const std::string& bytes, const std::string& name = "audio.wav")
    {
        const auto path = std::filesystem::path(m_dir.path().toStdString()) / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    ASRClient makeClient(ASRClient::Timeouts timeouts = {}) { return ASRClient(service.baseUrl(), sleeper, timeouts); }
    std::vector<QString> errors() const { return log.errors("ASRClient"); }

    QTemporaryDir m_dir;
    FakeSpeechService service;
    std::shared_ptr<RecordingSleeper> sleeper = std::make_shared<RecordingSleeper>();
    LogCapture log;
};

ASRError asrError(const ASRClient::Failure& failure)
{
    const auto* error = failure.serviceError();
    return error ? *error : ASRError::jobFailed("<not an ASRError: " + failure.description() + ">");
}

} // namespace

TEST_F(ASRClientTest, UploadsOneMultipartPartByteForByte)
{
    const std::string audio = uploadBytes(2 * 1024 * 1024 + 4099);
    const auto file = writeAudio(audio);
    const auto jobId = makeClient().submitJob(file, kDiarize, {});
    ASSERT_TRUE(jobId) << jobId.error().description();
    EXPECT_EQ(*jobId, "job-1");

    const auto request = service.uploadRequests().at(0);
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, kDiarize);
    EXPECT_EQ(request.headerNames(), (std::vector<std::string>{"content-length", "content-type", "host"}));
    // "Boundary-" and a fresh UUID in its canonical upper-case form.
    const std::string contentType = request.header("Content-Type").value_or("");
    const std::string prefix = "multipart/form-data; boundary=";
    ASSERT_TRUE(contentType.starts_with(prefix + "Boundary-")) << contentType;
    const std::string boundary = contentType.substr(prefix.size());
    const auto uuid = Uuid::parse(boundary.substr(9));
    ASSERT_TRUE(uuid) << boundary;
    EXPECT_EQ("Boundary-" + uuid->toString(), boundary);
    const std::string expected = "--" + boundary + "\r\n"
        + "Content-Disposition: form-data; name=\"audio\"; filename=\"audio.wav\"\r\n" + "Content-Type: audio/wav\r\n"
        + "\r\n" + audio + "\r\n--" + boundary + "--\r\n";
    EXPECT_EQ(request.body.size(), expected.size());
    EXPECT_TRUE(request.body == expected);
    EXPECT_EQ(request.header("Content-Length"), std::to_string(expected.size()));
    EXPECT_TRUE(sleeper->delays().empty());

    // The service read the same form, and the file name is the last path component.
    const auto other = writeAudio("tiny", "заметка 1.wav");
    ASSERT_TRUE(makeClient().submitJob(other, kTranscribe, {}));
    const auto uploads = service.uploads();
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_EQ(uploads[0].filename, "audio.wav");
    EXPECT_EQ(uploads[0].contentType, "audio/wav");
    EXPECT_TRUE(uploads[0].audio == audio);
    EXPECT_EQ(uploads[1].endpoint, kTranscribe);
    EXPECT_EQ(uploads[1].filename, "заметка 1.wav");
    EXPECT_NE(uploads[0].boundary, uploads[1].boundary);
}

TEST_F(ASRClientTest, UploadRetriesWithBackoffButNotOnClientErrors)
{
    const auto file = writeAudio(uploadBytes(1000));
    const auto client = makeClient();

    service.scriptUploads({FakeAnswer::reply(413, "Слишком большой файл", "text/plain")});
    auto outcome = client.submitJob(file, kDiarize, {});
    ASSERT_FALSE(outcome);
    EXPECT_EQ(asrError(outcome.error()), ASRError::submitFailed(413, "Слишком большой файл"));
    EXPECT_EQ(outcome.error().description(), "Не удалось отправить на расшифровку: HTTP 413 — Слишком большой файл");
    EXPECT_EQ(service.uploadRequests().size(), 1u);
    EXPECT_TRUE(sleeper->delays().empty());
    EXPECT_TRUE(errors().empty());

    service.scriptUploads(std::vector<FakeAnswer>(4, FakeAnswer::reply(503, "busy", "text/plain")));
    outcome = client.submitJob(file, kDiarize, {});
    ASSERT_FALSE(outcome);
    EXPECT_EQ(asrError(outcome.error()), ASRError::submitFailed(503, "busy"));
    EXPECT_EQ(service.uploadRequests().size(), 5u);
    EXPECT_EQ(sleeper->delaySeconds(), (std::vector<long>{2, 4, 8}));
    EXPECT_EQ(errors(),
        (std::vector<QString>{
            "Submit attempt 1 failed, retrying in 2s: Не удалось отправить на расшифровку: HTTP 503 — busy",
            "Submit attempt 2 failed, retrying in 4s: Не удалось отправить на расшифровку: HTTP 503 — busy",
            "Submit attempt 3 failed, retrying in 8s: Не удалось отправить на расшифровку: HTTP 503 — busy"}));
}

TEST_F(ASRClientTest, UndecodableAndBrokenUploadAnswersAreRetriedLikeTransportErrors)
{
    const auto file = writeAudio(uploadBytes(1000));
    const auto client = makeClient();

    service.scriptUploads({FakeAnswer::json(200, {{"id", "x"}}), FakeAnswer::reset(),
        FakeAnswer::reply(500, "\xff\xfe broken", "text/plain")});
    auto outcome = client.submitJob(file, kDiarize, {});
    ASSERT_TRUE(outcome) << outcome.error().description();
    EXPECT_EQ(*outcome, "job-1");
    EXPECT_EQ(sleeper->delaySeconds(), (std::vector<long>{2, 4, 8}));
    EXPECT_EQ(errors(),
        (std::vector<QString>{
            "Submit attempt 1 failed, retrying in 2s: Не удалось прочитать данные, так как они отсутствуют.",
            "Submit attempt 2 failed, retrying in 4s: Сетевое соединение было потеряно.",
            "Submit attempt 3 failed, retrying in 8s: Не удалось отправить на расшифровку: HTTP 500 — "}));

    // After the last attempt its own failure comes back as it was.
    service.scriptUploads(std::vector<FakeAnswer>(4, FakeAnswer::reply(200, "{\"job_id\": 7}")));
    outcome = client.submitJob(file, kDiarize, {});
    ASSERT_FALSE(outcome);
    ASSERT_TRUE(outcome.error().decodingError());
    EXPECT_EQ(outcome.error().decodingError()->kind, DecodingError::Kind::invalidFormat);

    // Answers far beyond any job id are cut off and count as invalid.
    service.scriptUploads(std::vector<FakeAnswer>(4, FakeAnswer::generated(500, 100 * 1024 * 1024)));
    outcome = client.submitJob(file, kDiarize, {});
    ASSERT_FALSE(outcome);
    EXPECT_EQ(asrError(outcome.error()), ASRError::invalidResponse());
    EXPECT_EQ(service.uploadRequests().size(), 4u + 4u + 4u);
}

TEST_F(ASRClientTest, UnreadableAudioIsAFileErrorAndNothingIsSent)
{
    const auto outcome
        = makeClient().submitJob(std::filesystem::path(m_dir.path().toStdString()) / "missing.wav", kDiarize, {});
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().description(),
        "Ошибка файла: Не удалось открыть файл «missing.wav»: No such file or directory");
    EXPECT_EQ(sleeper->delaySeconds(), (std::vector<long>{2, 4, 8}));
    EXPECT_TRUE(service.requests().empty());
}

TEST_F(ASRClientTest, JobStatusDecidesWhetherToPollAgain)
{
    const auto transcript = Transcript::fromJson(FakeSpeechService::sampleTranscript().dump());
    ASSERT_TRUE(transcript);
    nlohmann::json nullResult = {{"status", "completed"}, {"result", nullptr}};
    struct Case {
        std::vector<FakeAnswer> answers;
        std::optional<ASRError> error;
    };
    const std::vector<Case> cases = {
        {{FakeSpeechService::jobStatus("pending"), FakeSpeechService::jobStatus("processing"),
             FakeSpeechService::jobCompleted(FakeSpeechService::sampleTranscript())},
            std::nullopt},
        {{FakeAnswer::json(200, nullResult)}, ASRError::invalidResponse()},
        {{FakeAnswer::json(200, {{"status", "completed"}})}, ASRError::invalidResponse()},
        {{FakeSpeechService::jobFailed(std::nullopt)}, ASRError::jobFailed("unknown")},
        {{FakeSpeechService::jobFailed("GPU out of memory")}, ASRError::jobFailed("GPU out of memory")},
        {{FakeSpeechService::jobStatus("done")}, ASRError::invalidResponse()},
    };
    for (const auto& c : cases) {
        FakeSpeechService fresh;
        auto pace = std::make_shared<RecordingSleeper>();
        fresh.scriptPolls(c.answers);
        const auto outcome = ASRClient(fresh.baseUrl(), pace).pollJob("job-7", {});
        SCOPED_TRACE(fresh.pollRequests().size());
        if (c.error) {
            ASSERT_FALSE(outcome);
            EXPECT_EQ(asrError(outcome.error()), *c.error);
        } else {
            ASSERT_TRUE(outcome) << outcome.error().description();
            EXPECT_EQ(*outcome, *transcript);
        }
        // Every poll, the first included, comes 3 seconds after the previous step.
        EXPECT_EQ(pace->delays(), std::vector<std::chrono::milliseconds>(c.answers.size(), 3000ms));
        for (const auto& request : fresh.pollRequests()) {
            EXPECT_EQ(request.method, "GET");
            EXPECT_EQ(request.target, "/api/jobs/job-7");
            EXPECT_EQ(request.headerNames(), std::vector<std::string>{"host"});
        }
    }
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(ASRError::jobFailed("unknown").description(), "Ошибка расшифровки: unknown");
    EXPECT_EQ(ASRError::invalidResponse().description(), "Сервер расшифровки вернул некорректный ответ");
    EXPECT_EQ(ASRError::fileError("нет места").description(), "Ошибка файла: нет места");
}

TEST_F(ASRClientTest, PollingRidesOutErrorsAndUndecodableAnswers)
{
    auto withoutRtf = FakeSpeechService::sampleTranscript();
    withoutRtf.erase("rtf");
    service.scriptPolls({FakeAnswer::reply(404, "{\"detail\":\"Job not found\"}"),
        FakeAnswer::reply(200, "<html>busy</html>", "text/html"), FakeAnswer::reply(200, "{\"status\":\"\xff\"}"),
        FakeSpeechService::jobCompleted(withoutRtf), FakeAnswer::reset(),
        FakeAnswer::truncated(200, "{\"status\":", 400),
        FakeSpeechService::jobCompleted(FakeSpeechService::sampleTranscript())});
    const auto outcome = makeClient().pollJob("job-1", {});
    ASSERT_TRUE(outcome) << outcome.error().description();
    EXPECT_EQ(sleeper->delays().size(), 7u);
    const QString undecodable = "Poll error, retrying: Не удалось прочитать данные, так как они имеют неверный формат.";
    const QString lost = "Poll error, retrying: Сетевое соединение было потеряно.";
    EXPECT_EQ(errors(), (std::vector<QString>{"Poll non-200", undecodable, undecodable, undecodable, lost, lost}));
}

TEST_F(ASRClientTest, ResultWithoutRtfKeepsPollingUntilCancelled)
{
    auto withoutRtf = FakeSpeechService::sampleTranscript();
    withoutRtf.erase("rtf");
    service.setTranscript(withoutRtf);
    service.setPollsBeforeCompletion(0);
    std::stop_source stop;
    sleeper->setHook([&](int number, auto) {
        if (number == 6)
            stop.request_stop();
    });
    const auto outcome = makeClient().transcribe(writeAudio("RIFF"), kTranscribe, stop.get_token());
    ASSERT_FALSE(outcome);
    EXPECT_TRUE(outcome.error().isCancelled());
    EXPECT_EQ(service.pollRequests().size(), 5u);
    EXPECT_EQ(
        log.count("ASRClient", "Poll error, retrying: Не удалось прочитать данные, так как они имеют неверный формат."),
        5);
}

TEST_F(ASRClientTest, TranscribeUploadsPollsAndLogsTheJob)
{
    const std::string audio = uploadBytes(5000);
    const auto outcome = makeClient().transcribe(writeAudio(audio), kTranscribe, {});
    ASSERT_TRUE(outcome) << outcome.error().description();
    EXPECT_EQ(outcome->plainText(), "SPEAKER_00: Добрый день.\n\nSPEAKER_00: Начнём.\n\nSPEAKER_01: Да, давайте.");
    EXPECT_EQ(log.messages("ASRClient"), std::vector<QString>{"ASR job submitted: job-1 (/api/transcribe/async)"});
    EXPECT_EQ(sleeper->delaySeconds(), (std::vector<long>{3, 3}));
    EXPECT_TRUE(service.uploads().at(0).audio == audio);
}

TEST_F(ASRClientTest, StalledServerTimesOutAndIsRetried)
{
    const auto client = makeClient({.requestIdle = 300ms, .uploadIdle = 300ms, .resource = 30s});
    service.scriptUploads({FakeAnswer::stall()});
    service.scriptPolls({FakeAnswer::stall()});
    const auto outcome = client.transcribe(writeAudio("RIFF"), kDiarize, {});
    ASSERT_TRUE(outcome) << outcome.error().description();
    EXPECT_EQ(errors(),
        (std::vector<QString>{"Submit attempt 1 failed, retrying in 2s: Превышен лимит времени на запрос.",
            "Poll error, retrying: Превышен лимит времени на запрос."}));
    service.server().releaseStalls();

    // A status answer that never ends is cut off and ends the job.
    service.scriptPolls({FakeAnswer::endless()});
    const auto endless = client.pollJob("job-1", {});
    ASSERT_FALSE(endless);
    EXPECT_EQ(asrError(endless.error()), ASRError::invalidResponse());
}

TEST_F(ASRClientTest, CancellationEndsUploadSleepAndPollPromptly)
{
    using Result = ASRClient::Result<std::string>;
    const auto client = makeClient();

    // During the upload: the service stops reading a body larger than the socket buffers.
    const auto big = writeAudio(uploadBytes(48 * 1024 * 1024));
    service.scriptUploads({FakeAnswer::stallWhileReceiving()});
    auto [upload, uploadLag]
        = stopWhen<Result>([&](std::stop_token stop) { return client.submitJob(big, kDiarize, stop); },
            [&] { return service.server().requestCount() == 1; });
    ASSERT_FALSE(upload);
    EXPECT_TRUE(upload.error().isCancelled());
    EXPECT_LT(uploadLag, 500ms);
    EXPECT_TRUE(sleeper->delays().empty());
    service.server().releaseStalls();

    // During a wait between attempts, with the real clock.
    const ASRClient patient(service.baseUrl(), std::make_shared<SteadySleeper>());
    service.scriptUploads({FakeAnswer::reply(503, "busy")});
    auto [retry, retryLag] = stopWhen<Result>(
        [&](std::stop_token stop) { return patient.submitJob(writeAudio("RIFF"), kDiarize, stop); },
        [&] {
            return log.count("ASRClient",
                       "Submit attempt 1 failed, retrying in 2s: Не удалось отправить на расшифровку: HTTP 503 — busy")
                == 1;
        });
    ASSERT_FALSE(retry);
    EXPECT_TRUE(retry.error().isCancelled());
    EXPECT_LT(retryLag, 500ms);

    // During a poll.
    service.scriptPolls({FakeAnswer::stall()});
    const std::size_t before = service.server().requestCount();
    using Polled = ASRClient::Result<Transcript>;
    auto [poll, pollLag] = stopWhen<Polled>([&](std::stop_token stop) { return client.pollJob("job-1", stop); },
        [&] { return service.server().requestCount() == before + 1; });
    ASSERT_FALSE(poll);
    EXPECT_TRUE(poll.error().isCancelled());
    EXPECT_LT(pollLag, 500ms);

    // Stopped before it began: nothing is sent.
    std::stop_source stopped;
    stopped.request_stop();
    const std::size_t sent = service.server().requestCount();
    EXPECT_TRUE(client.transcribe(big, kDiarize, stopped.get_token()).error().isCancelled());
    EXPECT_EQ(service.server().requestCount(), sent);
}
