#include "audio/SystemAudioCapture.h"

#include "FakeCaptureBackend.h"
#include "LogCapture.h"
#include "SoundServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

using namespace palaverly;
using namespace palaverly::test;
using Kind = SystemAudioCapture::CaptureError::Kind;

namespace {

// Buffers of one kind as the capture thread hands them out; read by the test thread.
class Received {
public:
    void add(const AudioBuffer& buffer)
    {
        std::lock_guard lock(m_mutex);
        ++m_buffers;
        m_format = buffer.format();
        for (uint32_t i = 0; i < buffer.frameLength(); ++i)
            m_firstChannel.push_back(buffer.sample(i, 0));
    }
    size_t frames() const
    {
        std::lock_guard lock(m_mutex);
        return m_firstChannel.size();
    }
    size_t buffers() const
    {
        std::lock_guard lock(m_mutex);
        return m_buffers;
    }
    AudioFormat format() const
    {
        std::lock_guard lock(m_mutex);
        return m_format;
    }
    // The samples from `first` on (first channel).
    std::vector<float> from(size_t first) const
    {
        std::lock_guard lock(m_mutex);
        return {m_firstChannel.begin() + static_cast<std::ptrdiff_t>(std::min(first, m_firstChannel.size())),
            m_firstChannel.end()};
    }

private:
    mutable std::mutex m_mutex;
    size_t m_buffers = 0;
    AudioFormat m_format;
    std::vector<float> m_firstChannel;
};

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Waits until `received` has `seconds` more audio after `mark` and returns that stretch.
std::vector<float> recordAfter(const Received& received, size_t mark, double seconds)
{
    const auto needed = mark + static_cast<size_t>(seconds * 48000);
    EXPECT_TRUE(waitFor([&] { return received.frames() >= needed; }));
    return received.from(mark);
}

// Waits until a tenth of a second of fresh audio carries `frequency` with at least `share` of
// its energy.
bool hearsTone(const Received& received, double frequency, double share)
{
    return waitFor([&] { return toneShare(recordAfter(received, received.frames(), 0.1), 48000, frequency) > share; });
}

} // namespace

TEST(SystemAudioCaptureTest, CountsBuffersAndLogsThePeakOfEveryFiftieth)
{
    LogCapture log;
    auto control = std::make_shared<FakeCaptureBackend::Control>();
    SystemAudioCapture capture(std::make_unique<FakeCaptureBackend>(control));
    int systemHandedOut = 0;
    int micHandedOut = 0;
    capture.onSystemBuffer = [&](const AudioBuffer&) { ++systemHandedOut; };
    capture.onMicBuffer = [&](const AudioBuffer&) { ++micHandedOut; };
    ASSERT_FALSE(capture.start());
    EXPECT_TRUE(log.contains("SystemAudioCapture", "PulseAudio capture started (system audio + mic)"));
    ASSERT_EQ(control->request.streams.size(), 2u);
    EXPECT_EQ(control->request.streams[0].device, CaptureDevice::systemSound);
    EXPECT_EQ(control->request.streams[1].device, CaptureDevice::defaultInput);

    // The capture thread: 151 system buffers and 100 microphone buffers, an empty one in between.
    std::thread captureThread([&] {
        const auto buffer
            = AudioBuffer::fromFloat(48000, 2, SampleLayout::interleaved, std::vector<float>{-0.8f, 0.5f});
        const AudioBuffer empty({48000, 2, SampleType::float32, SampleLayout::interleaved}, 0);
        for (int i = 0; i < 151; ++i) {
            control->request.streams[0].onBuffer(buffer);
            control->request.streams[0].onBuffer(empty);
            if (i < 100)
                control->request.streams[1].onBuffer(buffer);
        }
        control->request.onStreamError("Entity killed");
    });
    captureThread.join();
    EXPECT_EQ(systemHandedOut, 151);
    EXPECT_EQ(micHandedOut, 100);
    EXPECT_EQ(capture.systemBufferCount(), 151);
    EXPECT_EQ(capture.micBufferCount(), 100);
    const std::vector<QString> expected
        = {"PulseAudio capture started (system audio + mic)", "system peak 0.8000 (buffer #50)",
            "mic peak 0.8000 (buffer #50)", "system peak 0.8000 (buffer #100)", "mic peak 0.8000 (buffer #100)",
            "system peak 0.8000 (buffer #150)", "Stream stopped with error: Entity killed"};
    EXPECT_EQ(log.messages("SystemAudioCapture"), expected);
    EXPECT_EQ(log.errors("SystemAudioCapture").size(), 1u);
    EXPECT_TRUE(capture.isCapturing()); // a failed stream does not stop the capture

    capture.stop();
    EXPECT_EQ(capture.systemBufferCount(), 0);
    EXPECT_EQ(capture.micBufferCount(), 0);
    EXPECT_EQ(log.messages("SystemAudioCapture").back(), "PulseAudio capture stopped");
    capture.stop(); // not capturing: nothing happens
    EXPECT_EQ(log.count("SystemAudioCapture", "PulseAudio capture stopped"), 1);
    EXPECT_EQ(control->stops, 1);
}

TEST(SystemAudioCaptureTest, WithoutASoundServerStartFailsWithAClearText)
{
    ScopedEnvironment noServer("PULSE_SERVER", "unix:/nonexistent/palaverly/native");
    SystemAudioCapture capture;
    const auto error = capture.start();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, Kind::startFailed);
    EXPECT_TRUE(error->description().starts_with("Не удалось запустить захват звука: ")) << error->description();
    EXPECT_GT(error->reason.size(), 5u);
    EXPECT_FALSE(capture.isCapturing());

    // A server without any output device: nothing whose sound could be recorded.
    PrivateSoundServer empty;
    ASSERT_TRUE(empty.started());
    ScopedEnvironment emptyServer("PULSE_SERVER", empty.address());
    const auto noOutput = capture.start();
    ASSERT_TRUE(noOutput);
    EXPECT_EQ(noOutput->description(), "Не найден источник системного звука");
}

