#include "audio/WavWriter.h"
#include "recorder/ProcessingPrompts.h"
#include "services/ServiceConfig.h"

#include "FakeOpenAISpeechService.h"
#include "LogCapture.h"
#include "QtWait.h"
#include "RecorderRig.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace palaverly;
using namespace palaverly::test;
namespace fs = std::filesystem;

namespace {

nlohmann::json transcriptJson(const std::vector<std::pair<std::string, std::string>>& turns)
{
    nlohmann::json segments = nlohmann::json::array();
    double start = 0;
    std::set<std::string> speakers;
    for (const auto& [speaker, words] : turns) {
        segments.push_back({{"speaker", speaker}, {"text", words}, {"start", start}, {"end", start + 2}});
        speakers.insert(speaker);
        start += 2;
    }
    return {{"segments", segments}, {"num_speakers", speakers.size()}, {"duration_sec", start},
        {"processing_time_sec", 1.5}, {"rtf", 0.1}};
}

class RecorderPipelineTest : public ::testing::Test, protected RecorderRig {
protected:
    RecorderPipelineTest()
    {
        QObject::connect(model.get(), &RecorderModel::transcribingStatesChanged, [this] {
            const auto state = model->transcribingStates();
            stages.push_back(state.empty() ? std::string("-") : state.begin()->second.detail);
        });
    }

    // A stopped recording that still carries its default name.
    Recording addRecording(RecordingKind kind, double duration = 12)
    {
        const Timestamp createdAt = nowSeconds() - std::chrono::minutes(5);
        const RecordingMeta meta{Uuid::generate(),
            prompts::defaultName(std::chrono::system_clock::time_point(createdAt), kind), createdAt, duration, kind};
        library.addRecording(meta);
        store.reload();
        return *store.recording(meta.id);
    }

    // Replaces the recording's audio with `seconds` of real 48 kHz audio (0: a bare header).
    static void writeAudio(const Recording& recording, double seconds)
    {
        auto writer = WavWriter::create(recording.audioURL(), 48000);
        ASSERT_TRUE(writer);
        writer->write(std::vector<float>(static_cast<size_t>(seconds * 48000), 0.1f));
    }

    bool idle(const Uuid& id)
    {
        return waitUntil(
            [&] { return !model->hasTranscribeTask(id) && !model->hasTitleTask(id) && !model->hasSummaryTask(id); });
    }

    LogCapture logs;
    std::vector<std::string> stages;
};

} // namespace

TEST_F(RecorderPipelineTest, MeetingIsDiarizedSavedAndTitled)
{
    const Recording recording = addRecording(RecordingKind::meeting);
    speech.setTranscript(transcriptJson({{"A", "Обсудим план на квартал."}, {"B", "Да, начнём."}}));
    chat.scriptAnswers({FakeChatService::reply("Название: „Планы на квартал“.")});

    model->startTranscription(recording.id, recording.audioURL(), RecordingKind::meeting);
    EXPECT_EQ(model->transcribingState(recording.id), TranscribingState::running("uploading"));
    ASSERT_TRUE(idle(recording.id));

    ASSERT_EQ(speech.uploads().size(), 1u);
    EXPECT_EQ(speech.uploads()[0].endpoint, "/api/diarize/async");
    EXPECT_EQ(speech.uploads()[0].audio, "RIFF");
    // Set when the job is made, set again as the job begins, then the service's stage.
    EXPECT_EQ(stages, (std::vector<std::string>{"uploading", "uploading", "processing", "-"}));
    EXPECT_TRUE(model->transcribingStates().empty());

    const Recording* saved = store.recording(recording.id);
    ASSERT_TRUE(saved && saved->transcript);
    EXPECT_EQ(store.transcript(*saved)->plainText(), "A: Обсудим план на квартал.\n\nB: Да, начнём.");
    EXPECT_EQ(saved->name, "Планы на квартал");
    EXPECT_NE(TempLibrary::readFile(recording.transcriptURL()).find("\n  \"duration_sec\": 4"), std::string::npos);

    ASSERT_EQ(chat.calls().size(), 1u);
    const auto title = prompts::titlePrompt(RecordingKind::meeting, "A: Обсудим план на квартал.\n\nB: Да, начнём.");
    EXPECT_EQ(chat.calls()[0].messages.at(0).content, title.system);
    EXPECT_EQ(chat.calls()[0].messages.at(1).content, title.user);

    const QString id = QString::fromStdString(recording.id.toString());
    const auto lines = logs.messages("RecorderModel");
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                  [](const QString& l) {
                      return l.startsWith("ASR job submitted: ") && l.endsWith(" (/api/diarize/async)");
                  }),
        1);
    EXPECT_TRUE(logs.contains("RecorderModel", "Transcript saved (meeting): 2 segments, 2 speakers"));
    EXPECT_TRUE(logs.contains("RecorderModel", "Auto-titled " + id + " → Планы на квартал"));
}

