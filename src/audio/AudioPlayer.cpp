#include "audio/AudioPlayer.h"

#include "common/Log.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QUrl>
#include <algorithm>
#include <optional>
#include <sndfile.h>

Q_LOGGING_CATEGORY(lcAudioPlayer, "AudioPlayer")

namespace palaverly {

namespace {

// The length of the file in seconds, or nothing when it is not a readable audio file.
std::optional<double> readDuration(const std::filesystem::path& file)
{
    SF_INFO info{};
    SNDFILE* handle = sf_open(file.c_str(), SFM_READ, &info);
    if (!handle)
        return std::nullopt;
    sf_close(handle);
    if (info.samplerate <= 0 || info.channels <= 0)
        return std::nullopt;
    return static_cast<double>(info.frames) / info.samplerate;
}

} // namespace

std::unique_ptr<AudioPlayer> AudioPlayer::create(const std::filesystem::path& file, QObject* parent)
{
    const auto duration = readDuration(file);
    if (!duration) {
        log::error(lcAudioPlayer(), QStringLiteral("Failed to open audio: %1").arg(QString::fromStdString(file)));
        return nullptr;
    }
    return std::unique_ptr<AudioPlayer>(new AudioPlayer(file, *duration, parent));
}

AudioPlayer::AudioPlayer(const std::filesystem::path& file, double duration, QObject* parent)
    : QObject(parent)
    , m_duration(duration)
    , m_player(new QMediaPlayer(this))
    , m_output(new QAudioOutput(this))
    , m_file(file)
{
    m_player->setAudioOutput(m_output);
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, &AudioPlayer::applyPendingPosition);
    connect(m_player, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error error) {
        if (error != QMediaPlayer::NoError)
            log::error(lcAudioPlayer(), QStringLiteral("Failed to open audio: %1").arg(QString::fromStdString(m_file)));
    });
    // Loading starts here; playback does not.
    m_player->setSource(QUrl::fromLocalFile(QString::fromStdString(file)));
    m_updater.setTimerType(Qt::PreciseTimer);
    m_updater.setInterval(kUpdateIntervalMs);
    connect(&m_updater, &QTimer::timeout, this, &AudioPlayer::updateStep);
}

AudioPlayer::~AudioPlayer()
{
    m_updater.stop();
    m_player->stop();
}

void AudioPlayer::play()
{
    if (m_duration - kEndTolerance <= m_currentTime) {
        movePlayer(0);
        setCurrentTime(0);
    }
    m_player->play();
    setPlaying(true);
    startUpdater();
}

void AudioPlayer::pause()
{
    m_player->pause();
    setCurrentTime(playerPosition());
    setPlaying(false);
    stopUpdater();
}

void AudioPlayer::toggle()
{
    if (m_isPlaying)
        pause();
    else
        play();
}

void AudioPlayer::seek(double seconds)
{
    const double clamped = std::max(std::min(seconds, m_duration), 0.0);
    movePlayer(clamped);
    setCurrentTime(clamped);
}

void AudioPlayer::startUpdater()
{
    // One updater at a time: a second play replaces the running one.
    const bool wasRunning = m_updater.isActive();
    m_updater.start();
    if (!wasRunning)
        emit isUpdatingChanged(true);
    updateStep();
}

void AudioPlayer::stopUpdater()
{
    if (!m_updater.isActive())
        return;
    m_updater.stop();
    emit isUpdatingChanged(false);
}

void AudioPlayer::updateStep()
{
    if (!m_updater.isActive())
        return;
    setCurrentTime(playerPosition());
    if (m_player->playbackState() == QMediaPlayer::PlayingState)
        return;
    // The player stopped by itself: the end of the file was reached.
    setPlaying(false);
    stopUpdater();
}

double AudioPlayer::playerPosition() const
{
    return static_cast<double>(m_pendingPositionMs.value_or(m_player->position())) / 1000.0;
}

void AudioPlayer::movePlayer(double seconds)
{
    const auto milliseconds = static_cast<qint64>(seconds * 1000.0 + 0.5);
    const auto status = m_player->mediaStatus();
    if (status == QMediaPlayer::NoMedia || status == QMediaPlayer::LoadingMedia)
        m_pendingPositionMs = milliseconds;
    else
        m_player->setPosition(milliseconds);
}

void AudioPlayer::applyPendingPosition()
{
    const auto status = m_player->mediaStatus();
    if (!m_pendingPositionMs || status == QMediaPlayer::NoMedia || status == QMediaPlayer::LoadingMedia)
        return;
    m_player->setPosition(*m_pendingPositionMs);
    m_pendingPositionMs.reset();
}

void AudioPlayer::setCurrentTime(double seconds)
{
    if (seconds == m_currentTime)
        return;
    m_currentTime = seconds;
    emit currentTimeChanged(seconds);
}

void AudioPlayer::setPlaying(bool playing)
{
    if (playing == m_isPlaying)
        return;
    m_isPlaying = playing;
    emit isPlayingChanged(playing);
}

} // namespace palaverly
