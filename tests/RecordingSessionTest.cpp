#include "audio/RecordingSession.h"

#include "LogCapture.h"
#include "WavFile.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <numbers>
#include <thread>

extern char** environ;

using namespace palaverly;
using palaverly::test::LogCapture;
using palaverly::test::readWav;
using Mode = RecordingSession::Mode;

namespace {

constexpr float kQuantum = 1.0f / 32768.0f; // one step of 16-bit PCM

std::filesystem::path tempPath(const QTemporaryDir& dir, const char* name)
{
    return std::filesystem::path(dir.path().toStdString()) / name;
}

std::shared_ptr<RecordingSession> makeSession(const std::filesystem::path& folder, Mode mode)
{
    auto created = RecordingSession::create(folder, mode);
    EXPECT_TRUE(created.session) << (created.error ? created.error->description() : "");
    return created.session;
}

AudioBuffer mono48k(size_t frames, float value)
{
    return AudioBuffer::fromFloat(48000, 1, SampleLayout::planar, std::vector<float>(frames, value));
}

AudioBuffer sineBuffer(
    double rate, uint32_t channels, uint32_t first, uint32_t frames, double frequency, double amplitude)
{
    AudioBuffer b({rate, channels, SampleType::float32, SampleLayout::interleaved}, frames);
    for (uint32_t i = 0; i < frames; ++i)
        for (uint32_t c = 0; c < channels; ++c)
            b.setSample(
                i, c, static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * frequency * (first + i) / rate)));
    return b;
}

void expectAllNear(std::span<const float> samples, float value, float tolerance = 2 * kQuantum)
{
    for (size_t i = 0; i < samples.size(); ++i)
        ASSERT_NEAR(samples[i], value, tolerance) << "at frame " << i;
}

} // namespace