TEST_F(RecorderPipelineTest, AMeetingGoesToAnOpenAICompatibleRecognizerWhenThatIsChosen)
{
    FakeOpenAISpeechService local("sk-local");
    transcriber = [&] {
        return makeTranscriber({.transcriptionApi = TranscriptionApi::openai,
                                   .transcriptionUrl = local.baseUrl(),
                                   .transcriptionKey = "sk-local"},
            sleeper);
    };
    chat.scriptAnswers({FakeChatService::reply("Бюджет на квартал")});
    const Recording recording = addRecording(RecordingKind::meeting);

    model->startTranscription(recording.id, recording.audioURL(), RecordingKind::meeting);
    ASSERT_TRUE(idle(recording.id));
    ASSERT_EQ(local.uploads().size(), 1u);
    EXPECT_EQ(local.uploads()[0].audio, "RIFF");
    EXPECT_TRUE(speech.requests().empty());
    EXPECT_EQ(stages, (std::vector<std::string>{"uploading", "uploading", "processing", "-"}));

    const Recording* saved = store.recording(recording.id);
    ASSERT_TRUE(saved && saved->transcript);
    EXPECT_EQ(store.transcript(*saved)->plainText(),
        "SPEAKER_00: Добрый день, начнём.\n\nSPEAKER_00: Сегодня обсудим бюджет.");
    EXPECT_EQ(saved->name, "Бюджет на квартал");
    EXPECT_TRUE(logs.contains("RecorderModel", "Transcript saved (meeting): 2 segments, 1 speakers"));
    // No job, so no job id to report.
    const auto lines = logs.messages("RecorderModel");
    EXPECT_TRUE(std::none_of(
        lines.begin(), lines.end(), [](const QString& line) { return line.startsWith("ASR job submitted"); }));
}

TEST_F(RecorderPipelineTest, TheUsersNameAlwaysWinsOverTheAutomaticTitle)
{
    // Renamed before the transcript arrives: no title request at all.
    const Recording renamed = addRecording(RecordingKind::meeting);
    store.rename(renamed, "Мой созвон");
    model->startTranscription(renamed.id, renamed.audioURL(), RecordingKind::meeting);
    ASSERT_TRUE(idle(renamed.id));
    EXPECT_TRUE(chat.calls().empty());
    EXPECT_EQ(store.recording(renamed.id)->name, "Мой созвон");

    // Renamed while the title request runs: the answer is dropped.
    const Recording racing = addRecording(RecordingKind::note);
    chat.scriptAnswers({FakeChatService::reply("Планы").after(std::chrono::milliseconds(300))});
    model->startTranscription(racing.id, racing.audioURL(), RecordingKind::note);
    ASSERT_TRUE(waitUntil([&] { return chat.server().requestCount() == 1; }));
    store.rename(*store.recording(racing.id), "Своё название");
    ASSERT_TRUE(idle(racing.id));
    EXPECT_EQ(store.recording(racing.id)->name, "Своё название");
    const auto lines = logs.messages("RecorderModel");
    EXPECT_TRUE(
        std::none_of(lines.begin(), lines.end(), [](const QString& line) { return line.startsWith("Auto-titled"); }));
}

