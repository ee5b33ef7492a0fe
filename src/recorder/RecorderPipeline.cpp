// The processing jobs of RecorderModel: transcription, automatic title and summary. Each job
// runs its remote calls on its own thread with a stop token; every change of the model's state
// and every store call happens back on the main thread.
#include "recorder/RecorderModel.h"

#include "audio/WavWriter.h"
#include "common/AtomicFile.h"
#include "common/BackgroundJob.h"
#include "common/Log.h"
#include "model/RecordingStore.h"
#include "recorder/ProcessingPrompts.h"
#include "recorder/RecorderDependencies.h"
#include "recorder/TranscriptionRetry.h"

Q_DECLARE_LOGGING_CATEGORY(lcRecorderModel)

namespace palaverly {

namespace {

constexpr const char* kDiarizeEndpoint = "/api/diarize/async";
constexpr const char* kTranscribeEndpoint = "/api/transcribe/async";

QString text(const std::string& value)
{
    return QString::fromStdString(value);
}

QString idText(const Uuid& id)
{
    return text(id.toString());
}

} // namespace

std::uint64_t RecorderModel::launch(
    TaskMap& tasks, const Uuid& id, std::function<void(std::stop_token, std::uint64_t)> work)
{
    if (const auto running = tasks.find(id); running != tasks.end()) {
        running->second.job->cancel();
        m_retiredJobs.emplace(running->second.serial, std::move(running->second.job));
        tasks.erase(running);
    }
    const std::uint64_t serial = m_nextSerial++;
    tasks[id] = Task{serial, std::make_unique<BackgroundJob>([work = std::move(work), serial](std::stop_token stop) {
                         work(stop, serial);
                     })};
    return serial;
}

bool RecorderModel::isCurrent(const TaskMap& tasks, const Uuid& id, std::uint64_t serial) const
{
    const auto it = tasks.find(id);
    return it != tasks.end() && it->second.serial == serial;
}

// Main thread, as a job's last act. Destroying the job joins a thread that is about to end.
void RecorderModel::finish(TaskMap& tasks, const Uuid& id, std::uint64_t serial)
{
    if (isCurrent(tasks, id, serial))
        tasks.erase(id);
    else
        m_retiredJobs.erase(serial);
}

void RecorderModel::startTranscription(const Uuid& id, const std::filesystem::path& audioFile, RecordingKind kind)
{
    setTranscribing(id, TranscribingState::running("uploading"));
    // The service chosen now serves this job to its end, whatever is chosen meanwhile.
    std::shared_ptr<const Transcriber> transcriber = m_deps->transcriber();
    const std::string endpoint = kind == RecordingKind::meeting ? kDiarizeEndpoint : kTranscribeEndpoint;

    launch(m_transcribeTasks, id,
        [this, transcriber, audioFile, endpoint, id, kind](std::stop_token stop, std::uint64_t serial) {
            // Main thread: the job's state changes only while it is still the recording's current job.
            const auto report = [this, id, serial](std::function<void()> change) {
                postTo(this, [this, id, serial, change = std::move(change)] {
                    if (isCurrent(m_transcribeTasks, id, serial))
                        change();
                });
            };
            const auto fail = [&](const std::string& error, bool cancelled) {
                report([this, id, error, cancelled] {
                    if (cancelled) {
                        setTranscribing(id, std::nullopt);
                    } else {
                        setTranscribing(id, TranscribingState::failed(error));
                        log::error(lcRecorderModel(),
                            QStringLiteral("Transcribe failed (%1): %2").arg(idText(id), text(error)));
                    }
                });
                postTo(this, [this, id, serial] {
                    finish(m_transcribeTasks, id, serial);
                    transcriptionEnded(id);
                });
            };

            report([this, id] { setTranscribing(id, TranscribingState::running("uploading")); });
            auto transcript = transcriber->transcribe(audioFile, endpoint, stop, [&](const std::string& jobId) {
                if (!jobId.empty())
                    log::info(lcRecorderModel(),
                        QStringLiteral("ASR job submitted: %1 (%2)").arg(text(jobId), text(endpoint)));
                report([this, id] { setTranscribing(id, TranscribingState::running("processing")); });
            });
            if (!transcript)
                return fail(transcript.error().description(), transcript.error().isCancelled());
            const auto destination = audioFile.parent_path() / "transcript.json";
            if (const auto failure = writeFileAtomically(destination, RecordingStore::encode(transcript->toJson())))
                return fail(*failure, false);

            postTo(this, [this, id, serial, kind, saved = std::move(*transcript)] {
                const bool current = isCurrent(m_transcribeTasks, id, serial);
                finish(m_transcribeTasks, id, serial);
                if (!current)
                    return transcriptionEnded(id);
                setTranscribing(id, std::nullopt);
                m_store.reload();
                const long long segments = saved.segments ? static_cast<long long>(saved.segments->size()) : 0;
                log::info(lcRecorderModel(),
                    QStringLiteral("Transcript saved (%1): %2 segments, %3 speakers")
                        .arg(QLatin1String(rawValue(kind).data()))
                        .arg(segments)
                        .arg(saved.numSpeakers.value_or(0)));
                startTitle(id, kind, saved);
                transcriptionEnded(id);
            });
        });
}

bool RecorderModel::canRetryTranscription(const Recording& recording) const
{
    return palaverly::canRetryTranscription(recording, transcribingState(recording.id), m_currentRecordingID);
}

void RecorderModel::retryTranscription(const std::vector<Uuid>& ids)
{
    for (const Uuid& id : ids) {
        const Recording* recording = m_store.recording(id);
        if (!recording || !canRetryTranscription(*recording))
            continue;
        m_retryQueue.push_back(id);
        setTranscribing(id, TranscribingState::queued());
    }
    startNextRetry();
}

void RecorderModel::startNextRetry()
{
    while (!m_retryRunning && !m_retryQueue.empty()) {
        const Uuid id = m_retryQueue.front();
        m_retryQueue.pop_front();
        // It waited: it may have been deleted meanwhile.
        const Recording* recording = m_store.recording(id);
        if (!recording || !palaverly::canRetryTranscription(*recording, {}, m_currentRecordingID)) {
            setTranscribing(id, std::nullopt);
            continue;
        }
        // A recording cut off by a crash never had its length written.
        if (recording->duration <= 0) {
            if (const auto seconds = wavDurationSeconds(recording->audioURL()); seconds && *seconds > 0) {
                m_store.updateDuration(id, recording->kind, *seconds);
                m_store.reload();
                recording = m_store.recording(id);
                if (!recording) {
                    setTranscribing(id, std::nullopt);
                    continue;
                }
            }
        }
        m_retryRunning = id;
        log::info(lcRecorderModel(), QStringLiteral("Transcription retried (%1)").arg(idText(id)));
        startTranscription(id, recording->audioURL(), recording->kind);
    }
}

void RecorderModel::measureCutOffRecordings()
{
    bool measured = false;
    for (const Recording& recording : m_store.recordings()) {
        if (recording.duration != 0 || recording.transcript || m_currentRecordingID == recording.id
            || !m_lengthChecked.insert(recording.id).second || !hasRecordedAudio(recording.audioURL()))
            continue;
        if (const auto seconds = wavDurationSeconds(recording.audioURL()); seconds && *seconds > 0) {
            m_store.updateDuration(recording.id, recording.kind, *seconds);
            measured = true;
        }
    }
    if (measured)
        m_store.reload();
}

void RecorderModel::transcriptionEnded(const Uuid& id)
{
    if (m_retryRunning != id || m_transcribeTasks.count(id))
        return;
    m_retryRunning.reset();
    startNextRetry();
}

void RecorderModel::startTitle(const Uuid& id, RecordingKind kind, const Transcript& transcript)
{
    const Recording* recording = m_store.recording(id);
    if (!recording)
        return;
    const auto createdAt = std::chrono::system_clock::time_point(recording->createdAt);
    const std::string expected = prompts::defaultName(createdAt, kind);
    if (recording->name != expected)
        return;
    const std::string plain = transcript.plainText();
    if (plain.empty())
        return;
    const auto prompt = prompts::titlePrompt(kind, prompts::leadingCharacters(plain, prompts::kTitleExcerptCharacters));
    const auto client = m_deps->chat();

    launch(m_titleTasks, id, [this, client, prompt, id, expected](std::stop_token stop, std::uint64_t serial) {
        const auto answer = client->complete(prompt.system, prompt.user, stop);
        std::string title;
        std::optional<std::string> error;
        if (answer)
            title = prompts::cleanTitle(*answer);
        else if (!answer.error().isCancelled())
            error = answer.error().description();

        postTo(this, [this, id, serial, expected, title, error] {
            const bool current = isCurrent(m_titleTasks, id, serial);
            finish(m_titleTasks, id, serial);
            if (!current)
                return;
            if (error) {
                log::error(
                    lcRecorderModel(), QStringLiteral("Auto-title failed (%1): %2").arg(idText(id), text(*error)));
                return;
            }
            if (title.empty())
                return;
            // The user may have renamed the recording while the model was thinking: that wins.
            const Recording* now = m_store.recording(id);
            if (!now || now->name != expected)
                return;
            m_store.rename(*now, title);
            log::info(lcRecorderModel(), QStringLiteral("Auto-titled %1 → %2").arg(idText(id), text(title)));
        });
    });
}

void RecorderModel::resummarize(const Recording& recording)
{
    const Recording* found = m_store.recording(recording.id);
    const auto transcript = found ? m_store.transcript(*found) : nullptr;
    if (!transcript)
        return;
    startSummary(found->id, found->kind, *transcript);
}

void RecorderModel::startSummary(const Uuid& id, RecordingKind kind, const Transcript& transcript)
{
    const std::string plain = transcript.plainText();
    if (plain.empty())
        return;
    setSummarizing(id, SummarizingState::running());
    const auto folder = m_store.recordingFolder(kind, id);
    const auto prompt = prompts::summaryPrompt(kind, plain);
    const auto client = m_deps->chat();

    launch(m_summaryTasks, id, [this, client, prompt, folder, id, kind](std::stop_token stop, std::uint64_t serial) {
        const auto answer = client->complete(prompt.system, prompt.user, stop);
        std::optional<std::string> error;
        bool cancelled = false;
        if (!answer) {
            cancelled = answer.error().isCancelled();
            error = answer.error().description();
        } else {
            const Summary summary{client->model(), nowSeconds(), *answer};
            if (const auto failure
                = writeFileAtomically(folder / "summary.json", RecordingStore::encode(summary.toJson())))
                error = *failure;
        }

        postTo(this, [this, id, serial, kind, error, cancelled, model = client->model()] {
            const bool current = isCurrent(m_summaryTasks, id, serial);
            finish(m_summaryTasks, id, serial);
            if (!current)
                return;
            if (cancelled) {
                setSummarizing(id, std::nullopt);
            } else if (error) {
                setSummarizing(id, SummarizingState::failed(*error));
                log::error(lcRecorderModel(), QStringLiteral("Summary failed (%1): %2").arg(idText(id), text(*error)));
            } else {
                setSummarizing(id, std::nullopt);
                m_store.reload();
                log::info(lcRecorderModel(),
                    QStringLiteral("Summary saved (%1) using %2")
                        .arg(QLatin1String(rawValue(kind).data()), text(model)));
            }
        });
    });
}

} // namespace palaverly
