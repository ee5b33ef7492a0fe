// What the recorded files hold, and when, against the real sound server of run-with-services.sh:
// a take keeps what was heard from the moment it was started to the moment it was stopped, the
// two sides of a meeting land together whatever their latencies, and the program's own playback
// stays out of a meeting.
#include "audio/AudioPlayer.h"

#include "QtWait.h"
#include "RecorderRig.h"
#include "SoundServer.h"
#include "TakeRig.h"
#include "WavFile.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <unistd.h>

using namespace palaverly;
using namespace palaverly::test;
namespace fs = std::filesystem;

namespace {

constexpr double kRate = 48000;
constexpr double kClickSeconds = 0.005;

class CaptureEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!soundServerAvailable())
            GTEST_SKIP() << "needs tests/support/run-with-services.sh";
    }

    fs::path file(const char* name) const { return fs::path(m_dir.path().toStdString()) / name; }

    // A WAV of `count` short 2 kHz clicks, `spacing` seconds apart after `lead` seconds of silence.
    fs::path clicks(int count, double lead, double spacing) const
    {
        std::vector<float> samples(static_cast<size_t>((lead + spacing * count) * kRate));
        for (int c = 0; c < count; ++c)
            for (size_t i = 0; i < static_cast<size_t>(kClickSeconds * kRate); ++i)
                samples[static_cast<size_t>((lead + spacing * c) * kRate) + i]
                    = 0.4f * static_cast<float>(std::sin(2 * std::numbers::pi * 2000 * static_cast<double>(i) / kRate));
        const fs::path path = file("clicks.wav");
        EXPECT_TRUE(writeWav(path, samples));
        return path;
    }

    fs::path tone(const char* name, double frequency, double seconds) const
    {
        std::vector<float> samples(static_cast<size_t>(seconds * kRate));
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = 0.3f
                * static_cast<float>(std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) / kRate));
        EXPECT_TRUE(writeWav(file(name), samples));
        return file(name);
    }

    // Plays `path` into `sink` with paplay and returns once it has finished.
    static bool play(const std::string& sink, const fs::path& path)
    {
        QProcess player;
        player.start(
            QStringLiteral("paplay"), {QString::fromStdString("--device=" + sink), QString::fromStdString(path)});
        return waitUntil([&] { return player.state() == QProcess::NotRunning; }, 15000) && player.exitCode() == 0;
    }

    static std::vector<float> audioOf(RecorderRig& rig, const Uuid& id)
    {
        const Recording* recording = rig.store.recording(id);
        return recording ? readWav(recording->audioURL()).value_or(WavContents{}).samples : std::vector<float>{};
    }

    // Starts a meeting and waits until it records.
    static std::optional<Uuid> startMeeting(RecorderRig& rig)
    {
        rig.model->toggleMeeting();
        if (!waitUntil([&] { return rig.model->isRecording() || rig.model->lastError(); }) || !rig.model->isRecording())
            return std::nullopt;
        return rig.model->currentRecordingID();
    }

    QTemporaryDir m_dir;
};

// Stretches of loud sound, each from its first to its last loud sample, told apart by 200 ms of
// quiet.
std::vector<std::pair<double, double>> loudStretches(const std::vector<float>& samples)
{
    std::vector<std::pair<double, double>> stretches;
    for (size_t i = 0; i < samples.size(); ++i) {
        if (std::fabs(samples[i]) < 0.1f)
            continue;
        const double at = static_cast<double>(i) / kRate;
        if (stretches.empty() || at - stretches.back().second > 0.2)
            stretches.emplace_back(at, at);
        stretches.back().second = at;
    }
    return stretches;
}

// Amplitude of `frequency` over samples[begin, begin + count) (Goertzel).
double amplitudeAt(const std::vector<float>& samples, size_t begin, size_t count, double frequency)
{
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * frequency / kRate);
    double s1 = 0, s2 = 0;
    for (size_t i = begin; i < begin + count && i < samples.size(); ++i) {
        const double s0 = samples[i] + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return 2 * std::sqrt(std::max(s1 * s1 + s2 * s2 - coefficient * s1 * s2, 0.0)) / static_cast<double>(count);
}

} // namespace

TEST_F(CaptureEndToEndTest, EachTakeKeepsWhatWasHeardFromTheMomentItStartedToTheMomentItStopped)
{
    // A stepped tone plays into the virtual microphone all along; its pitch tells, to the frame,
    // which moment of it a stretch of the file holds. One step is 100 ms.
    SteppedTone tone(kMicSink, 0.2, 40);
    ASSERT_TRUE(tone.playing());
    for (const auto kind : {TakeRig::Kind::note, TakeRig::Kind::dictation, TakeRig::Kind::meeting}) {
        TakeRig rig(tone); // the program has just started
        for (const char* when : {"first take", "take right after another"}) {
            SCOPED_TRACE(std::string(TakeRig::name(kind)) + ", " + when);
            // A take during which the tone itself ran dry (a busy machine starves its player)
            // says nothing about the capture: it is taken again, a few times at most.
            TakeRig::Take take = rig.take(kind, 0.6);
            for (int retake = 0; take.toneDroppedOut && retake < 3; ++retake)
                take = rig.take(kind, 0.6);
            ASSERT_TRUE(take.failure.empty()) << take.failure;
            const auto ends = measureToneEnds(take.samples, take.startHeard, take.stopHeard);
            ASSERT_TRUE(ends) << "no tone in the recording";
            EXPECT_LT(std::fabs(ends->startLossSeconds), SteppedTone::kStepSeconds);
            EXPECT_LT(std::fabs(ends->endLossSeconds), SteppedTone::kStepSeconds);
            EXPECT_LT(std::fabs(ends->placementSeconds), SteppedTone::kStepSeconds);
        }
    }
}