TEST_F(RecorderPipelineTest, TitleGetsTheFirst2000CharactersAndSummaryTheWholeText)
{
    std::string words;
    for (int i = 0; i < 1000; ++i)
        words += "и\u0306😀ёж "; // 5 user-perceived characters, more code points and bytes
    speech.setTranscript({{"text", words}, {"duration_sec", 60}, {"processing_time_sec", 2}, {"rtf", 0.03}});
    chat.setResponder([](const FakeChatService::Call&) { return FakeChatService::reply("Ответ"); });
    const Recording recording = addRecording(RecordingKind::note);

    model->startTranscription(recording.id, recording.audioURL(), RecordingKind::note);
    ASSERT_TRUE(idle(recording.id));
    ASSERT_EQ(chat.calls().size(), 1u);
    EXPECT_EQ(chat.calls()[0].messages.at(1).content, "Расшифровка:\n\n" + prompts::leadingCharacters(words, 2000));
    EXPECT_EQ(prompts::leadingCharacters(words, 2000).size() * 5, words.size() * 2);

    model->resummarize(*store.recording(recording.id));
    EXPECT_EQ(model->summarizingState(recording.id), SummarizingState::running());
    ASSERT_TRUE(idle(recording.id));
    ASSERT_EQ(chat.calls().size(), 2u);
    EXPECT_EQ(chat.calls()[1].messages.at(0).content, prompts::summaryPrompt(RecordingKind::note, "").system);
    EXPECT_EQ(chat.calls()[1].messages.at(1).content, "Заметка:\n\n" + words);
    const Recording* summarized = store.recording(recording.id);
    ASSERT_TRUE(summarized->summary);
    EXPECT_EQ(summarized->summary->model, "qwen-summary");
    EXPECT_EQ(summarized->summary->text, "Ответ");
    EXPECT_LE(std::chrono::abs(summarized->summary->createdAt - nowSeconds()), std::chrono::seconds(5));
    EXPECT_TRUE(model->summarizingStates().empty());
    EXPECT_TRUE(logs.contains("RecorderModel", "Summary saved (note) using qwen-summary"));
}

TEST_F(RecorderPipelineTest, ANewSummaryRequestReplacesTheRunningOne)
{
    const Recording recording = addRecording(RecordingKind::meeting);
    library.writeFile(recording.transcriptURL(), RecordingStore::encode(transcriptJson({{"A", "Текст"}})));
    store.reload();

    // Without a transcript nothing happens.
    const Recording bare = addRecording(RecordingKind::meeting);
    model->resummarize(bare);
    EXPECT_TRUE(model->summarizingStates().empty());
    EXPECT_FALSE(model->hasSummaryTask(bare.id));

    chat.scriptAnswers({FakeAnswer::stall(), FakeChatService::reply("Вторые итоги")});
    model->resummarize(*store.recording(recording.id));
    // Counted once the body has been read and the stall handed out; a request merely seen could
    // still be cancelled before it takes the stall, which the second one would then get.
    ASSERT_TRUE(waitUntil([&] { return chat.calls().size() == 1; }));
    model->resummarize(*store.recording(recording.id));
    ASSERT_TRUE(idle(recording.id));
    EXPECT_EQ(store.recording(recording.id)->summary->text, "Вторые итоги");
    EXPECT_TRUE(model->summarizingStates().empty());
    EXPECT_EQ(logs.count("RecorderModel", "Summary saved (meeting) using qwen-summary"), 1);
    EXPECT_TRUE(logs.errors("RecorderModel").empty());
}