TEST(RecordingSessionTest, CreatesTheFolderAndA48kMonoPcm16WavAndLogsItsLife)
{
    LogCapture log;
    QTemporaryDir dir;
    const auto folder = tempPath(dir, "meetings/ABC");
    auto session = makeSession(folder, Mode::meetingMix);
    ASSERT_TRUE(session);
    EXPECT_EQ(session->audioPath(), folder / "audio.wav");
    EXPECT_EQ(session->sampleRate(), 48000.0);
    EXPECT_TRUE(log.contains("RecordingSession",
        QString::fromStdString("Recording session at " + (folder / "audio.wav").string() + " mode=meetingMix")));

    session->appendMic(mono48k(4800, 0.1f));
    session->appendSystem(mono48k(4800, 0.0f));
    session->finalizeAndWait();
    EXPECT_EQ(session->framesWritten(), 4800);
    EXPECT_TRUE(log.contains("RecordingSession", "Finalized: 4800 frames @ 48 kHz"));
    session.reset(); // closes the file

    const auto wav = readWav(folder / "audio.wav");
    ASSERT_TRUE(wav);
    EXPECT_EQ(wav->info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(wav->info.samplerate, 48000);
    EXPECT_EQ(wav->info.channels, 1);
    EXPECT_EQ(wav->info.frames, 4800);
    expectAllNear(wav->samples, 0.3f);
}

TEST(RecordingSessionTest, CreationFailuresCarryTheirSentences)
{
    QTemporaryDir dir;
    std::ofstream(tempPath(dir, "plain-file")) << "x";
    auto blocked = RecordingSession::create(tempPath(dir, "plain-file") / "ABC", Mode::micOnly);
    ASSERT_FALSE(blocked.session);
    ASSERT_TRUE(blocked.error);
    EXPECT_EQ(blocked.error->kind, RecordingSession::SessionError::Kind::folderCreationFailed);
    EXPECT_TRUE(blocked.error->description().starts_with("Не удалось создать папку")) << blocked.error->description();

    // audio.wav taken by a folder: the file cannot be opened.
    std::filesystem::create_directories(tempPath(dir, "taken") / "audio.wav");
    auto taken = RecordingSession::create(tempPath(dir, "taken"), Mode::meetingMix);
    ASSERT_FALSE(taken.session);
    ASSERT_TRUE(taken.error);
    EXPECT_EQ(taken.error->kind, RecordingSession::SessionError::Kind::fileCreationFailed);
    EXPECT_TRUE(taken.error->description().starts_with("Не удалось создать аудиофайл: "));
    EXPECT_GT(taken.error->description().size(), std::string("Не удалось создать аудиофайл: ").size());

    const RecordingSession::SessionError formatError{RecordingSession::SessionError::Kind::formatCreationFailed, {}};
    EXPECT_EQ(formatError.description(), "Не удалось создать целевой аудиоформат");
}

TEST(RecordingSessionTest, MeetingMixWritesWhatBothSidesHaveAndFlushesTheRestAtFinalize)
{
    QTemporaryDir dir;
    auto session = makeSession(tempPath(dir, "m"), Mode::meetingMix);
    ASSERT_TRUE(session);
    // Only the microphone so far: it waits for the system side.
    session->appendMic(mono48k(600, 0.1f));
    session->writeQueue().sync([] {});
    EXPECT_EQ(session->framesWritten(), 0);

    session->appendSystem(mono48k(1000, 0.01f));
    session->writeQueue().sync([] {});
    EXPECT_EQ(session->framesWritten(), 600); // 400 system samples stay queued

    // Loud system sound ducks the microphone within the block.
    session->appendSystem(mono48k(4400, 0.5f));
    session->appendMic(mono48k(4800, 0.1f));
    session->writeQueue().sync([] {});
    EXPECT_EQ(session->framesWritten(), 5400);

    session->appendMic(mono48k(300, 0.1f)); // never met by the system side
    session->finalizeAndWait();
    EXPECT_EQ(session->framesWritten(), 5700);
    session.reset();

    const auto wav = readWav(tempPath(dir, "m") / "audio.wav");
    ASSERT_TRUE(wav);
    ASSERT_EQ(wav->samples.size(), 5700u);
    const std::span<const float> all(wav->samples);
    expectAllNear(all.subspan(0, 600), 0.01f + 0.3f);
    // The next block (400 quiet and 4400 loud system samples, one microphone buffer) is loud as a
    // whole, so the gain falls from its first sample on, by the attack coefficient per sample.
    float gain = 3.0f;
    for (size_t i = 600; i < 5400; ++i) {
        gain = gain + (0.05f - gain) * 0.00208f;
        ASSERT_NEAR(all[i], (i < 1000 ? 0.01f : 0.5f) + gain * 0.1f, 2 * kQuantum) << "at frame " << i;
    }
    EXPECT_LT(gain, 0.06f);
    // The flushed tail: the microphone alone, zeros for the system side, at the gain left over.
    expectAllNear(all.subspan(5400), gain * 0.1f);
}

TEST(RecordingSessionTest, MicOnlyAmplifiesByThreeClipsIgnoresSystemAndFinalizesOnce)
{
    LogCapture log;
    QTemporaryDir dir;
    auto session = makeSession(tempPath(dir, "n"), Mode::micOnly);
    ASSERT_TRUE(session);
    session->appendMic(AudioBuffer::fromFloat(48000, 1, SampleLayout::planar, std::vector<float>{0.5f, 0.2f, -0.5f}));
    session->appendSystem(mono48k(480, 0.9f));
    session->appendMic(AudioBuffer({48000, 1, SampleType::float32, SampleLayout::planar}, 0));
    session->finalizeAndWait();
    session->finalizeAndWait();
    EXPECT_EQ(session->framesWritten(), 3);
    EXPECT_EQ(log.count("RecordingSession", "Finalized: 3 frames @ 48 kHz"), 1);
    // Buffers handed in after finalize are still written after it.
    session->appendMic(mono48k(10, 0.1f));
    session->writeQueue().sync([] {});
    EXPECT_EQ(session->framesWritten(), 13);
    session.reset();

    const auto wav = readWav(tempPath(dir, "n") / "audio.wav");
    ASSERT_TRUE(wav);
    ASSERT_EQ(wav->samples.size(), 13u);
    EXPECT_NEAR(wav->samples[0], 1.0f, kQuantum);
    EXPECT_NEAR(wav->samples[1], 0.6f, kQuantum);
    EXPECT_NEAR(wav->samples[2], -1.0f, kQuantum);
}

TEST(RecordingSessionTest, BadBuffersAreDroppedOrSilencedWithoutHarm)
{
    QTemporaryDir dir;
    auto session = makeSession(tempPath(dir, "b"), Mode::meetingMix);
    ASSERT_TRUE(session);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // The first system buffers have rates no converter takes; they are dropped and the
    // converter is tried again with the next one.
    session->appendSystem(AudioBuffer::fromFloat(1, 1, SampleLayout::planar, std::vector<float>(4096, 0.5f)));
    session->appendSystem(AudioBuffer::fromFloat(10'000'000, 1, SampleLayout::planar, std::vector<float>(4096, 0.5f)));
    session->appendSystem(AudioBuffer({48000, 16, SampleType::float32, SampleLayout::planar}, 0));
    // Sixteen channels of NaN and infinity: silence, so the microphone is not ducked.
    std::vector<float> poison(16 * 4800);
    for (size_t i = 0; i < poison.size(); ++i)
        poison[i] = i % 3 == 0 ? nan : (i % 3 == 1 ? inf : -inf);
    session->appendSystem(AudioBuffer::fromFloat(48000, 16, SampleLayout::interleaved, poison));
    session->appendMic(AudioBuffer::fromFloat(48000, 1, SampleLayout::planar, std::vector<float>(4800, nan)));
    session->appendMic(mono48k(4800, 0.1f));
    session->finalizeAndWait();
    EXPECT_EQ(session->framesWritten(), 9600);
    session.reset();
    const auto wav = readWav(tempPath(dir, "b") / "audio.wav");
    ASSERT_TRUE(wav);
    ASSERT_EQ(wav->samples.size(), 9600u);
    expectAllNear(std::span<const float>(wav->samples).subspan(0, 4800), 0.0f);
    expectAllNear(std::span<const float>(wav->samples).subspan(4800), 0.3f);
}

TEST(RecordingSessionTest, CaptureThreadsAppendWhileTheOwnerFinalizesAndReleases)
{
    QTemporaryDir dir;
    auto session = makeSession(tempPath(dir, "t"), Mode::meetingMix);
    ASSERT_TRUE(session);
    std::thread system([&] {
        for (uint32_t i = 0; i < 200; ++i)
            session->appendSystem(sineBuffer(44100, 2, i * 441, 441, 300, 0.3));
    });
    std::thread mic([&] {
        for (int i = 0; i < 200; ++i)
            session->appendMic(mono48k(480, 0.05f));
    });
    system.join();
    mic.join();
    session->finalizeAndWait();
    EXPECT_EQ(session->framesWritten(), 96000); // everything handed in before finalize
    session.reset();

    // Released with work still queued: the queued buffers are skipped, the file stays valid.
    auto abandoned = makeSession(tempPath(dir, "a"), Mode::micOnly);
    ASSERT_TRUE(abandoned);
    for (int i = 0; i < 500; ++i)
        abandoned->appendMic(mono48k(480, 0.1f));
    abandoned.reset();
    const auto wav = readWav(tempPath(dir, "a") / "audio.wav");
    ASSERT_TRUE(wav);
    EXPECT_LE(wav->info.frames, 500 * 480);
    EXPECT_EQ(wav->info.frames % 480, 0);
}

namespace {

// Files of this process may not grow past 256 KiB while it exists: writes beyond fail in the
// kernel (EFBIG) as they would on a full disk, without needing a file system of that size.
class FullDisk {
public:
    FullDisk()
    {
        getrlimit(RLIMIT_FSIZE, &m_previous);
        rlimit limited = m_previous;
        limited.rlim_cur = 256 * 1024;
        m_limited = setrlimit(RLIMIT_FSIZE, &limited) == 0;
        signal(SIGXFSZ, SIG_IGN);
    }
    ~FullDisk()
    {
        if (m_limited)
            setrlimit(RLIMIT_FSIZE, &m_previous);
        signal(SIGXFSZ, SIG_DFL);
    }
    bool ready() const { return m_limited; }

private:
    bool m_limited = false;
    rlimit m_previous{};
};

} // namespace

TEST(RecordingSessionTest, DiskFullMidRecordingLogsAndKeepsWhatWasWritten)
{
    LogCapture log;
    QTemporaryDir dir;
    std::shared_ptr<RecordingSession> session;
    int64_t frames = 0;
    {
        FullDisk disk;
        ASSERT_TRUE(disk.ready());
        session = makeSession(tempPath(dir, "disk") / "n", Mode::micOnly);
        ASSERT_TRUE(session);
        for (int i = 0; i < 400; ++i) // 4 s = 384 KB of PCM, more than fits
            session->appendMic(mono48k(480, 0.1f));
        session->finalizeAndWait();
        frames = session->framesWritten();
        const auto failures = log.errors("RecordingSession");
        ASSERT_FALSE(failures.empty());
        EXPECT_TRUE(failures.front().startsWith("write failed: ")) << failures.front().toStdString();
        EXPECT_GT(frames, 48000);
        EXPECT_LT(frames, 400 * 480);
        session.reset();

        const auto wav = readWav(tempPath(dir, "disk") / "n" / "audio.wav");
        ASSERT_TRUE(wav);
        EXPECT_EQ(wav->info.frames, frames);
        expectAllNear(wav->samples, 0.3f);
    }
}

// The child half of the crash test: records until the parent kills it.
TEST(RecordingSessionCrashChild, DISABLED_RecordsUntilKilled)
{
    const char* folder = std::getenv("PALAVERLY_CRASH_TEST_FOLDER");
    if (!folder)
        GTEST_SKIP();
    auto session = makeSession(folder, Mode::micOnly);
    ASSERT_TRUE(session);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (uint32_t i = 0; std::chrono::steady_clock::now() < deadline; ++i) {
        session->appendMic(sineBuffer(48000, 1, i * 480, 480, 440, 0.25));
        if (i % 10 == 9)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

TEST(RecordingSessionTest, KilledMidRecordingLeavesAValidWavMissingAtMostTheLastSecond)
{
    QTemporaryDir dir;
    const auto folder = tempPath(dir, "crash");
    const auto wavPath = folder / "audio.wav";
    const std::string variable = "PALAVERLY_CRASH_TEST_FOLDER=" + folder.string();
    std::vector<char*> env;
    for (char** e = environ; *e; ++e)
        env.push_back(*e);
    env.push_back(const_cast<char*>(variable.c_str()));
    env.push_back(nullptr);
    std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string filter = "--gtest_filter=RecordingSessionCrashChild.DISABLED_RecordsUntilKilled";
    std::string disabled = "--gtest_also_run_disabled_tests";
    char* argv[] = {exe.data(), filter.data(), disabled.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, exe.c_str(), &actions, nullptr, argv, env.data()), 0);
    posix_spawn_file_actions_destroy(&actions);

    // Let it record at least three seconds, then kill it without warning.
    const auto fileBytes = [&] {
        struct stat st { };
        return ::stat(wavPath.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (fileBytes() < 44 + 2 * 48000 * 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    const int64_t framesOnDisk = (fileBytes() - 44) / 2;
    ASSERT_GE(framesOnDisk, 48000 * 3);
    const auto wav = readWav(wavPath);
    ASSERT_TRUE(wav) << sf_strerror(nullptr);
    EXPECT_EQ(wav->info.samplerate, 48000);
    EXPECT_GE(wav->info.frames, framesOnDisk - 48000);
    EXPECT_LE(wav->info.frames, framesOnDisk);
    // What the header covers is the recorded tone, whole.
    EXPECT_LT(test::maxDeviationFromSine(wav->samples, 440, 48000, 0.75, 0, wav->samples.size()), 2 * kQuantum);
}