TEST(SystemAudioCaptureTest, RecordsTheDefaultOutputAndTheMicrophoneAtTheirOwnFormats)
{
    if (!soundServerAvailable())
        GTEST_SKIP() << "needs tests/support/run-with-services.sh";
    LogCapture log;
    TonePlayer speakers(kSpeakersSink, 440, 0.5);
    TonePlayer mic(kMicSink, 1000, 0.25);
    ASSERT_TRUE(speakers.started() && mic.started());
    Received system;
    Received microphone;
    SystemAudioCapture capture;
    capture.onSystemBuffer = [&](const AudioBuffer& b) { system.add(b); };
    capture.onMicBuffer = [&](const AudioBuffer& b) { microphone.add(b); };
    const auto error = capture.start();
    ASSERT_FALSE(error) << error->description();

    // Each side carries its own tone and nothing of the other's.
    EXPECT_TRUE(hearsTone(system, 440, 0.9));
    EXPECT_TRUE(hearsTone(microphone, 1000, 0.9));
    EXPECT_LT(toneShare(recordAfter(system, system.frames(), 0.2), 48000, 1000), 0.05);
    EXPECT_LT(toneShare(recordAfter(microphone, microphone.frames(), 0.2), 48000, 440), 0.05);
    capture.stop();
    EXPECT_EQ(system.format(), (AudioFormat{48000, 2, SampleType::float32, SampleLayout::interleaved}));
    EXPECT_EQ(microphone.format(), (AudioFormat{48000, 1, SampleType::float32, SampleLayout::interleaved}));

    // Once stopped nothing more arrives, and the counters start again from zero.
    const size_t afterStop = system.buffers();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(system.buffers(), afterStop);
    EXPECT_EQ(capture.systemBufferCount(), 0);
    const auto lines = log.messages("SystemAudioCapture");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), "PulseAudio capture started (system audio + mic)");
    EXPECT_EQ(lines.back(), "PulseAudio capture stopped");
    const auto peakLines = std::count_if(lines.begin(), lines.end(),
        [](const QString& line) { return line.startsWith("system peak 0.") && line.endsWith(" (buffer #50)"); });
    EXPECT_EQ(peakLines, afterStop >= 50 ? 1 : 0);
}

TEST(SystemAudioCaptureTest, ServerGoneMidRecordingIsOneErrorLineAndStopStaysClean)
{
    LogCapture log;
    PrivateSoundServer server({"module-null-sink sink_name=only rate=48000 channels=2"});
    ASSERT_TRUE(server.started());
    ScopedEnvironment useIt("PULSE_SERVER", server.address());
    SystemAudioCapture capture;
    const auto error = capture.start();
    ASSERT_FALSE(error) << error->description();
    server.terminate();
    EXPECT_TRUE(waitFor([&] { return !log.errors("SystemAudioCapture").empty(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // any second report would come now
    const auto errors = log.errors("SystemAudioCapture");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors.front().startsWith("Stream stopped with error: ")) << errors.front().toStdString();
    EXPECT_TRUE(capture.isCapturing()); // the owner decides when to stop
    capture.stop();
    EXPECT_EQ(log.messages("SystemAudioCapture").back(), "PulseAudio capture stopped");
}

TEST(SystemAudioCaptureTest, FollowsTheDefaultOutputAndSurvivesItsRemoval)
{
    if (!soundServerAvailable())
        GTEST_SKIP() << "needs tests/support/run-with-services.sh";
    LogCapture log;
    ExtraSinks devices;
    ASSERT_TRUE(devices.load("palaverly_headphones", 44100, 2));
    TonePlayer speakers(kSpeakersSink, 440, 0.5);
    TonePlayer headphones("palaverly_headphones", 880, 0.5);
    TonePlayer mic(kMicSink, 1000, 0.25);
    Received system;
    Received microphone;
    SystemAudioCapture capture;
    capture.onSystemBuffer = [&](const AudioBuffer& b) { system.add(b); };
    capture.onMicBuffer = [&](const AudioBuffer& b) { microphone.add(b); };
    const auto error = capture.start();
    ASSERT_FALSE(error) << error->description();
    ASSERT_TRUE(hearsTone(system, 440, 0.9));
    EXPECT_LT(toneShare(recordAfter(system, system.frames(), 0.2), 48000, 880), 0.05);

    // Headphones plugged in: the default output changes and the recording follows it, keeping
    // the format it started with. (The server may move the players too; the headphones' tone is
    // what tells the new device.)
    ASSERT_TRUE(pactl("set-default-sink palaverly_headphones"));
    EXPECT_TRUE(hearsTone(system, 880, 0.3));
    EXPECT_EQ(system.format(), (AudioFormat{48000, 2, SampleType::float32, SampleLayout::interleaved}));
    EXPECT_TRUE(log.contains("CaptureBackend", "Following the new default output: palaverly_headphones.monitor"));

    // Headphones pulled out (the device disappears): both sides go on delivering, stop is clean.
    ASSERT_TRUE(devices.unload("palaverly_headphones"));
    ASSERT_TRUE(pactl(std::string("set-default-sink ") + kSpeakersSink));
    const size_t systemMark = system.buffers();
    const size_t micMark = microphone.buffers();
    EXPECT_TRUE(waitFor([&] { return system.buffers() > systemMark + 5 && microphone.buffers() > micMark + 5; }));
    capture.stop();
    EXPECT_EQ(log.messages("SystemAudioCapture").back(), "PulseAudio capture stopped");
}
