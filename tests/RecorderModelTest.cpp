// Records meetings and notes through the real PulseAudio daemon of run-with-services.sh: a tone
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
#include <cmath>
#include <future>
#include <gtest/gtest.h>

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
    const fs::path audio = store.recording(id)->audioURL;
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
    const WavContents wav = readWav(recording->audioURL).value_or(WavContents{});
    EXPECT_EQ(wav.info.samplerate, 48000);
    EXPECT_EQ(wav.info.channels, 1);
    EXPECT_EQ(wav.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_NEAR(recording->duration, static_cast<double>(wav.info.frames) / 48000, 1e-9);
    EXPECT_GT(recording->duration, 1.5);

    // 100 ms blocks: the microphone at gain 3 while the other side is silent, ducked while loud.
    // Blocks next to the moment the call starts hold both states, so a block counts only when the
    // one before it was of the same kind.
    int quietBlocks = 0, loudBlocks = 0;
    enum class Kind { other, quiet, loud } previous = Kind::other;
    for (size_t begin = 4800; begin + 4800 <= wav.samples.size(); begin += 4800) {
        const double system = toneAmplitude(wav.samples, begin, 4800, 440);
        const double mic = toneAmplitude(wav.samples, begin, 4800, 1000);
        Kind kind = Kind::other;
        if (system < 0.005 && mic > 0.1)
            kind = Kind::quiet;
        else if (system > 0.45)
            kind = Kind::loud;
        if (kind == Kind::quiet && previous == Kind::quiet) {
            ++quietBlocks;
            EXPECT_NEAR(mic, 0.3, 0.05) << "block at " << begin;
        } else if (kind == Kind::loud && previous == Kind::loud) {
            ++loudBlocks;
            EXPECT_LT(mic, 0.05) << "block at " << begin;
        }
        previous = kind;
    }
    EXPECT_GE(quietBlocks, 5);
    EXPECT_GE(loudBlocks, 5);

    const QString path = QString::fromStdString(recording->audioURL.string());
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
    model->toggleMeeting(); // the meeting command during a note stops the note
    EXPECT_FALSE(model->isRecording());
    EXPECT_TRUE(store.recordings().size() == 1);

    const Recording* recording = store.recording(id);
    ASSERT_TRUE(recording);
    EXPECT_EQ(recording->kind, RecordingKind::note);
    EXPECT_EQ(recording->directoryURL, library.base() / "notes" / id.toString());
    EXPECT_TRUE(recording->name.starts_with("Заметка — "));
    const WavContents wav = readWav(recording->audioURL).value_or(WavContents{});
    ASSERT_GT(wav.samples.size(), 24000u);
    EXPECT_NEAR(toneAmplitude(wav.samples, wav.samples.size() - 24000, 19200, 1000), 0.3, 0.05);
    EXPECT_TRUE(waitUntil([&] { return !model->hasTranscribeTask(id) && !model->hasTitleTask(id); }));
    EXPECT_EQ(speech.uploads().at(0).endpoint, "/api/transcribe/async");
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
    EXPECT_EQ(readWav(left.audioURL).value_or(WavContents{}).info.frames, 0);

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
    RecorderRig m_rig{nullptr, [this] { return std::make_unique<FakeCaptureBackend>(m_control); }};
    RecorderModel& m_model = *m_rig.model;
    LogCapture m_logs;
};

} // namespace

TEST_F(HeldStartTest, TheTogglesReturnWhileTheCaptureComesUpAndAStopMeanwhileDropsTheStart)
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

    // A stop while the capture comes up: the recording never shows and nothing of it stays.
    holdStarts();
    m_model.toggleNote();
    const Uuid meeting = m_rig.store.recordings().at(0).id;
    m_model.stopCurrent();
    releaseStarts();
    ASSERT_TRUE(m_rig.startSettled());
    EXPECT_FALSE(m_model.isRecording());
    EXPECT_EQ(recordingChanged.count(), 2);
    EXPECT_FALSE(m_control->running.load());
    m_rig.store.reload();
    ASSERT_EQ(m_rig.store.recordings().size(), 1u);
    EXPECT_EQ(m_rig.store.recordings()[0].id, meeting);
    EXPECT_TRUE(std::filesystem::is_empty(m_rig.library.base() / "notes"));
    const auto lines = m_logs.messages("RecorderModel");
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
        [](const QString& line) { return line.startsWith(QStringLiteral("Note start cancelled (")); }));

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