TEST_F(RecorderPipelineTest, FailuresAreKeptPerRecordingAndWriteNothing)
{
    const Recording rejected = addRecording(RecordingKind::meeting);
    speech.scriptUploads({FakeAnswer::reply(503, "busy"), FakeAnswer::reply(503, "busy"),
        FakeAnswer::reply(503, "busy"), FakeAnswer::reply(503, "busy")});
    model->startTranscription(rejected.id, rejected.audioURL(), RecordingKind::meeting);
    ASSERT_TRUE(idle(rejected.id));
    const std::string error = "Не удалось отправить на расшифровку: HTTP 503 — busy";
    EXPECT_EQ(model->transcribingState(rejected.id), TranscribingState::failed(error));
    EXPECT_FALSE(fs::exists(rejected.transcriptURL()));
    EXPECT_EQ(sleeper->delaySeconds(), (std::vector<long>{2, 4, 8}));
    EXPECT_TRUE(logs.contains(
        "RecorderModel", QString::fromStdString("Transcribe failed (" + rejected.id.toString() + "): " + error)));

    // Deleted while the service works on it: the job fails with a file error, the folder stays gone.
    const Recording deleted = addRecording(RecordingKind::note);
    sleeper->setHook([&](int, std::chrono::milliseconds delay) {
        if (delay == std::chrono::seconds(3))
            fs::remove_all(deleted.directoryURL());
    });
    model->startTranscription(deleted.id, deleted.audioURL(), RecordingKind::note);
    ASSERT_TRUE(idle(deleted.id));
    EXPECT_EQ(model->transcribingState(deleted.id).kind, TranscribingState::Kind::failed);
    EXPECT_NE(model->transcribingState(deleted.id).detail.find("transcript.json"), std::string::npos);
    EXPECT_FALSE(fs::exists(deleted.directoryURL()));
    store.reload();
    EXPECT_FALSE(store.recording(deleted.id));

    // A refused summary.
    library.writeFile(rejected.transcriptURL(), RecordingStore::encode(transcriptJson({{"A", "Текст"}})));
    store.reload();
    chat.scriptAnswers({FakeAnswer::reply(401, "bad key")});
    model->resummarize(*store.recording(rejected.id));
    ASSERT_TRUE(idle(rejected.id));
    EXPECT_EQ(model->summarizingState(rejected.id), SummarizingState::failed("Сервер итогов вернул HTTP 401: bad key"));
    EXPECT_FALSE(fs::exists(rejected.summaryURL()));
}

TEST_F(RecorderPipelineTest, RetryAfterAFailedTranscriptionLandsTheTranscriptAndTheTitle)
{
    const Recording recording = addRecording(RecordingKind::meeting);
    writeAudio(recording, 0.5);
    speech.scriptUploads({FakeAnswer::reply(503, "busy"), FakeAnswer::reply(503, "busy"),
        FakeAnswer::reply(503, "busy"), FakeAnswer::reply(503, "busy")});
    model->startTranscription(recording.id, recording.audioURL(), RecordingKind::meeting);
    ASSERT_TRUE(idle(recording.id));
    ASSERT_EQ(model->transcribingState(recording.id).kind, TranscribingState::Kind::failed);
    EXPECT_TRUE(model->canRetryTranscription(*store.recording(recording.id)));

    speech.setTranscript(transcriptJson({{"A", "Повторим."}}));
    chat.scriptAnswers({FakeChatService::reply("Повторная попытка")});
    stages.clear();
    model->retryTranscription({recording.id});
    ASSERT_TRUE(idle(recording.id));
    // Queued (no stage) for a moment, then the same stages as after a recording.
    EXPECT_EQ(stages, (std::vector<std::string>{"", "uploading", "uploading", "processing", "-"}));
    EXPECT_EQ(speech.uploads().back().endpoint, "/api/diarize/async");
    const Recording* saved = store.recording(recording.id);
    ASSERT_TRUE(saved && saved->transcript);
    EXPECT_EQ(store.transcript(*saved)->plainText(), "A: Повторим.");
    EXPECT_EQ(saved->name, "Повторная попытка");
    const QString id = QString::fromStdString(recording.id.toString());
    EXPECT_TRUE(logs.contains("RecorderModel", "Transcription retried (" + id + ")"));
    EXPECT_TRUE(logs.contains("RecorderModel", "Transcript saved (meeting): 1 segments, 1 speakers"));
    EXPECT_TRUE(logs.contains("RecorderModel", "Auto-titled " + id + " → Повторная попытка"));

    // With its transcript there, a second retry is refused.
    EXPECT_FALSE(model->canRetryTranscription(*saved));
    model->retryTranscription({recording.id});
    EXPECT_TRUE(model->transcribingStates().empty());
}

