// Records meetings and notes through the real sound server of run-with-services.sh: a tone
// played into the default output stands for the other side of a call, a tone played into the
// "palaverly_mic" sink (whose monitor is the default input) for the user's voice.
#include "recorder/RecorderModel.h"

#include "FakeCaptureBackend.h"
#include "LogCapture.h"
#include "QtWait.h"
#include "RecorderRig.h"
#include "SoundServer.h"
#include "WavFile.h"

#include <QSignalSpy>
#include <algorithm>
#include <cmath>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <optional>

using namespace palaverly;
using namespace palaverly::test;
namespace fs = std::filesystem;

namespace {

// Amplitude of the `frequency` component of samples[begin, begin + count) (Goertzel).
double toneAmplitude(const std::vector<float>& samples, size_t begin, size_t count, double frequency)
{
    const double w = 2 * M_PI * frequency / 48000;
    double s1 = 0, s2 = 0;
    for (size_t i = begin; i < begin + count; ++i) {
        const double s0 = samples[i] + 2 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2;
    return 2 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(count);
}

class RecorderModelTest : public ::testing::Test, protected RecorderRig {
protected:
    LogCapture logs;
};

// The recorder on a clock that moves only when the test says so.
class RecorderModelClockTest : public ::testing::Test, protected RecorderRig {
protected:
    RecorderModelClockTest()
        : RecorderRig(nullptr, [this](RecorderDependencies& deps) {
            deps.steadyNow = [this] {
                ++clockReads;
                return clockNow;
            };
        })
    {
    }

    // Until the recorder has looked at the levels twice at the clock's present time.
    bool levelsChecked()
    {
        const int from = clockReads;
        return waitUntil([&] { return clockReads >= from + 2; });
    }

    std::chrono::steady_clock::time_point clockNow;
    int clockReads = 0;
    LogCapture logs;
};

} // namespace

TEST_F(RecorderModelTest, MeetingMixesBothSidesDucksTheMicrophoneAndLandsInTheLibrary)
{
    ASSERT_TRUE(soundServerAvailable()) << "run through tests/support/run-with-services.sh";
    QSignalSpy recordingChanged(model.get(), &RecorderModel::isRecordingChanged);
    TonePlayer voice(kMicSink, 1000, 0.1);

    model->toggleMeeting();
    ASSERT_TRUE(startSettled());
    ASSERT_TRUE(model->isRecording()) << model->lastError().value_or("");
    EXPECT_EQ(model->currentKind(), RecordingKind::meeting);
    ASSERT_TRUE(model->currentRecordingID());
    const Uuid id = *model->currentRecordingID();
    ASSERT_TRUE(store.recording(id)); // listed at once, still growing
    EXPECT_EQ(store.recording(id)->duration, 0);
    EXPECT_TRUE(store.recording(id)->name.starts_with("Встреча — "));

    // The microphone alone, then the other side of the call loud over it. Mixed audio reaches the
    // file only once both sides deliver, and a sound server may start the output monitor late.
    ASSERT_TRUE(waitUntil([&] { return model->inputLevel() > 0.05f; }, 8000));
    const fs::path audio = store.recording(id)->audioURL();
    ASSERT_TRUE(waitUntil(
        [&] {
            std::error_code error;
            return fs::file_size(audio, error) > 44 + 48000 * 2 / 5 && !error;
        },
        8000));
    settle(1000);
    {
        TonePlayer call(kSpeakersSink, 440, 0.5);
        ASSERT_TRUE(waitUntil([&] { return model->inputLevel() > 0.3f; }, 8000));
        settle(1000);
        model->toggleMeeting();
    }
    EXPECT_FALSE(model->isRecording());
    EXPECT_EQ(model->inputLevel(), 0);
    EXPECT_FALSE(model->currentRecordingID());
    EXPECT_EQ(recordingChanged.count(), 2);

    const Recording* recording = store.recording(id);
    ASSERT_TRUE(recording);
    const WavContents wav = readWav(recording->audioURL()).value_or(WavContents{});
    EXPECT_EQ(wav.info.samplerate, 48000);
    EXPECT_EQ(wav.info.channels, 1);
    EXPECT_EQ(wav.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_NEAR(recording->duration, static_cast<double>(wav.info.frames) / 48000, 1e-9);
    EXPECT_GT(recording->duration, 1.5);

    // 100 ms blocks: the microphone at gain 3 while the other side is silent, ducked while loud.
    // The mixer ducks a whole buffer at a time, so blocks next to the moment the call starts hold
    // both states: a block counts only when the blocks on either side are of the same kind. A
    // busy sound server now and then plays a cycle of silence for a test tone (10 ms on PipeWire),
    // so the gain is read from the median block, and no block may exceed it.
    enum class Kind { other, quiet, loud };
    struct Block {
        Kind kind;
        double mic;
    };
    std::vector<Block> blocks;
    for (size_t begin = 4800; begin + 4800 <= wav.samples.size(); begin += 4800) {
        const double system = toneAmplitude(wav.samples, begin, 4800, 440);
        const double mic = toneAmplitude(wav.samples, begin, 4800, 1000);
        blocks.push_back({system < 0.005 && mic > 0.1 ? Kind::quiet : system > 0.45 ? Kind::loud : Kind::other, mic});
    }
    std::vector<double> quiet;
    int loudBlocks = 0;
    for (size_t i = 1; i + 1 < blocks.size(); ++i) {
        if (blocks[i - 1].kind != blocks[i].kind || blocks[i + 1].kind != blocks[i].kind)
            continue;
        if (blocks[i].kind == Kind::quiet) {
            quiet.push_back(blocks[i].mic);
            EXPECT_LT(blocks[i].mic, 0.35) << "block " << i;
        } else if (blocks[i].kind == Kind::loud) {
            ++loudBlocks;
            EXPECT_LT(blocks[i].mic, 0.05) << "block " << i;
        }
    }
    ASSERT_GE(quiet.size(), 5u);
    std::nth_element(quiet.begin(), quiet.begin() + static_cast<std::ptrdiff_t>(quiet.size() / 2), quiet.end());
    EXPECT_NEAR(quiet[quiet.size() / 2], 0.3, 0.03);
    EXPECT_GE(loudBlocks, 5);

    const QString path = QString::fromStdString(recording->audioURL().string());
    const auto saved = logs.messages("RecorderModel");
    EXPECT_TRUE(std::any_of(saved.begin(), saved.end(), [&](const QString& line) {
        return line
            == QStringLiteral("Saved meeting: %1 (%2s)").arg(path, QString::number(recording->duration, 'f', 2));
    }));
    // (That it goes on to diarization is part of the library window test.)
}

TEST_F(RecorderModelTest, NoteRecordsTheMicrophoneAloneAndTogglesStopWhateverRuns)
{
    TonePlayer voice(kMicSink, 1000, 0.1);
    model->stopCurrent(); // idle: nothing
    EXPECT_FALSE(model->isRecording());

    model->toggleNote();
    ASSERT_TRUE(startSettled());
    ASSERT_TRUE(model->isRecording()) << model->lastError().value_or("");
    EXPECT_EQ(model->currentKind(), RecordingKind::note);
    const Uuid id = *model->currentRecordingID();
    ASSERT_TRUE(waitUntil([&] { return model->inputLevel() > 0.05f; }, 8000));
    settle(800);
    // Its transcription cannot be retried while it records, nor while it is being transcribed.
    EXPECT_FALSE(model->canRetryTranscription(*store.recording(id)));
    model->retryTranscription({id});
    EXPECT_TRUE(model->transcribingStates().empty());
    model->toggleMeeting(); // the meeting command during a note stops the note
    EXPECT_FALSE(model->isRecording());
    model->retryTranscription({id});
    EXPECT_EQ(model->transcribingState(id), TranscribingState::running("uploading"));
    EXPECT_TRUE(store.recordings().size() == 1);

    const Recording* recording = store.recording(id);
    ASSERT_TRUE(recording);
    EXPECT_EQ(recording->kind, RecordingKind::note);
    EXPECT_EQ(recording->directoryURL(), library.base() / "notes" / id.toString());
    EXPECT_TRUE(recording->name.starts_with("Заметка — "));
    const WavContents wav = readWav(recording->audioURL()).value_or(WavContents{});
    ASSERT_GT(wav.samples.size(), 24000u);
    EXPECT_NEAR(toneAmplitude(wav.samples, wav.samples.size() - 24000, 19200, 1000), 0.3, 0.05);
    EXPECT_TRUE(waitUntil([&] { return !model->hasTranscribeTask(id) && !model->hasTitleTask(id); }));
    EXPECT_EQ(speech.uploads().at(0).endpoint, "/api/transcribe/async");
    EXPECT_EQ(speech.uploads().size(), 1u);
}

TEST_F(RecorderModelClockTest, AMinuteWithoutTheOtherSideWhileTheUserSpeaksIsWarnedAboutUntilItIsHeard)
{
    ASSERT_TRUE(soundServerAvailable()) << "run through tests/support/run-with-services.sh";
    const auto start = std::chrono::steady_clock::time_point() + std::chrono::hours(1);
    clockNow = start;
    QSignalSpy changed(model.get(), &RecorderModel::captureWarningChanged);
    TonePlayer voice(kMicSink, 1000, 0.1);
    model->toggleMeeting();
    ASSERT_TRUE(startSettled());
    ASSERT_TRUE(model->isRecording()) << model->lastError().value_or("");
    const QString id = QString::fromStdString(model->currentRecordingID()->toString());
    ASSERT_TRUE(waitUntil([&] { return model->inputLevel() > 0.05f; }, 8000)); // the voice, nothing else

    clockNow = start + std::chrono::seconds(59);
    ASSERT_TRUE(levelsChecked());
    EXPECT_FALSE(model->captureWarning());
    clockNow = start + std::chrono::seconds(60);
    ASSERT_TRUE(levelsChecked());
    EXPECT_EQ(model->captureWarning(), "Не слышно собеседников — звук звонка может идти на другое устройство");
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(logs.contains("RecorderModel",
        "No system sound for 60 s while the microphone carries speech (" + id
            + "); the call may be playing on another output device"));

    {
        TonePlayer call(kSpeakersSink, 440, 0.3);
        EXPECT_TRUE(waitUntil([&] { return !model->captureWarning(); }, 8000));
    }
    EXPECT_TRUE(model->isRecording()); // a warning, never a stop
    EXPECT_TRUE(logs.contains("RecorderModel", "System sound heard again (" + id + ")"));
    EXPECT_EQ(changed.count(), 2);
    model->toggleMeeting();
    EXPECT_FALSE(model->captureWarning());
}

TEST_F(RecorderModelTest, StartWithoutASoundServerFailsClearlyAndKeepsTheFolder)
{
    {
        ScopedEnvironment noServer("PULSE_SERVER", "unix:/nonexistent/palaverly-test-socket");
        model->toggleMeeting();
        ASSERT_TRUE(startSettled());
    }

    EXPECT_FALSE(model->isRecording());
    ASSERT_TRUE(model->lastError());
    EXPECT_TRUE(model->lastError()->starts_with("Не удалось запустить захват звука: ")) << *model->lastError();
    const auto errors = logs.errors("RecorderModel");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Meeting start failed: " + QString::fromStdString(*model->lastError()));

    // The folder, meta.json and an empty audio.wav stay; the store shows them at its next reload.
    EXPECT_TRUE(store.recordings().empty());
    store.reload();
    ASSERT_EQ(store.recordings().size(), 1u);
    const Recording& left = store.recordings()[0];
    EXPECT_EQ(left.duration, 0);
    EXPECT_EQ(readWav(left.audioURL()).value_or(WavContents{}).info.frames, 0);

    // The next successful start clears the error.
    model->toggleNote();
    ASSERT_TRUE(startSettled());
    ASSERT_TRUE(model->isRecording());
    EXPECT_FALSE(model->lastError());
    model->toggleNote();
}

namespace {

// A model whose captures come up only when the test lets them: each start waits in the capture
// thread until released.
class HeldStartTest : public ::testing::Test {
protected:
    void holdStarts()
    {
        m_gate = std::make_shared<std::promise<void>>();
        m_control->beforeStart = [released = m_gate->get_future().share()] { released.wait(); };
    }
    void releaseStarts() { m_gate->set_value(); }

    std::shared_ptr<FakeCaptureBackend::Control> m_control = std::make_shared<FakeCaptureBackend::Control>();
    std::shared_ptr<std::promise<void>> m_gate;
    RecorderRig m_rig{nullptr, [this](RecorderDependencies& deps) {
                          deps.makeCaptureBackend = [this] { return std::make_unique<FakeCaptureBackend>(m_control); };
                      }};
    RecorderModel& m_model = *m_rig.model;
    LogCapture m_logs;
};

} // namespace

TEST_F(HeldStartTest, TheTogglesReturnWhileTheCaptureComesUpAndAStopMeanwhileFindsTheModelIdle)
{
    QSignalSpy recordingChanged(&m_model, &RecorderModel::isRecordingChanged);
    holdStarts();
    m_model.toggleMeeting();
    EXPECT_TRUE(m_model.isStarting());
    EXPECT_FALSE(m_model.isRecording());
    m_model.toggleNote(); // the start on its way answers this one too
    releaseStarts();
    ASSERT_TRUE(m_rig.startSettled());
    ASSERT_TRUE(m_model.isRecording());
    EXPECT_EQ(m_model.currentKind(), RecordingKind::meeting);
    EXPECT_EQ(m_control->starts.load(), 1);
    m_model.toggleNote(); // stops the meeting
    ASSERT_FALSE(m_model.isRecording());
    EXPECT_EQ(recordingChanged.count(), 2);

    // The stop command while the capture comes up finds the model idle and does nothing: the note
    // starts, and the next stop ends it.
    holdStarts();
    m_model.toggleNote();
    m_model.stopCurrent();
    releaseStarts();
    ASSERT_TRUE(m_rig.startSettled());
    EXPECT_TRUE(m_model.isRecording());
    EXPECT_EQ(m_model.currentKind(), RecordingKind::note);
    m_model.stopCurrent();
    EXPECT_FALSE(m_model.isRecording());
    EXPECT_EQ(recordingChanged.count(), 4);

    // A start that fails while held ends in the failure path, like any other.
    m_control->startError = CaptureBackend::StartError{CaptureBackend::StartError::Kind::failed, "нет ответа"};
    holdStarts();
    m_model.toggleNote();
    releaseStarts();
    ASSERT_TRUE(m_rig.startSettled());
    EXPECT_EQ(m_model.lastError(), "PulseAudio microphone start failed: нет ответа");
    EXPECT_EQ(m_logs.errors("RecorderModel").back(),
        QStringLiteral("Note start failed: PulseAudio microphone start failed: нет ответа"));
}

namespace {

// The first 100 ms block from `from` to `to` seconds of `samples` for which `holds` is false; none
// when every block passes.
std::optional<double> firstBlockWhereNot(const std::vector<float>& samples, double from, double to,
    const std::function<bool(size_t begin, size_t count)>& holds)
{
    for (double t = from; t + 0.1 <= to; t += 0.1) {
        const auto begin = static_cast<size_t>(t * 48000);
        if (begin + 4800 > samples.size() || !holds(begin, 4800))
            return t;
    }
    return std::nullopt;
}

} // namespace

TEST_F(RecorderModelTest, MeetingGoesOnThroughASoundServerThatDiesAndComesBack)
{
    ASSERT_TRUE(soundServerAvailable()) << "run through tests/support/run-with-services.sh";
    using Clock = std::chrono::steady_clock;
    const std::string warning = "Нет звукового сервера — запись ждёт";
    auto call = std::make_unique<TonePlayer>(kSpeakersSink, 440, 0.5);
    auto voice = std::make_unique<TonePlayer>(kMicSink, 1000, 0.02);
    // The file's time begins when the meeting starts; the call is in it from the moment its level
    // was seen on (a monitor opened while its sink plays starts after what the sink rendered ahead).
    const auto start = Clock::now();
    const auto now = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    model->toggleMeeting();
    ASSERT_TRUE(startSettled());
    ASSERT_TRUE(model->isRecording()) << model->lastError().value_or("");
    const Uuid id = *model->currentRecordingID();
    ASSERT_TRUE(waitUntil([&] { return model->inputLevel() > 0.2f; }, 8000));
    const double heardAt = now();
    const auto settleUntil = [&](double seconds) { settle(std::max(0, static_cast<int>((seconds - now()) * 1000))); };
    QSignalSpy warnings(model.get(), &RecorderModel::captureWarningChanged);

    settleUntil(3);
    std::optional<SoundServerOutage> outage(std::in_place);
    ASSERT_TRUE(outage->killed());
    const double killedAt = now();
    call.reset(); // the players died with the server
    voice.reset();
    EXPECT_TRUE(waitUntil([&] { return model->captureWarning() == warning; }, 3000));
    EXPECT_TRUE(model->isRecording());
    settleUntil(killedAt + 2);
    ASSERT_TRUE(outage->restart());
    const double restartedAt = now();
    call = std::make_unique<TonePlayer>(kSpeakersSink, 440, 0.5);
    voice = std::make_unique<TonePlayer>(kMicSink, 1000, 0.02);
    ASSERT_TRUE(waitUntil([&] { return model->inputLevel() > 0.2f; }, 8000));
    const double backAt = now();
    EXPECT_FALSE(model->captureWarning());
    EXPECT_EQ(warnings.count(), 2);
    settleUntil(8);
    model->toggleMeeting();
    const double stoppedAt = now();
    EXPECT_FALSE(model->isRecording());
    const auto errors = logs.errors("RecorderModel");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(
        errors[0].startsWith(QStringLiteral("capture failed (%1): ").arg(QString::fromStdString(id.toString()))))
        << errors[0].toStdString();

    // A sound file as long as the recording ran: the call up to the moment the server died,
    // silence until it was back, the call again from when it was heard again, each in its place.
    // (This thread sees the call come back through the model's level, late on a busy machine;
    // so the file must be silent up to the server's return, and the call heard from then on.)
    const Recording* recording = store.recording(id);
    ASSERT_TRUE(recording);
    const WavContents wav = readWav(recording->audioURL()).value_or(WavContents{});
    ASSERT_EQ(wav.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_NEAR(recording->duration, stoppedAt, 0.3);
    // Heard: at least half its level (a busy server may play a cycle or two of silence for it).
    const auto callHeard
        = [&](size_t begin, size_t count) { return toneAmplitude(wav.samples, begin, count, 440) > 0.25; };
    const auto silent = [&](size_t begin, size_t count) {
        return std::all_of(wav.samples.begin() + static_cast<std::ptrdiff_t>(begin),
            wav.samples.begin() + static_cast<std::ptrdiff_t>(begin + count),
            [](float sample) { return std::fabs(sample) < 0.01f; });
    };
    EXPECT_EQ(firstBlockWhereNot(wav.samples, heardAt, killedAt - 0.25, callHeard), std::nullopt);
    EXPECT_EQ(firstBlockWhereNot(wav.samples, killedAt + 0.25, restartedAt - 0.25, silent), std::nullopt);
    EXPECT_EQ(firstBlockWhereNot(wav.samples, backAt + 0.25, stoppedAt - 0.25, callHeard), std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return !speech.uploads().empty(); }));
    EXPECT_EQ(speech.uploads()[0].endpoint, "/api/diarize/async");

    // A note stopped while the server is away ends at once and keeps what it had.
    voice = std::make_unique<TonePlayer>(kMicSink, 1000, 0.1);
    model->toggleNote();
    ASSERT_TRUE(startSettled());
    ASSERT_TRUE(model->isRecording()) << model->lastError().value_or("");
    const Uuid cutId = *model->currentRecordingID();
    ASSERT_TRUE(waitUntil([&] { return model->inputLevel() > 0.05f; }, 8000));
    outage.emplace();
    ASSERT_TRUE(outage->killed());
    voice.reset();
    ASSERT_TRUE(waitUntil([&] { return model->captureWarning() == warning; }, 3000));
    model->toggleNote();
    EXPECT_FALSE(model->isRecording());
    EXPECT_FALSE(model->captureWarning());
    const WavContents cut = readWav(store.recording(cutId)->audioURL()).value_or(WavContents{});
    EXPECT_EQ(cut.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_GT(cut.info.frames, 0);
    ASSERT_TRUE(outage->restart());

    // The next recording needs no restart of the program.
    voice = std::make_unique<TonePlayer>(kMicSink, 1000, 0.1);
    model->toggleNote();
    ASSERT_TRUE(startSettled());
    ASSERT_TRUE(model->isRecording()) << model->lastError().value_or("");
    const Uuid noteId = *model->currentRecordingID();
    ASSERT_TRUE(waitUntil([&] { return model->inputLevel() > 0.05f; }, 8000));
    settle(800);
    model->toggleNote();
    const WavContents note = readWav(store.recording(noteId)->audioURL()).value_or(WavContents{});
    ASSERT_GT(note.samples.size(), 24000u);
    EXPECT_NEAR(toneAmplitude(note.samples, note.samples.size() - 24000, 19200, 1000), 0.3, 0.05);
}

TEST_F(RecorderModelTest, NoteFollowsTheMicrophoneToTheNewDefaultWhenItsDeviceDisappears)
{
    ASSERT_TRUE(soundServerAvailable()) << "run through tests/support/run-with-services.sh";
    ExtraSinks devices;
    ASSERT_TRUE(devices.load("palaverly_headset", 48000, 1));
    ASSERT_TRUE(pactl("set-default-source palaverly_headset.monitor"));
    auto headset = std::make_unique<TonePlayer>("palaverly_headset", 700, 0.1);
    // Whichever input the server falls back to carries the other tone.
    TonePlayer mic(kMicSink, 1000, 0.1);
    TonePlayer speakers(kSpeakersSink, 1000, 0.1);
    model->toggleNote();
    ASSERT_TRUE(startSettled());
    ASSERT_TRUE(model->isRecording()) << model->lastError().value_or("");
    const Uuid id = *model->currentRecordingID();
    ASSERT_TRUE(waitUntil([&] { return model->inputLevel() > 0.05f; }, 8000));
    settle(800);

    // The headset is unplugged (its sound ends with it); the note goes on from the input that is
    // the default now.
    const fs::path audio = store.recording(id)->audioURL();
    headset.reset();
    ASSERT_TRUE(devices.unload("palaverly_headset"));
    const auto unpluggedAt = fs::file_size(audio);
    ASSERT_TRUE(waitUntil([&] { return fs::file_size(audio) > unpluggedAt + 48000 * 2; }, 8000));
    EXPECT_TRUE(model->isRecording());
    model->toggleNote();
    const WavContents wav = readWav(audio).value_or(WavContents{});
    ASSERT_GT(wav.samples.size(), 48000u);
    // The headset up to shortly before it went.
    const size_t unpluggedFrame = (unpluggedAt - 44) / 2;
    ASSERT_GT(unpluggedFrame, 24000u);
    EXPECT_NEAR(toneAmplitude(wav.samples, unpluggedFrame - 24000, 9600, 700), 0.3, 0.05);
    // (A server may mix a mono player into a stereo output and back at its own levels.)
    EXPECT_GT(toneAmplitude(wav.samples, wav.samples.size() - 14400, 9600, 1000), 0.2);
    EXPECT_LT(toneAmplitude(wav.samples, wav.samples.size() - 14400, 9600, 700), 0.02);
}