TEST_F(CaptureEndToEndTest, BothSidesOfAMeetingLandTogetherWhateverTheirLatencies)
{
    // A microphone that starts late, the way a waking USB microphone does, and a sink that plays
    // into both the default output and the virtual microphone's sink: what it plays reaches the
    // meeting twice, once from each side. (Silent players keep the two null sinks playing as they
    // go: a null sink that renders far ahead stalls when a recording asks it for less, and the
    // combined sink would then play into one of them later than into the other.)
    SteppedTone keepSpeakersPlaying(kSpeakersSink, 0);
    SteppedTone keepMicrophonePlaying(kMicSink, 0);
    ExtraSinks devices;
    ASSERT_TRUE(devices.loadModule(
        "palaverly_late_mic", "module-remap-source source_name=palaverly_late_mic master=palaverly_mic.monitor"));
    ASSERT_TRUE(pactl("set-default-source palaverly_late_mic"));
    ASSERT_TRUE(devices.loadModule(
        "palaverly_both", "module-combine-sink sink_name=palaverly_both slaves=palaverly_speakers,palaverly_mic"));
    RecorderRig rig;
    rig.model->toggleNote(); // a note first
    ASSERT_TRUE(rig.startSettled());
    ASSERT_TRUE(rig.model->isRecording());
    settle(400);
    rig.model->stopCurrent();

    // Clicks through the combined sink: each lands as one click, its two copies within 20 ms.
    auto meeting = startMeeting(rig);
    ASSERT_TRUE(meeting) << rig.model->lastError().value_or("");
    ASSERT_TRUE(play("palaverly_both", clicks(3, 0.2, 0.4)));
    settle(200);
    rig.model->stopCurrent();
    auto stretches = loudStretches(audioOf(rig, *meeting));
    ASSERT_EQ(stretches.size(), 3u);
    for (const auto& [first, last] : stretches)
        EXPECT_LE(last - first, kClickSeconds + 0.020) << "click at " << first << " s";

    // Sound that starts 2 s into a meeting is in the file from then on, the microphone's copy
    // within 50 ms of the other.
    meeting = startMeeting(rig);
    ASSERT_TRUE(meeting) << rig.model->lastError().value_or("");
    settle(2000);
    ASSERT_TRUE(play("palaverly_both", clicks(3, 0.1, 0.4)));
    settle(200);
    rig.model->stopCurrent();
    stretches = loudStretches(audioOf(rig, *meeting));
    ASSERT_EQ(stretches.size(), 3u);
    EXPECT_GE(stretches.front().first, 2.0);
    for (const auto& [first, last] : stretches)
        EXPECT_LE(last - first, kClickSeconds + 0.050) << "click at " << first << " s";
}

TEST_F(CaptureEndToEndTest, TheProgramsOwnPlaybackStaysOutOfAMeetingAndNothingIsRerouted)
{
    // The user's routing: loaded modules, and which output each playback stream plays on.
    const auto routing
        = [] { return pactl("list short modules").value_or("?") + pactl("list short sink-inputs").value_or("?"); };
    RecorderRig rig;
    const auto meeting = startMeeting(rig);
    ASSERT_TRUE(meeting) << rig.model->lastError().value_or("");
    // The library's player plays 1 kHz; another program plays 440 Hz; both on the default output.
    auto player = AudioPlayer::create(tone("own.wav", 1000, 3));
    ASSERT_TRUE(player);
    player->play();
    ASSERT_TRUE(waitUntil([&] { return player->currentTime() > 0.2; }));
    const std::string routingWhilePlaying = routing();
    QProcess speakers;
    speakers.start(QStringLiteral("parec"),
        {QStringLiteral("--device=%1.monitor").arg(kSpeakersSink), "--raw", "--format=float32le", "--channels=1",
            "--rate=48000", "--latency-msec=20"});
    ASSERT_TRUE(play(kSpeakersSink, tone("other.wav", 440, 1.2)));
    EXPECT_EQ(routing(), routingWhilePlaying);
    speakers.kill();
    speakers.waitForFinished();
    rig.model->stopCurrent();
    player.reset();

    // The output itself carried both tones (the player's for a good part of the time at least)...
    const QByteArray heard = speakers.readAllStandardOutput();
    const std::vector<float> output(reinterpret_cast<const float*>(heard.constData()),
        reinterpret_cast<const float*>(heard.constData()) + heard.size() / sizeof(float));
    int ownBlocks = 0;
    for (size_t at = 0; at + 4800 <= output.size(); at += 4800)
        ownBlocks += amplitudeAt(output, at, 4800, 1000) > 0.25 && amplitudeAt(output, at, 4800, 440) > 0.25;
    EXPECT_GE(ownBlocks, 3);
    // ...the meeting holds the other program's at its level and its own 40 dB below that.
    const std::vector<float> recorded = audioOf(rig, *meeting);
    double other = 0, own = 0;
    for (size_t at = 0; at + 4800 <= recorded.size(); at += 4800) {
        other = std::max(other, amplitudeAt(recorded, at, 4800, 440));
        own = std::max(own, amplitudeAt(recorded, at, 4800, 1000));
    }
    EXPECT_NEAR(other, 0.3, 0.05);
    EXPECT_LT(own, other / 100);
}