TEST_F(RecorderPipelineTest, AfterARestartWhatWasCutOffIsOfferedAndRetriedOneAfterAnother)
{
    // Left behind by the previous run: a meeting cut off while recording (no duration yet), a
    // note whose transcription was cut off, a start that failed (a bare header) and a finished one.
    const Recording crashed = addRecording(RecordingKind::meeting, 0);
    writeAudio(crashed, 2);
    const Recording interrupted = addRecording(RecordingKind::note);
    writeAudio(interrupted, 1);
    const Recording failedStart = addRecording(RecordingKind::meeting, 0);
    writeAudio(failedStart, 0);
    const Recording finished = addRecording(RecordingKind::note);
    writeAudio(finished, 1);
    library.writeFile(finished.transcriptURL(), RecordingStore::encode(transcriptJson({{"A", "Готово"}})));

    RecordingStore restarted(library.base());
    auto deps = std::make_unique<RecorderDependencies>();
    deps->transcriber = transcriber;
    deps->chat = [client = std::make_shared<const OpenRouterClient>(chat.endpointUrl(), chat.apiKey(), sleeper)] {
        return client;
    };
    RecorderModel fresh(restarted, nullptr, std::move(deps));
    settle(200);
    EXPECT_TRUE(speech.requests().empty()); // nothing is sent without being asked
    const auto offered = [&](const Recording& r) { return fresh.canRetryTranscription(*restarted.recording(r.id)); };
    EXPECT_TRUE(offered(crashed));
    EXPECT_TRUE(offered(interrupted));
    EXPECT_FALSE(offered(failedStart));
    EXPECT_FALSE(offered(finished));

    int mostAtOnce = 0;
    QObject::connect(&fresh, &RecorderModel::transcribingStatesChanged, [&] {
        const auto& states = fresh.transcribingStates();
        mostAtOnce = std::max(mostAtOnce,
            static_cast<int>(std::count_if(states.begin(), states.end(),
                [](const auto& entry) { return entry.second.kind == TranscribingState::Kind::running; })));
    });
    fresh.retryTranscription({crashed.id, interrupted.id, failedStart.id, finished.id});
    EXPECT_EQ(fresh.transcribingState(crashed.id).kind, TranscribingState::Kind::running);
    EXPECT_EQ(fresh.transcribingState(interrupted.id), TranscribingState::queued());
    EXPECT_EQ(fresh.transcribingStates().size(), 2u);
    ASSERT_TRUE(waitUntil([&] {
        return fresh.transcribingStates().empty() && !fresh.hasTranscribeTask(crashed.id)
            && !fresh.hasTranscribeTask(interrupted.id) && !fresh.hasTitleTask(crashed.id)
            && !fresh.hasTitleTask(interrupted.id);
    }));

    EXPECT_EQ(mostAtOnce, 1);
    ASSERT_EQ(speech.uploads().size(), 2u);
    EXPECT_EQ(speech.uploads()[0].endpoint, "/api/diarize/async");
    EXPECT_EQ(speech.uploads()[1].endpoint, "/api/transcribe/async");
    EXPECT_TRUE(restarted.recording(crashed.id)->transcript);
    EXPECT_TRUE(restarted.recording(interrupted.id)->transcript);
    EXPECT_NEAR(restarted.recording(crashed.id)->duration, 2.0, 1e-9); // measured from its audio
}

TEST_F(RecorderPipelineTest, DestroyingTheModelCancelsRunningJobsPromptly)
{
    const Recording recording = addRecording(RecordingKind::meeting);
    speech.scriptUploads({FakeAnswer::stall()});
    model->startTranscription(recording.id, recording.audioURL(), RecordingKind::meeting);
    ASSERT_TRUE(speech.server().waitForRequests(1));
    const auto started = std::chrono::steady_clock::now();
    model.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    QCoreApplication::processEvents();
    EXPECT_FALSE(fs::exists(recording.transcriptURL()));
}
