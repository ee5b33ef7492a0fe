#include "audio/MicrophoneTap.h"

#include "FakeCaptureBackend.h"
#include "LogCapture.h"
#include "SoundServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

using namespace palaverly;
using namespace palaverly::test;

TEST(MicrophoneTapTest, CountsBuffersLogsEveryFiftiethPeakAndStopsEvenWhenIdle)
{
    LogCapture log;
    auto control = std::make_shared<FakeCaptureBackend::Control>();
    MicrophoneTap tap(std::make_unique<FakeCaptureBackend>(control));
    tap.stop(); // never started
    EXPECT_EQ(log.messages("MicrophoneTap"), std::vector<QString>{"Mic capture stopped"});
    EXPECT_EQ(control->stops, 0);

    int handedOut = 0;
    tap.onBuffer = [&](const AudioBuffer&) { ++handedOut; };
    ASSERT_FALSE(tap.start());
    ASSERT_EQ(control->request.streams.size(), 1u);
    EXPECT_EQ(control->request.streams[0].device, CaptureDevice::defaultInput);
    EXPECT_EQ(control->request.streams[0].framesPerBuffer, 4096u);
    std::thread tapThread([&] {
        const auto buffer
            = AudioBuffer::fromFloat(48000, 1, SampleLayout::interleaved, std::vector<float>{-0.8f, 0.5f});
        for (int i = 0; i < 101; ++i)
            control->request.streams[0].onBuffer(buffer);
    });
    tapThread.join();
    EXPECT_EQ(handedOut, 101);
    EXPECT_EQ(tap.bufferCount(), 101);
    tap.stop();
    EXPECT_EQ(tap.bufferCount(), 0);
    const std::vector<QString> expected = {"Mic capture stopped", "Mic format: 48000 Hz, 1 ch", "Mic capture started",
        "mic peak 0.8000 (buffer #50)", "mic peak 0.8000 (buffer #100)", "Mic capture stopped"};
    EXPECT_EQ(log.messages("MicrophoneTap"), expected);

    control->startError = CaptureBackend::StartError{CaptureBackend::StartError::Kind::failed, "Access denied"};
    const auto error = tap.start();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->description(), "PulseAudio microphone start failed: Access denied");
}

TEST(MicrophoneTapTest, WithoutASoundServerStartFailsWithAClearText)
{
    ScopedEnvironment noServer("PULSE_SERVER", "unix:/nonexistent/palaverly/native");
    LogCapture log;
    MicrophoneTap tap;
    const auto error = tap.start();
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->description().starts_with("PulseAudio microphone start failed: ")) << error->description();
    EXPECT_FALSE(tap.isRunning());
    EXPECT_FALSE(log.contains("MicrophoneTap", "Mic capture started"));
}

TEST(MicrophoneTapTest, DeliversBuffersOf4096FramesFromTheDefaultInputAndFollowsIt)
{
    if (!soundServerAvailable())
        GTEST_SKIP() << "needs tests/support/run-with-services.sh";
    LogCapture log;
    TonePlayer mic(kMicSink, 1000, 0.25);
    TonePlayer speakers(kSpeakersSink, 440, 0.5);
    std::mutex mutex;
    std::vector<AudioBuffer> buffers;
    MicrophoneTap tap;
    tap.onBuffer = [&](const AudioBuffer& b) {
        std::lock_guard lock(mutex);
        buffers.push_back(b);
    };
    const auto count = [&] {
        std::lock_guard lock(mutex);
        return buffers.size();
    };
    const auto waitForBuffers = [&](size_t n) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (count() < n && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return count() >= n;
    };
    const auto lastBufferShare = [&](double frequency) {
        std::lock_guard lock(mutex);
        return toneShare(buffers.back().floatSamples(), 48000, frequency);
    };
    // True once one of the next 40 buffers carries `frequency` alone.
    const auto soonHears = [&](double frequency) {
        const size_t limit = count() + 40;
        for (size_t n = count() + 1; n < limit && waitForBuffers(n); ++n)
            if (lastBufferShare(frequency) > 0.9)
                return true;
        return false;
    };
    const auto error = tap.start();
    ASSERT_FALSE(error) << error->description();
    EXPECT_TRUE(log.contains("MicrophoneTap", "Mic format: 48000 Hz, 1 ch"));
    EXPECT_TRUE(log.contains("MicrophoneTap", "Mic capture started"));
    EXPECT_TRUE(soonHears(1000));

    // Another microphone becomes the default: the tap follows it.
    ASSERT_TRUE(pactl(std::string("set-default-source ") + kSpeakersSink + ".monitor"));
    const bool followed = soonHears(440);
    pactl(std::string("set-default-source ") + kMicSink + ".monitor");
    EXPECT_TRUE(followed);
    tap.stop();
    EXPECT_TRUE(log.contains("MicrophoneTap", "Mic capture stopped"));
    // Every buffer holds 4096 frames but the last, which holds what the take had left.
    std::lock_guard lock(mutex);
    ASSERT_FALSE(buffers.empty());
    for (const auto& b : buffers) {
        ASSERT_EQ(b.frameLength(), &b == &buffers.back() ? b.frameLength() : 4096u);
        ASSERT_LE(b.frameLength(), 4096u);
        ASSERT_EQ(b.format(), (AudioFormat{48000, 1, SampleType::float32, SampleLayout::interleaved}));
    }
}
