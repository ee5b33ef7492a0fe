#include "audio/AudioPlayer.h"

#include "LogCapture.h"
#include "QtWait.h"
#include "WavFile.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

using namespace palaverly;
using palaverly::test::waitUntil;
namespace fs = std::filesystem;

namespace {

// A 48 kHz mono 16-bit WAV with a quiet tone, like the files the recorder writes.
void writeTone(const fs::path& path, double seconds)
{
    std::vector<float> samples(static_cast<size_t>(seconds * 48000));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = 0.2f * static_cast<float>(std::sin(2 * M_PI * 440 * static_cast<double>(i) / 48000));
    ASSERT_TRUE(test::writeWav(path, samples));
}

class AudioPlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
            GTEST_SKIP() << "needs the sound server of tests/support/run-with-services.sh";
        m_file = fs::path(m_dir.path().toStdString()) / "audio.wav";
        writeTone(m_file, 1.5);
    }

    QTemporaryDir m_dir;
    fs::path m_file;
};

} // namespace

TEST(AudioPlayerOpenTest, AFileThatIsNotAudioGivesNoPlayerAndIsLogged)
{
    QTemporaryDir dir;
    const fs::path missing = fs::path(dir.path().toStdString()) / "missing.wav";
    const fs::path text = fs::path(dir.path().toStdString()) / "audio.wav";
    FILE* out = std::fopen(text.c_str(), "w");
    std::fputs("RIFF but not really", out);
    std::fclose(out);

    test::LogCapture log;
    EXPECT_FALSE(AudioPlayer::create(missing));
    EXPECT_FALSE(AudioPlayer::create(text));
    EXPECT_EQ(log.errors("AudioPlayer"),
        (std::vector<QString>{"Failed to open audio: " + QString::fromStdString(missing),
            "Failed to open audio: " + QString::fromStdString(text)}));
}

TEST_F(AudioPlayerTest, PlaysPausesAndPublishesThePosition)
{
    auto player = AudioPlayer::create(m_file);
    ASSERT_TRUE(player);
    EXPECT_DOUBLE_EQ(player->duration(), 1.5);
    EXPECT_EQ(player->currentTime(), 0);
    EXPECT_FALSE(player->isPlaying());
    EXPECT_FALSE(player->isUpdating());

    QSignalSpy updating(player.get(), &AudioPlayer::isUpdatingChanged);
    QSignalSpy playing(player.get(), &AudioPlayer::isPlayingChanged);
    player->play();
    player->play(); // a second play replaces the updater rather than adding one
    EXPECT_TRUE(player->isPlaying());
    EXPECT_TRUE(player->isUpdating());
    EXPECT_EQ(updating.count(), 1);
    EXPECT_EQ(playing.count(), 1);

    ASSERT_TRUE(waitUntil([&] { return player->currentTime() > 0.3; }, 5000));
    player->pause();
    const double pausedAt = player->currentTime();
    EXPECT_FALSE(player->isPlaying());
    EXPECT_FALSE(player->isUpdating());
    EXPECT_GT(pausedAt, 0.3);
    EXPECT_LT(pausedAt, 1.5);
    EXPECT_EQ(updating.count(), 2);

    // Nothing moves while paused.
    QSignalSpy time(player.get(), &AudioPlayer::currentTimeChanged);
    waitUntil([] { return false; }, 200);
    EXPECT_EQ(time.count(), 0);
    EXPECT_EQ(player->currentTime(), pausedAt);

    // Toggle resumes from where it stopped.
    player->toggle();
    EXPECT_TRUE(player->isPlaying());
    EXPECT_GE(player->currentTime(), pausedAt - 0.06);
    player->toggle();
    EXPECT_FALSE(player->isPlaying());
}

TEST_F(AudioPlayerTest, SeekClampsAndLeavesThePlayingFlag)
{
    auto player = AudioPlayer::create(m_file);
    ASSERT_TRUE(player);
    QSignalSpy time(player.get(), &AudioPlayer::currentTimeChanged);
    player->seek(0); // unchanged: nobody is told
    EXPECT_EQ(time.count(), 0);
    player->seek(-5);
    EXPECT_EQ(player->currentTime(), 0);
    player->seek(99);
    EXPECT_EQ(player->currentTime(), 1.5);
    player->seek(0.75);
    EXPECT_EQ(player->currentTime(), 0.75);
    EXPECT_EQ(time.count(), 2);
    EXPECT_FALSE(player->isPlaying());
}

TEST_F(AudioPlayerTest, PlayNearTheEndRestartsAndTheUpdaterEndsWithTheFile)
{
    auto player = AudioPlayer::create(m_file);
    ASSERT_TRUE(player);

    // 30 ms before the end counts as the end: play starts over.
    player->seek(1.5 - 0.03);
    player->play();
    EXPECT_LT(player->currentTime(), 0.2);
    player->pause();

    // 60 ms before the end does not: it plays the rest and stops by itself.
    player->seek(1.5 - 0.06);
    QSignalSpy playing(player.get(), &AudioPlayer::isPlayingChanged);
    player->play();
    EXPECT_GE(player->currentTime(), 1.4);
    ASSERT_TRUE(waitUntil([&] { return !player->isPlaying(); }, 5000));
    EXPECT_FALSE(player->isUpdating());
    EXPECT_EQ(playing.count(), 2);

    // Once played out, the next play starts from the beginning.
    player->play();
    ASSERT_TRUE(waitUntil([&] { return player->currentTime() > 0.1; }, 5000));
    EXPECT_LT(player->currentTime(), 1.0);
    player->pause();
}
